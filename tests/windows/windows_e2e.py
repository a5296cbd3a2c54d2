"""marvena-spool.exe end to end under Wine: real job files in a spool
directory processed by `--headless --once`, the results read back on the
Linux side (XML parser, xlrd, xclip, pdftotext from a private CUPS queue, a
loopback FTP server); a spool on a Wine drive that vanishes and comes back
while the tool runs. What Wine cannot do is skipped by name,
with the reason, never silently."""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET

import xlrd

TOOL = sys.argv.pop(1)
EXAMPLES = sys.argv.pop(1)
HOLD_OPEN = sys.argv.pop(1)
WINE = shutil.which("wine") or "wine"
PREFIX = os.environ["WINEPREFIX"]
SEP = b"\xb3"

MFF_HEADER = [b"UAB \"\xdc\xfduolas\" & Co", b"123456789", b"Vilnius", b"2009.03.31", b"2009.03",
              b"not read"]
SAM_HEADER = [b"Draud\xf3jas", b"1234567", b" 302000000 ", b"852", b"Adresas", b"2009.04.15",
              b"30.98+3", b"2009.03", b"x", b"1", b"100", b"31", b"x", b"x", b"x",
              b"Direktorius Jonas Jonaitis", b"Vyr. buhalter\xf3 Ona"]


def win_path(path):
    """A Linux path as Wine's Z: drive shows it."""
    return "Z:" + path.replace("/", "\\")


def put(path, lines, end=b"\r\n"):
    with open(path, "wb") as f:
        f.write(b"".join(line + end for line in lines))


def row(*values):
    return SEP.join(values) + SEP


def skip(name, reason):
    print("SKIP %s: %s" % (name, reason), flush=True)


class Workspace:
    def __init__(self, spool_setting=None):
        self.tmp = tempfile.TemporaryDirectory(prefix="marvena-wine-")
        self.root = self.tmp.name
        self.spool = os.path.join(self.root, "spool")
        os.makedirs(self.spool)
        self.ini = os.path.join(self.root, "MARVENA.INI")
        with open(self.ini, "w") as f:
            f.write("[Spool]\r\nPath=%s\r\nPrinterIndex=-1\r\n"
                    % (spool_setting or win_path(self.spool)))

    def path(self, name):
        return os.path.join(self.spool, name)

    def command(self, *extra):
        return [WINE, TOOL, "--headless", *extra, "--config", win_path(self.ini)]

    def run_once(self):
        return subprocess.run(self.command("--once"), capture_output=True, timeout=240,
                              env=dict(os.environ, MARVENA_DRIVE=""))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def fields(document):
    root = ET.fromstring(document)
    out = {}
    for page in root.iter("Page"):
        out[int(page.get("PageNumber"))] = {f.get("Name"): f.text or "" for f in page.iter("Field")}
    return root, out


