"""Drives LibreOffice Calc through UNO for Marvena Spool.

The tool starts this script with Debian's python3 (python3-uno) and speaks
to it over stdin/stdout, one request per line, fields separated by TAB;
backslash, TAB, CR and LF inside a field are written \\\\, \\t, \\r, \\n.
Every request gets one answer line: "ok[\\tvalue]" or
"err\\t<unreachable|document>\\t<detail>". The tool times each answer out
and kills this process when the office hangs.

  connect <connection> <headless 0|1> <start seconds>  -> ok [started <pid>]
  state <path>                 -> ok notopen|unmodified|modified
  close <path>                 -> ok
  open <path>                  -> ok
  fill <sheet> <addr> <text> ...  -> ok     (activates the sheet, then sets the cells
                                             as text, in order)
  show                         -> ok
"""
import os
import subprocess
import sys
import time

try:
    import uno
    from com.sun.star.beans import PropertyValue
    from com.sun.star.connection import NoConnectException
    from com.sun.star.lang import DisposedException
except Exception as e:  # python3-uno missing: every request is unreachable
    uno = None
    IMPORT_ERROR = str(e)

# Cells are set by a small Basic function run inside the office: one call
# per sheet instead of several round trips per cell. It lives in a library
# of the office's own, made when needed and removed when the bridge ends.
LIBRARY = "MarvenaSpoolFill"
BASIC = """
Function Fill(oDoc As Object, sName As String, aCells As Variant) As String
  Dim oSheet As Object, i As Long
  If Not oDoc.Sheets.hasByName(sName) Then
    Fill = "nosheet"
    Exit Function
  End If
  oSheet = oDoc.Sheets.getByName(sName)
  oDoc.CurrentController.setActiveSheet(oSheet)
  For i = LBound(aCells) To UBound(aCells) - 1 Step 2
    oSheet.getCellRangeByName(aCells(i)).setString(aCells(i + 1))
  Next i
  Fill = "ok"
End Function
"""

# Test hooks: a pause before each sheet (to catch the office mid-way), and
# the call-at-a-time way forced.
PAUSE = float(os.environ.get("MARVENA_TEST_CALC_PAUSE_MS", "0") or 0) / 1000.0
NO_BASIC = os.environ.get("MARVENA_TEST_CALC_NO_BASIC") == "1"


class Unreachable(Exception):
    pass


class DocumentError(Exception):
    pass


def unescape(s):
    out, i = [], 0
    while i < len(s):
        c = s[i]
        if c == "\\" and i + 1 < len(s):
            n = s[i + 1]
            out.append({"t": "\t", "n": "\n", "r": "\r"}.get(n, n))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def escape(s):
    return (s.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
            .replace("\r", "\\r"))


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def is_gone(e):
    """Whether an exception says the office went away."""
    if isinstance(e, DisposedException):
        return True
    text = str(e).lower()
    return "disposed" in text or "bridge" in text or "connection" in text


