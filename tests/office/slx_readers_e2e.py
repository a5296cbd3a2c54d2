"""The headless tool turns *.slx jobs into .XLS files; independent readers
(xlrd without an encoding override, LibreOffice in a C and a Lithuanian
locale, Gnumeric's ssconvert) open them and must see the values, types,
fonts, letters and column widths the job asked for."""
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
SSCONVERT = shutil.which("ssconvert")
CSV = "csv:Text - txt - csv (StarCalc):44,34,76"

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
    # No encoding override: the file names its code page.
    return xlrd.open_workbook(path, formatting_info=True)


def libreoffice(path, target, lang=None):
    """Converts with a private profile; returns the output file's path."""
    return libreoffice_all([path], target, lang)[0]


def libreoffice_all(paths, target, lang=None):
    """Converts several files in one LibreOffice start (it is slow to start)."""
    where = os.path.dirname(paths[0])
    ext = target.split(":")[0]
    out = f"{where}/lo-{ext}-{lang or 'C'}"
    profile = "file://" + where + "/lo-profile"
    env = dict(os.environ)
    if lang:
        env.update(LANG=lang, LC_ALL=lang)
    else:
        env.update(LANG="C.UTF-8", LC_ALL="C.UTF-8")
    subprocess.run([SOFFICE, f"-env:UserInstallation={profile}", "--headless",
                    "--convert-to", target, "--outdir", out, *paths],
                   capture_output=True, timeout=120, check=True, env=env)
    return [os.path.join(out, os.path.splitext(os.path.basename(p))[0] + "." + ext)
            for p in paths]


def gnumeric(path, ext):
    """ssconvert to csv, or to Excel 97 ("xls") so that xlrd can show the formats."""
    target = path + ".gnumeric." + ext
    result = subprocess.run([SSCONVERT, path, target], capture_output=True, text=True,
                            timeout=60)
    return target, result.stderr


def cell_formats(book, sheet, r, c):
    xf = book.xf_list[sheet.cell(r, c).xf_index]
    font = book.font_list[xf.font_index]
    return (font.name, font.height, bool(font.bold), bool(font.italic))


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
        # No temporary file is left behind (the tool's own state directory may be).
        spool = self.env.spool
        self.assertEqual([n for n in os.listdir(spool)
                          if n.startswith(".") and os.path.isfile(os.path.join(spool, n))], [])

    def test_xlrd_values_types_fonts_widths(self):
        book = open_xls(self.xls)
        sheet = book.sheet_by_index(0)
        columns = {0: 0, 5: 1, 9: 2}  # used job columns, no gaps
        self.assertEqual(sheet.ncols, 3)
        self.assertEqual(sheet.nrows, 71)
        for r, c, _, expected, number in CELLS:
            cell = sheet.cell(r, columns[c])
            self.assertEqual(cell.value, expected, (r, c))
            self.assertEqual(cell.ctype, xlrd.XL_CELL_NUMBER if number else xlrd.XL_CELL_TEXT)
            # Every cell names cell format 0: Arial 8 italic, general alignment
            # (which sets numbers to the right).
            self.assertEqual(cell_formats(book, sheet, r, columns[c]), ("Arial", 160, False, True))
            self.assertEqual(book.xf_list[cell.xf_index].alignment.hor_align, 0)
        widths = {c: sheet.colinfo_map[c].width for c in range(3)}
        self.assertEqual(widths, {0: 8 * 256, 1: 10 * 256, 2: 13 * 256})

    @unittest.skipUnless(SSCONVERT, "Gnumeric is not installed")
    def test_gnumeric_values_types_fonts(self):
        path, errors = gnumeric(self.xls, "csv")
        self.assertNotIn("corrupted", errors)
        with open(path, encoding="utf-8") as f:
            rows = list(csv.reader(f))
        columns = {0: 0, 5: 1, 9: 2}
        for r, c, _, expected, number in CELLS:
            text = rows[r][columns[c]]
            if number:
                self.assertAlmostEqual(float(text), expected, places=9)
            else:
                self.assertEqual(text, expected)
        # Gnumeric's own Excel file, read by xlrd, shows the types and formats it took.
        book = xlrd.open_workbook(gnumeric(self.xls, "xls")[0], formatting_info=True)
        sheet = book.sheet_by_index(0)
        for r, c, _, expected, number in CELLS:
            cell = sheet.cell(r, columns[c])
            self.assertEqual(cell.ctype, xlrd.XL_CELL_NUMBER if number else xlrd.XL_CELL_TEXT)
            self.assertEqual(cell_formats(book, sheet, r, columns[c]), ("Arial", 160, False, True))

    @unittest.skipUnless(SOFFICE, "LibreOffice is not installed")
    def test_libreoffice_values_types_fonts(self):
        csv_path, fods_path = (libreoffice(self.xls, CSV), libreoffice(self.xls, "fods"))
        with open(csv_path, encoding="utf-8") as f:
            rows = list(csv.reader(f))
        columns = {0: 0, 5: 1, 9: 2}
        for r, c, _, expected, number in CELLS:
            text = rows[r][columns[c]]
            if number:
                self.assertAlmostEqual(float(text), expected, places=9)
            else:
                self.assertEqual(text, expected)

        fods = ET.parse(fods_path)
        table = fods.find(".//table:table", NS)
        first_row = table.find("table:table-row", NS)
        kinds = [c.get(f"{{{NS['office']}}}value-type") for c in first_row]
        self.assertEqual(kinds[:2], ["string", "float"])
        styles = {s.get(f"{{{NS['style']}}}name"): s for s in fods.iter(f"{{{NS['style']}}}style")}
        # Every cell with a value takes cell format 0: Arial 8 italic.
        filled = [c for c in table.iter(f"{{{NS['table']}}}table-cell")
                  if c.get(f"{{{NS['office']}}}value-type")]
        self.assertEqual(len(filled), len(CELLS))
        for cell in filled:
            props = styles[cell.get(f"{{{NS['table']}}}style-name")].find(
                "style:text-properties", NS)
            self.assertEqual((props.get(f"{{{NS['style']}}}font-name"),
                              props.get(f"{{{NS['fo']}}}font-size"),
                              props.get(f"{{{NS['fo']}}}font-style")), ("Arial", "8pt", "italic"))
        # Column widths keep the job's proportions: 8, 10 and 13 characters.
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
        # Every byte from 0xA0 that Windows-1257 defines (0xA1 and 0xA5 it does not).
        high = bytes(b for b in range(0xA0, 0x100) if b not in (0xA1, 0xA5))[:60]
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
        self.assertEqual(sheet.cell_value(0, 0), self.high.decode("cp1257"))
        self.assertEqual(sheet.cell_value(1, 0), "a\x00b")
        self.assertEqual(sheet.cell_value(2, 0), "before")
        self.assertEqual(sheet.cell_value(3, 0), "y" * 255)
        self.assertEqual(sheet.cell_value(4, 0), "again")  # the later record wins
        self.assertEqual(sheet.nrows, 5)
        self.assertEqual(sheet.colinfo_map[0].width, 13 * 256)

    @unittest.skipUnless(SOFFICE, "LibreOffice is not installed")
    def test_libreoffice(self):
        with open(libreoffice(self.xls, CSV), encoding="utf-8") as f:
            rows = list(csv.reader(f))
        self.assertEqual(rows[0][0], self.high.decode("cp1257"))
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
        with open(libreoffice(env.path("M.XLS"), CSV),
                  encoding="utf-8") as f:
            rows = list(csv.reader(f))
        for (r, c), v in expected.items():
            self.assertEqual(sheet.cell_value(r, c), v)
            if isinstance(v, float):
                self.assertAlmostEqual(float(rows[r][c]), v, places=6)
            else:
                self.assertEqual(rows[r][c], v)


