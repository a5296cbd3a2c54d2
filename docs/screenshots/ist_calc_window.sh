#!/usr/bin/env bash
# Makes ist-calc-window.png: a 10-line *.IST job filled by the tool run
# without --headless under Xvfb, so that LibreOffice opens the workbook in a
# Calc window. Usage: docs/screenshots/ist_calc_window.sh build/marvena-spool
set -euo pipefail
tool=$(realpath "${1:-build/marvena-spool}")
here=$(dirname "$(realpath "$0")")
tmp=$(mktemp -d)
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1920x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
office_pid=""
since=$(date +%s)
cleanup() {
  [ -n "$office_pid" ] && kill -9 -- "-$office_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  sleep 0.5
  /usr/bin/python3 -c "import sys; sys.path.insert(0, '$here/../../tests/office'); \
import ist_office; ist_office.remove_stale_pipes($since)" || true
  rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -p "$tmp/spool"
/usr/bin/python3 - "$tmp" "$here/../../tests/office" <<'PY'
import os, sys
root, helpers = sys.argv[1], sys.argv[2]
sys.path.insert(0, helpers)
import ist_office as io_
office = io_.Office(root, "templates").start()
try:
    io_.make_templates(office, os.path.join(root, "spool"))
finally:
    office.stop()
names = ["Jonas Petraitis", "Ona Kazlauskienė", "Šarūnas Žukauskas", "Rūta Čepulienė",
         "Įvairūs darbai", "Ąžuolas Ėmė", "Vytautas Ūsas", "Giedrė Ąžuolaitė",
         "Tomas Jankūnas", "Eglė Šimkutė"]
job_page = dict(zip("ĄąČčĘęĖėĮįŠšŲųŪūŽž", [0xDC, 0xDD, 0xDE, 0xDF] + list(range(0xF0, 0xFE))))
enc = lambda s: bytes(job_page.get(c, ord(c)) for c in s)  # the job code page's letters
lines = []
for n, name in enumerate(names, start=1):
    fields = [b"", enc(name)] + [b"%d,%02d" % (n * 100 + i, i) for i in range(3, 13)] + [b"LT"]
    lines.append(b"\xb3".join(fields))
with open(os.path.join(root, "spool", "UPS.IST"), "wb") as f:
    f.write(io_.job(lines))
with open(os.path.join(root, "MARVENA.INI"), "w") as f:
    f.write("[Spool]\nPath=%s/spool\nSettleMs=0\n[Calc]\nConnect=pipe,name=marvena-shot-%d;urp;\n"
            % (root, os.getpid()))
PY
DISPLAY=$display HOME=$tmp XDG_CONFIG_HOME=$tmp/config QT_QPA_PLATFORM=offscreen \
  "$tool" --once --config "$tmp/MARVENA.INI" 2>"$tmp/log" || true
cat "$tmp/log"
office_pid=$(sed -n 's/.*started LibreOffice (pid \([0-9]*\).*/\1/p' "$tmp/log")
sleep 4
DISPLAY=$display import -window root "$here/ist-calc-window.png"
echo "wrote $here/ist-calc-window.png"
