"""How long the GUI thread of the desktop tool stalls while a long job runs.

Usage: /usr/bin/python3 bench/gui_stall.py build/marvena-spool [pages] [megabytes]

Runs the tool with its tray (trayer under Xvfb) and its window shown, first
while a text job of `pages` pages (default 20,000) prints to "Marvena PDF",
then while an export of `megabytes` MB (default 100) is uploaded to an FTP
server on loopback that reads 20 MB a second, and prints the longest gap of a 10 ms timer on the GUI
thread during each.
"""
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/marvena-spool")
PAGES = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
MEGABYTES = int(sys.argv[3]) if len(sys.argv) > 3 else 100
FTP_SERVER = os.path.join(HERE, "..", "tests", "exchange", "ftp_server.py")


def run_desktop(root, settings, start_job, done):
    """Starts Xvfb, trayer and the tool; runs `start_job`, waits for `done`;
    returns the seconds it took and the tool's stall line."""
    spool = os.path.join(root, "spool")
    os.makedirs(spool)
    ini = os.path.join(root, "MARVENA.INI")
    with open(ini, "w") as f:
        f.write(f"[Spool]\nPath={spool}\nPdfDir={root}/pdf\nPrinterIndex=-1\nSettleMs=0\n")
        f.write(settings)
    xvfb = subprocess.Popen(["Xvfb", ":91", "-screen", "0", "800x600x24"],
                            stderr=subprocess.DEVNULL)
    time.sleep(1)
    env = dict(os.environ, DISPLAY=":91", XDG_RUNTIME_DIR=root, MARVENA_DRIVE=root,
               MARVENA_MEASURE_STALLS="1", CUPS_SERVER=root + "/no-cups.sock", HOME=root)
    env.pop("QT_QPA_PLATFORM", None)
    tray = subprocess.Popen(["trayer", "--edge", "bottom", "--align", "right"], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    tool = subprocess.Popen([TOOL, "--config", ini], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    try:
        time.sleep(3)
        t0 = time.monotonic()
        start_job(spool)
        while not done():
            time.sleep(0.2)
        took = time.monotonic() - t0
        time.sleep(1)
    finally:
        tool.terminate()
        _, err = tool.communicate(timeout=60)
        tray.terminate()
        xvfb.terminate()
        xvfb.wait()
    stall = [l for l in err.splitlines() if "GUI thread stall" in l]
    return took, stall[-1] if stall else "no figure"


def print_case():
    with tempfile.TemporaryDirectory() as root:
        def start(spool):
            with open(os.path.join(spool, "LONG.txt.part"), "wb") as f:
                f.write(b"".join(b"Eilute %d: 1234,56 EUR\r\n" % i for i in range(PAGES * 79)))
            os.rename(os.path.join(spool, "LONG.txt.part"), os.path.join(spool, "LONG.txt"))

        took, stall = run_desktop(root, "", start,
                                  lambda: os.path.exists(os.path.join(root, "pdf", "LONG.pdf")))
        print(f"print: {PAGES} pages printed in {took:.1f} s; {stall}")


def upload_case():
    with tempfile.TemporaryDirectory() as root:
        export, server_root = os.path.join(root, "export"), os.path.join(root, "ftp")
        os.makedirs(export)
        os.makedirs(os.path.join(server_root, "xml"))
        server = subprocess.Popen(["/usr/bin/python3", FTP_SERVER, "--root", server_root,
                                   "--user", "marvena", "--password", "slaptas",
                                   "--mode", "slow", "--rate", str(20 << 20)],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        port = int(server.stdout.readline().split()[1])
        try:
            def start(_spool):
                part = os.path.join(export, "BIG.part")
                block = b"<row>1234,56</row>\n" * 55189  # about 1 MB
                with open(part, "wb") as f:
                    for _ in range(MEGABYTES):
                        f.write(block)
                os.rename(part, os.path.join(export, "BIG.FTP"))

            settings = (f"[ESSVE]\nPath={export}/\nftp=127.0.0.1:{port}\nuser=marvena\n"
                        "password=slaptas\n")
            took, stall = run_desktop(root, settings, start,
                                      lambda: os.path.exists(os.path.join(export, "ftp.log")))
            print(f"upload: {MEGABYTES} MB uploaded in {took:.1f} s; {stall}")
        finally:
            server.kill()
            server.wait()


print_case()
upload_case()
