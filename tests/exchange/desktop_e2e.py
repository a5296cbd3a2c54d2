#!/usr/bin/python3
"""The *.CLB and *.www jobs end to end.

Clipboard: the tool runs (without --once) on an Xvfb display and the test
reads the clipboard back with xclip. An X11 clipboard lives in its owner:
a tool that exits takes the text with it, so the tool keeps running until
every read is done and is stopped afterwards.

Web page: stand-in browsers record the address they are given, both as
xdg-open first on PATH and through the BROWSER variable."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

TOOL = sys.argv[1]
HOME_PAGE = "http://example.test/marvena/index.html"

passed = 0
failures = []
scratch = []

TABLE = {
    0xDC: "\u0104", 0xDD: "\u0105", 0xDE: "\u010C", 0xDF: "\u010D", 0xF0: "\u0118",
    0xF1: "\u0119", 0xF2: "\u0116", 0xF3: "\u0117", 0xF4: "\u012E", 0xF5: "\u012F",
    0xF6: "\u0160", 0xF7: "\u0161", 0xF8: "\u0172", 0xF9: "\u0173", 0xFA: "\u016A",
    0xFB: "\u016B", 0xFC: "\u017D", 0xFD: "\u017E", 0xC4: "\u2500", 0xB3: "\u2502",
    0xDA: "\u250C", 0xBF: "\u2510", 0xC0: "\u2514", 0xD9: "\u2518", 0xC3: "\u251C",
    0xB4: "\u2524", 0xC2: "\u252C", 0xC1: "\u2534", 0xC5: "\u253C",
}


def check(condition, what):
    global passed
    if condition:
        passed += 1
    else:
        failures.append(what)
        print("FAIL:", what, flush=True)


def expected_clipboard(data):
    data = data.split(b"\0")[0]
    out = []
    for b in data:
        if b in TABLE:
            out.append(TABLE[b])
        else:
            try:
                out.append(bytes([b]).decode("cp1257"))
            except UnicodeDecodeError:
                out.append(chr(b))
    return "".join(out).encode("utf-8")


def workspace(name):
    d = tempfile.mkdtemp(prefix="marvena-desktop-%s-" % name)
    scratch.append(d)
    spool = os.path.join(d, "spool")
    os.makedirs(spool)
    cfg = os.path.join(d, "MARVENA.INI")
    with open(cfg, "w") as f:
        f.write("[Spool]\nPath=%s\nPdfDir=%s\nHomePage=%s\n"
                % (spool, os.path.join(d, "pdf"), HOME_PAGE))
    return d, spool, cfg


def drop(spool, name, data):
    """Writes the job under another name first, as a finished file appears."""
    tmp = os.path.join(spool, name + ".part")
    with open(tmp, "wb") as f:
        f.write(data)
    os.rename(tmp, os.path.join(spool, name))


def work_items(spool):
    """Jobs the tool has claimed and not finished (its work area in the spool)."""
    found = []
    for dirpath, _, files in os.walk(os.path.join(spool, ".marvena", "work")):
        found += [f for f in files if f != ".probe"]
    return found


def wait_gone(path, seconds=20):
    """Until the job file is gone and the tool has finished it: a claimed job
    leaves the spool before it runs."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if not os.path.exists(path) and not work_items(os.path.dirname(path)):
            return True
        time.sleep(0.1)
    return False


def wait_file(path, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if os.path.exists(path) and os.path.getsize(path) > 0:
            return True
        time.sleep(0.1)
    return False


def fake_browser(directory, name, record):
    path = os.path.join(directory, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\necho \"$@\" >> '%s'\n" % record)
    os.chmod(path, 0o755)
    return path


def base_env(d):
    env = dict(os.environ, XDG_RUNTIME_DIR=d, HOME=d)
    for key in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "BROWSER", "DEFAULT_BROWSER"):
        env.pop(key, None)
    return env


def start_xvfb():
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp",
                             "-screen", "0", "640x480x24"], pass_fds=[write_fd],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_fd, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_fd)
    return xvfb, ":" + number.decode().strip()


