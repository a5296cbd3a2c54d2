"""Pickup latency and idle CPU of the resident tool.

Usage: /usr/bin/python3 bench/pickup_latency.py build/marvena-spool [idle-seconds]

Drops job files into an idle spool directory one at a time and measures the
time from the file's close until the tool's log line for it appears; then
measures the CPU time the idle tool uses over a period (default 60 s).
"""
import os
import select
import statistics
import subprocess
import sys
import tempfile
import time

tool = sys.argv[1] if len(sys.argv) > 1 else "build/marvena-spool"
idle_seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60.0
SETTLE_MS = 300  # [Spool] SettleMs, the quiet period a closed job file must keep

with tempfile.TemporaryDirectory() as root:
    spool = os.path.join(root, "spool")
    ini = os.path.join(root, "MARVENA.INI")
    with open(ini, "w") as f:
        f.write(f"[Spool]\nPath={spool}\nPrinterIndex=-1\nSettleMs={SETTLE_MS}\n")
    proc = subprocess.Popen([tool, "--headless", "--config", ini], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE,
                            env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    fd = proc.stderr.fileno()
    buf = b""

    def wait_for(needle, timeout=5.0):
        global buf
        end = time.monotonic() + timeout
        while needle not in buf:
            left = end - time.monotonic()
            if left <= 0:
                return False
            r, _, _ = select.select([fd], [], [], left)
            if r:
                buf += os.read(fd, 65536)
        return True

    wait_for(b"spool directory")
    time.sleep(1.5)
    samples = []
    for i in range(30):
        name = f"job{i:03d}.IST"
        t0 = time.monotonic()
        with open(os.path.join(spool, name), "wb") as f:
            f.write(b"data\r\n")
        if not wait_for(name.encode()):
            print(f"{name}: not picked up within 5 s")
            continue
        samples.append((time.monotonic() - t0) * 1000)
        if samples[-1] > SETTLE_MS + 50:
            print(f"slow: {name} {samples[-1]:.0f} ms")
        time.sleep(0.3 + (i % 7) * 0.1)  # land at different points of the timer's second
    samples.sort()
    median = statistics.median(samples)
    print(f"pickup latency over {len(samples)} jobs: median {median:.1f} ms "
          f"(quiet period {SETTLE_MS} ms + overhead {median - SETTLE_MS:.1f} ms), "
          f"p90 {samples[int(len(samples) * 0.9) - 1]:.1f} ms, max {samples[-1]:.1f} ms")

    tick = os.sysconf("SC_CLK_TCK")

    def cpu():
        with open(f"/proc/{proc.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / tick

    c0, w0 = cpu(), time.monotonic()
    time.sleep(idle_seconds)
    c1, w1 = cpu(), time.monotonic()
    print(f"idle CPU over {w1 - w0:.0f} s: {c1 - c0:.2f} s of CPU "
          f"({100 * (c1 - c0) / (w1 - w0):.3f} % of one core)")
    proc.terminate()
    proc.wait(10)
