#!/usr/bin/env bash
# Builds Talmar and starts it on its embedded defaults: a demo working folder with sample tables
# and a firmware file, and the modem simulator standing in for a modem on COM2.
# With no display it runs the program under a virtual display and saves a screenshot instead, and
# then runs the same demo through talmar-cli.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
build=${TALMAR_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only the programs the demo starts; the tests and benchmarks are left to scripts/test.sh.
cmake --build "$build" -j"$(nproc)" --target talmar talmar-modem-sim talmar-tables talmar-cli

demo=${TALMAR_DEMO_DIR:-$root/demo-run}
mkdir -p "$demo"
cd "$demo"
# The demo's own single-instance lock: a copy of Talmar running elsewhere for this user does not
# turn the demo's window and talmar-cli away.
export TALMAR_LOCK_DIR="$demo/lock"
mkdir -p "$TALMAR_LOCK_DIR"
# Sample tables (COM2, a few КП per system, an example parameter map) and the sample firmware.
[ -e Pref.db ] || "$root/$build/tools/tables/talmar-tables" sample
cp "$root/demo/ltr20-demo.rom" .

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT
# The modem on the programming cable (controller 1, frequency system) and two more КП on the line
# for the system switch; real wire time, so the progress bar moves as it would with a modem.
rm -f "$demo/modem"
# Its stderr, one line per request heard, goes to sim.log.
"$root/$build/sim/talmar-modem-sim" --link "$demo/modem" --wire-time \
    --controller 1 --sys-mode 1 --sys-mode-addr 16 --extra 2,3 --extra 3,1 >"$demo/sim.out" 2>"$demo/sim.log" &
sim_pid=$!
for _ in $(seq 50); do [ -e "$demo/modem" ] && break; sleep 0.1; done
export TALMAR_COM2="$demo/modem"
echo "Modem simulator on $(head -n1 "$demo/sim.out"); COM2 -> $TALMAR_COM2"
echo "Firmware to try: $demo/ltr20-demo.rom (Файл -> Открыть файл прошивки..., then F4)"

if [ -n "${DISPLAY:-}" ]; then
  "$root/$build/app/talmar"
  exit 0
fi

# No display: run the program under a virtual one and drive it as a user would: choose the sample
# firmware in the open dialog, program it, and save a screenshot of the result.
echo "No display: running Talmar under a virtual display (Xvfb)."
app_pid=""
xvfb_pid=""
trap 'cleanup; kill $app_pid $xvfb_pid 2>/dev/null || true' EXIT
# Waits up to $1 seconds for the command in the rest of the arguments to succeed.
wait_for() {
  local limit=$1
  shift
  for _ in $(seq $((limit * 10))); do "$@" && return 0; sleep 0.1; done
  return 1
}
# The server picks a free display and writes its number.
rm -f "$demo/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$demo/display" >/dev/null 2>&1 &
xvfb_pid=$!
wait_for 30 test -s "$demo/display" || { echo "the virtual display did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$demo/display") QT_QPA_PLATFORM=xcb
"$root/$build/app/talmar" >/dev/null 2>&1 &
app_pid=$!
# The windows on the screen; the main window, then the open dialog, is looked for among them.
visible() { xdotool search --onlyvisible --name . 2>/dev/null || true; }
# The main window's caption, name and version, as this build made it.
caption=$(sed -n 's/.*kMainCaption = "\(.*\)";.*/\1/p' "$root/$build/generated/TalmarVersion.h")
main_window() { win=$(xdotool search --onlyvisible --name "$caption" 2>/dev/null | head -n1) && [ -n "$win" ]; }
dialog_open() { dialog=$(visible | grep -vx "$win" | head -n1) && [ -n "$dialog" ]; }
dialog_closed() { ! visible | grep -qx "$dialog"; }
wait_for 30 main_window || { echo "the main window did not appear" >&2; exit 1; }
xdotool windowfocus --sync "$win"
xdotool key F3
wait_for 30 dialog_open || { echo "the open dialog did not appear" >&2; exit 1; }
xdotool windowfocus --sync "$dialog"
xdotool type --delay 20 "$demo/ltr20-demo.rom"
xdotool key Return
wait_for 30 dialog_closed || { echo "the open dialog did not close" >&2; exit 1; }
# The window writes Log.txt when the command has ended.
log_state() { cksum "$demo/Log.txt" 2>/dev/null || true; }
before=$(log_state)
log_changed() { [ "$(log_state)" != "$before" ]; }
# F4 as soon as the dialog has gone may reach the window before it takes keys again: pressed
# again until the modem hears the command's first request.
heard=$(wc -c <"$demo/sim.log")
modem_heard() { [ "$(wc -c <"$demo/sim.log")" != "$heard" ]; }
for _ in 1 2 3 4 5; do
  # Without a window manager nobody gives the keyboard back to the main window.
  xdotool windowfocus --sync "$win"
  xdotool key F4
  wait_for 5 modem_heard && break
done
wait_for 120 log_changed || echo "the firmware command did not end within two minutes" >&2
sleep 0.5
import -window root "$demo/talmar.png"
echo "Screenshot after programming the sample firmware: $demo/talmar.png"
# The frequency editor (F5) on the first КП, and its "Прошить модем" into the same simulator.
xdotool windowfocus --sync "$win"
xdotool key F5
editor=""
for _ in $(seq 50); do
  editor=$(xdotool search --name "Настройки частотной системы" 2>/dev/null | head -n1) && [ -n "$editor" ] && break
  sleep 0.2
done
[ -n "$editor" ] || { echo "the frequency editor did not appear" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$editor")"
# "Прошить модем" stands left of "Выход" in the editor's bottom right corner. The command saves
# Log.txt when it ends.
before=$(log_state)
xdotool mousemove --window "$editor" $((WIDTH - 150)) $((HEIGHT - 21)) click 1
wait_for 120 log_changed || echo "the settings command did not end within two minutes" >&2
sleep 0.5
import -window root "$demo/talmar-editor.png"
echo "Screenshot after programming КП-1 from the frequency editor: $demo/talmar-editor.png"
xdotool key Escape || true
echo "Log of the session: $demo/Log.txt"
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true # the window holds the single-instance lock until it is gone

# The same jobs through the command-line front door: the sample firmware, then the settings of a
# sample КП of the frequency system, into the same simulated modem and the same Log.txt.
cli="$root/$build/tools/cli/talmar-cli"
echo
echo "talmar-cli: the sample firmware and the settings of КП-1 into the simulator"
status=0
"$cli" flash ltr20-demo.rom || status=$?
echo "talmar-cli flash ltr20-demo.rom: exit status $status"
status=0
"$cli" settings lf "КП-1 Подстанция Северная" || status=$?
echo "talmar-cli settings lf \"КП-1 Подстанция Северная\": exit status $status"
echo "Log with the window's and the tool's sessions: $demo/Log.txt"
