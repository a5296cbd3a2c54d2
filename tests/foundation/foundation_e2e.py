"""End-to-end checks of the headless tool: command line, start-up, the
dispatcher's pickup rules against real files and real writer processes."""
import os
import shutil
import select
import subprocess
import sys
import tempfile
import time
import unittest

TOOL = sys.argv.pop(1) if len(sys.argv) > 1 else "build/marvena-spool"


class Env:
    def __init__(self, spool_rel="spool", extra=""):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.spool = os.path.join(self.root, spool_rel)
        self.ini = os.path.join(self.root, "MARVENA.INI")
        with open(self.ini, "w") as f:
            f.write(f"[Spool]\nPath={self.spool}\nPdfDir={self.root}/pdf\nPrinterIndex=-1\n{extra}")

    def run(self, *args, timeout=60):
        return subprocess.run([TOOL, "--headless", "--config", self.ini, *args],
                              capture_output=True, text=True, timeout=timeout,
                              env=dict(os.environ, QT_QPA_PLATFORM="offscreen",
                                       MARVENA_DRIVE=self.root))

    def start(self):
        return subprocess.Popen([TOOL, "--headless", "--config", self.ini],
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                env=dict(os.environ, QT_QPA_PLATFORM="offscreen",
                                         MARVENA_DRIVE=self.root))

    def put(self, name, data=b"x"):
        with open(os.path.join(self.spool, name), "wb") as f:
            f.write(data)


def read_log_until(proc, needle, timeout):
    """Reads the tool's stderr until a line contains needle; returns the time it took."""
    start = time.monotonic()
    fd = proc.stderr.fileno()
    seen = proc.seen if hasattr(proc, "seen") else b""
    proc.seen = b""
    while True:
        if needle.encode() in seen:
            return time.monotonic() - start, seen.decode(errors="replace")
        left = timeout - (time.monotonic() - start)
        if left <= 0:
            return None, seen.decode(errors="replace")
        ready, _, _ = select.select([fd], [], [], left)
        if ready:
            chunk = os.read(fd, 65536)
            if not chunk:
                return None, seen.decode(errors="replace")
            seen += chunk


class CommandLine(unittest.TestCase):
    def test_version_help_and_bad_arguments(self):
        out = subprocess.run([TOOL, "--version"], capture_output=True, text=True)
        self.assertEqual(out.returncode, 0)
        self.assertTrue(out.stdout.startswith("marvena-spool "))
        out = subprocess.run([TOOL, "--help"], capture_output=True, text=True)
        self.assertEqual(out.returncode, 0)
        self.assertIn("--once", out.stdout)
        out = subprocess.run([TOOL, "--bogus"], capture_output=True, text=True)
        self.assertEqual(out.returncode, 2)
        out = subprocess.run([TOOL, "--config"], capture_output=True, text=True)
        self.assertEqual(out.returncode, 2)


class Startup(unittest.TestCase):
    def test_empty_spool_is_created_with_parents_and_once_exits(self):
        env = Env("deep/er/spool")
        out = env.run("--once")
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertTrue(os.path.isdir(env.spool))
        with open(env.ini) as f:
            ini = f.read()
        # The printer list ends with the built-in PDF printer.
        keys = [l.split("=", 1) for l in ini.splitlines() if l.startswith("Printer") and "=" in l]
        listed = [v for k, v in keys if k[7:].isdigit()]
        self.assertEqual(listed[-1], "Marvena PDF")

    def test_dos_path_maps_to_the_drive_root(self):
        env = Env()
        with open(env.ini, "w") as f:
            f.write("[Spool]\nPath=\\MARVENA\\SPOOL\n")
        out = env.run("--once")
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertTrue(os.path.isdir(os.path.join(env.root, "MARVENA", "SPOOL")))

    def test_spool_that_cannot_be_created_leaves_the_tool_disabled(self):
        env = Env("blocker/spool")
        open(os.path.join(env.root, "blocker"), "w").close()  # a file where a directory must go
        out = env.run("--once")
        self.assertEqual(out.returncode, 0)
        self.assertIn("Nepavyko sukurti katalogo " + env.spool + "\\", out.stderr)
        self.assertIn('Failed To Create "' + env.spool + '" !', out.stderr)
        # It stays up (disabled) when not asked to run once.
        proc = env.start()
        time.sleep(1.5)
        self.assertIsNone(proc.poll())
        proc.terminate()
        proc.wait(10)

    def test_hostile_settings_file(self):
        env = Env()
        with open(env.ini, "wb") as f:
            f.write(b"\x00\xff[Spool\n" + b"y" * 100000 + b"\n[Spool]\nPath=" +
                    env.spool.encode() + b"\n[Spool]\nPath=/nonsense\nnoequals\nPrinterIndex=99")
        out = env.run("--once")
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertTrue(os.path.isdir(env.spool))
        self.assertFalse(os.path.exists("/nonsense"))
        # The rewrite kept the rest of the file.
        with open(env.ini, "rb") as f:
            self.assertIn(b"y" * 100000, f.read())

    def test_one_instance_per_settings_file(self):
        a, b = Env(), Env()
        first = a.start()
        try:
            time.sleep(1.0)
            t = time.monotonic()
            second = a.run()  # same settings file, not --once: must end at once, silently
            self.assertEqual(second.returncode, 0)
            self.assertEqual(second.stderr, "")
            self.assertLess(time.monotonic() - t, 10)
            other = b.run("--once")  # another settings file runs side by side
            self.assertEqual(other.returncode, 0)
            self.assertIn("spool directory", other.stderr)
        finally:
            first.terminate()
            first.wait(10)


