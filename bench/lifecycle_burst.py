"""Many jobs at once, and an idle tool beside many result files.

Usage: /usr/bin/python3 bench/lifecycle_burst.py build/marvena-spool [idle-seconds]

Drops 1,000 and then 10,000 small mixed jobs (*.txt to "Marvena PDF", *.slx,
*.MFF, *.SAM) into a spool directory and times `--once` over them; the
10,000 run should take no more than 12 times the 1,000 run. Then starts the
resident tool over a spool holding 50,000 result files and measures the CPU
it uses while idle.
"""
import os
import subprocess
import sys
import tempfile
import time

TOOL = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/marvena-spool")
IDLE_SECONDS = float(sys.argv[2]) if len(sys.argv) > 2 else 30.0
HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "examples", "spool")
SEP = b"\xb3"

with open(os.path.join(EXAMPLES, "ATASKAITA.slx"), "rb") as f:
    SLX = f.read()
with open(os.path.join(EXAMPLES, "FR0572.MFF"), "rb") as f:
    MFF = f.read()
SAM = b"".join(line + b"\r\n" for line in [
    b"Draud\xf3jas", b"1234567", b" 302000000 ", b"852", b"Adresas", b"2009.04.15", b"30.98+3",
    b"2009.03", b"x", b"1", b"100", b"31", b"x", b"x", b"x", b"Direktorius Jonas Jonaitis",
    b"Vyr. buhalter\xf3 Ona", SEP.join([b"Petras", b"380", b"AB 1234567", b"100.5", b"31"])])
TXT = b"".join(f"Eilute {i}: 1234,56 EUR\r\n".encode() for i in range(20))
KINDS = [("txt", TXT), ("slx", SLX), ("MFF", MFF), ("SAM", SAM)]


def letters(i):
    # Spreadsheet results are named after the job without its trailing
    # digits, so the jobs are told apart by letters.
    out = ""
    for _ in range(5):
        out = chr(ord("A") + i % 26) + out
        i //= 26
    return out


def setup(root, count):
    spool = os.path.join(root, "spool")
    os.makedirs(spool)
    ini = os.path.join(root, "MARVENA.INI")
    with open(ini, "w") as f:
        f.write(f"[Spool]\nPath={spool}\nPdfDir={root}/pdf\nPrinterIndex=-1\n")
    return spool, ini


def environ(root):
    return dict(os.environ, QT_QPA_PLATFORM="offscreen", MARVENA_DRIVE=root,
                XDG_RUNTIME_DIR=root, XDG_STATE_HOME=root + "/state",
                CUPS_SERVER=root + "/no-cups.sock")


def burst(count):
    with tempfile.TemporaryDirectory() as root:
        spool, ini = setup(root, count)
        for i in range(count):
            ext, data = KINDS[i % len(KINDS)]
            with open(os.path.join(spool, f"{letters(i)}.{ext}"), "wb") as f:
                f.write(data)
        t0 = time.monotonic()
        out = subprocess.run([TOOL, "--headless", "--once", "--config", ini],
                             capture_output=True, text=True, env=environ(root))
        took = time.monotonic() - t0
        left = [n for n in os.listdir(spool) if n.rsplit(".", 1)[-1] in ("txt", "slx", "MFF", "SAM")]
        done = out.stderr.count("] done")
        print(f"{count:>6} jobs: {took:7.2f} s  ({1000 * took / count:.2f} ms a job; "
              f"{done} done, {len(left)} left, exit {out.returncode})", flush=True)
        return took


def idle(results):
    with tempfile.TemporaryDirectory() as root:
        spool, ini = setup(root, 0)
        for i in range(results):
            open(os.path.join(spool, f"R{i:05d}.XLS"), "wb").close()
        proc = subprocess.Popen([TOOL, "--headless", "--config", ini], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, env=environ(root))
        time.sleep(3)
        tick = os.sysconf("SC_CLK_TCK")

        def cpu():
            with open(f"/proc/{proc.pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / tick

        c0, w0 = cpu(), time.monotonic()
        time.sleep(IDLE_SECONDS)
        c1, w1 = cpu(), time.monotonic()
        proc.terminate()
        proc.wait(10)
        print(f"idle with {results} result files over {w1 - w0:.0f} s: {c1 - c0:.2f} s of CPU "
              f"({100 * (c1 - c0) / (w1 - w0):.3f} % of one core)")


small = burst(1000)
large = burst(10000)
print(f"10,000 / 1,000 = {large / small:.1f} (at most 12)")
idle(50000)
