#!/usr/bin/env bash
# Runs the tool once over a copy of the demo spool directory (examples/spool)
# and shows what it made. Printouts go to PDF files in demo/pdf.
set -euo pipefail
cd "$(dirname "$0")/.."
demo="$PWD/demo"
rm -rf "$demo"
mkdir -p "$demo/spool" "$demo/pdf"
cp -r examples/spool/. "$demo/spool/"
# "Marvena PDF" comes after the system's printers in the printer list.
pdf_index=$( (lpstat -e 2>/dev/null || true) | wc -l)
cat > "$demo/MARVENA.INI" <<INI
[Spool]
Path=$demo/spool
PdfDir=$demo/pdf
PrinterIndex=$pdf_index
INI
status=0
./build/marvena-spool --headless --once --config "$demo/MARVENA.INI" || status=$?
echo
echo "Spool directory after the run ($demo/spool):"
ls -la "$demo/spool"
echo "PDF printouts ($demo/pdf):"
ls -la "$demo/pdf"
exit "$status"
