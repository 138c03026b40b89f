#!/usr/bin/env bash
# Polls the demo's simulated line from the system switch window under a virtual display and saves
# a picture of the window: the sample tables, the modem on the cable (КП-1) and two more КП on the
# line, as scripts/run.sh starts them.
# Usage: scripts/switch-screenshot.sh [OUTPUT.png]   (default docs/switch-window.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/switch-window.png}")
build=${TALMAR_BUILD_DIR:-build}
work=$(mktemp -d)
cd "$work"
"$root/$build/tools/tables/talmar-tables" sample
"$root/$build/sim/talmar-modem-sim" --link "$work/modem" --quiet \
    --controller 1 --sys-mode 1 --sys-mode-addr 16 --extra 2,3 --extra 3,1 >/dev/null &
sim=$!
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $sim $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -e "$work/modem" ] && break; sleep 0.1; done
sleep 1
export DISPLAY=$display QT_QPA_PLATFORM=xcb TALMAR_COM2=$work/modem TALMAR_LOCK_DIR=$work
"$root/$build/app/talmar" >/dev/null 2>&1 &
app=$!
find_window() {
  for _ in $(seq 50); do
    xdotool search --name "$1" 2>/dev/null | head -n1 && return 0
    sleep 0.2
  done
  echo "the window \"$1\" did not appear" >&2
  return 1
}
# The main window's caption, name and version, as this build made it.
caption=$(sed -n 's/.*kMainCaption = "\(.*\)";.*/\1/p' "$root/$build/generated/TalmarVersion.h")
main=$(find_window "$caption")
# Дистанционное управление -> Переход КЕРВА <-> ОРТЕН...: the menu bar from its first menu.
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --sync $((X + 20)) $((Y + 10)) click 1
sleep 0.5
xdotool key Right Right Return
win=$(find_window "Переключение системы телемеханики")
xdotool windowfocus --sync "$win"
# Every КП (Ctrl+A in the grid), the version option on, then "Опросить выделенные КП".
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --sync $((X + 60)) $((Y + 40)) click 1
xdotool key ctrl+a Tab Tab Tab space shift+Tab shift+Tab space
sleep 10
import -window "$win" "$out"
echo "screenshot: $out"
