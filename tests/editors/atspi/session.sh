#!/usr/bin/env bash
# Runs a program as a screen reader meets it: on a virtual X display of its own, with a private
# D-Bus session bus (from which the accessibility bus and its registry are started on demand) and
# Qt's bridge to that bus switched on. Nothing is shared with the desktop or with other tests.
set -euo pipefail
work=$(mktemp -d)
xvfb=""
bus=""
cleanup() {
  [ -n "$bus" ] && kill "$bus" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "session.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"

# The bus and everything it starts write nowhere the test runner waits on.
dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 \
  3>"$work/address" 4>"$work/pid" </dev/null >/dev/null 2>&1
for _ in $(seq 100); do [ -s "$work/pid" ] && break; sleep 0.1; done
bus=$(cat "$work/pid")
export DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$work/address")"

export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
unset AT_SPI_BUS_ADDRESS NO_AT_BRIDGE
"$@"
