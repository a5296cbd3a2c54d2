"""Peak memory of `marvena-spool --modify` while it downloads a large kit.

Usage: /usr/bin/python3 bench/download_memory.py build/marvena-spool [megabytes]

Serves a program kit whose MARVENA1.ZIP is `megabytes` MB (default 500) from
the test web server on loopback over TLS (certificate made here by openssl),
with its SHA256SUMS, and runs `--modify program` once with that kit and once
with a kit of a few kilobytes. Prints the peak resident memory of each run:
a download streamed to disk keeps the two close, whatever the kit's size.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/marvena-spool")
MEGABYTES = int(sys.argv[2]) if len(sys.argv) > 2 else 500
SERVER = os.path.join(HERE, "..", "tests", "maintenance", "kit_server.py")


def run(root, size):
    files = os.path.join(root, "www", "FILES")
    os.makedirs(files)
    sums = []
    for name, length in (("MODIFY", 100), ("PKUNZIP", 100), ("MARVENA1.ZIP", size),
                         ("MARVENA2.ZIP", 100)):
        digest = hashlib.sha256()
        block = os.urandom(1 << 20)
        with open(os.path.join(files, name), "wb") as f:
            left = length
            while left > 0:
                piece = block[:min(left, len(block))]
                f.write(piece)
                digest.update(piece)
                left -= len(piece)
        sums.append("%s  %s\n" % (digest.hexdigest(), name))
    with open(os.path.join(files, "SHA256SUMS"), "w") as f:
        f.writelines(sums)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", root + "/key.pem", "-out", root + "/cert.pem"],
                   check=True, capture_output=True)
    server = subprocess.Popen(["/usr/bin/python3", SERVER, "--root", root + "/www",
                               "--cert", root + "/cert.pem", "--key", root + "/key.pem"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    port = int(server.stdout.readline().split()[1])
    ini = os.path.join(root, "MARVENA.INI")
    with open(ini, "w") as f:
        f.write("[Modify]\nServer=https://127.0.0.1:%d\nCaFile=%s/cert.pem\nDosCommand=/bin/true\n"
                % (port, root))
    os.makedirs(root + "/drive")
    env = dict(os.environ, MARVENA_DRIVE=root + "/drive", HOME=root, XDG_RUNTIME_DIR=root)
    env.pop("DISPLAY", None)
    try:
        t0 = time.monotonic()
        tool = subprocess.Popen([TOOL, "--config", ini, "--modify", "program"], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        err = tool.stderr.read()
        _, status, usage = os.wait4(tool.pid, 0)  # the tool's own peak, not other children's
        took = time.monotonic() - t0
        code = tool.returncode = os.waitstatus_to_exitcode(status)
        if code != 0:
            print(err)
        return code, took, usage.ru_maxrss
    finally:
        server.kill()
        server.wait()


def main():
    for label, size in (("small kit (4 files of 100 bytes)", 100),
                        ("%d MB MARVENA1.ZIP" % MEGABYTES, MEGABYTES << 20)):
        root = tempfile.mkdtemp(prefix="marvena-dlmem-")
        try:
            code, took, peak_kb = run(root, size)
            rate = size / took / (1 << 20) if size > 1000 else 0
            print("%-34s exit %d  %6.1f s  %6.1f MB/s  peak RSS %7.1f MB"
                  % (label, code, took, rate, peak_kb / 1024.0))
        finally:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