LITHUANIAN = "ĄČĘĖĮŠŲŪŽąčęėįšųūž"


class Letters(unittest.TestCase):
    """Lithuanian letters in the Windows Baltic code page, and a sheet taller
    than BIFF2 readers other than LibreOffice take."""

    @classmethod
    def setUpClass(cls):
        cls.env = Env()
        cls.env.put("LT.slx", job_bytes([b"{0,0}" + LITHUANIAN.encode("cp1257"),
                                         b"{0,1}Vilnius", b"{1,1}12,5"]))
        cls.env.put("TALL.slx", job_bytes([b"{%d,0}r%d" % (r, r) for r in range(20000)]))
        cls.result = cls.env.run()
        cls.lt = cls.env.path("LT.XLS")
        cls.tall = cls.env.path("TALL.XLS")

    @classmethod
    def tearDownClass(cls):
        cls.env.tmp.cleanup()

    def test_xlrd_without_override(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        sheet = open_xls(self.lt).sheet_by_index(0)
        self.assertEqual(sheet.row_values(0), [LITHUANIAN, "Vilnius"])
        self.assertEqual(sheet.cell_value(1, 1), 12.5)

    @unittest.skipUnless(SOFFICE, "LibreOffice is not installed")
    def test_libreoffice_in_c_and_lithuanian_locales(self):
        for lang, number in ((None, "12.5"), ("lt_LT.UTF-8", "12,5")):
            lt_csv, tall_csv = libreoffice_all([self.lt, self.tall], CSV, lang)
            with open(lt_csv, encoding="utf-8") as f:
                rows = list(csv.reader(f))
            self.assertEqual(rows[0], [LITHUANIAN, "Vilnius"], lang)
            self.assertEqual(rows[1][1], number, lang)
            with open(tall_csv, encoding="utf-8") as f:
                tall = [r[0] for r in csv.reader(f)]
            self.assertEqual(tall, ["r%d" % r for r in range(20000)], lang)

    @unittest.skipUnless(SSCONVERT, "Gnumeric is not installed")
    def test_gnumeric(self):
        path, errors = gnumeric(self.lt, "csv")
        self.assertNotIn("corrupted", errors)
        with open(path, encoding="utf-8") as f:
            rows = list(csv.reader(f))
        # Gnumeric reads the text of this format in the font's code page,
        # Windows-1252 for Arial, whatever the file says: the text arrives,
        # the Lithuanian letters do not.
        self.assertEqual(rows[0], [LITHUANIAN.encode("cp1257").decode("cp1252"), "Vilnius"])
        self.assertEqual(rows[1][1], "12.5")

    def test_tall_sheet_warning_names_the_readers_that_stop(self):
        self.assertRegex(self.result.stderr,
                         r"TALL.*warning: 20000 rows, but xlrd refuses and Gnumeric cuts .* 16384")
        self.assertNotIn("warning", [l for l in self.result.stderr.splitlines() if "LT." in l][0])
        with self.assertRaises(Exception):
            open_xls(self.tall)
        if SSCONVERT:
            path, _ = gnumeric(self.tall, "csv")
            with open(path, encoding="utf-8") as f:
                self.assertEqual(len(list(csv.reader(f))), 16384)


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
