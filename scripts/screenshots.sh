#!/usr/bin/env bash
# Takes the README's screenshots under Xvfb with trayer as the tray host:
# the main window while a long job prints, the tray menu, the about box,
# the options window's two pages, its page setup and its font chooser.
# Usage: scripts/screenshots.sh [build/marvena-spool]  (needs xvfb, trayer,
# xdotool, x11-apps and imagemagick)
set -euo pipefail
cd "$(dirname "$0")/.."
tool="$(realpath "${1:-build/marvena-spool}")"
out="$(pwd)/docs/screenshots"
work="$(mktemp -d)"
display=:93
cleanup() { kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

mkdir -p "$work/spool" "$out"
printf '[Spool]\nPath=%s/spool\nPdfDir=%s/pdf\nPrinterIndex=-1\nSettleMs=0\n' "$work" "$work" \
  >"$work/MARVENA.INI"
Xvfb "$display" -screen 0 640x400x24 >/dev/null 2>&1 &
export DISPLAY=$display XDG_RUNTIME_DIR="$work" MARVENA_DRIVE="$work"
sleep 1
trayer --edge bottom --align right --widthtype pixel --width 100 --heighttype pixel \
  --height 30 --transparent false --tint 0xdddddd >/dev/null 2>&1 &
sleep 1
"$tool" --config "$work/MARVENA.INI" >"$work/log" 2>&1 &
sleep 3
# The start-up notes (no MARVENA font here) are closed first.
for w in $(xdotool search --name '^Marvena Spool$' 2>/dev/null); do
  if [ "$(xdotool getwindowgeometry "$w" | grep -c '22x')" = 0 ] && xwininfo -id "$w" |
    grep -q 'IsViewable'; then xdotool key --window "$w" Return 2>/dev/null || true; fi
done
shot() { xwd -root -silent | convert xwd:- -crop "$2" +repage "$out/$1.png"; }

# Jobs waiting behind a long one: the list, the job's name and its progress.
# The three small ones are still held open by their writer, so they wait.
python3 - "$work/spool" <<'PY' &
import os, sys, time
spool = sys.argv[1]
held = [open(os.path.join(spool, n), "wb") for n in ("ATASKAITA.txt", "KVITAS.txt", "ZURNALAS.txt")]
with open(os.path.join(spool, "DIDELIS.txt.part"), "wb") as f:
    f.write(b"".join(b"Eilute %d: 1234,56 EUR\r\n" % i for i in range(1500000)))
os.rename(os.path.join(spool, "DIDELIS.txt.part"), os.path.join(spool, "DIDELIS.txt"))
time.sleep(40)
PY
sleep 3
icon=$(xwininfo -root -tree | awk '/"Marvena Spool".*22x/ {print $1; exit}')
xdotool mousemove --window "$icon" 10 10 click --repeat 2 1
sleep 3
shot main-window 420x200+0+0

xdotool mousemove --window "$icon" 10 10 click 3
sleep 1
shot tray-menu 640x400+0+0
xdotool key Escape

xdotool search --name '^Marvena Spool$' >/dev/null
window=$(xdotool search --onlyvisible --name '^Marvena Spool$' | head -1)
xdotool mousemove --window "$window" 385 12 click 1
sleep 1.5
shot about-box 640x400+0+0
xdotool key Escape

# The options window as a first start opens it: its page setup at once,
# then the window itself with both of its pages and the font chooser.
mkdir -p "$work/opts/spool"
printf '[Spool]\nPath=%s/opts/spool\nPdfDir=%s/pdf\n' "$work" "$work" >"$work/opts/MARVENA.INI"
"$tool" --config "$work/opts/MARVENA.INI" >"$work/opts.log" 2>&1 &
sleep 3
# Its start-up notes (no MARVENA font here) are put out of the way.
for w in $(xdotool search --onlyvisible --name '^Marvena Spool$' 2>/dev/null); do
  if xdotool getwindowgeometry "$w" | grep -Eq 'Geometry: (2|3)[0-9][0-9]x[0-9][0-9]$'; then
    xdotool windowunmap "$w" 2>/dev/null || true
  fi
done
front() {  # the visible window of that title, moved to the corner; prints its id
  local w
  w=$(xdotool search --onlyvisible --name "$1" | head -1)
  xdotool windowmove "$w" 0 0 windowraise "$w" windowfocus "$w"
  sleep 0.7
  echo "$w"
}
size() { xdotool getwindowgeometry "$1" | awk '/Geometry/ {print $2}'; }
setup=$(front '^Spausdintuvo .* parametrai$')
shot page-setup "$(size "$setup")+0+0"
xdotool key Escape
sleep 1
options=$(front '^Marvena Spool Parametrai$')
shot options-printer "$(size "$options")+0+0"
xdotool mousemove --window "$options" 160 16 click 1
sleep 1
shot options-information "$(size "$options")+0+0"
xdotool mousemove --window "$options" 60 16 click 1
sleep 0.5
xdotool mousemove --window "$options" 232 58 click 1
sleep 1
font=$(front '^Sriftas$')
shot options-font "$(size "$font")+0+0"
xdotool key Escape
echo "screenshots in $out"