class Pickup(unittest.TestCase):
    def test_populated_spool_with_odd_entries(self):
        env = Env()
        os.makedirs(env.spool)
        for name in ["b.IST", "A.ist", ".hidden.IST", "c.IST.bak", "e.FTP"]:
            env.put(name)
        os.mkdir(os.path.join(env.spool, "dir.IST"))
        os.mkfifo(os.path.join(env.spool, "pipe.IST"))
        out = env.run("--once", timeout=30)
        self.assertEqual(out.returncode, 1, out.stderr)  # the empty *.IST jobs fail
        log = out.stderr
        for name in ["hidden", "dir.IST", "pipe.IST", "c.IST.bak", "e.FTP"]:
            self.assertNotIn(name, log)  # e.FTP: no export settings, no upload job
        self.assertIn("A.ist", log)
        self.assertIn("b.IST", log)
        self.assertLess(log.index("A.ist"), log.index("b.IST"))
        self.assertTrue(os.path.exists(os.path.join(env.spool, "e.FTP")))  # left untouched
        for name in ["b.IST", "A.ist"]:  # no data lines: moved aside, never lost
            self.assertTrue(os.path.exists(os.path.join(env.spool, "FAILED", name)))

    def test_file_held_open_by_its_writer_waits_for_it(self):
        env = Env()
        os.makedirs(env.spool)
        path = os.path.join(env.spool, "held.IST")
        writer = subprocess.Popen([sys.executable, "-c",
                                   "import sys,time\nf=open(sys.argv[1],'w')\nf.write('x')\n"
                                   "f.flush()\nprint('ready',flush=True)\ntime.sleep(3)\n", path],
                                  stdout=subprocess.PIPE, text=True)
        self.assertEqual(writer.stdout.readline().strip(), "ready")
        proc = env.start()
        try:
            took, log = read_log_until(proc, "held.IST", 2.0)
            self.assertIsNone(took, "taken while its writer still had it open:\n" + log)
            writer.wait(10)
            took, log = read_log_until(proc, "held.IST", 5.0)
            self.assertIsNotNone(took, log)
        finally:
            proc.terminate()
            proc.wait(10)

    def test_writer_reopening_a_file_during_lease_checks_does_not_kill_the_tool(self):
        env = Env()
        proc = env.start()
        try:
            took, log = read_log_until(proc, "spool directory", 10)
            self.assertIsNotNone(took, log)
            path = os.path.join(env.spool, "busy.slx")
            end = time.monotonic() + 3
            while time.monotonic() < end:  # a DOS program appending line by line
                with open(path, "ab") as f:
                    f.write(b"line\r\n")
            time.sleep(0.5)
            self.assertIsNone(proc.poll(), "the tool died while a writer reopened its file")
        finally:
            proc.terminate()
            proc.wait(10)

    def test_spool_removed_while_running_and_made_again(self):
        env = Env()
        proc = env.start()
        try:
            took, log = read_log_until(proc, "spool directory", 10)
            self.assertIsNotNone(took, log)
            # The tool may be making its work area inside it at that moment.
            for _ in range(50):
                shutil.rmtree(env.spool, ignore_errors=True)
                if not os.path.exists(env.spool):
                    break
                time.sleep(0.02)
            self.assertFalse(os.path.exists(env.spool))
            time.sleep(1.5)
            self.assertIsNone(proc.poll())
            os.makedirs(env.spool)
            time.sleep(1.2)  # the next tick watches it again
            env.put("late.IST")
            took, log = read_log_until(proc, "late.IST", 5)
            self.assertIsNotNone(took, log)
        finally:
            proc.terminate()
            proc.wait(10)


if __name__ == "__main__":
    unittest.main(verbosity=2)
