#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
# TALMAR_SANITIZE=1 builds and runs everything under AddressSanitizer and UBSan (in build-asan).
if [ "${TALMAR_SANITIZE:-0}" = 1 ]; then
  build=${TALMAR_BUILD_DIR:-build-asan}
  extra=(-DTALMAR_SANITIZE=ON -DTALMAR_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  build=${TALMAR_BUILD_DIR:-build}
  extra=()
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALMAR_WERROR=ON "${extra[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
# Where clang is installed, each fuzz harness runs for a short while (scripts/fuzz.sh) before the
# suite, whose summary stays the last thing printed. TALMAR_FUZZ_SECONDS=0 leaves it out.
fuzz_seconds=${TALMAR_FUZZ_SECONDS:-30}
if [ "${TALMAR_SANITIZE:-0}" != 1 ] && [ "$fuzz_seconds" != 0 ] && command -v "${TALMAR_FUZZ_CXX:-clang++-14}" >/dev/null; then
  bash scripts/fuzz.sh "$fuzz_seconds"
fi
cd "$build"
QT_QPA_PLATFORM=offscreen ctest -j4 --output-on-failure "$@"
