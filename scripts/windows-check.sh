#!/usr/bin/env bash
# Checks the Windows build as far as Debian can: mingw-w64 and Wine.
#   1. Compiles for Windows every Qt-free source of base/, link/, store/ (against SQLite's header:
#      SQLite has no mingw build in Debian), editors/core, remote/core and jobs/
#      (tests/windows/CMakeLists.txt).
#   2. Checks the syntax of every Qt-using source of base/, link/, app/, editors/, controls/,
#      dialogs/ and remote/ for
#      Windows against Debian's Qt headers (Linux ones: nothing is linked with them).
#   3. Makes an installer from packaging/windows/talmar.nsi with NSIS, the test programs standing in
#      for Talmar's (the installer itself is a 32-bit program, which a 64-bit Wine cannot run).
#   4. Runs the Windows tests under Wine (Log.txt, image files, cp1251, the frames, the
#      single-instance guard), and the Win32 serial program against talmar-modem-sim through a
#      Wine COM port mapped to the simulator's pseudo-terminal.
# Installs what it needs (g++-mingw-w64-x86-64, wine, wine64, nsis) when it is missing. Takes the
# simulator from the main build ($TALMAR_BUILD_DIR, build/), building it there if needed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${TALMAR_BUILD_DIR:-build}
wbuild=${TALMAR_WINDOWS_BUILD_DIR:-build-windows}
cross=x86_64-w64-mingw32-g++-posix

# --- what the check needs -------------------------------------------------------------------
missing=()
for p in g++-mingw-w64-x86-64 wine wine64 nsis googletest libsqlite3-dev; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "windows-check: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

passed=0
failed=0
note() { printf 'windows-check: %s\n' "$*"; }

# --- 1. the Qt-free sources and the test programs, for Windows ------------------------------
cmake -S tests/windows -B "$wbuild" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$wbuild" -j"$(nproc)"
note "compiled for Windows: base/ without QtHost.cpp, link/ without ComPort.cpp; store/, editors/core, remote/core, jobs/"

# --- 2. the Qt-using sources, syntax only ---------------------------------------------------
qt=/usr/include/x86_64-linux-gnu/qt6
qt_flags=(-isystem "$qt")
for m in QtCore QtGui QtWidgets QtSerialPort; do qt_flags+=(-isystem "$qt/$m"); done
syntax_ok=0
checked=()
# Every library's public headers, as the main build gives them.
includes=()
for dir in "$root"/*/include "$root"/*/core/include; do includes+=(-I"$dir"); done
for src in link/ComPort.cpp base/QtHost.cpp app/*.cpp editors/*.cpp controls/*.cpp dialogs/*.cpp remote/*.cpp; do
  if "$cross" -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror "${includes[@]}" -I"$wbuild/sqlite" -I"$wbuild/generated" \
    "${qt_flags[@]}" "$src"; then
    syntax_ok=$((syntax_ok + 1))
    checked+=("$src")
  else
    note "syntax check for Windows failed: $src"
    failed=$((failed + 1))
  fi
done
passed=$((passed + syntax_ok))
note "syntax-checked for Windows against Debian's Qt headers ($syntax_ok): ${checked[*]}"

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -d "$work/wine" ] && WINEPREFIX="$work/wine" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# --- 3. the installer script ----------------------------------------------------------------
mkdir -p "$work/stage"
cp "$wbuild/talmar_serial_tests.exe" "$work/stage/talmar.exe"
if makensis -V2 -INPUTCHARSET UTF8 -DSTAGE="$work/stage" -DOUTFILE="$work/talmar-setup.exe" \
  packaging/windows/talmar.nsi && [ -s "$work/talmar-setup.exe" ]; then
  passed=$((passed + 1))
  note "NSIS made an installer from packaging/windows/talmar.nsi (stand-in programs; not run)"
else
  failed=$((failed + 1))
  note "NSIS could not make an installer from packaging/windows/talmar.nsi"
fi

# --- 4. under Wine ---------------------------------------------------------------------------
if [ ! -x "$build/sim/talmar-modem-sim" ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target talmar-modem-sim >/dev/null
fi

export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" TALMAR_LOCK_DIR="$work/lock"
mkdir -p "$TALMAR_LOCK_DIR"
wineboot -i >/dev/null 2>&1
wineserver -w

# Adds a test program's counts to the totals; its own output goes to the log.
count() {
  local log=$1 p f
  p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
  f=$(sed -n 's/^ *\([0-9]*\) FAILED TEST.*/\1/p' "$log" | tail -1)
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
}

run_wine() {
  local name=$1
  shift
  if ! timeout 600 wine "$wbuild/$name.exe" "$@" >"$work/$name.log" 2>&1; then
    cat "$work/$name.log"
    grep -q 'FAILED TEST' "$work/$name.log" || failed=$((failed + 1))
  fi
  count "$work/$name.log"
  note "$name under Wine: $(grep -E '^\[(==========|  PASSED  |  FAILED  )\]' "$work/$name.log" | tail -2 | tr '\n' ' ')"
}

run_wine talmar_windows_tests

# The simulator on a pseudo-terminal, and COM5 of the prefix linked to it.
"$build/sim/talmar-modem-sim" --quiet --controller 5 --sys-mode 3 --sys-mode-addr 0x10 \
  --extra "7,2,4433 v2.1" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
  [ -s "$work/sim.out" ] && break
  sleep 0.1
done
device=$(head -n1 "$work/sim.out")
[ -c "$device" ] || { cat "$work/sim.err"; note "the simulator gave no device"; exit 1; }
ln -sfn "$device" "$WINEPREFIX/dosdevices/com5"
export TALMAR_WIN_COM=COM5
run_wine talmar_serial_tests

echo "windows-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
