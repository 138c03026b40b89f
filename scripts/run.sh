#!/usr/bin/env bash
# Builds Talmar and starts it on its embedded defaults: a demo working folder with sample tables
# and a firmware file, and the modem simulator standing in for a modem on COM2.
# With no display it runs the program under a virtual display and saves a screenshot instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
build=${TALMAR_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

demo=${TALMAR_DEMO_DIR:-$root/demo-run}
mkdir -p "$demo"
cd "$demo"
if [ -x "$root/$build/tools/tables/talmar-tables" ] && [ ! -e Pref.db ]; then
  "$root/$build/tools/tables/talmar-tables" sample
fi
cp -n "$root"/demo/*.rom . 2>/dev/null || true

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [ -x "$root/$build/sim/talmar-modem-sim" ]; then
  # A modem to program (controller 1) and two more КП on the line.
  "$root/$build/sim/talmar-modem-sim" --link "$demo/modem" --quiet \
      --ident "ЛТР-20 демо" --controller 1 --modem 2:3 --modem 3:1 > "$demo/sim.out" 2>"$demo/sim.log" &
  sim_pid=$!
  for _ in $(seq 50); do [ -e "$demo/modem" ] && break; sleep 0.1; done
  export TALMAR_COM2="$demo/modem"
  echo "Modem simulator on $(head -n1 "$demo/sim.out") (COM2 -> $TALMAR_COM2)"
fi

if [ -n "${DISPLAY:-}" ]; then
  "$root/$build/app/talmar"
else
  echo "No display: running Talmar under a virtual display; the screenshot goes to $demo/talmar.png"
  TALMAR_EXE="$root/$build/app/talmar" bash "$root/scripts/screenshot.sh" "$demo/talmar.png" "$demo" 4
fi
