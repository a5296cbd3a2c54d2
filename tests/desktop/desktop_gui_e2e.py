"""The desktop tool under Xvfb: docked in a real XEmbed tray host (trayer),
its menu, its window, "Baigti"; a StatusNotifierItem host on a private
session bus (what KDE and GNOME panels are); a desktop without a tray; no
display at all; a second start."""
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

TOOL = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else "build/marvena-spool")
NEEDED = ["Xvfb", "trayer", "xdotool", "xwininfo"]
MISSING = [p for p in NEEDED if not shutil.which(p)]
HERE = os.path.dirname(os.path.abspath(__file__))
SNI_MISSING = [p for p in ("dbus-daemon",) if not shutil.which(p)]
if subprocess.run(["/usr/bin/python3", "-c", "import dbus, gi"],
                  stderr=subprocess.DEVNULL).returncode != 0:
    SNI_MISSING.append("python3-dbus and python3-gi")


def wait_until(cond, timeout=10.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = cond()
        if value:
            return value
        time.sleep(0.1)
    return cond()


class Desktop:
    def __init__(self, tray):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.spool = os.path.join(self.root, "spool")
        os.makedirs(self.spool)
        self.ini = os.path.join(self.root, "MARVENA.INI")
        with open(self.ini, "w") as f:
            f.write(f"[Spool]\nPath={self.spool}\nPdfDir={self.root}/pdf\nPrinterIndex=-1\n")
        self.procs = []
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                                      "640x400x24", "-nolisten", "tcp"], pass_fds=(write_fd,),
                                     stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        self.env = dict(os.environ, DISPLAY=":" + number.decode().strip(), XDG_RUNTIME_DIR=self.root,
                        MARVENA_DRIVE=self.root, CUPS_SERVER=self.root + "/no-cups.sock")
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        if tray:
            self.procs.append(subprocess.Popen(
                ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                 "--width", "100", "--heighttype", "pixel", "--height", "30"],
                env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            wait_until(lambda: "panel" in self.tree(), 10)

    def start(self, *args):
        log = open(os.path.join(self.root, f"log-{len(self.procs)}"), "w+")
        proc = subprocess.Popen([TOOL, "--config", self.ini, *args], env=self.env,
                                stdout=subprocess.DEVNULL, stderr=log)
        proc.log = log
        self.procs.append(proc)
        return proc

    def tree(self):
        return subprocess.run(["xwininfo", "-root", "-tree"], env=self.env, capture_output=True,
                              text=True).stdout

    def visible(self, name):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", name],
                             env=self.env, capture_output=True, text=True).stdout
        return out.split()

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
        self.xvfb.terminate()
        self.xvfb.wait()
        self.tmp.cleanup()


def docked_icon(tree):
    """The tool's icon window inside trayer's panel, or None."""
    lines = tree.splitlines()
    for i, line in enumerate(lines):
        if '"panel"' in line and "trayer" in line:
            indent = len(line) - len(line.lstrip())
            for child in lines[i + 1:]:
                if len(child) - len(child.lstrip()) <= indent:
                    break
                if '"Marvena Spool"' in child:
                    return child.split()[0]
    return None


@unittest.skipIf(MISSING, "needs " + ", ".join(MISSING))
class WithATray(unittest.TestCase):
    def test_docked_menu_window_and_quit(self):
        d = Desktop(tray=True)
        try:
            tool = d.start()
            icon = wait_until(lambda: docked_icon(d.tree()), 15)
            self.assertTrue(icon, "the icon is not docked in the tray:\n" + d.tree())
            # Hidden at start: only the tray shows the tool (the start-up notes aside).
            for path in ("A.txt", "B.txt"):
                open(os.path.join(d.spool, path), "wb").close()
            d.xdotool("mousemove", "--window", icon, "10", "10", "click", "--repeat", "2", "1")
            shown = wait_until(lambda: re.search(r'"Marvena Spool".*\b(39\d|4\d\d)x(1[3-9]\d|2\d\d)',
                                                 d.tree()), 10)
            self.assertTrue(shown, "a double click does not bring up the window:\n" + d.tree())
            time.sleep(0.5)  # the window has settled
            before = set(d.visible("marvena"))
            d.xdotool("mousemove", "--window", icon, "10", "10", "click", "3")

            def menu_opened():
                for w in set(d.visible("marvena")) - before:
                    geometry = subprocess.run(["xdotool", "getwindowgeometry", w], env=d.env,
                                              capture_output=True, text=True).stdout
                    size = re.search(r"Geometry: (\d+)x(\d+)", geometry)
                    if size and int(size.group(1)) < 250:  # the menu, not the window
                        return w, int(size.group(2))
                return None
            opened = wait_until(menu_opened, 5)
            self.assertTrue(opened, "the menu does not open")
            menu, height = opened
            # The last item: "Baigti".
            d.xdotool("mousemove", "--window", menu, "40", str(height - 10), "click", "1")
            self.assertEqual(tool.wait(15), 0)
        finally:
            d.close()


