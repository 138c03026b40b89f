#!/usr/bin/env bash
# Starts talmar under a virtual display in a folder and saves a PNG of the screen.
# Usage: scripts/screenshot.sh OUTPUT.png [WORKDIR] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:?usage: screenshot.sh OUTPUT.png [WORKDIR] [SECONDS]}")
work=${2:-$(mktemp -d)}
wait=${3:-3}
exe=${TALMAR_EXE:-$root/build/app/talmar}
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
sleep 1
(cd "$work" && DISPLAY=$display QT_QPA_PLATFORM=xcb "$exe" >/dev/null 2>&1) &
app=$!
sleep "$wait"
DISPLAY=$display import -window root "$out"
echo "screenshot: $out"