class Jobs(unittest.TestCase):
    def test_every_job_kind_headless_once(self):
        ws = Workspace()
        shutil.copy(os.path.join(EXAMPLES, "ATASKAITA.slx"), ws.path("ATASKAITA.slx"))
        put(ws.path("FR0572.MFF"), MFF_HEADER + [b"\xf7ar\xfbnas" + SEP + b"P" + SEP + b"LT" +
                                                 SEP + b"380" + SEP + b"210" + SEP + b"01"])
        put(ws.path("fr0671.dff"), [b"UAB", b"LT100001234567", b"2009.04.20", b"2009.03.01",
                                    b"2009.03.31", row(b"09.03.15", b"SF1", b"A", b"B", b"1,00",
                                                       b"2,-")])
        with open(ws.path("FR0671.mxfd"), "wb") as f:
            f.write(b"<FormDef id=\"{11111111-2222-3333-4444-555555555555}\"/>")
        put(ws.path("X.SAM"), SAM_HEADER + [SEP.join([b"Petras", b"380", b"AB 1234567", b"100.5",
                                                      b"31"])], end=b"\n")
        with open(ws.path("TEKSTAS.CLB"), "wb") as f:
            f.write(b"Labas, pasauli 123")
        self.addCleanup(ws.tmp.cleanup)
        out = ws.run_once()
        err = out.stderr.decode("utf-8", "replace")
        self.assertEqual(out.returncode, 0, err)
        for job in ("ATASKAITA.slx", "FR0572.MFF", "fr0671.dff", "X.SAM", "TEKSTAS.CLB"):
            self.assertFalse(os.path.exists(ws.path(job)), job + "\n" + err)
        # No temporary file of the tool is left in the spool directory.
        self.assertEqual([n for n in os.listdir(ws.spool)
                          if n.startswith(".") and os.path.isfile(ws.path(n))], [])

        book = xlrd.open_workbook(ws.path("ATASKAITA.XLS"))
        self.assertGreater(book.sheet_by_index(0).nrows, 0)

        _, pages = fields(read(ws.path("FR0572.ffdata")))
        self.assertEqual(pages[1]["B_MM_Pavad"], "UAB \"\u0104\u017dUOLAS\" & CO")
        self.assertEqual(pages[2]["A3-1"], "\u0160AR\u016aNAS")
        root, pages = fields(read(ws.path("fr0671.ffdata")))
        self.assertEqual(root.find("Form").get("FormDefId"),
                         "{11111111-2222-3333-4444-555555555555}")
        self.assertEqual(pages[2]["P11-1"], "2,00")
        _, pages = fields(read(ws.path("X.ffdata")))
        self.assertEqual(pages[2]["InsIncomePage"], "100.5")

        if not os.environ.get("DISPLAY") or not shutil.which("xclip"):
            skip("windows_e2e clipboard read-back", "no X display or no xclip")
        else:
            clip = subprocess.run(["xclip", "-o", "-selection", "clipboard"],
                                  capture_output=True, timeout=30)
            if clip.returncode != 0:
                skip("windows_e2e clipboard read-back",
                     "Wine's clipboard did not outlive the tool: " + clip.stderr.decode()[:200])
            else:
                self.assertEqual(clip.stdout.replace(b"\r", b""), b"Labas, pasauli 123")


    def test_bad_input_keeps_the_job_and_says_so_once(self):
        ws = Workspace()
        put(ws.path("BAD.SAM"), SAM_HEADER + [SEP.join([b"Petras", b"380", b"AB 1", b"1.234,56",
                                                        b"31"])])
        self.addCleanup(ws.tmp.cleanup)
        out = ws.run_once()
        err = out.stderr.decode("utf-8", "replace")
        self.assertEqual(out.returncode, 1, err)
        self.assertTrue(os.path.exists(ws.path("BAD.SAM")))
        self.assertEqual(err.count("KLAIDA"), 1, err)

    def test_a_job_its_writer_holds_open_waits_until_it_is_closed(self):
        ws = Workspace()
        self.addCleanup(ws.tmp.cleanup)
        job = ws.path("LAIKOMAS.slx")
        shutil.copy(os.path.join(EXAMPLES, "ATASKAITA.slx"), job)
        holder = subprocess.Popen([WINE, HOLD_OPEN, win_path(job)], stdout=subprocess.PIPE)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            out = ws.run_once()
            err = out.stderr.decode("utf-8", "replace")
            self.assertTrue(os.path.exists(job), err)
            self.assertFalse(os.path.exists(ws.path("LAIKOMAS.XLS")), err)
        finally:
            holder.kill()
            holder.wait()
            holder.stdout.close()
        out = ws.run_once()
        err = out.stderr.decode("utf-8", "replace")
        self.assertEqual(out.returncode, 0, err)
        self.assertFalse(os.path.exists(job), err)
        self.assertTrue(os.path.exists(ws.path("LAIKOMAS.XLS")), err)

    def test_paths_with_lithuanian_letters_and_over_260_characters(self):
        ws = Workspace()
        deep = ws.spool
        while len(win_path(deep)) < 300:
            deep = os.path.join(deep, "Šiaulių-žemė")
        os.makedirs(deep)
        with open(ws.ini, "w", encoding="utf-8") as f:
            f.write("[Spool]\r\nPath=%s\r\n" % win_path(deep))
        shutil.copy(os.path.join(EXAMPLES, "ATASKAITA.slx"), os.path.join(deep, "ĄŽUOLAS.slx"))
        self.addCleanup(ws.tmp.cleanup)
        out = ws.run_once()
        err = out.stderr.decode("utf-8", "replace")
        self.assertEqual(out.returncode, 0, err)
        self.assertEqual(sorted(n for n in os.listdir(deep) if not n.startswith(".")),
                         ["ĄŽUOLAS.XLS"], err)


