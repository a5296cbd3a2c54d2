"""`marvena-spool.exe --modify` end to end under Wine: a plain-http web
server on loopback (tests/maintenance/kit_server.py) publishing both kits
and their SHA256SUMS; a stand-in MODIFY batch file that records where and
that it ran through the command interpreter; and kit_stand_in.exe served as
PKUNZIP, which "unpacks" SPOOL.ZIP into a SETUP.EXE that records it ran. The
tool starts on drive C: of the Wine prefix, so the kits land in
C:\\MARVENA\\INSTALL as the DOS side expects them."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

TOOL, KIT_SERVER, STAND_IN = sys.argv.pop(1), sys.argv.pop(1), sys.argv.pop(1)
WINE = shutil.which("wine") or "wine"
DRIVE_C = os.path.join(os.environ["WINEPREFIX"], "drive_c")
INSTALL = os.path.join(DRIVE_C, "MARVENA", "INSTALL")
SPOOL = os.path.join(INSTALL, "SPOOL")
SERVER_TIME = 1_765_000_000
BATCH = (b"@echo off\r\n"
         b"echo modify ran> C:\\MARVENA\\INSTALL\\RAN.TXT\r\n"
         b"cd>> C:\\MARVENA\\INSTALL\\RAN.TXT\r\n")
with open(STAND_IN, "rb") as stand_in:
    UNPACKER = stand_in.read()
KIT = {"MODIFY": ("MODIFY.BAT", BATCH),
       "PKUNZIP": ("PKUNZIP.EXE", UNPACKER),
       "MARVENA1.ZIP": ("MARVENA1.ZIP", os.urandom(700_000)),
       "MARVENA2.ZIP": ("MARVENA2.ZIP", b"PK second archive" * 1000),
       "SPOOL.ZIP": ("SPOOL\\SPOOL.ZIP", b"PK the tool" * 500)}


def win_path(path):
    return "Z:" + path.replace("/", "\\")


class Machine:
    def __init__(self, test):
        self.dir = tempfile.mkdtemp(prefix="marvena-winmodify-")
        test.addCleanup(shutil.rmtree, self.dir, True)
        self.files = os.path.join(self.dir, "www", "FILES")
        os.makedirs(self.files)
        self.log = os.path.join(self.dir, "requests.log")
        self.ini = os.path.join(self.dir, "MARVENA.INI")
        for name, (_, data) in KIT.items():
            self.put(name, data)
        self.write_sums()
        self.test = test
        self.proc = None

    def put(self, name, data):
        path = os.path.join(self.files, name)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (SERVER_TIME, SERVER_TIME))

    def write_sums(self):
        with open(os.path.join(self.files, "SHA256SUMS"), "w") as f:
            for name in sorted(KIT):
                with open(os.path.join(self.files, name), "rb") as served:
                    data = served.read()
                f.write("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name))

    def serve(self, *extra):
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", KIT_SERVER, "--root", os.path.dirname(self.files), "--log",
             self.log, *extra], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.test.addCleanup(self.proc.stdout.close)
        self.test.addCleanup(self.proc.wait)
        self.test.addCleanup(self.proc.kill)
        line = self.proc.stdout.readline().decode()
        self.test.assertTrue(line.startswith("PORT "), line)
        # Plain http named in the settings, as maintenance over http requires.
        with open(self.ini, "w") as f:
            # A certificate file WinINet cannot use: said so, and not in the way.
            f.write("[Modify]\r\nServer=http://127.0.0.1:%d\r\nConnectTimeout=5\r\n"
                    "StallTimeout=5\r\nCaFile=C:\\certs\\marvena.pem\r\n"
                    % int(line.split()[1]))

    def modify(self, kits="program"):
        out = subprocess.run([WINE, TOOL, "--config", win_path(self.ini), "--modify", kits],
                             cwd=DRIVE_C, capture_output=True, timeout=240)
        return out.returncode, out.stderr.decode("utf-8", "replace")

    def gets(self):
        try:
            with open(self.log) as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return []
        return [r.split()[1].rsplit("/", 1)[1] for r in lines if r.startswith("GET ")]


class ModifyProgram(unittest.TestCase):
    def setUp(self):
        shutil.rmtree(os.path.join(DRIVE_C, "MARVENA"), ignore_errors=True)
        self.addCleanup(shutil.rmtree, os.path.join(DRIVE_C, "MARVENA"), True)

    def ran(self):
        try:
            with open(os.path.join(INSTALL, "RAN.TXT"), "rb") as f:
                return f.read().decode("ascii", "replace")
        except FileNotFoundError:
            return None

    def test_the_kit_lands_with_the_servers_dates_and_the_batch_file_runs(self):
        m = Machine(self)
        m.serve()
        code, err = m.modify()
        self.assertEqual(code, 0, err)
        for name, (local, data) in KIT.items():
            if name == "SPOOL.ZIP":
                continue
            path = os.path.join(INSTALL, local)
            with open(path, "rb") as saved:
                self.assertEqual(saved.read(), data, local)
            self.assertEqual(int(os.stat(path).st_mtime), SERVER_TIME, local)
        ran = self.ran()
        self.assertIsNotNone(ran, err)
        self.assertIn("modify ran", ran)
        self.assertIn("C:\\MARVENA\\INSTALL", ran.upper())
        for text in ("Kopijuojam MODIFY", "Kopijuojam MARVENA2.ZIP", "Modifikuojam Marvena ...",
                     "100%"):
            self.assertIn(text, err)
        self.assertEqual(m.gets(), ["SHA256SUMS", "MODIFY", "PKUNZIP", "MARVENA1.ZIP",
                                    "MARVENA2.ZIP"])
        self.assertEqual([n for n in os.listdir(INSTALL) if n.startswith(".")], [])
        self.assertIn("CaFile is not used on Windows", err)

        # Again: every copy is current by the dates HEAD told; nothing is fetched.
        os.remove(os.path.join(INSTALL, "RAN.TXT"))
        before = len(m.gets())
        code, err = m.modify()
        self.assertEqual(code, 0, err)
        self.assertEqual(m.gets()[before:], ["SHA256SUMS"])
        self.assertIsNotNone(self.ran(), err)

    def test_both_kits_program_first_then_the_spool_kit_unpacked_and_set_up(self):
        m = Machine(self)
        m.serve()
        code, err = m.modify("both")
        self.assertEqual(code, 0, err)
        self.assertEqual(m.gets(), ["SHA256SUMS", "MODIFY", "PKUNZIP", "MARVENA1.ZIP",
                                    "MARVENA2.ZIP", "SPOOL.ZIP", "PKUNZIP"])
        self.assertIn("modify ran", self.ran() or "", err)
        for local in ("SPOOL.ZIP", "PKUNZIP.EXE"):
            path = os.path.join(SPOOL, local)
            self.assertEqual(int(os.stat(path).st_mtime), SERVER_TIME, local)
        with open(os.path.join(SPOOL, "RAN.TXT")) as f:
            ran = [line.upper() for line in f.read().splitlines()]
        self.assertEqual(len(ran), 2, ran)
        where = " IN C:\\MARVENA\\INSTALL\\SPOOL"
        self.assertTrue(ran[0].startswith("PKUNZIP.EXE -O SPOOL" + where), ran)
        self.assertTrue(ran[1].startswith("SETUP.EXE" + where), ran)
        self.assertLess(err.index("Modifikuojam Marvena ..."),
                        err.index("Instaliuojam Spool ..."))
        self.assertIn("spool kit done", err)

    def test_a_head_error_on_modify_stops_before_anything_runs(self):
        m = Machine(self)
        m.serve("--status", "MODIFY=500")
        code, err = m.modify()
        self.assertEqual(code, 1, err)
        self.assertEqual(err.count("KLAIDA"), 1, err)
        self.assertIn("HTTP 500", err)
        self.assertIsNone(self.ran())
        self.assertEqual(m.gets(), [])

    def test_a_wrong_digest_keeps_the_file_out_and_runs_nothing(self):
        m = Machine(self)
        m.put("MARVENA2.ZIP", b"tampered")
        m.serve()
        code, err = m.modify()
        self.assertEqual(code, 1, err)
        self.assertIn("kontrolin\u0117 suma nesutampa", err)
        self.assertIsNone(self.ran())
        self.assertFalse(os.path.exists(os.path.join(INSTALL, "MARVENA2.ZIP")))

    def test_plain_http_without_a_digest_list_is_refused(self):
        m = Machine(self)
        os.remove(os.path.join(m.files, "SHA256SUMS"))
        m.serve()
        code, err = m.modify()
        self.assertEqual(code, 1, err)
        self.assertIn("SHA256SUMS", err)
        self.assertIsNone(self.ran())


if __name__ == "__main__":
    unittest.main(verbosity=2)
