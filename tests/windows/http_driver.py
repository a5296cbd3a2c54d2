"""Runs win_http_tests.exe under Wine against web servers on loopback
(tests/maintenance/kit_server.py): a plain one, one that stalls mid-body, a
TLS one with a self-signed certificate, and an address nobody listens on.
Their addresses go to the tests in the environment."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile

TESTS, KIT_SERVER = sys.argv[1], sys.argv[2]
WINE = shutil.which("wine") or "wine"


def win_path(path):
    return "Z:" + path.replace("/", "\\")


def put(root, name, data, mtime):
    path = os.path.join(root, "FILES", name)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (mtime, mtime))


def start(root, *extra):
    proc = subprocess.Popen(["/usr/bin/python3", KIT_SERVER, "--root", root, *extra],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    line = proc.stdout.readline().decode()
    if not line.startswith("PORT "):
        proc.kill()
        raise RuntimeError("web server did not start: %r" % line)
    return proc, "http://127.0.0.1:%d" % int(line.split()[1])


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    tmp = tempfile.mkdtemp(prefix="marvena-winhttp-")
    servers = []
    try:
        os.makedirs(os.path.join(tmp, "FILES"))
        put(tmp, "MARVENA1.ZIP", os.urandom(3 << 20), 1_700_000_000)
        put(tmp, "EMPTY", b"", 1_765_000_000)
        env = dict(os.environ, MARVENA_TEST_HTTP_ROOT=win_path(tmp),
                   MARVENA_TEST_HTTP_DEAD="http://127.0.0.1:%d" % free_port())
        proc, env["MARVENA_TEST_HTTP"] = start(
            tmp, "--status", "GONE=500", "--redirect", "SAME=/FILES/MARVENA1.ZIP",
            "--redirect", "AWAY=ftp://127.0.0.1/FILES/MARVENA1.ZIP")
        servers.append(proc)
        proc, env["MARVENA_TEST_HTTP_STALL"] = start(tmp, "--stall", "MARVENA1.ZIP")
        servers.append(proc)
        cert, key = os.path.join(tmp, "cert.pem"), os.path.join(tmp, "key.pem")
        made = shutil.which("openssl") and subprocess.run(
            ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
             "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
             "-keyout", key, "-out", cert], capture_output=True).returncode == 0
        if made:
            proc, url = start(tmp, "--cert", cert, "--key", key)
            servers.append(proc)
            env["MARVENA_TEST_HTTPS"] = url.replace("http://", "https://")
        sys.stdout.flush()
        return subprocess.run([WINE, TESTS], env=env, timeout=280).returncode
    finally:
        for proc in servers:
            proc.kill()
            proc.wait()
            proc.stdout.close()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