class Bridge:
    def __init__(self):
        self.desktop = None
        self.headless = True
        self.doc = None
        self.ctx = None
        self.smgr = None
        self.libs = None
        self.script = None

    def connect(self, connection, headless, seconds):
        if uno is None:
            raise Unreachable("python3-uno cannot be loaded: " + IMPORT_ERROR)
        self.headless = headless == "1"
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        url = "uno:" + connection + "StarOffice.ComponentContext"
        started = None
        deadline = time.monotonic() + float(seconds)
        while True:
            try:
                ctx = resolver.resolve(url)
                break
            except NoConnectException:
                pass
            if started is None:
                started = self.start_office(connection)
            elif started.poll() not in (None, 0):
                # 0: it handed over to an office already running; wait for that one.
                raise Unreachable("soffice ended at start with status %d" % started.returncode)
            if time.monotonic() > deadline:
                raise Unreachable("soffice did not accept a connection within %s s" % seconds)
            time.sleep(0.1)
        self.ctx = ctx
        self.smgr = ctx.ServiceManager
        self.desktop = ctx.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", ctx)
        return "started %d" % started.pid if started else ""

    def start_office(self, connection):
        args = ["soffice", "--accept=" + connection, "--norestore", "--nologo", "--nodefault",
                "--nolockcheck"]
        if self.headless:
            args.append("--headless")
        try:
            return subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, start_new_session=True)
        except OSError as e:
            raise Unreachable("cannot start soffice: %s" % e)

    def find(self, path):
        url = uno.systemPathToFileUrl(os.path.abspath(path))
        components = self.desktop.getComponents().createEnumeration()
        while components.hasMoreElements():
            c = components.nextElement()
            if hasattr(c, "getURL") and c.getURL() == url:
                return c
        return None

    def state(self, path):
        doc = self.find(path)
        if doc is None:
            return "notopen"
        return "modified" if doc.isModified() else "unmodified"

    def close(self, path):
        doc = self.find(path)
        if doc is not None:
            doc.close(True)
        return ""

    def open(self, path):
        url = uno.systemPathToFileUrl(os.path.abspath(path))
        # Always loaded hidden: a headless office was seen to abort on a visible
        # load, and a hidden workbook fills faster. show() brings up the window.
        props = [prop("MacroExecutionMode", 0), prop("Hidden", True)]
        try:
            doc = self.desktop.loadComponentFromURL(url, "_blank", 0, tuple(props))
        except Exception as e:
            if is_gone(e):
                raise
            raise DocumentError("cannot open %s: %s" % (path, e))
        if doc is None:
            raise DocumentError("cannot open %s: the office loaded nothing" % path)
        if not doc.supportsService("com.sun.star.sheet.SpreadsheetDocument"):
            doc.close(True)
            raise DocumentError("%s is not a spreadsheet" % path)
        self.doc = doc
        return ""

    def basic(self):
        """The in-office fill function, or None where Basic cannot run."""
        if self.script is None and NO_BASIC:
            self.script = False
        if self.script is None:
            try:
                libs = self.smgr.createInstanceWithContext(
                    "com.sun.star.script.ApplicationScriptLibraryContainer", self.ctx)
                if libs.hasByName(LIBRARY):
                    libs.removeLibrary(LIBRARY)
                libs.createLibrary(LIBRARY).insertByName("Cells", BASIC)
                self.libs = libs
                factory = self.ctx.getValueByName(
                    "/singletons/com.sun.star.script.provider.theMasterScriptProviderFactory")
                self.script = factory.createScriptProvider("").getScript(
                    "vnd.sun.star.script:%s.Cells.Fill?language=Basic&location=application"
                    % LIBRARY)
            except Exception as e:
                if is_gone(e):
                    raise
                self.script = False
        return self.script or None

    def fill(self, name, cells):
        if PAUSE:
            time.sleep(PAUSE)
        script = self.basic()
        if script is not None:
            answer = script.invoke((self.doc, name, tuple(cells)), (), ())[0]
            if answer == "nosheet":
                raise DocumentError("the workbook has no sheet named " + name)
            return ""
        # Without Basic: the same, a call at a time.
        sheets = self.doc.getSheets()
        if not sheets.hasByName(name):
            raise DocumentError("the workbook has no sheet named " + name)
        sheet = sheets.getByName(name)
        self.doc.getCurrentController().setActiveSheet(sheet)
        for i in range(0, len(cells) - 1, 2):
            sheet.getCellRangeByName(cells[i]).setString(cells[i + 1])
        return ""

    def remove_library(self):
        if self.libs is not None:
            try:
                self.libs.removeLibrary(LIBRARY)
            except Exception:
                pass

    def show(self):
        frame = self.doc.getCurrentController().getFrame()
        if not self.headless:
            window = frame.getContainerWindow()
            window.setVisible(True)
            window.toFront()
        return ""

    def handle(self, fields):
        op, args = fields[0], fields[1:]
        if op == "connect":
            return self.connect(*args)
        if self.desktop is None:
            raise Unreachable("not connected")
        if op == "state":
            return self.state(args[0])
        if op == "close":
            return self.close(args[0])
        if op == "open":
            return self.open(args[0])
        if self.doc is None:
            raise DocumentError("no workbook is open")
        if op == "fill":
            return self.fill(args[0], args[1:])
        if op == "show":
            return self.show()
        raise DocumentError("unknown request " + op)


def main():
    bridge = Bridge()
    sys.stdin.reconfigure(encoding="utf-8", errors="replace")
    sys.stdout.reconfigure(encoding="utf-8")
    out = sys.stdout
    for line in sys.stdin:
        fields = [unescape(f) for f in line.rstrip("\n").split("\t")]
        if fields == ["quit"]:
            bridge.remove_library()
            break
        try:
            value = bridge.handle(fields)
            answer = "ok" + ("\t" + escape(value) if value else "")
        except Unreachable as e:
            answer = "err\tunreachable\t" + escape(str(e))
        except DocumentError as e:
            answer = "err\tdocument\t" + escape(str(e))
        except Exception as e:
            kind = "unreachable" if uno is None or is_gone(e) else "document"
            answer = "err\t%s\t%s: %s" % (kind, type(e).__name__, escape(str(e)))
        out.write(answer.replace("\n", " ") + "\n")
        out.flush()


if __name__ == "__main__":
    main()
