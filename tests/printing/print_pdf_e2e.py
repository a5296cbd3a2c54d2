"""The headless tool prints text jobs to the "Marvena PDF" printer; the PDFs
are read back with poppler's pdftotext and pdfinfo. The printouts land in
the PDF directory under the job's name, never over or through what is there.

argv: tool, examples/spool directory.
"""
import os
import re
import shutil
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True  # no cache beside the sources
import print_e2e_common as common  # noqa: E402
from print_e2e_common import Spool, job_bytes, pages, pdfinfo_field, text

TOOL = sys.argv[1]
EXAMPLES = sys.argv[2]
common.TOOL[0] = TOOL


class DemoJobs(unittest.TestCase):
    def setUp(self):
        self.s = Spool()

    def tearDown(self):
        self.s.close()

    def test_demo_jobs_print_with_lithuanian_letters_and_frames(self):
        for name in os.listdir(EXAMPLES):
            if name.lower().endswith(('.txt', '.bmp')):
                shutil.copy(os.path.join(EXAMPLES, name), self.s.spool)
        r = self.s.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertFalse([n for n in os.listdir(self.s.spool) if n.lower().endswith('.txt')])
        journal = self.s.output('ZURNALAS.pdf')
        self.assertEqual(pages(journal), 2)
        self.assertEqual(pdfinfo_field(journal, 'Title'), 'Marvena ZURNALAS.txt')
        t = text(journal)
        for expected in ('Ūkinių operacijų žurnalas', 'Perkeliama į kitą lapą', 'Darbo užmokesčio',
                         'Šimkūnienė', '┌', '┬', '┐', '├', '┼', '┤', '└', '┴', '┘', '│', '─'):
            self.assertIn(expected, t)
        self.assertIn('Lapas 2', text(journal, 2))
        invoice = self.s.output('SASKAITA.pdf')
        self.assertEqual(pages(invoice), 2)
        self.assertIn('Egzempliorius Nr. 1', text(invoice, 1))
        self.assertIn('Egzempliorius Nr. 2', text(invoice, 2))
        self.assertIn('PVM SĄSKAITA FAKTŪRA', text(invoice, 1))
        receipt = self.s.output('KVITAS.pdf')
        self.assertEqual(pages(receipt), 1)
        self.assertEqual(text(receipt).count('KASOS PAJAMŲ ORDERIS'), 2)
        letters = ''.join(text(self.s.output(n)) for n in os.listdir(self.s.pdf))
        for letter in 'ĄČĘĖĮŠŲŪŽąčęėįšųūž':
            self.assertIn(letter, letters)

    def test_positions_are_exact_and_no_pdf_is_overwritten(self):
        job = job_bytes('@MARGIN.LEFT=25.4\n@MARGIN.TOP=25.4\n@SIZE=12\nX\n'
                        '@XPOS=50.8\n@YPOS=101.6\nY\n')
        for _ in range(2):
            self.s.put('POS.txt', job)
            self.assertEqual(self.s.run().returncode, 0)
        self.assertTrue(os.path.exists(self.s.output('POS.pdf')))
        self.assertTrue(os.path.exists(self.s.output('POS-2.pdf')))
        bbox = subprocess.run(['pdftotext', '-bbox', self.s.output('POS.pdf'), '-'],
                              capture_output=True, text=True, check=True).stdout
        words = {w: (float(x), float(y)) for x, y, w in
                 re.findall(r'xMin="([\d.]+)" yMin="([\d.]+)"[^>]*>([^<]+)<', bbox)}
        # One inch is 72 points: the left and top margins, then @XPOS/@YPOS in mm.
        self.assertAlmostEqual(words['X'][0], 72.0, delta=0.1)
        self.assertAlmostEqual(words['X'][1], 72.0, delta=0.2)
        self.assertAlmostEqual(words['Y'][0], 144.0, delta=0.1)
        self.assertAlmostEqual(words['Y'][1], 288.0, delta=0.2)


    def test_user_paper_size_and_orientation_that_stays_for_later_jobs(self):
        self.s.write_ini(self.s.pdf_index, 'PaperSize=256\nmmPaperLength=120\nmmPaperWidth=80\n')
        self.s.put('A.txt', job_bytes('X\n'))
        self.s.put('B.txt', job_bytes('@ORIENTATION=LANDSCAPE\nX\n'))
        self.s.put('C.txt', job_bytes('X\n'))
        self.assertEqual(self.s.run().returncode, 0)
        sizes = [pdfinfo_field(self.s.output(n), 'Page size') for n in ('A.pdf', 'B.pdf', 'C.pdf')]
        # 80 x 120 mm is 226.8 x 340.2 points.
        self.assertTrue(sizes[0].startswith('227 x 340'), sizes)
        self.assertTrue(sizes[1].startswith('340 x 227'), sizes)
        self.assertTrue(sizes[2].startswith('340 x 227'), sizes)


