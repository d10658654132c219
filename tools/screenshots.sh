#!/usr/bin/env bash
# Starts the program under a virtual X server, photographs the splash window
# and then the main window, and writes the PNG files to the folder given
# (default: screenshots/). For looking, not for asserting.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/screenshots}
bin=${BUILD_DIR:-$top/build}/bin
mkdir -p "$out"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -e
  "$0/sequanel" & pid=$!
  sleep 1.5
  import -window root "$1/splash-screen.png"
  sleep 4.5
  import -window root "$1/main-screen.png"
  # The main window alone: its own X window, found by its title.
  id=$(xwininfo -root -tree | awk "/Saisie des contacts/ {print \$1; exit}")
  [ -n "$id" ] && import -window "$id" "$1/main.png" || true
  kill $pid
' "$bin" "$out"

# The other windows, drawn offscreen by the program's own classes.
cmake --build "${BUILD_DIR:-$top/build}" --target sequanel-shots >/dev/null
if [ -x "$bin/sequanel-shots" ]; then
  QT_QPA_PLATFORM=offscreen "$bin/sequanel-shots" "$out"
  # The printed listing, page by page.
  [ -f "$out/listing.pdf" ] && pdftoppm -r 60 -png "$out/listing.pdf" "$out/listing-page"
fi
# Two stations of a shared log while its server is away, and once it is back
# (a private server: needs postgresql-15).
cmake --build "${BUILD_DIR:-$top/build}" --target sequanel-shots-partage >/dev/null
if [ -x "$bin/sequanel-shots-partage" ]; then
  xvfb-run -a -s "-screen 0 1024x768x24" "$bin/sequanel-shots-partage" "$out" || echo "sequanel-shots-partage: $?" >&2
fi
ls "$out"