def test_clipboard_and_page_on_a_display():
    d, spool, cfg = workspace("x11")
    bin_dir = os.path.join(d, "bin")
    os.makedirs(bin_dir)
    record = os.path.join(d, "opened.txt")
    fake_browser(bin_dir, "xdg-open", record)

    xvfb, display = start_xvfb()
    env = base_env(d)
    env["DISPLAY"] = display
    env["PATH"] = bin_dir + os.pathsep + env.get("PATH", "/usr/bin:/bin")
    tool = subprocess.Popen([TOOL, "--headless", "--config", cfg], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        cases = [
            ("dos", b"\xdc\x44\x0d\x0a\xb3\xc5 \xf6ilas"),
            ("big", bytes(range(1, 256)) * (10 * 1024 * 1024 // 255)),
            ("noise", os.urandom(256 * 1024)),
            ("empty", b""),
        ]
        for name, data in cases:
            job = os.path.join(spool, name + ".CLB")
            drop(spool, name + ".CLB", data)
            check(wait_gone(job), "clipboard %s: job file taken" % name)
            read = subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING"],
                                  env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  timeout=60)
            want = expected_clipboard(data)
            check(read.stdout == want,
                  "clipboard %s: xclip reads the Unicode text (%d bytes, want %d) %s"
                  % (name, len(read.stdout), len(want), read.stderr[:200]))

        drop(spool, "lower.clb", b"\xfd")
        check(wait_gone(os.path.join(spool, "lower.clb")), "clipboard: lower-case extension taken")

        drop(spool, "home.www", b"")
        check(wait_file(record), "page on a display: the browser was started")
        check(os.path.exists(record) and open(record).read().split() == [HOME_PAGE],
              "page on a display: the home page, once")
        check(not os.path.exists(os.path.join(spool, "home.www")), "page: trigger deleted")
    finally:
        tool.send_signal(signal.SIGTERM)
        try:
            _, err = tool.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            tool.kill()
            _, err = tool.communicate()
        xvfb.terminate()
        xvfb.wait()
    check(b"KLAIDA" not in err, "display: no error reported: %s" % err[-500:])


def test_no_display_keeps_the_clipboard_job():
    d, spool, cfg = workspace("offscreen")
    drop(spool, "a.CLB", b"\xdc")
    env = base_env(d)
    env["QT_QPA_PLATFORM"] = "offscreen"
    run = subprocess.run([TOOL, "--headless", "--once", "--config", cfg], env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
    err = run.stderr.decode("utf-8", "replace")
    check(os.path.exists(os.path.join(spool, "a.CLB")), "offscreen: job file stays")
    check(not os.path.exists(os.path.join(spool, "FAILED")), "offscreen: not moved away")
    check(err.count("KLAIDA") == 1 and "display" in err, "offscreen: reported once: %s" % err)
    check(run.returncode == 1, "offscreen: exit code 1, got %d" % run.returncode)


def test_page_without_display():
    for variant in ("xdg-open", "BROWSER"):
        d, spool, cfg = workspace("www")
        bin_dir = os.path.join(d, "bin")
        os.makedirs(bin_dir)
        record = os.path.join(d, "opened.txt")
        env = base_env(d)
        env["QT_QPA_PLATFORM"] = "offscreen"
        if variant == "xdg-open":
            fake_browser(bin_dir, "xdg-open", record)
            env["PATH"] = bin_dir + os.pathsep + env.get("PATH", "/usr/bin:/bin")
        else:
            env["BROWSER"] = fake_browser(bin_dir, "browser", record)
            env["PATH"] = bin_dir  # no xdg-open to be found
        drop(spool, "a.www", b"ignored content")
        run = subprocess.run([TOOL, "--headless", "--once", "--config", cfg], env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
        check(run.returncode == 0, "page %s: exit code 0" % variant)
        check(wait_file(record) and open(record).read().split() == [HOME_PAGE],
              "page %s: the browser got the home page" % variant)
        check(not os.path.exists(os.path.join(spool, "a.www")), "page %s: trigger deleted" % variant)


def main():
    try:
        if shutil.which("Xvfb") and shutil.which("xclip"):
            test_clipboard_and_page_on_a_display()
        else:
            failures.append("Xvfb and xclip are needed")
        test_no_display_keeps_the_clipboard_job()
        test_page_without_display()
    finally:
        for d in scratch:
            shutil.rmtree(d, ignore_errors=True)
    print("%d passed, %d failed" % (passed, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