class PdfDirectory(unittest.TestCase):
    """What lands in the PDF directory, and under which name."""

    def setUp(self):
        self.s = Spool()

    def tearDown(self):
        self.s.close()

    def listing(self):
        return sorted(os.listdir(os.fsencode(self.s.pdf)))

    def test_a_link_at_the_name_is_neither_followed_nor_replaced(self):
        outside = os.path.join(self.s.root, 'outside')
        os.makedirs(outside)
        dangling = os.path.join(outside, 'stolen.pdf')
        os.symlink(dangling, self.s.output('LINK.pdf'))
        victim = os.path.join(outside, 'victim.pdf')
        with open(victim, 'wb') as f:
            f.write(b'keep me')
        os.symlink(victim, self.s.output('LIVE.pdf'))
        self.s.put('LINK.txt', job_bytes('Nuoroda\n'))
        self.s.put('LIVE.txt', job_bytes('Gyva\n'))
        r = self.s.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertFalse(os.path.lexists(dangling))
        with open(victim, 'rb') as f:
            self.assertEqual(f.read(), b'keep me')
        self.assertTrue(os.path.islink(self.s.output('LINK.pdf')))
        self.assertTrue(os.path.islink(self.s.output('LIVE.pdf')))
        self.assertIn('Nuoroda', text(self.s.output('LINK-2.pdf')))
        self.assertIn('Gyva', text(self.s.output('LIVE-2.pdf')))
        self.assertEqual(os.listdir(outside), ['victim.pdf'])
        self.assertEqual(self.listing(), [b'LINK-2.pdf', b'LINK.pdf', b'LIVE-2.pdf', b'LIVE.pdf'])

    def test_names_in_the_job_code_page_keep_their_bytes(self):
        # "Čekis" and "čekis" in the job code page: two names, two printouts.
        self.s.put(b'\xdeEKIS.txt', job_bytes('Didysis\n'))
        self.s.put(b'\xdfEKIS.txt', job_bytes('Mažasis\n'))
        r = self.s.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(self.listing(), [b'\xdeEKIS.pdf', b'\xdfEKIS.pdf'])
        big = os.path.join(os.fsencode(self.s.pdf), b'\xdeEKIS.pdf')
        self.assertIn('Didysis', text(big))
        self.assertEqual(pdfinfo_field(big, 'Title'), 'Marvena ČEKIS.txt')

    def test_the_longest_names_print_and_get_a_number_within_the_limit(self):
        names = ['%s%03d.txt' % ('A' * (n - 7), n) for n in range(244, 256)]
        for name in names:
            self.s.put(name, job_bytes(name[-7:] + '\n'))
        r = self.s.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        longest = names[-1]
        for _ in range(2):
            self.s.put(longest, job_bytes('again\n'))
            r = self.s.run()
            self.assertEqual(r.returncode, 0, r.stderr)
        made = os.listdir(self.s.pdf)
        self.assertEqual(len(made), len(names) + 2, made)
        for name in names[:-1]:
            self.assertIn(name[:-4] + '.pdf', made)
        self.assertIn(longest[:-4] + '.pdf', made)
        numbered = sorted(n for n in made if n.endswith(('-2.pdf', '-3.pdf')))
        self.assertEqual([n[-6:] for n in numbered], ['-2.pdf', '-3.pdf'])
        for n in numbered:
            self.assertLessEqual(len(n), 255)
            self.assertIn('again', text(self.s.output(n)))
        self.assertFalse(os.path.exists(os.path.join(self.s.spool, 'FAILED')))


def bitmap(width, height, cut=0):
    import struct
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytes(stride * height)
    data = (b'BM' + struct.pack('<IHHI', 54 + len(pixels), 0, 0, 54) +
            struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0) +
            pixels)
    return data[:len(data) - cut]


