"""The options window's information table against real printouts: for each
font size 5 to 14, a text job printed on "Marvena PDF" with the same
settings puts a line of exactly the table's characters inside the right
margin and one character more past it, and a page holds the table's lines.

argv: tool, the probe that prints the table as the window works it out.
"""
import os
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True  # no cache beside the sources
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'printing'))
import print_e2e_common as common  # noqa: E402
from print_e2e_common import Spool, job_bytes, pages, words  # noqa: E402

TOOL = sys.argv[1]
PROBE = sys.argv[2]
common.TOOL[0] = TOOL
MM = 72 / 25.4  # points per millimetre


class InformationTable(unittest.TestCase):
    def setUp(self):
        self.s = Spool(extra='mmLeftMargin=20\nmmRightMargin=15\nmmTopMargin=12\n'
                             'mmBottomMargin=18\n')

    def tearDown(self):
        self.s.close()

    def table(self):
        r = subprocess.run([PROBE, self.s.ini, self.s.pdf], capture_output=True, text=True,
                           env=self.s.env, timeout=120)
        self.assertEqual(r.returncode, 0, r.stderr)
        rows, page = {}, None
        for line in r.stdout.splitlines():
            parts = line.split()
            if parts[0] == 'row':
                rows[int(parts[1])] = (int(parts[2]), int(parts[3]))
            elif parts[0] == 'page':
                page = (int(parts[1]), int(parts[2]))
            elif parts[0] == 'margins':
                margins = tuple(int(p) for p in parts[1:])
        return page, margins, rows

    def test_each_size_prints_as_the_table_says(self):
        page, margins, rows = self.table()
        self.assertEqual(page, (210, 297))
        self.assertEqual(margins, (20, 12, 15, 18))
        self.assertEqual(sorted(rows), list(range(5, 15)))
        for size, (chars, lines) in rows.items():
            self.assertGreater(chars, 0)
            self.assertGreater(lines, 0)
            self.s.put('W%02d.txt' % size, job_bytes(
                '@SIZE=%d\n%s\n%s\n' % (size, 'B' * chars, 'C' * (chars + 1))))
            self.s.put('L%02d.txt' % size, job_bytes(
                '@SIZE=%d\n' % size + ''.join('%d\n' % (i + 1) for i in range(lines))))
        # Larger sizes fit fewer characters and lines.
        self.assertGreater(rows[5][0], rows[14][0])
        self.assertGreater(rows[5][1], rows[14][1])
        r = self.s.run()
        self.assertEqual(r.returncode, 0, r.stderr)

        for size, (chars, lines) in rows.items():
            found = words(self.s.output('W%02d.pdf' % size))
            line = [w for w in found if w[6] == 'B' * chars]
            longer = [w for w in found if w[6] == 'C' * (chars + 1)]
            self.assertEqual(len(line), 1, (size, [w[6] for w in found]))
            self.assertEqual(len(longer), 1, size)
            right_edge = 210 * MM - 15 * MM
            # Exactly the table's characters stay inside the right margin;
            # one more reaches past it.
            self.assertLessEqual(line[0][4], right_edge + 0.5, size)
            self.assertGreater(longer[0][4], right_edge - 0.5, size)
            self.assertAlmostEqual(line[0][2], 20 * MM, delta=0.6)
            listing = self.s.output('L%02d.pdf' % size)
            self.assertEqual(pages(listing), 1, (size, lines))
            numbers = [w[6] for w in words(listing)]
            self.assertEqual(numbers[0], '1')
            self.assertEqual(numbers[-1], str(lines), size)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
