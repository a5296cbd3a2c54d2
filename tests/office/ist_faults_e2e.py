"""*.IST jobs when things go wrong, against real LibreOffice: a template that
is no workbook or lacks a sheet, a working workbook that is a directory,
read-only, or open in the office with or without unsaved changes, no office
at all, an office killed or hung while it fills, and an office the tool
starts itself. Every office here is private (own profile and pipe)."""
import os
import signal
import stat
import sys
import tempfile
import time
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
    OFFICE = io_.Office(ROOT.name, "faults").start()
    io_.make_templates(OFFICE, os.path.join(ROOT.name, "templates"))


def tearDownModule():
    if OFFICE:
        OFFICE.stop()
    if ROOT:
        ROOT.cleanup()


class Faults(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(dir=ROOT.name)
        self.spool = io_.Spool(self.tmp.name, TOOL, OFFICE.connection,
                               os.path.join(ROOT.name, "templates"))

    def tearDown(self):
        OFFICE.close(self.spool.workbook)
        self.tmp.cleanup()

    def failed(self, name="A.IST"):
        return os.path.exists(os.path.join(self.spool.dir, "FAILED", name))

    def test_template_of_random_bytes_fails(self):
        self.spool.put("ups_02_009_template.xls", os.urandom(20000))
        self.spool.put("A.IST", io_.job(io_.numbered_lines(2)))
        out = self.spool.run()
        self.assertEqual(out.returncode, 1, out.stderr)
        self.assertTrue(self.failed(), out.stderr)
        # Read as no workbook, or as a sheet of text without the form's sheets.
        self.assertTrue("neatidarė" in out.stderr or "„1-UPS-02-pagrindinis“" in out.stderr,
                        out.stderr)

    def test_missing_template_fails(self):
        os.remove(self.spool.path("ups_02_117_template.xls"))
        self.spool.put("A.IST", io_.job(io_.numbered_lines(10)))
        out = self.spool.run()
        self.assertEqual(out.returncode, 1, out.stderr)
        self.assertTrue(self.failed())
        self.assertIn("ups_02_117_template.xls", out.stderr)

    def test_template_without_sheet_57_stops_there_and_says_so(self):
        OFFICE.make_template(self.spool.path("ups_02_597_template.xls"), 99,
                             leave_out=(io_.supplementary(57),))
        self.spool.put("A.IST", io_.job(io_.numbered_lines(597)))
        out = self.spool.run()
        self.assertEqual(out.returncode, 1, out.stderr)
        self.assertTrue(self.failed())
        self.assertIn("„57-UPS-02-papildomas“", out.stderr)
        import xlrd
        copy = os.path.join(self.tmp.name, "copy.xls")
        OFFICE.store_copy(self.spool.workbook, copy)
        book = xlrd.open_workbook(copy)
        # Sheet 56 holds lines 328..333; sheet 58 was never reached.
        self.assertEqual(io_.cell(book.sheet_by_name(io_.supplementary(56)), "B59").value,
                         "333")
        c = io_.cell(book.sheet_by_name(io_.supplementary(58)), "B14")
        self.assertTrue(c is None or c.value == "")

    def test_workbook_that_is_a_directory_fails(self):
        os.mkdir(self.spool.workbook)
        self.spool.put("A.IST", io_.job(io_.numbered_lines(2)))
        out = self.spool.run()
        self.assertEqual(out.returncode, 1, out.stderr)
        self.assertTrue(self.failed())
        self.assertTrue(os.path.isdir(self.spool.workbook))
        os.rmdir(self.spool.workbook)

    def test_read_only_workbook_is_replaced_by_the_fresh_copy(self):
        self.spool.put("ups_02.xls", b"an old form")
        os.chmod(self.spool.workbook, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        self.spool.put("A.IST", io_.job(io_.numbered_lines(2)))
        out = self.spool.run()
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertIsNotNone(OFFICE.find(self.spool.workbook))

    def test_open_workbook_closed_when_saved_job_kept_when_changed(self):
        with open(os.path.join(ROOT.name, "templates", "ups_02_009_template.xls"), "rb") as f:
            self.spool.put("ups_02.xls", f.read())
        doc = OFFICE.open_hidden(self.spool.workbook)
        doc.getSheets().getByIndex(0).getCellRangeByName("C3").setString("user's work")
        self.spool.put("A.IST", io_.job(io_.numbered_lines(2)))
        out = self.spool.run()
        self.assertEqual(out.returncode, 1, out.stderr)
        self.assertIn("uždarykite ankstesnę UPS-02 darbo knygą", out.stderr)
        self.assertTrue(os.path.exists(self.spool.path("A.IST")))  # kept, tried again later
        self.assertEqual(doc.getSheets().getByIndex(0).getCellRangeByName("C3").getString(),
                         "user's work")
        doc.setModified(False)  # as if saved
        out = self.spool.run()
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertFalse(os.path.exists(self.spool.path("A.IST")))
        filled = OFFICE.find(self.spool.workbook)
        self.assertEqual(filled.getSheets().getByIndex(0).getCellRangeByName("B50").getString(),
                         "2")

    def test_no_office_keeps_the_job(self):
        spool = io_.Spool(self.tmp.name, TOOL, "pipe,name=marvena-nobody-%d;urp;" % os.getpid(),
                          os.path.join(ROOT.name, "templates"), "StartTimeout=5\n")
        spool.put("A.IST", io_.job(io_.numbered_lines(2)))
        started = time.monotonic()
        out = spool.run({"PATH": "/nonexistent"})  # no soffice to start
        self.assertLess(time.monotonic() - started, 30)
        self.assertEqual(out.returncode, 1, out.stderr)
        self.assertIn("Nepavyko pasiekti skaičiuoklės", out.stderr)
        self.assertTrue(os.path.exists(spool.path("A.IST")))
        self.assertFalse(os.path.exists(spool.workbook))


class LostOffice(unittest.TestCase):
    """An office of its own for each case, killed or stopped while it fills."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(dir=ROOT.name)
        self.office = io_.Office(self.tmp.name, "victim").start()
        self.spool = io_.Spool(self.tmp.name, TOOL, self.office.connection,
                               os.path.join(ROOT.name, "templates"), "Timeout=6\n")
        self.spool.put("A.IST", io_.job(io_.numbered_lines(60)))

    def tearDown(self):
        self.office.stop()
        self.tmp.cleanup()

    def start_and_wait_for_filling(self):
        proc = self.spool.start({"MARVENA_TEST_CALC_PAUSE_MS": "400"})
        deadline = time.monotonic() + 60
        while self.office.find(self.spool.workbook) is None:
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.05)
        time.sleep(0.5)  # a sheet or two into the filling
        return proc

    def check_kept(self, proc, started):
        _, err = proc.communicate(timeout=60)
        self.assertLess(time.monotonic() - started, 30)
        self.assertEqual(proc.returncode, 1, err)
        self.assertIn("Nepavyko pasiekti skaičiuoklės", err)
        self.assertEqual(err.count("Nepavyko pasiekti skaičiuoklės"), 1)
        self.assertTrue(os.path.exists(self.spool.path("A.IST")))

    def test_office_killed_during_the_filling(self):
        proc = self.start_and_wait_for_filling()
        started = time.monotonic()
        os.killpg(self.office.proc.pid, signal.SIGKILL)
        self.check_kept(proc, started)

    def test_office_hung_during_the_filling(self):
        proc = self.start_and_wait_for_filling()
        started = time.monotonic()
        os.killpg(self.office.proc.pid, signal.SIGSTOP)
        try:
            self.check_kept(proc, started)
        finally:
            os.killpg(self.office.proc.pid, signal.SIGKILL)
            os.killpg(self.office.proc.pid, signal.SIGCONT)


class ColdStart(unittest.TestCase):
    def test_tool_starts_an_office_when_none_runs(self):
        with tempfile.TemporaryDirectory(dir=ROOT.name) as tmp:
            office = io_.Office(tmp, "cold")  # not started: the tool starts it
            spool = io_.Spool(tmp, TOOL, office.connection, os.path.join(ROOT.name, "templates"))
            spool.put("A.IST", io_.job(io_.numbered_lines(4)))
            out = spool.run()
            pid = None
            for line in out.stderr.splitlines():
                if "started LibreOffice (pid " in line:
                    pid = int(line.split("(pid ")[1].split(",")[0])
            self.assertIsNotNone(pid, out.stderr)
            try:
                self.assertEqual(out.returncode, 0, out.stderr)
                self.assertIn("headless", out.stderr)
                office.connect(30)
                doc = office.find(spool.workbook)
                self.assertEqual(doc.getSheets().getByName(io_.supplementary(2))
                                 .getCellRangeByName("B14").getString(), "4")
                # Its profile is in the private home, not the user's.
                self.assertTrue(any(os.path.isdir(os.path.join(tmp, d, "libreoffice"))
                                    for d in ("config", ".config")))
                # The next job reuses that office, and the tool's locks did not
                # stay with it.
                office.close(spool.workbook)
                spool.put("B.IST", io_.job(io_.numbered_lines(1)))
                again = spool.run()
                self.assertEqual(again.returncode, 0, again.stderr)
                self.assertIn("B.IST", again.stderr)
                self.assertNotIn("started LibreOffice", again.stderr)
            finally:
                os.killpg(pid, signal.SIGKILL)
                time.sleep(0.5)
                io_.remove_stale_pipes(office.started)


if __name__ == "__main__":
    reason = io_.missing()
    if reason:
        print("skipped: " + reason)
        sys.exit(SKIP)
    unittest.main(verbosity=2)
