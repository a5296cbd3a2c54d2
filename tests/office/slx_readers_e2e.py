"""The headless tool turns *.slx jobs into .XLS files; independent readers
(xlrd and LibreOffice) open them and must see the values, types, fonts and
column widths the job asked for."""
import csv
import io
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

import xlrd

TOOL = sys.argv.pop(1) if len(sys.argv) > 1 else "build/marvena-spool"
SOFFICE = shutil.which("soffice")

NS = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "fo": "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0",
}


class Env:
    def __init__(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.spool = os.path.join(self.root, "spool")
        os.makedirs(self.spool)
        self.ini = os.path.join(self.root, "MARVENA.INI")
        with open(self.ini, "w") as f:
            f.write(f"[Spool]\nPath={self.spool}\nPdfDir={self.root}/pdf\nPrinterIndex=-1\n")

    def put(self, name, data):
        with open(os.path.join(self.spool, name), "wb") as f:
            f.write(data)

    def path(self, name):
        return os.path.join(self.spool, name)

    def run(self, prefix=(), extra_env=None):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", MARVENA_DRIVE=self.root)
        env.update(extra_env or {})
        return subprocess.run([*prefix, TOOL, "--headless", "--once", "--config", self.ini],
                              capture_output=True, text=True, timeout=120, env=env)


def job_bytes(lines):
    return b"".join(l + b"\r\n" for l in lines)


def open_xls(path):
    # The stream carries no CODEPAGE record; xlrd then assumes ASCII and
    # refuses bytes above 0x7F, so the job's single-byte text is named here.
    return xlrd.open_workbook(path, formatting_info=True, encoding_override="latin-1")


def libreoffice(path, target):
    """Converts with a private profile; returns the output file's path."""
    out = os.path.dirname(path) + "/lo-" + target.split(":")[0]
    profile = "file://" + os.path.dirname(path) + "/lo-profile"
    subprocess.run([SOFFICE, f"-env:UserInstallation={profile}", "--headless",
                    "--convert-to", target, "--outdir", out, path],
                   capture_output=True, timeout=180, check=True)
    base = os.path.splitext(os.path.basename(path))[0]
    ext = target.split(":")[0]
    return os.path.join(out, f"{base}.{ext}")


# (job row, job column, value bytes, expected value, number?)
CELLS = [
    (0, 0, b"Name", "Name", False),
    (0, 5, b"12,50", 12.5, True),
    (1, 0, b"1234", "1234", False),
    (1, 5, b"-0,5", -0.5, True),
    (2, 0, b"1 234,56", "1 234,56", False),
    (2, 5, b"+7,0", 7.0, True),
    (3, 0, b"1.5", "1.5", False),
    (3, 5, b"1234567,89", 1234567.89, True),
    (4, 9, b"x" * 20, "x" * 20, False),
    (70, 9, b"  padded\t", "padded", False),
]


class SpreadsheetJob(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.env = Env()
        lines = [b"{%d,%d}%s" % (r, c, v) for r, c, v, _, _ in CELLS]
        lines += [b"not a cell", b"{3,x}abc", b"{1,2", b"}{1,1}", b"{-1,0}neg"]
        cls.env.put("REP05.slx", job_bytes(lines))
        cls.result = cls.env.run()
        cls.xls = cls.env.path("REP.XLS")

    @classmethod
    def tearDownClass(cls):
        cls.env.tmp.cleanup()

    def test_job_is_done_and_deleted(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        self.assertTrue(os.path.exists(self.xls))
        self.assertFalse(os.path.exists(self.env.path("REP05.slx")))
        self.assertIn("1 line outside the sheet skipped", self.result.stderr)
        self.assertEqual([n for n in os.listdir(self.env.spool) if n.startswith(".")], [])

    def test_xlrd_values_types_fonts_widths(self):
        book = open_xls(self.xls)
        sheet = book.sheet_by_index(0)
        columns = {0: 0, 5: 1, 9: 2}  # used job columns, no gaps
        self.assertEqual(sheet.ncols, 3)
        self.assertEqual(sheet.nrows, 71)
        fonts = book.font_list
        for r, c, _, expected, number in CELLS:
            cell = sheet.cell(r, columns[c])
            self.assertEqual(cell.value, expected, (r, c))
            self.assertEqual(cell.ctype, xlrd.XL_CELL_NUMBER if number else xlrd.XL_CELL_TEXT)
            xf = book.xf_list[cell.xf_index]
            font = fonts[xf.font_index]
            self.assertEqual((font.name, font.height), ("Arial", 160))
            self.assertEqual((bool(font.bold), bool(font.italic)), (number, not number))
            self.assertEqual(xf.alignment.hor_align, 3 if number else 0)
        widths = {c: sheet.colinfo_map[c].width for c in range(3)}
        self.assertEqual(widths, {0: 8 * 256, 1: 10 * 256, 2: 13 * 256})

    @unittest.skipUnless(SOFFICE, "LibreOffice is not installed")
    def test_libreoffice_values_and_types(self):
        csv_path = libreoffice(self.xls, "csv:Text - txt - csv (StarCalc):44,34,76")
        with open(csv_path, encoding="utf-8") as f:
            rows = list(csv.reader(f))
        columns = {0: 0, 5: 1, 9: 2}
        for r, c, _, expected, number in CELLS:
            text = rows[r][columns[c]]
            if number:
                self.assertAlmostEqual(float(text), expected, places=9)
            else:
                self.assertEqual(text, expected)

        fods = ET.parse(libreoffice(self.xls, "fods"))
        table = fods.find(".//table:table", NS)
        first_row = table.find("table:table-row", NS)
        kinds = [c.get(f"{{{NS['office']}}}value-type") for c in first_row]
        self.assertEqual(kinds[:2], ["string", "float"])
        # Column widths keep the job's proportions: 8, 10 and 13 characters.
        styles = {s.get(f"{{{NS['style']}}}name"): s for s in fods.iter(f"{{{NS['style']}}}style")}
        widths = []
        for col in table.findall("table:table-column", NS)[:3]:
            props = styles[col.get(f"{{{NS['table']}}}style-name")][0]
            widths.append(float(props.get(f"{{{NS['style']}}}column-width").rstrip("in")))
        self.assertAlmostEqual(widths[1] / widths[0], 10 / 8, places=2)
        self.assertAlmostEqual(widths[2] / widths[0], 13 / 8, places=2)
        # Header and footer arrive; LibreOffice sets them in font 0 (Arial 8 pt italic).
        header = fods.find(".//style:master-page/style:header", NS)
        self.assertEqual("".join(header.itertext()).strip(), "Marvena")
        footer = fods.find(".//style:master-page/style:footer", NS)
        self.assertIsNotNone(footer.find(".//text:page-count", NS))
        self.assertIsNotNone(footer.find(".//text:page-number", NS))
        span_style = header.find(".//text:span", NS).get(f"{{{NS['text']}}}style-name")
        text_props = styles[span_style].find("style:text-properties", NS)
        self.assertEqual(text_props.get(f"{{{NS['style']}}}font-name"), "Arial")
        self.assertEqual(text_props.get(f"{{{NS['fo']}}}font-size"), "8pt")
        self.assertEqual(text_props.get(f"{{{NS['fo']}}}font-style"), "italic")


class OddValues(unittest.TestCase):
    """Bytes 0x80-0xFF, NUL, CR and a 10 MB value reach the readers intact
    as far as each reader can hold them."""

    @classmethod
    def setUpClass(cls):
        cls.env = Env()
        high = bytes(range(0xA0, 0x100))[:60]
        cls.high = high
        data = job_bytes([
            b"{0,0}" + high,
            b"{1,0}a\x00b",
            b"{2,0}before\rafter",
            b"{3,0}" + b"y" * (10 << 20),
            b"{4,0}same",
            b"{4,0}again",
        ])
        cls.env.put("ODD.slx", data + b"\x1a{5,0}after eof\r\n")
        cls.result = cls.env.run()
        cls.xls = cls.env.path("ODD.XLS")

    @classmethod
    def tearDownClass(cls):
        cls.env.tmp.cleanup()

    def test_xlrd(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        sheet = open_xls(self.xls).sheet_by_index(0)
        self.assertEqual(sheet.cell_value(0, 0), self.high.decode("latin-1"))
        self.assertEqual(sheet.cell_value(1, 0), "a\x00b")
        self.assertEqual(sheet.cell_value(2, 0), "before")
        self.assertEqual(sheet.cell_value(3, 0), "y" * 255)
        self.assertEqual(sheet.cell_value(4, 0), "again")  # the later record wins
        self.assertEqual(sheet.nrows, 5)
        self.assertEqual(sheet.colinfo_map[0].width, 13 * 256)

    @unittest.skipUnless(SOFFICE, "LibreOffice is not installed")
    def test_libreoffice(self):
        with open(libreoffice(self.xls, "csv:Text - txt - csv (StarCalc):44,34,76"),
                  encoding="utf-8") as f:
            rows = list(csv.reader(f))
        # Without a CODEPAGE record LibreOffice reads the bytes as Windows-1252.
        self.assertEqual(rows[0][0], self.high.decode("cp1252"))
        self.assertEqual(rows[1][0], "a")  # LibreOffice ends a text at NUL
        self.assertEqual(rows[2][0], "before")
        self.assertEqual(rows[3][0], "y" * 255)
        self.assertEqual(rows[4][0], "again")
        self.assertEqual(len(rows), 5)


class ManyCells(unittest.TestCase):
    @unittest.skipUnless(SOFFICE, "LibreOffice is not installed")
    def test_every_cell_reads_back(self):
        env = Env()
        self.addCleanup(env.tmp.cleanup)
        expected = {}
        lines = []
        for i in range(20000):
            r, c = divmod(i, 8)
            if c % 2:
                v = b"%d,%02d" % (i, i % 100)
                expected[(r, c)] = i + (i % 100) / 100
            else:
                v = b"T%d" % i
                expected[(r, c)] = v.decode()
            lines.append(b"{%d,%d}%s" % (r, c, v))
        env.put("M1.slx", job_bytes(lines))
        self.assertEqual(env.run().returncode, 0)
        sheet = open_xls(env.path("M.XLS")).sheet_by_index(0)
        with open(libreoffice(env.path("M.XLS"), "csv:Text - txt - csv (StarCalc):44,34,76"),
                  encoding="utf-8") as f:
            rows = list(csv.reader(f))
        for (r, c), v in expected.items():
            self.assertEqual(sheet.cell_value(r, c), v)
            if isinstance(v, float):
                self.assertAlmostEqual(float(rows[r][c]), v, places=6)
            else:
                self.assertEqual(rows[r][c], v)


class Naming(unittest.TestCase):
    def test_numbered_and_digit_led_names(self):
        env = Env()
        self.addCleanup(env.tmp.cleanup)
        env.put("SAL.XLS", b"keep me")
        env.put("123.XLS", b"old")
        env.put("SAL05.slx", b"{0,0}a\r\n")
        env.put("123.slx", b"{0,0}b\r\n")
        self.assertEqual(env.run().returncode, 0)
        with open(env.path("SAL.XLS"), "rb") as f:
            self.assertEqual(f.read(), b"keep me")
        self.assertEqual(open_xls(env.path("SAL001.XLS")).sheet_by_index(0).cell_value(0, 0), "a")
        self.assertEqual(open_xls(env.path("123.XLS")).sheet_by_index(0).cell_value(0, 0), "b")


class UnwritableSpool(unittest.TestCase):
    def test_job_file_stays_and_the_failure_is_reported(self):
        env = Env()
        self.addCleanup(env.tmp.cleanup)
        env.put("R1.slx", b"{0,0}a\r\n")
        prefix = ()
        extra = {}
        if os.geteuid() == 0:
            # root writes anywhere: run the tool as an unprivileged user.
            nobody = pwd.getpwnam("nobody")
            prefix = ("setpriv", f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}",
                      "--clear-groups")
            os.chmod(env.root, 0o755)
            runtime = os.path.join(env.root, "runtime")
            os.makedirs(runtime)
            os.chown(runtime, nobody.pw_uid, nobody.pw_gid)
            os.chmod(runtime, 0o700)
            extra = {"XDG_RUNTIME_DIR": runtime, "HOME": runtime}
        os.chmod(env.spool, 0o555)
        try:
            result = env.run(prefix, extra)
        finally:
            os.chmod(env.spool, 0o755)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertTrue(os.path.exists(env.path("R1.slx")))
        self.assertFalse(os.path.exists(env.path("R.XLS")))
        self.assertIn("Nepavyko įrašyti skaičiuoklės failo R.XLS", result.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
