"""*.IST jobs filled through a real headless LibreOffice: a private office
(own profile and pipe) makes the UPS-02 templates, the headless tool fills
jobs into it, and each filled workbook is stored as a copy by the office and
read back with xlrd, cell by cell against the form's cell table."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ist_office as io_  # noqa: E402

TOOL = sys.argv.pop(1) if len(sys.argv) > 1 else "build/marvena-spool"
SKIP = 77
OFFICE = None
ROOT = None


def setUpModule():
    global OFFICE, ROOT
    ROOT = tempfile.TemporaryDirectory()
    OFFICE = io_.Office(ROOT.name, "fill").start()
    io_.make_templates(OFFICE, os.path.join(ROOT.name, "templates"))


def tearDownModule():
    if OFFICE:
        OFFICE.stop()
    if ROOT:
        ROOT.cleanup()


class Filled(unittest.TestCase):
    """Jobs filled into the office, read back."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(dir=ROOT.name)
        self.spool = io_.Spool(self.tmp.name, TOOL, OFFICE.connection,
                               os.path.join(ROOT.name, "templates"))

    def tearDown(self):
        OFFICE.close(self.spool.workbook)
        self.tmp.cleanup()

    def fill(self, data_lines, name="A.IST"):
        self.spool.put(name, io_.job(data_lines))
        out = self.spool.run()
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertFalse(os.path.exists(self.spool.path(name)))
        return out

    def read_back(self):
        import xlrd
        copy = os.path.join(self.tmp.name, "copy.xls")
        OFFICE.store_copy(self.spool.workbook, copy)
        return xlrd.open_workbook(copy)

    def check(self, book, expected, untouched_sheets=()):
        for sheet_name, cells in expected.items():
            sheet = book.sheet_by_name(sheet_name)
            for address, text in cells.items():
                c = io_.cell(sheet, address)
                self.assertIsNotNone(c, (sheet_name, address))
                self.assertEqual(c.value, text, (sheet_name, address))
                if text:
                    self.assertEqual(c.ctype, 1, (sheet_name, address, "not text"))
            self.assertTrue(io_.cell(sheet, "A1").value.startswith(("UPS-02", "papildomas")))
        for sheet_name in untouched_sheets:
            c = io_.cell(book.sheet_by_name(sheet_name), "B14")
            self.assertTrue(c is None or c.value == "", sheet_name)

    def test_jobs_of_2_4_7_10_and_597_lines(self):
        for count, code in [(2, "009"), (4, "009"), (7, "009"), (10, "117"), (597, "597")]:
            with self.subTest(lines=count):
                lines = io_.numbered_lines(count)
                out = self.fill(lines)
                self.assertIn("from ups_02_%s_template.xls" % code, out.stderr)
                fields = [["L%dF%dŠ" % (n, i) for i in range(1, 14)] for n in range(1, count + 1)]
                expected = io_.expected_cells(fields)
                book = self.read_back()
                pages = int(expected[io_.MAIN]["AB36"])
                self.assertEqual(pages, {2: 1, 4: 2, 7: 2, 10: 3, 597: 100}[count])
                last = io_.SIZES[code] + 1
                self.check(book, expected,
                           [io_.supplementary(k) for k in range(pages + 1, last + 1)])
                # Field 1 never reaches the workbook.
                for sheet in book.sheets():
                    for r in range(sheet.nrows):
                        for value in sheet.row_values(r):
                            self.assertFalse(str(value).endswith("F1Š"), value)
                OFFICE.close(self.spool.workbook)

    def test_cell_at_a_time_where_the_office_runs_no_basic(self):
        self.spool.put("A.IST", io_.job(io_.numbered_lines(10)))
        out = self.spool.run({"MARVENA_TEST_CALC_NO_BASIC": "1"})
        self.assertEqual(out.returncode, 0, out.stderr)
        fields = [["L%dF%dŠ" % (n, i) for i in range(1, 14)] for n in range(1, 11)]
        self.check(self.read_back(), io_.expected_cells(fields))

    def test_odd_lines_and_bytes(self):
        high = bytes(b for b in range(0x80, 0x100) if b != 0xB3)
        lines = [
            b"no separator at all",
            io_.SEP.join(b"f%d" % i for i in range(1, 31)),
            b"1" + io_.SEP + b"y" * 300 + io_.SEP + b"after the long one",
            b"1" + io_.SEP + b"\x01\x02 a\x00b\x1fc \x1e" + io_.SEP + high[:64] + io_.SEP +
            high[64:],
        ]
        self.fill(lines)
        book = self.read_back()
        main = book.sheet_by_name(io_.MAIN)
        extra = book.sheet_by_name(io_.supplementary(2))
        self.assertEqual(io_.cell(main, "B41").value, "1")
        self.assertEqual(io_.cell(main, "D41").value, "")  # field 2 of a line without any
        self.assertEqual(io_.cell(main, "D50").value, "f2")  # 30 fields: 13 taken
        self.assertEqual(io_.cell(main, "B52").value, "f13")
        self.assertEqual(io_.cell(main, "X56").value, "f12")
        self.assertEqual(io_.cell(main, "D59").value, "y" * 255)  # cut, the rest kept
        self.assertEqual(io_.cell(main, "B61").value, "")
        self.assertEqual(io_.cell(main, "O61").value, "after the long one")
        self.assertEqual(io_.cell(extra, "B14").value, "4")
        self.assertEqual(io_.cell(extra, "D14").value, "a b c")  # inner control bytes: blanks
        decoded = io_.cell(extra, "O16").value + io_.cell(extra, "S16").value
        self.assertEqual(len(decoded), len(high))
        for letter in "ĄąČčĘęĖėĮįŠšŲųŪūŽž─┌┐└┘├┤┬┴┼":
            self.assertIn(letter, decoded)

    def test_line_counts_at_each_template_boundary(self):
        for count, code in [(1, "009"), (3, "009"), (9, "009"), (117, "117"), (118, "297"),
                            (297, "297"), (298, "597")]:
            with self.subTest(lines=count):
                out = self.fill([b"x" + io_.SEP + b"%d" % n for n in range(1, count + 1)])
                self.assertIn("from ups_02_%s_template.xls" % code, out.stderr)
                book = self.read_back()
                pages = 1 if count <= 3 else 1 + (count - 3 + 5) // 6
                self.assertEqual(io_.cell(book.sheet_by_name(io_.MAIN), "AB36").value,
                                 str(pages))
                last = book.sheet_by_name(io_.supplementary(pages) if pages > 1 else io_.MAIN)
                row = (14 + 9 * ((count - 4) % 6)) if count > 3 else 41 + 9 * (count - 1)
                self.assertEqual(io_.cell(last, "B%d" % row).value, str(count))
                self.assertEqual(io_.cell(last, "D%d" % row).value, str(count))
                OFFICE.close(self.spool.workbook)

    def test_out_of_range_moves_the_job_to_failed(self):
        for count in (0, 598):
            with self.subTest(lines=count):
                self.spool.put("R.IST", io_.job(io_.numbered_lines(count)))
                out = self.spool.run()
                self.assertEqual(out.returncode, 1, out.stderr)
                self.assertTrue(os.path.exists(os.path.join(self.spool.dir, "FAILED", "R.IST")))
                self.assertIn("nuo 1 iki 597", out.stderr)
                os.remove(os.path.join(self.spool.dir, "FAILED", "R.IST"))
                self.assertFalse(os.path.exists(self.spool.workbook))


if __name__ == "__main__":
    reason = io_.missing()
    if reason:
        print("skipped: " + reason)
        sys.exit(SKIP)
    unittest.main(verbosity=2)
