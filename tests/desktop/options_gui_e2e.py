"""The options window in the running tool under Xvfb: at a first start it
opens modally with its page-setup window, whose OK stores the printer keys;
from the tray menu ("Parametrai", through a StatusNotifierItem host) at
most one window opens, and a closed one can be opened again; headless, the
start-up case stays a log line."""
import os
import re
import subprocess
import sys
import tempfile
import time
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
            # The last key written ends the store.
            stored = wait_until(lambda: "mmRightMargin=" in read(d.ini), 10)
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


def left_edges(pdf, page):
    """The left ends of the words on one page, in points."""
    out = subprocess.run(["pdftotext", "-bbox", "-f", str(page), "-l", str(page), pdf, "-"],
                         capture_output=True, text=True, check=True).stdout
    return [float(x) for x in re.findall(r'<word xMin="([\d.]+)"', out)]


@unittest.skipIf(MISSING + SNI_MISSING, "needs " + ", ".join(MISSING + SNI_MISSING))
class WhileAJobPrints(unittest.TestCase):
    def test_a_change_applies_from_the_next_job_on(self):
        d = Desktop(tray=False)
        bus = SessionBus(d)
        try:
            with open(d.ini, "a") as f:
                f.write("SettleMs=0\n")
            d.start()
            self.assertTrue(bus.read().startswith("ITEM "))
            pdf = os.path.join(d.root, "pdf")
            big = os.path.join(d.spool, "BIG.txt.part")
            with open(big, "wb") as f:
                f.write(b"".join(b"Eilute %d: 1234,56 EUR\r\n" % i for i in range(1500000)))
            with open(os.path.join(d.spool, "SMALL.txt.part"), "wb") as f:
                f.write(b"Mazas\r\n")
            os.rename(big, os.path.join(d.spool, "BIG.txt"))
            # BIG prints (its PDF grows under a hidden name); SMALL waits behind it.
            self.assertTrue(wait_until(lambda: os.path.isdir(pdf) and any(
                n.startswith(".") for n in os.listdir(pdf)), 20))
            os.rename(os.path.join(d.spool, "SMALL.txt.part"), os.path.join(d.spool, "SMALL.txt"))
            self.assertEqual(bus.ask("click Parametrai"), "OK")
            options = wait_until(lambda: windows(d, OPTIONS), 10)
            self.assertTrue(options)
            d.xdotool("windowmove", options[0], "0", "0")
            time.sleep(0.5)
            d.xdotool("mousemove", "--window", options[0], "145", "58", "click", "1")
            setup = wait_until(lambda: windows(d, "Spausdintuvo Marvena PDF parametrai"), 10)
            self.assertTrue(setup, d.tree())
            d.xdotool("windowmove", setup[0], "0", "0")
            time.sleep(0.5)
            # The left margin ("Kaireje") becomes 50 mm; Return is OK.
            d.xdotool("mousemove", "--window", setup[0], "350", "148", "click", "--repeat", "3",
                      "1")
            d.xdotool("type", "50")
            d.xdotool("key", "Return")
            self.assertTrue(wait_until(lambda: "mmRightMargin=" in read(d.ini), 10), read(d.ini))
            self.assertIn("mmLeftMargin=50\n", read(d.ini))
            self.assertFalse(os.path.exists(os.path.join(pdf, "BIG.pdf")))  # still printing
            self.assertTrue(wait_until(lambda: os.path.exists(os.path.join(pdf, "SMALL.pdf")), 120))
            big_pdf = os.path.join(pdf, "BIG.pdf")
            last = int(re.search(r"Pages:\s+(\d+)", subprocess.run(
                ["pdfinfo", big_pdf], capture_output=True, text=True).stdout).group(1))
            # The job that was printing kept its margins to its last page...
            self.assertLess(min(left_edges(big_pdf, last)), 5)
            # ... and the next one has the new margin (50 mm = 141.7 points).
            self.assertAlmostEqual(min(left_edges(os.path.join(pdf, "SMALL.pdf"), 1)), 141.7,
                                   delta=1)
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
