"""How long the GUI thread of the desktop tool stalls while a long job runs.

Usage: /usr/bin/python3 bench/gui_stall.py build/marvena-spool [pages]

Runs the tool with its tray (trayer under Xvfb) and its window shown while
a text job of `pages` pages (default 20,000) prints to "Marvena PDF", and
prints the longest gap of a 10 ms timer on the GUI thread.
"""
import os
import subprocess
import sys
import tempfile
import time

TOOL = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/marvena-spool")
PAGES = int(sys.argv[2]) if len(sys.argv) > 2 else 20000

with tempfile.TemporaryDirectory() as root:
    spool = os.path.join(root, "spool")
    os.makedirs(spool)
    ini = os.path.join(root, "MARVENA.INI")
    with open(ini, "w") as f:
        f.write(f"[Spool]\nPath={spool}\nPdfDir={root}/pdf\nPrinterIndex=-1\nSettleMs=0\n")
    xvfb = subprocess.Popen(["Xvfb", ":91", "-screen", "0", "800x600x24"],
                            stderr=subprocess.DEVNULL)
    time.sleep(1)
    env = dict(os.environ, DISPLAY=":91", XDG_RUNTIME_DIR=root, MARVENA_DRIVE=root,
               MARVENA_MEASURE_STALLS="1", CUPS_SERVER=root + "/no-cups.sock")
    env.pop("QT_QPA_PLATFORM", None)
    tray = subprocess.Popen(["trayer", "--edge", "bottom", "--align", "right"], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    tool = subprocess.Popen([TOOL, "--config", ini], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    time.sleep(3)
    lines = PAGES * 79
    with open(os.path.join(spool, "LONG.txt.part"), "wb") as f:
        f.write(b"".join(b"Eilute %d: 1234,56 EUR\r\n" % i for i in range(lines)))
    t0 = time.monotonic()
    os.rename(os.path.join(spool, "LONG.txt.part"), os.path.join(spool, "LONG.txt"))
    while not os.path.exists(os.path.join(root, "pdf", "LONG.pdf")):
        time.sleep(0.2)
    took = time.monotonic() - t0
    time.sleep(1)
    tool.terminate()
    _, err = tool.communicate(timeout=30)
    tray.terminate()
    xvfb.terminate()
    stall = [l for l in err.splitlines() if "GUI thread stall" in l]
    print(f"{PAGES} pages printed in {took:.1f} s; " + (stall[-1] if stall else "no figure"))
