"""Shared pieces of the printing end-to-end tests: a private spool and PDF
directory with a settings file, job bytes in the job code page, and what
poppler reads back from a PDF."""
import os
import re
import shutil
import subprocess
import tempfile

LT = {'Ą': 0xDC, 'ą': 0xDD, 'Č': 0xDE, 'č': 0xDF, 'Ę': 0xF0, 'ę': 0xF1, 'Ė': 0xF2, 'ė': 0xF3,
      'Į': 0xF4, 'į': 0xF5, 'Š': 0xF6, 'š': 0xF7, 'Ų': 0xF8, 'ų': 0xF9, 'Ū': 0xFA, 'ū': 0xFB,
      'Ž': 0xFC, 'ž': 0xFD, '─': 0xC4, '│': 0xB3, '┌': 0xDA, '┐': 0xBF, '└': 0xC0, '┘': 0xD9,
      '├': 0xC3, '┤': 0xB4, '┬': 0xC2, '┴': 0xC1, '┼': 0xC5}


def job_bytes(text):
    """Text in the job code page, CR LF line ends."""
    return bytes(LT.get(c, ord(c)) for c in text.replace('\n', '\r\n'))


def pdfinfo_field(pdf, field):
    out = subprocess.run(['pdfinfo', pdf], capture_output=True, text=True, check=True).stdout
    m = re.search(r'^%s:\s+(.*)$' % field, out, re.M)
    return m.group(1).strip() if m else ''


def pages(pdf):
    return int(pdfinfo_field(pdf, 'Pages'))


def text(pdf, page=None, last=None):
    args = ['pdftotext', '-enc', 'UTF-8']
    if page:
        args += ['-f', str(page), '-l', str(last or page)]
    return subprocess.run(args + [pdf, '-'], capture_output=True, check=True).stdout.decode()


def words(pdf):
    """[(page, page height, xMin, yMin, xMax, yMax, word)] as pdftotext places them (points)."""
    out = subprocess.run(['pdftotext', '-bbox', pdf, '-'], capture_output=True, check=True
                         ).stdout.decode()
    found, page, height = [], 0, 0.0
    for m in re.finditer(r'<page width="[\d.]+" height="([\d.]+)"|'
                         r'<word xMin="(-?[\d.]+)" yMin="(-?[\d.]+)" xMax="(-?[\d.]+)" '
                         r'yMax="(-?[\d.]+)">([^<]*)<', out):
        if m.group(1):
            page += 1
            height = float(m.group(1))
        else:
            found.append((page, height) + tuple(float(m.group(i)) for i in range(2, 6)) +
                         (m.group(6),))
    return found


class Spool:
    """A spool and a PDF directory with a settings file that prints to
    "Marvena PDF". `cups` holds the CUPS client's environment (CUPS_SERVER,
    CUPS_SERVERROOT) of the scheduler the tool asks for its printers; by
    default a socket that does not exist, so that the printers of the
    machine the test runs on play no part."""

    def __init__(self, cups=None, extra=''):
        self.root = tempfile.mkdtemp(prefix='marvena-print-')
        self.spool = os.path.join(self.root, 'spool')
        self.pdf = os.path.join(self.root, 'pdf')
        os.makedirs(self.spool)
        os.makedirs(self.pdf)
        self.ini = os.path.join(self.root, 'MARVENA.INI')
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.root, QT_QPA_PLATFORM='offscreen',
                        HOME=self.root, TMPDIR=self.root)
        self.env.update(cups or {'CUPS_SERVER': os.path.join(self.root, 'no-cups.sock'),
                                 'CUPS_SERVERROOT': self.root})
        self.extra = extra
        self.write_ini(-1)
        # A first run lists the printers in the settings file.
        self.run()
        self.printers = self.listed()
        index = [i for i, name in self.printers.items() if name == 'Marvena PDF']
        assert index, self.printers
        self.pdf_index = index[0]
        self.write_ini(self.pdf_index)

    def listed(self):
        with open(self.ini, encoding='utf-8') as f:
            return {int(i): name for i, name in re.findall(r'^Printer(\d+)=(.*)$', f.read(), re.M)}

    def write_ini(self, index, extra=None):
        with open(self.ini, 'w', encoding='utf-8') as f:
            f.write('[Spool]\nPath=%s\nPdfDir=%s\nPrinterIndex=%d\n%s' %
                    (self.spool, self.pdf, index, self.extra if extra is None else extra))

    def put(self, name, data):
        path = os.path.join(os.fsencode(self.spool), os.fsencode(name))
        with open(path, 'wb') as f:
            f.write(data)

    def run(self, timeout=900):
        return subprocess.run([TOOL[0], '--headless', '--once', '--config', self.ini],
                              capture_output=True, text=True, errors='replace', env=self.env,
                              timeout=timeout)

    def output(self, name):
        return os.path.join(self.pdf, name)

    def failed(self, name):
        return os.path.exists(os.path.join(self.spool, 'FAILED', name))

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


# The tool under test; the script that imports this module sets it.
TOOL = ['']
