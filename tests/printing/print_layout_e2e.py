"""Full pages lose no line: a line whose character cell would reach past the
sheet goes to the next page, and a page range skips exactly the lines the
printed pages hold. Long jobs at every size from 5 to 14 points with zero and
assorted margins are printed to "Marvena PDF" and read back with pdftotext.

argv: tool, examples/spool directory.
"""
import re
import sys
import unittest

sys.dont_write_bytecode = True  # no cache beside the sources
import print_e2e_common as common  # noqa: E402
from print_e2e_common import Spool, pages, text, words

common.TOOL[0] = sys.argv[1]

LINES = 10000
# (top, bottom) margins in mm: none, a sliver, and margins of every sort.
MARGINS = [(0, 0.3), (4.2, 0), (10, 10), (7.3, 12.9), (25.4, 3.1), (0.5, 19.7), (15, 0.7),
           (1.9, 5.5), (33.3, 27.1), (2.6, 1.4)]


def job(size, top, bottom, lines, first_line=''):
    head = '@SIZE=%d\r\n@MARGIN.TOP=%s\r\n@MARGIN.BOTTOM=%s\r\n' % (size, top, bottom)
    body = ''.join('S%dL%05d\r\n' % (size, n) for n in range(1, lines + 1))
    return (head + first_line + body).encode('ascii')


def numbers(pdf_text):
    return [int(n) for n in re.findall(r'S\d+L(\d{5})', pdf_text)]


class FullPages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = Spool()
        cls.jobs = {}
        for size in range(5, 15):
            for top, bottom in ((0, 0), MARGINS[size - 5]):
                name = 'S%02dT%sB%s' % (size, top, bottom)
                cls.jobs[name] = (size, top, bottom)
                cls.s.put(name + '.txt', job(size, top, bottom, LINES))
        cls.run_result = cls.s.run()

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def test_every_line_is_read_back_in_order_at_every_size_and_margin(self):
        self.assertEqual(self.run_result.returncode, 0, self.run_result.stderr)
        for name, (size, top, bottom) in self.jobs.items():
            with self.subTest(job=name):
                got = numbers(text(self.s.output(name + '.pdf')))
                lost = sorted(set(range(1, LINES + 1)) - set(got))
                self.assertEqual(lost, [], 'lines lost: %s' % lost[:10])
                self.assertEqual(got, list(range(1, LINES + 1)))

    def test_no_line_reaches_past_the_sheet_and_pages_are_filled(self):
        for name, (size, top, bottom) in self.jobs.items():
            with self.subTest(job=name):
                placed = words(self.s.output(name + '.pdf'))
                self.assertEqual(len(placed), LINES)
                # pdftotext's boxes come from the font's own ascent and
                # descent, which may differ from the printer's by a fraction
                # of a dot (1/600 inch, 0.12 pt).
                below = [w for w in placed if w[5] > w[1] + 0.12]
                self.assertEqual(below, [], 'cut by the edge: %s' % below[:3])
                # A page breaks only where one more line would not fit: the
                # next page's first line would have ended below the sheet,
                # or started below the bottom margin.
                last = {}
                for w in placed:
                    last[w[0]] = w
                height = placed[0][5] - placed[0][3]
                step = placed[1][3] - placed[0][3]
                for page, w in sorted(last.items())[:-1]:
                    next_top = w[3] + step
                    self.assertTrue(next_top + height > w[1] - 0.5 or
                                    next_top > w[1] - bottom * 72 / 25.4 - 0.5,
                                    'page %d ends early at %.1f pt' % (page, w[5]))


class PageRanges(unittest.TestCase):
    """A page that is not printed counts the lines a printed page holds."""

    def setUp(self):
        self.s = Spool()

    def tearDown(self):
        self.s.close()

    def test_a_ranged_page_shows_what_the_same_page_of_the_whole_job_shows(self):
        cases = [(9, 0, 0), (5, 0.5, 19.7), (12, 7.3, 12.9), (14, 33.3, 27.1), (10, 0, 0)]
        for i, (size, top, bottom) in enumerate(cases):
            self.s.put('ALL%d.txt' % i, job(size, top, bottom, 700))
            self.s.put('TWO%d.txt' % i, job(size, top, bottom, 700, '@PAGE.FROM=2\r\n'))
            self.s.put('MID%d.txt' % i, job(size, top, bottom, 700,
                                              '@PAGE.FROM=3\r\n@PAGE.TO=4\r\n'))
        r = self.s.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        for i, case in enumerate(cases):
            with self.subTest(size=case[0], margins=case[1:]):
                whole = self.s.output('ALL%d.pdf' % i)
                two, mid = self.s.output('TWO%d.pdf' % i), self.s.output('MID%d.pdf' % i)
                self.assertEqual(pages(two), pages(whole) - 1)
                self.assertEqual(numbers(text(two, 1)), numbers(text(whole, 2)))
                self.assertEqual(numbers(text(two)), numbers(text(whole, 2, pages(whole))))
                self.assertEqual(pages(mid), 2)
                self.assertEqual(numbers(text(mid, 1)), numbers(text(whole, 3)))
                self.assertEqual(numbers(text(mid, 2)), numbers(text(whole, 4)))


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
