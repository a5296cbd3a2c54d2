"""The installer under Wine: a silent install with the start at log-on, the
installed program answering, then a silent uninstall that leaves nothing of
it behind but the user's settings."""
import os
import shutil
import subprocess
import sys
import time
import unittest

SETUP = sys.argv.pop(1)
WINE = shutil.which("wine") or "wine"
PREFIX = os.environ["WINEPREFIX"]
DRIVE_C = os.path.join(PREFIX, "drive_c")
INSTDIR = os.path.join(DRIVE_C, "Program Files", "Marvena Spool")
MENU = os.path.join(DRIVE_C, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                    "Marvena Spool")
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\MarvenaSpool"


def wine(*args, timeout=180):
    return subprocess.run([WINE, *args], capture_output=True, timeout=timeout)


def reg_has(key, value=None):
    args = ["reg", "query", key] + (["/v", value] if value else [])
    return wine(*args).returncode == 0


def wait_until(check, seconds=90):
    end = time.time() + seconds
    while time.time() < end:
        if check():
            return True
        time.sleep(0.5)
    return False


class Installer(unittest.TestCase):
    def test_silent_install_and_uninstall(self):
        if not os.path.exists(SETUP):
            print("SKIP installer_e2e: %s was not built (makensis missing)" % SETUP)
            return
        self.assertEqual(wine(SETUP, "/S", "/AUTOSTART").returncode, 0)
        self.assertTrue(wait_until(lambda: os.path.exists(os.path.join(INSTDIR, "uninstall.exe"))))
        for name in ("marvena-spool.exe", "README.txt"):
            self.assertTrue(os.path.isfile(os.path.join(INSTDIR, name)), name)
        self.assertTrue(os.path.isfile(os.path.join(MENU, "Marvena Spool.lnk")), os.listdir(MENU))
        self.assertTrue(reg_has(RUN_KEY, "Marvena Spool"))
        self.assertTrue(reg_has(UNINSTALL_KEY))
        version = wine(os.path.join(INSTDIR, "marvena-spool.exe"), "--version")
        self.assertEqual(version.returncode, 0)
        self.assertTrue(version.stdout.startswith(b"marvena-spool "), version.stdout)

        # The uninstaller copies itself away and returns at once; its copy
        # does the work.
        self.assertEqual(wine(os.path.join(INSTDIR, "uninstall.exe"), "/S").returncode, 0)
        self.assertTrue(wait_until(lambda: not os.path.exists(INSTDIR)),
                        os.listdir(INSTDIR) if os.path.exists(INSTDIR) else "")
        self.assertFalse(os.path.exists(MENU))
        self.assertFalse(reg_has(RUN_KEY, "Marvena Spool"))
        self.assertFalse(reg_has(UNINSTALL_KEY))


if __name__ == "__main__":
    unittest.main(verbosity=2)
