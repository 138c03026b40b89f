#!/usr/bin/env bash
# Draws every tab of the three settings editors, over the sample tables, into docs/ as PNG files
# (offscreen, no display needed). Usage: scripts/editor-shots.sh [OUTDIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs}")
build=${TALMAR_BUILD_DIR:-build}
cd "$root"
[ -d "$build" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target talmar-shots talmar-tables >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
cd "$work"
"$root/$build/tools/tables/talmar-tables" sample >/dev/null
QT_QPA_PLATFORM=offscreen "$root/$build/tools/shots/talmar-shots" "$out" 2>/dev/null
