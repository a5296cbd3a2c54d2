"""The tool prints through a real CUPS queue: a cups-pdf printer, chosen by
its index in the tool's printer list. The PDF that cups-pdf writes is found
in its output directory and read back. A queue that rejects jobs makes the
job fail (FAILED folder, error shown) instead of counting as printed.

As root the test starts cupsd when it is not running and adds the queue
"MarvenaTest" (printer-driver-cups-pdf); otherwise it needs both to exist
and is skipped when they do not.

argv: tool, examples/spool directory.
"""
import glob
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

TOOL = sys.argv[1]
EXAMPLES = sys.argv[2]
QUEUE = 'MarvenaTest'
SKIP = 77


def sh(*args, check=False):
    return subprocess.run(list(args), capture_output=True, text=True, check=check)


def scheduler_running():
    return 'is running' in sh('lpstat', '-r').stdout


def ensure_queue():
    """Returns a reason to skip, or None when the queue is ready."""
    root = os.geteuid() == 0
    if not scheduler_running():
        if not root or not os.path.exists('/usr/sbin/cupsd'):
            return 'the CUPS scheduler is not running'
        sh('/usr/sbin/cupsd')
        for _ in range(100):
            if scheduler_running():
                break
            time.sleep(0.1)
        else:
            return 'cupsd did not start'
    if sh('lpstat', '-v', QUEUE).returncode != 0:
        if not root:
            return 'no queue %s and no right to add one' % QUEUE
        models = [line.split()[0] for line in sh('lpinfo', '-m').stdout.splitlines()
                  if 'CUPS-PDF' in line]
        if not models:
            return 'printer-driver-cups-pdf is not installed'
        r = sh('lpadmin', '-p', QUEUE, '-v', 'cups-pdf:/', '-m', models[0], '-E')
        if r.returncode != 0:
            return 'lpadmin failed: ' + r.stderr
    if root:
        sh('cupsenable', QUEUE)
        sh('cupsaccept', QUEUE)
    return None


def cups_pdf_out_dir():
    """Where cups-pdf puts the jobs of the user running this test."""
    out = '/var/spool/cups-pdf/${USER}'
    try:
        with open('/etc/cups/cups-pdf.conf', encoding='utf-8', errors='replace') as f:
            for line in f:
                m = re.match(r'^\s*Out\s+(\S.*?)\s*$', line)
                if m:
                    out = m.group(1)
    except OSError:
        pass
    user = pwd.getpwuid(os.geteuid())
    return out.replace('${HOME}', user.pw_dir).replace('${USER}', user.pw_name)


def pages(pdf):
    out = sh('pdfinfo', pdf, check=True).stdout
    return int(re.search(r'^Pages:\s+(\d+)', out, re.M).group(1))


class CupsPrinting(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix='marvena-cups-')
        self.spool = os.path.join(self.root, 'spool')
        self.pdf = os.path.join(self.root, 'pdf')
        os.makedirs(self.spool)
        os.makedirs(self.pdf)
        self.ini = os.path.join(self.root, 'MARVENA.INI')
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.root, QT_QPA_PLATFORM='offscreen')
        with open(self.ini, 'w', encoding='utf-8') as f:
            f.write('[Spool]\nPath=%s\nPdfDir=%s\nPrinterIndex=-1\n' % (self.spool, self.pdf))
        self.run_tool()
        with open(self.ini, encoding='utf-8') as f:
            listed = dict(re.findall(r'^Printer(\d+)=(.*)$', f.read(), re.M))
        found = [int(i) for i, name in listed.items() if name == QUEUE]
        self.assertTrue(found, 'the tool does not list %s: %s' % (QUEUE, listed))
        self.index = found[0]
        with open(os.path.join(EXAMPLES, 'ZURNALAS.txt'), 'rb') as f:
            self.journal = f.read()

    def tearDown(self):
        if os.geteuid() == 0:
            sh('cupsaccept', QUEUE)
        shutil.rmtree(self.root, ignore_errors=True)

    def run_tool(self):
        return subprocess.run([TOOL, '--headless', '--once', '--config', self.ini],
                              capture_output=True, text=True, env=self.env, timeout=300)

    def put(self, name):
        with open(os.path.join(self.spool, name), 'wb') as f:
            f.write(b'@PRINTER_INDEX=%d\r\n' % self.index + self.journal)

    def test_job_reaches_the_queue_and_cups_pdf_writes_it(self):
        out_dir = cups_pdf_out_dir()
        before = set(glob.glob(os.path.join(out_dir, '*.pdf')))
        self.put('CUPSJOB.txt')
        r = self.run_tool()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn('printed on "%s"' % QUEUE, r.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.spool, 'CUPSJOB.txt')))
        self.assertEqual(os.listdir(self.pdf), [])  # not the PDF printer
        made = []
        for _ in range(600):
            made = [p for p in set(glob.glob(os.path.join(out_dir, '*.pdf'))) - before
                    if 'CUPSJOB' in os.path.basename(p)]
            if made:
                break
            time.sleep(0.1)
        self.assertTrue(made, 'cups-pdf wrote nothing to %s' % out_dir)
        time.sleep(0.5)  # cups-pdf may still be writing it
        self.assertEqual(pages(made[0]), 2)
        os.remove(made[0])

    @unittest.skipUnless(os.geteuid() == 0, 'rejecting jobs on a queue needs root')
    def test_a_refused_job_is_a_failed_job(self):
        sh('cupsreject', QUEUE, check=True)
        self.put('REFUSED.txt')
        r = self.run_tool()
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertTrue(os.path.exists(os.path.join(self.spool, 'FAILED', 'REFUSED.txt')))
        self.assertIn('Nepavyko atspausdinti REFUSED.txt', r.stderr)
        self.assertIn('CUPS refused', r.stderr)


if __name__ == '__main__':
    reason = ensure_queue()
    if reason:
        print('skipped: ' + reason)
        sys.exit(SKIP)
    unittest.main(argv=sys.argv[:1], verbosity=2)