class AwkwardJobs(unittest.TestCase):
    """Each bad job ends in a printout or in FAILED with an error; none crashes or hangs."""

    def setUp(self):
        self.s = Spool()

    def tearDown(self):
        self.s.close()

    def printed(self, name, data, expect_pages=None):
        self.s.put(name, data)
        r = self.s.run()
        self.assertEqual(r.returncode, 0, name + ': ' + r.stderr)
        pdf = self.s.output(name[:-4] + '.pdf')
        self.assertTrue(os.path.exists(pdf), name)
        if expect_pages is not None:
            self.assertEqual(pages(pdf), expect_pages, name)
        return pdf

    def refused(self, name, data):
        self.s.put(name, data)
        r = self.s.run()
        self.assertEqual(r.returncode, 1, name)
        self.assertTrue(self.s.failed(name), name)
        self.assertIn('Nepavyko atspausdinti ' + name, r.stderr)
        self.assertFalse(os.path.exists(self.s.output(name[:-4] + '.pdf')), name)

    def test_huge_lines_many_pages_and_binary_bytes(self):
        self.printed('LONG.txt', b'x' * (1 << 20) + b'\r\n', 1)
        self.printed('MANY.txt', b'Lapas\r\n\x0c\r\n' * 19999 + b'Lapas\r\n', 20000)
        binary = bytes(b for b in range(256) if b not in (0x0A, 0x0D, 0x1A)) * 40
        pdf = self.printed('BIN.txt', binary + b'\r\n\x00\x00\r\nok\r\n\x1Aafter the end\r\n')
        self.assertIn('ok', text(pdf))
        self.assertNotIn('after the end', text(pdf))

    def test_absurd_directive_arguments(self):
        for i, directive in enumerate(['@SIZE=', '@SIZE=0', '@SIZE=-5', '@SIZE=4000',
                                       '@MARGIN.LEFT=1e308', '@MARGIN.TOP=-1e308',
                                       '@MARGIN.BOTTOM=1e308', '@NCOPIES1=abc']):
            pdf = self.printed('ARG%d.txt' % i,
                               job_bytes(directive + '\nŠiaudinė eilutė\n@SIZE=9\n') if
                               directive.startswith('@SIZE') else
                               job_bytes('@SIZE=9\n' + directive + '\nŠiaudinė eilutė\n'))
            self.assertGreaterEqual(pages(pdf), 1)
        # Beyond the last page: an empty document, not an error.
        self.printed('FROM.txt', job_bytes('@SIZE=9\n@PAGE.FROM=70000\nA\n\f\nB\n'), 1)
        self.assertEqual(text(self.s.output('FROM.pdf')).strip(), '')
        # An index past the printer list prints on the default printer.
        self.s.put('IDX.txt', job_bytes('@PRINTER_INDEX=99\nA\n'))
        r = self.s.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertFalse(self.s.failed('IDX.txt'))

    def test_tags_balanced_unbalanced_and_nested(self):
        # A tag closes at the first closing tag of its kind, so a font tag
        # nested in another prints as text.
        deep = '<font size="0">' * 2000 + 'gilu' + '</font>' * 2000
        pdf = self.printed('TAGS.txt', job_bytes(
            '@SIZE=9\nA <b>storas</b> B <font size="4">didelis</font> C\n'
            '<b>be pabaigos\n</b> <b><font size="-2">mažas storas</font></b>\n' + deep + '\n'))
        t = text(pdf)
        for expected in ('A storas B didelis C', '<b>be pabaigos', '</b> <b>mažas storas</b>',
                         '<font size="0"><font size="0">'):
            self.assertIn(expected, t)

    def test_bad_pictures_fail_the_job(self):
        os.makedirs(os.path.join(self.s.spool, 'DIR.BMP'))
        with open(os.path.join(self.s.spool, 'TEXT.BMP'), 'wb') as f:
            f.write(b'not a picture at all, just words\n' * 10)
        with open(os.path.join(self.s.spool, 'CUT.BMP'), 'wb') as f:
            f.write(bitmap(40, 40, cut=100))
        with open(os.path.join(self.s.spool, 'GOOD.BMP'), 'wb') as f:
            f.write(bitmap(40, 40))
        self.refused('PIC1.txt', job_bytes('A\n@PICTURE=NERA.BMP\n'))
        self.refused('PIC2.txt', job_bytes('A\n@PICTURE=DIR.BMP\n'))
        self.refused('PIC3.txt', job_bytes('A\n@PICTURE=TEXT.BMP\n'))
        self.refused('PIC4.txt', job_bytes('A\n@PICTURE=CUT.BMP\n'))
        self.printed('PIC5.txt', job_bytes('A\n@PICTURE=GOOD.BMP\nB\n'), 1)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
