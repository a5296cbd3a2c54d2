"""A private LibreOffice for the *.IST tests and benchmark: its own profile
and pipe in a temporary directory, started headless and stopped after; the
UPS-02 templates made through it; workbooks read back through a copy the
office stores and xlrd reads."""
import os
import shutil
import signal
import socket
import subprocess
import time

try:
    import uno
    from com.sun.star.beans import PropertyValue
    from com.sun.star.connection import NoConnectException
except ImportError:  # python3-uno missing
    uno = None

SOFFICE = shutil.which("soffice")
MAIN = "1-UPS-02-pagrindinis"
SIZES = {"009": 1, "117": 19, "297": 49, "597": 99}


def missing():
    """Why the office tests cannot run here, or None."""
    if not SOFFICE:
        return "LibreOffice (soffice) is not installed"
    if uno is None:
        return "python3-uno is not installed"
    return None


def remove_stale_pipes(since):
    """An office that was killed leaves its pipes in /tmp; removes those made
    since `since` (time.time()) that nobody listens on any more."""
    for name in os.listdir("/tmp"):
        path = os.path.join("/tmp", name)
        if not name.startswith("OSL_PIPE_"):
            continue
        try:
            if os.lstat(path).st_mtime < since - 1:
                continue
            with socket.socket(socket.AF_UNIX) as s:
                s.connect(path)
        except ConnectionRefusedError:
            try:
                os.remove(path)
            except OSError:
                pass
        except OSError:
            pass


def supplementary(k):
    return "%d-UPS-02-papildomas" % k


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def url(path):
    return uno.systemPathToFileUrl(os.path.abspath(path))


class Office:
    """soffice --headless with a private profile, reached over a pipe."""

    def __init__(self, root, name):
        self.root = root
        self.pipe = "marvena-test-%d-%s" % (os.getpid(), name)
        self.connection = "pipe,name=%s;urp;" % self.pipe
        self.profile = os.path.join(root, "profile-" + name)
        self.proc = None
        self.desktop = None
        self.started = time.time()

    def start(self, timeout=90):
        self.started = time.time()
        self.proc = subprocess.Popen(
            [SOFFICE, "-env:UserInstallation=" + url(self.profile), "--headless",
             "--accept=" + self.connection, "--norestore", "--nologo", "--nodefault",
             "--nolockcheck"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        self.connect(timeout)
        return self

    def connect(self, timeout=90):
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + timeout
        while True:
            try:
                ctx = resolver.resolve("uno:" + self.connection + "StarOffice.ComponentContext")
                break
            except NoConnectException:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.2)
        self.desktop = ctx.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", ctx)

    def stop(self):
        """Ends the office: politely while it answers, else killed."""
        if self.proc is None:
            return
        if self.proc.poll() is None and self.desktop is not None:
            try:
                self.desktop.terminate()
                self.proc.wait(15)
            except Exception:
                pass
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.proc.wait(30)
        self.proc = None
        remove_stale_pipes(self.started)

    # --- documents ---------------------------------------------------------

    def find(self, path):
        target = url(path)
        items = self.desktop.getComponents().createEnumeration()
        while items.hasMoreElements():
            doc = items.nextElement()
            if hasattr(doc, "getURL") and doc.getURL() == target:
                return doc
        return None

    def open_hidden(self, path):
        return self.desktop.loadComponentFromURL(url(path), "_blank", 0,
                                                 (prop("Hidden", True),))

    def make_template(self, path, supplementary_sheets, leave_out=()):
        """An Excel 97 workbook with the main sheet and the supplementary ones."""
        doc = self.desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                                (prop("Hidden", True),))
        sheets = doc.getSheets()
        first = sheets.getByIndex(0)
        first.setName(MAIN)
        first.getCellRangeByName("A1").setString("UPS-02 pagrindinis")
        first.getCellRangeByName("AB35").setString("Lapų:")
        for k in range(2, supplementary_sheets + 2):
            name = supplementary(k)
            if name in leave_out:
                continue
            sheets.insertNewByName(name, sheets.getCount())
            sheets.getByName(name).getCellRangeByName("A1").setString("papildomas %d" % k)
        doc.storeToURL(url(path), (prop("FilterName", "MS Excel 97"),))
        doc.close(True)

    def store_copy(self, path, target):
        """The open workbook at `path`, as the office holds it, stored to `target`."""
        doc = self.find(path)
        if doc is None:
            raise AssertionError("%s is not open in the office" % path)
        doc.storeToURL(url(target), (prop("FilterName", "MS Excel 97"),))
        return doc

    def close(self, path):
        doc = self.find(path)
        if doc is not None:
            doc.close(True)


