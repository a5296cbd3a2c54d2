"""The tool prints through a real CUPS queue of a private scheduler: the test
starts its own cupsd with its own configuration, spool and socket in a
temporary directory (CUPS_SERVER points the tool there), adds a queue with
the Generic PDF printer driver of cups-filters that writes what it prints
into a file, and stops the scheduler at the end. Nothing outside the
temporary directory is touched; the machine's own CUPS plays no part.

What is checked: the job reaches the queue and comes out as the PDF the
driver made of it; a queue that refuses jobs makes the job fail (FAILED
folder, error shown) instead of counting as printed; and a page filled to
the bottom keeps its last line out of the border the printer cannot print.

argv: tool, examples/spool directory.
"""
import ctypes
import grp
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True  # no cache beside the sources
import print_e2e_common as common  # noqa: E402
from print_e2e_common import Spool, pages, text, words

TOOL = sys.argv[1]
EXAMPLES = sys.argv[2]
common.TOOL[0] = TOOL
QUEUE = 'MarvenaTest'
PPD = '/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd'
CUPSD = '/usr/sbin/cupsd'
SKIP = 77


def stop_with_parent():
    """The scheduler ends with this script, even when a time-out kills it."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class PrivateCups:
    """A cupsd of our own, listening only on a socket in `root`."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix='marvena-cups-')
        # Filters run as an unprivileged user who must reach the driver file
        # and the spool below this directory.
        os.chmod(self.root, 0o755)
        self.socket = os.path.join(self.root, 'cups.sock')
        self.out = os.path.join(self.root, 'out')
        # The client library reads the driver files of a scheduler on this
        # machine straight from its configuration directory: that must be
        # ours, not the system's.
        self.client = {'CUPS_SERVER': self.socket,
                       'CUPS_SERVERROOT': os.path.join(self.root, 'etc')}
        self.env = dict(os.environ, HOME=self.root, **self.client)
        self.proc = None
        dirs = {name: os.path.join(self.root, name)
                for name in ('etc', 'spool', 'cache', 'state', 'log', 'out')}
        for path in list(dirs.values()) + [os.path.join(dirs['spool'], 'tmp')]:
            os.makedirs(path, mode=0o755)
        os.chmod(self.out, 0o777)
        if os.geteuid() == 0:
            user, group = 'lp', 'lp'
        else:
            user = pwd.getpwuid(os.geteuid()).pw_name
            group = grp.getgrgid(os.getegid()).gr_name
        files = os.path.join(dirs['etc'], 'cups-files.conf')
        with open(files, 'w') as f:
            f.write('ServerRoot {etc}\nRequestRoot {spool}\nTempDir {spool}/tmp\n'
                    'CacheDir {cache}\nStateDir {state}\nDataDir /usr/share/cups\n'
                    'ServerBin /usr/lib/cups\nAccessLog {log}/access_log\n'
                    'ErrorLog {log}/error_log\nPageLog {log}/page_log\n'
                    'Printcap {state}/printcap\nFileDevice Yes\nUser {user}\nGroup {group}\n'
                    'SystemGroup root\n'.format(user=user, group=group, **dirs))
        self.conf = os.path.join(dirs['etc'], 'cupsd.conf')
        with open(self.conf, 'w') as f:
            f.write('Listen %s\nBrowsing No\nWebInterface No\nLogLevel warn\n'
                    'PreserveJobHistory No\nPreserveJobFiles No\nDefaultAuthType None\n'
                    '<Location />\nOrder deny,allow\n</Location>\n'
                    '<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n'
                    % self.socket)
        self.files = files
        self.error_log = os.path.join(dirs['log'], 'error_log')

    def sh(self, *args):
        return subprocess.run(list(args), capture_output=True, text=True, env=self.env,
                              timeout=60)

    def running(self):
        return 'is running' in self.sh('lpstat', '-r').stdout

    def start(self):
        """None when the scheduler answers, else why it does not."""
        self.proc = subprocess.Popen([CUPSD, '-f', '-c', self.conf, '-s', self.files],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, env=self.env,
                                     preexec_fn=stop_with_parent)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                return 'cupsd stopped at once: %s%s' % (
                    self.proc.stderr.read().decode(errors='replace'), self.log())
            if os.path.exists(self.socket) and self.running():
                return None
            time.sleep(0.1)
        return 'cupsd does not answer: ' + self.log()

    def add_queue(self, name, output):
        r = self.sh('lpadmin', '-p', name, '-v', 'file://' + output, '-P', PPD, '-E')
        if r.returncode != 0:
            return 'lpadmin: ' + r.stderr + self.log()
        return None

    def log(self):
        try:
            with open(self.error_log, errors='replace') as f:
                return f.read()[-2000:]
        except OSError:
            return ''

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.proc:
            self.proc.stderr.close()
        shutil.rmtree(self.root, ignore_errors=True)