def private_cups():
    """The private scheduler of the Linux print tests; None and why when it cannot run."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "printing"))
    argv, sys.argv = sys.argv, [sys.argv[0], TOOL, EXAMPLES]
    try:
        import print_cups_e2e
    finally:
        sys.argv = argv
    cups = print_cups_e2e.PrivateCups()
    why = cups.start() or cups.add_queue("MarvenaWine", os.path.join(cups.out, "printed.pdf"))
    if not why and cups.sh("lpadmin", "-d", "MarvenaWine").returncode != 0:
        why = "lpadmin -d failed"
    if why:
        cups.stop()
        return None, why
    return cups, None


class Printing(unittest.TestCase):
    """*.txt through GDI: Wine's printer driver hands the pages to a private
    CUPS queue, whose PDF is read back with pdftotext."""

    @classmethod
    def setUpClass(cls):
        cls.cups, cls.why = private_cups()

    @classmethod
    def tearDownClass(cls):
        if cls.cups:
            cls.cups.stop()

    def run_with_printer(self, ws):
        return subprocess.run(ws.command("--once"), capture_output=True, timeout=240,
                              env=dict(os.environ, MARVENA_DRIVE="", **self.cups.client))

    def test_a_text_job_is_printed_with_lithuanian_letters_and_box_drawing(self):
        if not self.cups:
            skip("windows_e2e *.txt printing", "no private CUPS scheduler: " + self.why)
            return
        ws = Workspace()
        self.addCleanup(ws.tmp.cleanup)
        shutil.copy(os.path.join(EXAMPLES, "ZURNALAS.txt"), ws.path("ZURNALAS.txt"))
        out = self.run_with_printer(ws)
        err = out.stderr.decode("utf-8", "replace")
        self.assertEqual(out.returncode, 0, err)
        self.assertIn('printed on "MarvenaWine"', err)
        self.assertEqual(err.count("font MARVENA missing"), 1, err)
        self.assertFalse(os.path.exists(ws.path("ZURNALAS.txt")))
        printed = os.path.join(self.cups.out, "printed.pdf")
        end = time.time() + 60
        while time.time() < end and (not os.path.exists(printed) or
                                     self.cups.sh("lpstat", "-o").stdout.strip()):
            time.sleep(0.2)
        text = subprocess.run(["pdftotext", "-layout", printed, "-"], capture_output=True,
                              text=True, timeout=60).stdout
        self.assertIn("Ūkinių operacijų žurnalas", text)
        self.assertIn("┌────", text)

    def test_a_printer_that_refuses_the_document_fails_the_job_once(self):
        if not self.cups:
            skip("windows_e2e refused printout", "no private CUPS scheduler: " + self.why)
            return
        self.assertEqual(self.cups.sh("cupsreject", "MarvenaWine").returncode, 0)
        self.addCleanup(self.cups.sh, "cupsaccept", "MarvenaWine")
        ws = Workspace()
        self.addCleanup(ws.tmp.cleanup)
        with open(ws.path("ATMESTA.txt"), "wb") as f:
            f.write(b"Atmesta\r\n")
        out = self.run_with_printer(ws)
        err = out.stderr.decode("utf-8", "replace")
        self.assertEqual(out.returncode, 1, err)
        self.assertEqual(err.count("KLAIDA"), 1, err)
        self.assertIn("ATMESTA.txt", os.listdir(os.path.join(ws.spool, "FAILED")))


class Ftp(unittest.TestCase):
    """*.FTP through WinINet to a pyftpdlib server on loopback."""
    USER, PASSWORD = "marvena", "Zx9-slaptas"

    def start_server(self, root):
        server = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "exchange",
                              "ftp_server.py")
        proc = subprocess.Popen(["/usr/bin/python3", server, "--root", root, "--user", self.USER,
                                 "--password", self.PASSWORD, "--log",
                                 os.path.join(root, "..", "commands.log")],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.addCleanup(proc.stdout.close)
        self.addCleanup(proc.wait)
        self.addCleanup(proc.kill)
        line = proc.stdout.readline().decode()
        self.assertTrue(line.startswith("PORT "), line)
        return int(line.split()[1])

    def workspace(self, password):
        ws = Workspace()
        self.addCleanup(ws.tmp.cleanup)
        export = os.path.join(ws.root, "export")
        root = os.path.join(ws.root, "root")
        for kind in ("customer", "stock", "purchase", "sale"):
            os.makedirs(os.path.join(root, "xml", kind))
        os.makedirs(export)
        port = self.start_server(root)
        with open(ws.ini, "a") as f:
            f.write("[ESSVE]\r\nPath=%s\\\r\nftp=127.0.0.1:%d\r\nuser=%s\r\npassword=%s\r\n"
                    "ConnectTimeout=5\r\nStallTimeout=5\r\n"
                    % (win_path(export), port, self.USER, password))
        return ws, export, root

    def test_documents_land_in_their_folders_with_their_bytes(self):
        ws, export, root = self.workspace(self.PASSWORD)
        docs = {"STOCK.FTP": (b"<stock/>", "xml/stock/STOCK.XML"),
                "INV1.FTP": (b"<?xml?>\r\n<doc type=\"sales\">\r\n<no>SF 12/3</no>\r\n",
                             "xml/sale/SF123.XML"),
                "BIG.FTP": (os.urandom(3 << 20), "xml/BIG.XML")}
        for name, (data, _) in docs.items():
            with open(os.path.join(export, name), "wb") as f:
                f.write(data)
        out = ws.run_once()
        err = out.stderr.decode("utf-8", "replace")
        self.assertEqual(out.returncode, 0, err)
        for name, (data, where) in docs.items():
            self.assertEqual(read(os.path.join(root, where)), data, where)
            self.assertFalse(os.path.exists(os.path.join(export, name)), name)

    def test_a_refused_login_keeps_the_document_and_never_shows_the_password(self):
        ws, export, root = self.workspace("wrong-Slaptas-7")
        with open(os.path.join(export, "STOCK.FTP"), "wb") as f:
            f.write(b"<stock/>")
        out = ws.run_once()
        err = out.stderr.decode("utf-8", "replace")
        self.assertEqual(out.returncode, 1, err)
        self.assertTrue(os.path.exists(os.path.join(export, "STOCK.FTP")))
        self.assertNotIn("wrong-Slaptas-7", err)
        self.assertEqual(os.listdir(os.path.join(root, "xml", "stock")), [])


class Drives(unittest.TestCase):
    def test_a_spool_on_a_drive_that_vanishes_and_comes_back(self):
        link = os.path.join(PREFIX, "dosdevices", "q:")
        if os.path.lexists(link):
            skip("windows_e2e vanishing drive", "drive Q: is taken in this Wine prefix")
            return
        target = tempfile.mkdtemp(prefix="marvena-drive-")
        os.makedirs(os.path.join(target, "SPOOL"))
        os.symlink(target, link)
        ws = Workspace(spool_setting="Q:\\SPOOL")
        log = open(os.path.join(ws.root, "tool.log"), "wb")
        tool = subprocess.Popen(ws.command(), stdout=subprocess.DEVNULL, stderr=log)
        try:
            def wait_for(path, gone, seconds=60):
                end = time.time() + seconds
                while time.time() < end:
                    if os.path.exists(path) != gone:
                        return True
                    time.sleep(0.2)
                return False

            first = os.path.join(target, "SPOOL", "A.slx")
            shutil.copy(os.path.join(EXAMPLES, "ATASKAITA.slx"), first)
            self.assertTrue(wait_for(os.path.join(target, "SPOOL", "A.XLS"), False))
            os.unlink(link)
            time.sleep(3)  # passes over a missing drive
            self.assertIsNone(tool.poll(), "the tool ended when its drive vanished")
            os.symlink(target, link)
            second = os.path.join(target, "SPOOL", "B.slx")
            shutil.copy(os.path.join(EXAMPLES, "ATASKAITA.slx"), second)
            self.assertTrue(wait_for(os.path.join(target, "SPOOL", "B.XLS"), False),
                            read(os.path.join(ws.root, "tool.log"))[-2000:])
            self.assertFalse(os.path.exists(second))
        finally:
            tool.kill()
            tool.wait()
            log.close()
            if os.path.lexists(link):
                os.unlink(link)
            shutil.rmtree(target, ignore_errors=True)
            ws.tmp.cleanup()


if __name__ == "__main__":
    unittest.main(verbosity=2)
