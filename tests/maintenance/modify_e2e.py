#!/usr/bin/python3
"""`marvena-spool --modify` end to end: the built tool against a real web
server on loopback (kit_server.py, TLS with a certificate openssl makes
here), a stand-in DOS emulator that records how the batch file was called,
and a spool kit whose installer records that it ran."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

TOOL = sys.argv[1]
HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_TIME = 1_765_000_000

passed = 0
failures = []


def check(condition, what):
    global passed
    if condition:
        passed += 1
    else:
        failures.append(what)
        print("FAIL:", what, flush=True)


class Server:
    def __init__(self, root, *extra):
        self.log = os.path.join(root, "..", "requests-%d.log" % id(self))
        cmd = ["/usr/bin/python3", os.path.join(HERE, "kit_server.py"), "--root", root,
               "--log", self.log] + list(extra)
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        line = self.proc.stdout.readline().decode()
        if not line.startswith("PORT "):
            raise RuntimeError("web server did not start: %r" % line)
        self.port = int(line.split()[1])

    def requests(self):
        try:
            with open(self.log) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def stop(self):
        self.proc.kill()
        self.proc.wait()


class Machine:
    """A DOS drive, a settings file, a server directory with both kits."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="marvena-modify-")
        self.drive = os.path.join(self.dir, "drive")
        self.files = os.path.join(self.dir, "www", "FILES")
        os.makedirs(self.drive)
        os.makedirs(self.files)
        self.config = os.path.join(self.dir, "MARVENA.INI")
        self.record = os.path.join(self.dir, "record.log")
        # The stand-in emulator: how it was called and where.
        self.dos = os.path.join(self.dir, "fake dos.sh")
        with open(self.dos, "w") as f:
            f.write('printf "dos %%s in %%s\\n" "$*" "$(pwd)" >> "%s"\n' % self.record)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=localhost", "-addext",
                        "subjectAltName=IP:127.0.0.1,DNS:localhost",
                        "-keyout", os.path.join(self.dir, "key.pem"),
                        "-out", os.path.join(self.dir, "cert.pem")],
                       check=True, capture_output=True)
        for name in ("MODIFY", "PKUNZIP", "MARVENA1.ZIP", "MARVENA2.ZIP"):
            self.put(name, ("%s for DOS\r\n" % name).encode() * 50)
        spool = os.path.join(self.dir, "SPOOL.ZIP")
        with zipfile.ZipFile(spool, "w") as z:
            z.writestr("SETUP.SH", 'printf "setup in %%s\\n" "$(pwd)" >> "%s"\n' % self.record)
            z.writestr("bin/marvena-spool", "new tool")
        self.put("SPOOL.ZIP", open(spool, "rb").read())
        self.write_sums()
        self.server = None

    def put(self, name, data, mtime=SERVER_TIME):
        path = os.path.join(self.files, name)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (mtime, mtime))

    def write_sums(self, skip=()):
        lines = []
        for name in sorted(os.listdir(self.files)):
            if name == "SHA256SUMS" or name in skip:
                continue
            data = open(os.path.join(self.files, name), "rb").read()
            lines.append("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name))
        with open(os.path.join(self.files, "SHA256SUMS"), "w") as f:
            f.writelines(lines)

    def serve(self, *extra, tls=True):
        if self.server:
            self.server.stop()
        if tls:
            extra = ("--cert", os.path.join(self.dir, "cert.pem"),
                     "--key", os.path.join(self.dir, "key.pem")) + extra
        self.server = Server(os.path.dirname(self.files), *extra)
        self.settings(("https" if tls else "http") + "://127.0.0.1:%d" % self.server.port)

    def settings(self, server, dos=None, extra=""):
        dos = '/bin/sh "%s" "CALL {bat}"' % self.dos if dos is None else dos
        with open(self.config, "w") as f:
            f.write("[Modify]\nServer=%s\nDosCommand=%s\nCaFile=%s\nStallTimeout=2\n%s"
                    % (server, dos, os.path.join(self.dir, "cert.pem"), extra))

    def modify(self, kits):
        env = dict(os.environ, MARVENA_DRIVE=self.drive, XDG_RUNTIME_DIR=self.dir,
                   HOME=self.dir, QT_QPA_PLATFORM="offscreen")
        env.pop("DISPLAY", None)
        r = subprocess.run([TOOL, "--config", self.config, "--modify", kits], env=env,
                           capture_output=True, timeout=120)
        return r.returncode, r.stderr.decode("utf-8", "replace")

    def local(self, dos_path):
        return os.path.join(self.drive, *dos_path.strip("\\").split("\\"))

    def recorded(self):
        try:
            return open(self.record).read().splitlines()
        except FileNotFoundError:
            return []

    def gets(self):
        return [r.split()[1].rsplit("/", 1)[1] for r in self.server.requests()
                if r.startswith("GET ")]

    def close(self):
        if self.server:
            self.server.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


def both_kits_then_nothing_new():
    m = Machine()
    try:
        m.serve()
        code, err = m.modify("both")
        check(code == 0, "both kits: exit 0 (%d)\n%s" % (code, err))
        install = m.local("\\MARVENA\\INSTALL")
        check(m.recorded() == [
            "dos CALL \\MARVENA\\INSTALL\\modify.bat in %s" % install,
            "setup in %s" % os.path.join(install, "SPOOL")],
            "batch file first, then the spool setup, each in its directory: %r" % m.recorded())
        for path in ("\\MARVENA\\INSTALL\\MODIFY.BAT", "\\MARVENA\\INSTALL\\PKUNZIP.EXE",
                     "\\MARVENA\\INSTALL\\MARVENA1.ZIP", "\\MARVENA\\INSTALL\\MARVENA2.ZIP",
                     "\\MARVENA\\INSTALL\\SPOOL\\SPOOL.ZIP", "\\MARVENA\\INSTALL\\SPOOL\\PKUNZIP.EXE"):
            p = m.local(path)
            check(os.path.isfile(p) and int(os.stat(p).st_mtime) == SERVER_TIME,
                  "%s saved with the server's time" % path)
        check(open(m.local("\\MARVENA\\INSTALL\\SPOOL\\bin\\marvena-spool")).read() == "new tool",
              "the spool kit is unpacked")
        for text in ("Kopijuojam MODIFY", "Kopijuojam MARVENA2.ZIP", "Modifikuojam Marvena ...",
                     "Kopijuojam SPOOL.ZIP", "Instaliuojam Spool ...", "100%"):
            check(text in err, "log shows %r" % text)
        check(m.gets() == ["SHA256SUMS", "MODIFY", "PKUNZIP", "MARVENA1.ZIP", "MARVENA2.ZIP",
                           "SHA256SUMS", "SPOOL.ZIP", "PKUNZIP"] or
              m.gets() == ["SHA256SUMS", "MODIFY", "PKUNZIP", "MARVENA1.ZIP", "MARVENA2.ZIP",
                           "SPOOL.ZIP", "PKUNZIP"], "program kit fetched first: %r" % m.gets())

        # Again: everything is current; only the digest list moves.
        before = len(m.server.requests())
        code, err = m.modify("program")
        check(code == 0, "second run: exit 0\n" + err)
        again = [r for r in m.server.requests()[before:] if r.startswith("GET ")]
        check(again == ["GET /FILES/SHA256SUMS"], "nothing fetched again: %r" % again)

        # A newer MARVENA1.ZIP on the server (20 minutes) is fetched; a
        # 10 minutes newer one with the same size is not.
        m.put("MARVENA1.ZIP", b"x" * 50 + b"newer", SERVER_TIME + 1200)
        m.put("MARVENA2.ZIP", open(m.local("\\MARVENA\\INSTALL\\MARVENA2.ZIP"), "rb").read(),
              SERVER_TIME + 600)
        m.write_sums()
        before = len(m.server.requests())
        code, err = m.modify("program")
        again = [r.split("/")[-1] for r in m.server.requests()[before:] if r.startswith("GET ")]
        check(code == 0 and again == ["SHA256SUMS", "MARVENA1.ZIP"],
              "20 minutes newer fetched, 10 minutes not: %r" % again)
    finally:
        m.close()


def failures_stop_before_anything_runs():
    m = Machine()
    try:
        # A wrong digest: nothing runs, the good local copy stays.
        m.serve()
        m.modify("program")
        good = open(m.local("\\MARVENA\\INSTALL\\MARVENA2.ZIP"), "rb").read()
        runs = len(m.recorded())
        m.put("MARVENA2.ZIP", b"tampered", SERVER_TIME + 5000)
        code, err = m.modify("program")
        check(code == 1, "wrong digest: exit 1")
        check("KLAIDA" in err and "kontrolin\u0117 suma nesutampa" in err,
              "wrong digest told in Lithuanian:\n" + err)
        check(len(m.recorded()) == runs, "wrong digest: the batch file did not run")
        check(open(m.local("\\MARVENA\\INSTALL\\MARVENA2.ZIP"), "rb").read() == good,
              "wrong digest: the good local copy stays")
        check(not [n for n in os.listdir(m.local("\\MARVENA\\INSTALL")) if n.startswith(".")],
              "wrong digest: no temporary file left")

        # A HEAD error on MODIFY stops before anything is fetched or run.
        m.write_sums()
        m.serve("--status", "MODIFY=500")
        code, err = m.modify("both")
        check(code == 1 and len(m.recorded()) == runs, "HEAD error: exit 1, nothing ran")
        check(m.gets() == [], "HEAD error: nothing fetched: %r" % m.gets())

        # A server that stalls mid-transfer: a time-out, the local copy kept.
        m.put("MARVENA1.ZIP", b"y" * 100000, SERVER_TIME + 9000)
        m.write_sums()
        kept = open(m.local("\\MARVENA\\INSTALL\\MARVENA1.ZIP"), "rb").read()
        m.serve("--stall", "MARVENA1.ZIP")
        start = time.monotonic()
        code, err = m.modify("program")
        check(code == 1 and time.monotonic() - start < 60, "stall: exit 1 after the time-out")
        check(open(m.local("\\MARVENA\\INSTALL\\MARVENA1.ZIP"), "rb").read() == kept,
              "stall: the local copy kept")
        check(len(m.recorded()) == runs, "stall: nothing ran")

        # Plain http: only with the digest list.
        m.serve(tls=False)
        os.rename(os.path.join(m.files, "SHA256SUMS"), os.path.join(m.dir, "SUMS"))
        code, err = m.modify("program")
        check(code == 1 and "SHA256SUMS" in err and len(m.recorded()) == runs,
              "plain http without a digest list refused:\n" + err)
        os.rename(os.path.join(m.dir, "SUMS"), os.path.join(m.files, "SHA256SUMS"))
        code, err = m.modify("program")
        check(code == 0 and len(m.recorded()) == runs + 1, "plain http with the list:\n" + err)

        # Nothing configured: the message says what to set; no request.
        m.serve()
        m.settings("https://127.0.0.1:%d" % m.server.port, dos="")
        code, err = m.modify("program")
        check(code == 1 and "DosCommand" in err and m.server.requests() == [],
              "no DosCommand: explained, nothing fetched:\n" + err)
    finally:
        m.close()


for case in (both_kits_then_nothing_new, failures_stop_before_anything_runs):
    try:
        case()
    except Exception as e:  # a broken case must not hide the others
        failures.append("%s: %r" % (case.__name__, e))
        print("FAIL:", case.__name__, repr(e), flush=True)

print("%d checks passed, %d failed" % (passed, len(failures)))
sys.exit(1 if failures else 0)