class SessionBus:
    """A private dbus-daemon and the StatusNotifierItem host on it."""

    def __init__(self, desktop):
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=desktop.env)
        desktop.env["DBUS_SESSION_BUS_ADDRESS"] = self.daemon.stdout.readline().strip()
        self.host = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "sni_host.py")],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                     env=desktop.env)
        assert self.read() == "READY"

    def read(self, timeout=20):
        ready, _, _ = select.select([self.host.stdout], [], [], timeout)
        return self.host.stdout.readline().strip() if ready else "TIMEOUT"

    def ask(self, line):
        self.host.stdin.write(line + "\n")
        self.host.stdin.flush()
        return self.read()

    def close(self):
        for p in (self.host, self.daemon):
            p.kill()
            p.wait()


@unittest.skipIf(MISSING + SNI_MISSING, "needs " + ", ".join(MISSING + SNI_MISSING))
class WithAStatusNotifierHost(unittest.TestCase):
    def test_registers_activation_shows_the_window_and_the_menu_works(self):
        d = Desktop(tray=False)
        bus = SessionBus(d)
        try:
            tool = d.start()
            registered = bus.read()
            self.assertTrue(registered.startswith("ITEM "), registered)
            self.assertEqual(bus.ask("title"), "TITLE Marvena Spool")
            self.assertEqual(bus.ask("menu"), "MENU Restauruoti\tParametrai\tApie\tBaigti")
            # Hidden at start; the panel's click (activation) brings the window up.
            self.assertFalse(re.search(r'"Marvena Spool".*\b(39\d|4\d\d)x(1[3-9]\d|2\d\d)',
                                       d.tree()))
            self.assertEqual(bus.ask("activate"), "OK")
            shown = wait_until(lambda: re.search(
                r'"Marvena Spool".*\b(39\d|4\d\d)x(1[3-9]\d|2\d\d)', d.tree()), 10)
            self.assertTrue(shown, "activation does not bring up the window:\n" + d.tree())
            self.assertEqual(bus.ask("click Baigti"), "OK")
            self.assertEqual(tool.wait(15), 0)
        finally:
            bus.close()
            d.close()


@unittest.skipIf(MISSING, "needs " + ", ".join(MISSING))
class WithoutATray(unittest.TestCase):
    def test_the_window_stays_reachable_and_a_second_start_exits(self):
        d = Desktop(tray=False)
        try:
            first = d.start()
            self.assertTrue(wait_until(lambda: re.search(r'"Marvena Spool".*\b(39\d|4\d\d)x',
                                                         d.tree()), 15), d.tree())
            second = d.start()
            self.assertEqual(second.wait(20), 0)
            self.assertIsNone(first.poll())
        finally:
            d.close()


class NoDisplay(unittest.TestCase):
    def test_falls_back_to_headless_and_says_so(self):
        with tempfile.TemporaryDirectory() as root:
            ini = os.path.join(root, "MARVENA.INI")
            with open(ini, "w") as f:
                f.write(f"[Spool]\nPath={root}/spool\nPdfDir={root}/pdf\n")
            env = {k: v for k, v in os.environ.items()
                   if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
            env.update(XDG_RUNTIME_DIR=root, MARVENA_DRIVE=root)
            proc = subprocess.Popen([TOOL, "--config", ini], env=env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE, text=True)
            time.sleep(2)
            self.assertIsNone(proc.poll())
            proc.terminate()
            _, err = proc.communicate(timeout=10)
            self.assertIn("no display; running headless", err)


if __name__ == "__main__":
    unittest.main(verbosity=2)
