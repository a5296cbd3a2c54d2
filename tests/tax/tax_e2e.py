"""End-to-end checks of the declaration jobs through the headless tool: real
job files in a spool directory, the documents read back with Python's XML
parser."""
import datetime
import os
import pwd
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

TOOL = sys.argv.pop(1) if len(sys.argv) > 1 else "build/marvena-spool"
SEP = b"\xb3"


class Env:
    def __init__(self, extra=""):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.spool = os.path.join(self.root, "spool")
        os.makedirs(self.spool)
        self.ini = os.path.join(self.root, "MARVENA.INI")
        with open(self.ini, "w") as f:
            f.write(f"[Spool]\nPath={self.spool}\nPdfDir={self.root}/pdf\nPrinterIndex=-1\n{extra}")

    def run(self):
        return subprocess.run([TOOL, "--headless", "--once", "--config", self.ini],
                              capture_output=True, text=True, timeout=120,
                              env=dict(os.environ, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8",
                                       MARVENA_DRIVE=self.root))

    def put(self, name, lines, end=b"\r\n"):
        with open(os.path.join(self.spool, name), "wb") as f:
            f.write(b"".join(line + end for line in lines))

    def path(self, name):
        return os.path.join(self.spool, name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()


def fields(document):
    """Field values per page number: {page: {name: value}}."""
    root = ET.fromstring(document)
    out = {}
    for page in root.iter("Page"):
        out[int(page.get("PageNumber"))] = {f.get("Name"): f.text or "" for f in page.iter("Field")}
    return root, out


def row(*values):
    return SEP.join(values) + SEP


MFF_HEADER = [b"UAB \"\xdc\xfduolas\" & Co", b"123456789", b"Vilnius", b"2009.03.31", b"2009.03",
              b"not read"]
SAM_HEADER = [b"Draud\xf3jas", b"1234567", b" 302000000 ", b"852", b"Adresas", b"2009.04.15",
              b"30.98+3", b"2009.03", b"x", b"1", b"100", b"31", b"x", b"x", b"x",
              b"Direktorius Jonas Jonaitis", b"Vyr. buhalter\xf3 Ona"]


class Declarations(unittest.TestCase):
    def test_the_three_jobs_write_their_documents_and_remove_the_jobs(self):
        env = Env("[FR0572]\nPSD=15/6\n")
        env.put("FR0572.MFF", MFF_HEADER + [b"\xf7ar\xfbnas" + SEP + b"P" + SEP + b"LT" + SEP +
                                            b"380" + SEP + b"210" + SEP + b"01"])
        env.put("fr0671.dff", [b"UAB", b"LT100001234567", b"2009.04.20", b"2009.03.01",
                               b"2009.03.31", row(b"09.03.15", b"SF1", b"A", b"B", b"1,00", b"2,-")])
        with open(env.path("FR0671.mxfd"), "wb") as f:
            f.write(b"<FormDef id=\"{11111111-2222-3333-4444-555555555555}\"/>")
        env.put("X.SAM", SAM_HEADER + [SEP.join([b"Petras", b"380", b"AB 1234567", b"100.5",
                                                 b"31"])], end=b"\n")
        out = env.run()
        self.assertEqual(out.returncode, 0, out.stderr)
        for job in ("FR0572.MFF", "fr0671.dff", "X.SAM"):
            self.assertFalse(os.path.exists(env.path(job)), job)
        self.assertTrue(os.path.exists(env.path("FR0671.mxfd")))
        # No temporary file is left behind (the tool's own state directory may be).
        self.assertEqual(sorted(n for n in os.listdir(env.spool)
                                if n.startswith(".") and os.path.isfile(env.path(n))), [])
        today = datetime.date.today().isoformat()
        login = pwd.getpwuid(os.geteuid()).pw_name

        mff = env.read("FR0572.ffdata")
        self.assertTrue(mff.startswith(b"<?xml"))
        self.assertEqual(mff.count(b"\r\n"), mff.count(b"\n"))
        root, pages = fields(mff)
        self.assertEqual(root.get("CreatedOn"), today)
        self.assertEqual(root.get("CreatedByLogin"), login)
        self.assertEqual(pages[1]["B_MM_Pavad"], "UAB \"\u0104\u017dUOLAS\" & CO")
        self.assertEqual(pages[2]["A3-1"], "\u0160AR\u016aNAS")
        self.assertEqual((pages[2]["A7-1"], pages[2]["A18-1"]), ("150", "60"))

        dff = env.read("fr0671.ffdata")
        self.assertTrue(dff.startswith(b"\xef\xbb\xbf<?xml"))
        self.assertEqual(dff.count(b"\r\n"), dff.count(b"\n"))
        root, pages = fields(dff)
        self.assertEqual(root.find("Form").get("FormDefId"),
                         "{11111111-2222-3333-4444-555555555555}")
        self.assertEqual(pages[1]["E1"], "LT")
        self.assertEqual(pages[2]["P10-1"], "1,00")
        self.assertEqual(pages[2]["P11-1"], "2,00")

        sam = env.read("X.ffdata")
        self.assertNotIn(b"\r", sam)
        root, pages = fields(sam)
        self.assertEqual(root.get("CreatedByLogin"), "Marvena")
        self.assertEqual(pages[1]["PreparatorDetails"], "ONA")
        # The C locale's decimal point; a decimal comma is read all the same.
        self.assertEqual(pages[1]["TaxRateRep"], "33.98")
        self.assertEqual(pages[2]["InsIncomePage"], "100.5")

    def test_bad_amount_keeps_the_job_reports_once_and_writes_nothing(self):
        env = Env()
        env.put("BAD.SAM", SAM_HEADER + [SEP.join([b"Petras", b"380", b"AB 1", b"1.234,56",
                                                   b"31"])])
        env.put("BAD.MFF", MFF_HEADER + [row(b"a", b"b", b"c", b"d", b"abc") + b"01"])
        out = env.run()
        self.assertEqual(out.returncode, 1, out.stderr)
        self.assertTrue(os.path.exists(env.path("BAD.SAM")))
        self.assertTrue(os.path.exists(env.path("BAD.MFF")))
        self.assertFalse(os.path.exists(env.path("BAD.ffdata")))
        self.assertEqual(out.stderr.count("KLAIDA"), 2, out.stderr)
        self.assertIn("\u201e1.234,56\u201c", out.stderr)
        self.assertFalse(os.path.isdir(os.path.join(env.spool, "FAILED")))

    def test_hostile_job_bytes_give_well_formed_documents(self):
        env = Env()
        junk = bytes(range(0x80, 0x100)).replace(SEP, b"") + b"<&>\"'\x01\x7f"
        env.put("J.MFF", [junk] * 6 + [SEP.join([junk, junk[:40], b"c", b"d", b"5", junk[:30]])])
        env.put("K.SAM", [junk] * 6 + [b"1"] + [junk] * 10 + [SEP.join([junk[:60], b"1", b"2",
                                                                      b"3", b"4"])])
        env.put("FR0672.DFF", [junk, junk, junk, b"2009.03.01", junk,
                               row(b"09.01.01", junk[:60], junk[:60], junk[:60], b"1", b"2")])
        out = env.run()
        self.assertEqual(out.returncode, 0, out.stderr)
        for doc in ("J.ffdata", "K.ffdata", "FR0672.ffdata"):
            fields(env.read(doc))
        _, pages = fields(env.read("J.ffdata"))
        self.assertTrue(pages)

    def test_two_kinds_under_one_name_keep_each_other(self):
        env = Env()
        mff = MFF_HEADER + [row(b"a", b"b", b"c", b"d", b"5") + b"01"]
        sam = SAM_HEADER + [SEP.join([b"Petras", b"380", b"AB 1", b"100", b"31"])]
        env.put("A.MFF", mff)
        env.put("A.SAM", sam, end=b"\n")
        out = env.run()
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertIn("A.ffdata holds FR0572, kept", out.stderr)
        self.assertEqual(fields(env.read("A.ffdata"))[0].find("Form").get("FormDefId"),
                         "{C175A737-C06C-4D24-A1AB-BF96955956B1}")
        self.assertEqual(fields(env.read("A-SAM.ffdata"))[1][1]["FormCode"], "SAM")
        # Both again: each replaces its own document, nothing new appears.
        env.put("A.SAM", sam[:-1] + [SEP.join([b"Jonas", b"380", b"AB 1", b"7", b"31"])], end=b"\n")
        env.put("A.MFF", mff)
        out = env.run()
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertEqual(fields(env.read("A-SAM.ffdata"))[1][2]["PersonFullName_1"], "JONAS")
        self.assertEqual(sorted(n for n in os.listdir(env.spool) if n.endswith(".ffdata")),
                         ["A-SAM.ffdata", "A.ffdata"])

    def test_large_job_through_the_binary(self):
        env = Env()
        rows = [row(b"V%d" % i, b"P", b"LT", b"380", b"12,5") + b"01" for i in range(20000)]
        env.put("BIG.MFF", MFF_HEADER + rows)
        out = env.run()
        self.assertEqual(out.returncode, 0, out.stderr)
        root, pages = fields(env.read("BIG.ffdata"))
        self.assertEqual(root.find("Form/Pages").get("Count"), "5001")
        self.assertEqual(pages[5001]["A1-4"], "20000")
        self.assertEqual(pages[5001]["A7-4"], "13")


if __name__ == "__main__":
    unittest.main()
