"""The page-setup window and the information table on a real CUPS queue of
a private scheduler (the one the CUPS printing test starts): the papers
are the ones the queue's driver reports, with their Windows codes and
sizes, and the margins cannot go below the border the queue cannot print.

argv: tool, the probe that prints what the windows would show.
"""
import os
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True  # no cache beside the sources
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'printing'))
PROBE = sys.argv[2]
sys.argv.append('')  # the CUPS test module reads a second argument of its own
import print_cups_e2e as cups  # noqa: E402
import print_e2e_common as common  # noqa: E402
from print_e2e_common import Spool  # noqa: E402

common.TOOL[0] = sys.argv[1]
SERVER = None


class OnACupsQueue(unittest.TestCase):
    def test_papers_and_borders_come_from_the_queue(self):
        s = Spool(cups=SERVER.client)
        try:
            index = [i for i, name in s.printers.items() if name == cups.QUEUE]
            self.assertTrue(index, s.printers)
            s.write_ini(index[0], 'mmLeftMargin=0\nmmTopMargin=0\n')
            r = subprocess.run([PROBE, s.ini, s.pdf], capture_output=True, text=True,
                               env=s.env, timeout=120)
            self.assertEqual(r.returncode, 0, r.stderr)
            papers = {}
            minimum = None
            for line in r.stdout.splitlines():
                parts = line.split(None, 4)
                if parts[0] == 'paper':
                    papers[parts[4]] = tuple(int(p) for p in parts[1:4])
                elif parts[0] == 'minimum':
                    minimum = tuple(int(p) for p in parts[1:])
                elif parts[0] == 'page':
                    page = (int(parts[1]), int(parts[2]))
            self.assertEqual(papers.get('A4'), (9, 2100, 2970), papers)
            self.assertEqual(papers.get('Letter'), (1, 2159, 2794), papers)
            # The driver's A4 has a border on every side (half an inch at the
            # top and bottom), in whole millimetres.
            for side in minimum:
                self.assertTrue(100 <= side <= 2000 and side % 100 == 0, minimum)
            self.assertGreaterEqual(min(minimum[1], minimum[3]), 1200, minimum)
            self.assertEqual(page, (210, 297))
            self.assertIn('row 9 ', r.stdout)
        finally:
            s.close()


def main():
    global SERVER
    for need in (cups.CUPSD, cups.PPD):
        if not os.path.exists(need):
            print('skipped: %s is missing' % need)
            return cups.SKIP
    SERVER = cups.PrivateCups()
    try:
        reason = SERVER.start() or SERVER.add_queue(cups.QUEUE, os.path.join(SERVER.out, 'x.pdf'))
        if reason:
            print('skipped: a private CUPS scheduler cannot run here: ' + reason)
            return cups.SKIP
        result = unittest.main(argv=sys.argv[:1], verbosity=2, exit=False).result
        return 0 if result.wasSuccessful() else 1
    finally:
        SERVER.stop()


if __name__ == '__main__':
    sys.exit(main())