CUPS = None


def wait_for(path, timeout=60):
    """The driver's output once the scheduler is done with the job."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        done = CUPS.sh('lpstat', '-o', QUEUE).stdout.strip() == ''
        if done and os.path.exists(path) and os.path.getsize(path) > 0:
            return path
        time.sleep(0.1)
    raise AssertionError('the queue wrote nothing to %s: %s' % (path, CUPS.log()))


class CupsPrinting(unittest.TestCase):
    def setUp(self):
        self.output = os.path.join(CUPS.out, 'printed.pdf')
        if os.path.exists(self.output):
            os.remove(self.output)
        CUPS.sh('cupsaccept', QUEUE)
        self.s = Spool(cups=CUPS.client)
        found = [i for i, name in self.s.printers.items() if name == QUEUE]
        self.assertTrue(found, 'the tool does not list %s: %s' % (QUEUE, self.s.printers))
        self.index = found[0]

    def tearDown(self):
        self.s.close()

    def put(self, name, body):
        self.s.put(name, b'@PRINTER_INDEX=%d\r\n' % self.index + body)

    def test_job_reaches_the_queue_and_the_driver_prints_it(self):
        with open(os.path.join(EXAMPLES, 'ZURNALAS.txt'), 'rb') as f:
            self.put('CUPSJOB.txt', f.read())
        r = self.s.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn('printed on "%s"' % QUEUE, r.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.s.spool, 'CUPSJOB.txt')))
        self.assertEqual(os.listdir(self.s.pdf), [])  # not the PDF printer
        printed = wait_for(self.output)
        self.assertEqual(pages(printed), 2)
        self.assertIn('Ūkinių operacijų žurnalas', text(printed))

    def test_a_refused_job_is_a_failed_job(self):
        r = CUPS.sh('cupsreject', QUEUE)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.put('REFUSED.txt', b'Atmesta\r\n')
        r = self.s.run()
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertTrue(self.s.failed('REFUSED.txt'))
        self.assertIn('Nepavyko atspausdinti REFUSED.txt', r.stderr)
        self.assertIn('CUPS refused', r.stderr)

    def test_full_pages_keep_their_last_line_out_of_the_unprintable_border(self):
        # The driver's A4 leaves 36 points at the bottom that the printer
        # cannot print.
        lines = 400
        body = b'@SIZE=10\r\n@MARGIN.TOP=0\r\n@MARGIN.BOTTOM=0\r\n' + b''.join(
            b'R%04d\r\n' % n for n in range(1, lines + 1))
        self.put('BORDER.txt', body)
        r = self.s.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        placed = words(wait_for(self.output))
        self.assertEqual([int(w[6][1:]) for w in placed], list(range(1, lines + 1)))
        worst = max(w[5] for w in placed)
        self.assertLessEqual(worst, 842 - 36 + 0.12, 'a line reaches into the border')
        # The pages are filled: the border, not a lost line, ends each one.
        self.assertGreater(worst, 842 - 36 - 15)


# Where a CUPS set-up of the machine would show a trace of this test.
SYSTEM_PLACES = ('/etc/cups', '/var/spool/cups-pdf', '/var/cache/cups', '/run/cups')


def system_snapshot():
    names = set()
    for place in SYSTEM_PLACES:
        for top, dirs, files in os.walk(place):
            names.update(os.path.join(top, n) for n in dirs + files)
    return names


def main():
    global CUPS
    for need, package in ((CUPSD, 'cups-daemon'), (PPD, 'cups-filters'),
                          ('/usr/lib/cups/filter/pdftopdf', 'cups-filters')):
        if not os.path.exists(need):
            print('skipped: %s is missing (package %s)' % (need, package))
            return SKIP
    before = system_snapshot()
    CUPS = PrivateCups()
    try:
        reason = CUPS.start() or CUPS.add_queue(QUEUE, os.path.join(CUPS.out, 'printed.pdf'))
        if reason:
            print('skipped: a private CUPS scheduler cannot run here: ' + reason)
            return SKIP
        result = unittest.main(argv=sys.argv[:1], verbosity=2, exit=False).result
        ok = result.wasSuccessful()
    finally:
        CUPS.stop()
    left = system_snapshot() - before
    if left:
        print('FAIL: the test left files behind on the machine: %s' % sorted(left))
        ok = False
    return 0 if ok else 1


if __name__ == '__main__':
    sys.exit(main())