def make_templates(office, where):
    os.makedirs(where, exist_ok=True)
    for code, count in SIZES.items():
        office.make_template(os.path.join(where, "ups_02_%s_template.xls" % code), count)


# --- the tool and its spool --------------------------------------------------

SEP = b"\xb3"


class Spool:
    """A spool directory with the templates, and the tool run over it."""

    def __init__(self, root, tool, connection, templates=None, calc_extra=""):
        self.root = root
        self.tool = tool
        self.dir = os.path.join(root, "spool")
        os.makedirs(self.dir, exist_ok=True)
        if templates:
            for name in os.listdir(templates):
                shutil.copy(os.path.join(templates, name), self.dir)
        self.ini = os.path.join(root, "MARVENA.INI")
        with open(self.ini, "w") as f:
            f.write("[Spool]\nPath=%s\nSettleMs=0\n[Calc]\nConnect=%s\n%s"
                    % (self.dir, connection, calc_extra))
        self.workbook = os.path.join(self.dir, "ups_02.xls")

    def path(self, name):
        return os.path.join(self.dir, name)

    def put(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def env(self, extra=None):
        # A private home: an office the tool starts gets its profile here.
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", MARVENA_DRIVE=self.root,
                   HOME=self.root, XDG_CONFIG_HOME=os.path.join(self.root, "config"),
                   XDG_STATE_HOME=os.path.join(self.root, "state"))
        env.pop("DISPLAY", None)
        env.update(extra or {})
        return env

    def run(self, extra_env=None, args=("--headless",), timeout=240):
        return subprocess.run([self.tool, *args, "--once", "--config", self.ini],
                              capture_output=True, text=True, timeout=timeout,
                              env=self.env(extra_env))

    def start(self, extra_env=None, args=("--headless",)):
        return subprocess.Popen([self.tool, *args, "--once", "--config", self.ini],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                env=self.env(extra_env))


def job(data_lines):
    """Job bytes: three header lines, then the data lines, CR LF after each."""
    return b"".join(l + b"\r\n" for l in [b"UPS-02", b"2026", b"header"] + data_lines)


def numbered_lines(count):
    """Data line n holds, in field i, "L<n>F<i>" with a Lithuanian letter."""
    return [SEP.join(b"L%dF%d\xf6" % (n, i) for i in range(1, 14)) for n in range(1, count + 1)]


# (value index, column, row offset); index 0 is the running number.
TABLE = [(0, "B", 0), (2, "D", 0), (13, "B", 2), (3, "O", 2), (4, "S", 2), (5, "W", 2),
         (6, "Z", 2), (7, "AD", 2), (8, "L", 4), (9, "V", 4), (10, "Y", 4), (11, "L", 6),
         (12, "X", 6)]


def expected_cells(fields_of_lines):
    """{sheet: {cell: text}} as the form must hold it; fields_of_lines[n-1][i-1]
    is field i of data line n, as text."""
    n = len(fields_of_lines)
    pages = 1 if n <= 3 else 1 + (n - 3 + 5) // 6
    out = {MAIN: {"AB36": str(pages)}}
    for number, fields in enumerate(fields_of_lines, start=1):
        if number <= 3:
            sheet, first = MAIN, 41 + 9 * (number - 1)
        else:
            k = 2 + (number - 4) // 6
            sheet, first = supplementary(k), 14 + 9 * ((number - 4) % 6)
        cells = out.setdefault(sheet, {})
        for index, column, offset in TABLE:
            value = str(number) if index == 0 else fields[index - 1]
            cells["%s%d" % (column, first + offset)] = value
    return out


def cell(sheet, address):
    letters = address.rstrip("0123456789")
    column = 0
    for ch in letters:
        column = column * 26 + ord(ch) - 64
    row = int(address[len(letters):]) - 1
    if row >= sheet.nrows or column - 1 >= sheet.ncols:
        return None
    return sheet.cell(row, column - 1)
