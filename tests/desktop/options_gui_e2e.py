"""The options window in the running tool under Xvfb: at a first start it
opens modally with its page-setup window, whose OK stores the printer keys;
from the tray menu ("Parametrai", through a StatusNotifierItem host) at
most one window opens, and a closed one can be opened again; headless, the
start-up case stays a log line."""
import os
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no cache beside the sources
import desktop_gui_e2e as desktop  # noqa: E402  (takes the tool from argv)
from desktop_gui_e2e import MISSING, SNI_MISSING, Desktop, SessionBus, wait_until  # noqa: E402

OPTIONS = "Marvena Spool Parametrai"


def windows(d, name):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name],
                         env=d.env, capture_output=True, text=True).stdout
    return out.split()


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def first_run(d):
    with open(d.ini, "w") as f:
        f.write("[Spool]\nPath=%s\nPdfDir=%s/pdf\n" % (d.spool, d.root))


@unittest.skipIf(MISSING, "needs " + ", ".join(MISSING))
class AtStart(unittest.TestCase):
    def test_a_first_start_opens_the_page_setup_and_its_ok_stores_the_printer(self):
        d = Desktop(tray=False)
        try:
            first_run(d)
            tool = d.start()
            setup = wait_until(lambda: windows(d, "Spausdintuvo Marvena PDF parametrai"), 20)
            self.assertTrue(setup, d.tree())
            self.assertNotIn("PrinterInUse", read(d.ini))
            d.xdotool("key", "--window", setup[0], "Return")  # OK is the default button
            stored = wait_until(lambda: "PrinterInUse=Marvena PDF" in read(d.ini), 10)
            self.assertTrue(stored, read(d.ini))
            text = read(d.ini)
            for key in ("PrinterIndex=", "PrinterOrientation=poPortrait", "PaperSize=9",
                        "mmPaperLength=297", "mmPaperWidth=210", "mmTopMargin=",
                        "mmRightMargin="):
                self.assertIn(key, text)
            options = wait_until(lambda: windows(d, OPTIONS), 10)
            self.assertTrue(options, d.tree())
            d.xdotool("key", "--window", options[0], "Escape")
            self.assertTrue(wait_until(lambda: not windows(d, OPTIONS), 10))
            self.assertIsNone(tool.poll())  # the tool goes on
        finally:
            d.close()


@unittest.skipIf(MISSING + SNI_MISSING, "needs " + ", ".join(MISSING + SNI_MISSING))
class FromTheTrayMenu(unittest.TestCase):
    def test_at_most_one_window_and_a_closed_one_opens_again(self):
        d = Desktop(tray=False)
        bus = SessionBus(d)
        try:
            d.start()
            self.assertTrue(bus.read().startswith("ITEM "))
            self.assertEqual(bus.ask("click Parametrai"), "OK")
            opened = wait_until(lambda: windows(d, OPTIONS), 10)
            self.assertEqual(len(opened), 1, d.tree())
            self.assertEqual(bus.ask("click Parametrai"), "OK")
            self.assertEqual(bus.ask("title"), "TITLE Marvena Spool")  # the tool answers
            self.assertEqual(len(windows(d, OPTIONS)), 1)
            d.xdotool("key", "--window", opened[0], "Escape")
            self.assertTrue(wait_until(lambda: not windows(d, OPTIONS), 10))
            self.assertEqual(bus.ask("click Parametrai"), "OK")
            self.assertEqual(len(wait_until(lambda: windows(d, OPTIONS), 10)), 1)
        finally:
            bus.close()
            d.close()


class Headless(unittest.TestCase):
    def test_the_start_up_case_is_one_log_line(self):
        with tempfile.TemporaryDirectory() as root:
            ini = os.path.join(root, "MARVENA.INI")
            with open(ini, "w") as f:
                f.write("[Spool]\nPath=%s/spool\nPdfDir=%s/pdf\n" % (root, root))
            env = dict(os.environ, XDG_RUNTIME_DIR=root, MARVENA_DRIVE=root, HOME=root,
                       QT_QPA_PLATFORM="offscreen", CUPS_SERVER=root + "/no-cups.sock")
            r = subprocess.run([desktop.TOOL, "--headless", "--once", "--config", ini], env=env,
                               capture_output=True, text=True, timeout=60)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(r.stderr.count("options dialog would open (first run"), 1, r.stderr)
            self.assertNotIn("PrinterInUse", read(ini))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
