"""A 597-line *.IST job (7,762 cells on 100 sheets) filled into LibreOffice
Calc by the built tool: into an office that is already running (warm) and
into none, so that the tool starts one (cold; with a profile an earlier
start left, and with a new profile). Every office is private and stopped.

Usage: /usr/bin/python3 bench/ist_calc.py build/marvena-spool [runs]

Figures are the wall time of `marvena-spool --headless --once` from start to
exit, the tool's own start-up included; that start-up is measured apart
with an empty spool.
"""
import os
import re
import signal
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "office"))
import ist_office as io_  # noqa: E402

tool = sys.argv[1] if len(sys.argv) > 1 else "build/marvena-spool"
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
reason = io_.missing()
if reason:
    sys.exit("cannot run: " + reason)

JOB = io_.job(io_.numbered_lines(597))


def timed(spool, env=None):
    spool.put("BENCH.IST", JOB)
    t = time.monotonic()
    out = spool.run(env)
    took = time.monotonic() - t
    if out.returncode != 0 or "7762 cells" not in out.stderr:
        sys.exit("the job did not fill:\n" + out.stderr)
    return took, out.stderr


def started_pid(log):
    m = re.search(r"started LibreOffice \(pid (\d+)", log)
    return int(m.group(1)) if m else None


with tempfile.TemporaryDirectory() as root:
    office = io_.Office(root, "bench").start()
    try:
        templates = os.path.join(root, "templates")
        io_.make_templates(office, templates)
        spool = io_.Spool(os.path.join(root, "warm"), tool, office.connection, templates)
        empty = io_.Spool(os.path.join(root, "empty"), tool, office.connection)
        t = time.monotonic()
        empty.run()
        startup = time.monotonic() - t
        warm = []
        for _ in range(runs):
            took, _ = timed(spool)
            warm.append(took)
            office.close(spool.workbook)
        # The same without the in-office fill function: a call per cell.
        per_cell = []
        for _ in range(2):
            took, _ = timed(spool, {"MARVENA_TEST_CALC_NO_BASIC": "1"})
            per_cell.append(took)
            office.close(spool.workbook)
    finally:
        office.stop()

    def cold(name, keep_profile):
        times = []
        for i in range(runs if keep_profile else max(2, runs // 2)):
            where = os.path.join(root, "%s-%d" % (name, 0 if keep_profile else i))
            os.makedirs(where, exist_ok=True)
            private = io_.Office(where, name)
            cold_spool = io_.Spool(where, tool, private.connection, templates)
            took, log = timed(cold_spool)
            pid = started_pid(log)
            if pid:
                os.killpg(pid, signal.SIGKILL)
                time.sleep(0.5)
                io_.remove_stale_pipes(private.started)
            times.append(took)
        return times

    cold_new = cold("coldnew", False)
    cold_kept = cold("coldkept", True)[1:]  # the first run made the profile

print("597 data lines, 7,762 cells on 100 sheets, %d runs" % runs)
print("tool start-up and exit with an empty spool: %.2f s" % startup)
for label, values in [("warm (office running)", warm),
                      ("warm, a UNO call per cell", per_cell),
                      ("cold, profile already made", cold_kept),
                      ("cold, new profile", cold_new)]:
    print("%-28s best %.2f s  median %.2f s" % (label, min(values), statistics.median(values)))
