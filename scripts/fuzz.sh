#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang (in build-fuzz: the libraries link,
# store and sim with AddressSanitizer and UBSan) and runs each for SECONDS (default 60), two at a
# time. Inputs that reach new code are kept in build-fuzz/corpus/<harness>; the seeds in
# tests/fuzz/corpus/<harness> are only read. An input that crashes a harness, leaks, hangs or
# breaks one of its checks is saved in build-fuzz/findings/ (the findings of the run before are
# moved to build-fuzz/findings.previous/). Prints one line per harness; exits non-zero when
# anything was found.
#
#   scripts/fuzz.sh [SECONDS]        TALMAR_FUZZ_CXX=clang++-15 scripts/fuzz.sh 600
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${TALMAR_FUZZ_BUILD_DIR:-$root/build-fuzz}
cxx=${TALMAR_FUZZ_CXX:-clang++-14}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALMAR_FUZZ=ON \
  -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build" --target fuzzers -j"$(nproc)" >/dev/null

findings=$build/findings
rm -rf "$build/findings.previous" "$build/logs"
[ -d "$findings" ] && mv "$findings" "$build/findings.previous"
mkdir -p "$findings" "$build/logs"
# The harnesses' scratch files (tables, logs, temp.eep) live here, in memory where possible, and
# go away even when a harness dies.
scratch=$(mktemp -d "$( [ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/talmar-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TALMAR_FUZZ_SCRATCH=$scratch
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

harnesses=()
for source in "$root"/tests/fuzz/*Fuzz.cpp; do
  stem=$(basename "$source" Fuzz.cpp)
  harnesses+=("${stem,,}")
done

run_one() {
  local name=$1
  mkdir -p "$build/corpus/$name"
  local status=0
  "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 -timeout=30 \
    -artifact_prefix="$findings/$name-" "$build/corpus/$name" "$root/tests/fuzz/corpus/$name" \
    >"$build/logs/$name.log" 2>&1 || status=$?
  # A harness that failed without saving an input (it could not start, say) is a finding too.
  if [ "$status" != 0 ] && ! compgen -G "$findings/$name-*" >/dev/null; then
    echo "exit status $status, no input saved: see $build/logs/$name.log" >"$findings/$name-failed"
  fi
  return 0
}

for name in "${harnesses[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n; done
  run_one "$name" &
done
wait

final_stat() { sed -n "s/^stat::$2: *//p" "$1" | tail -1; }
found=0
for name in "${harnesses[@]}"; do
  log=$build/logs/$name.log
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  count=$(find "$findings" -maxdepth 1 -name "$name-*" | wc -l)
  found=$((found + count))
  printf 'fuzz %-11s %10s execs %7s/s  cov %5s  ft %6s  new units %5s  findings %s\n' "$name" \
    "$(final_stat "$log" number_of_executed_units)" "$(final_stat "$log" average_exec_per_sec)" "${cov:-?}" "${ft:-?}" \
    "$(final_stat "$log" new_units_added)" "$count"
  if [ "$count" != 0 ]; then
    grep -m1 -E 'fuzz check failed|runtime error|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)' "$log" \
      | sed 's/^/    /' || true
    find "$findings" -maxdepth 1 -name "$name-*" | sed 's/^/    input: /'
  fi
done
if [ "$found" != 0 ]; then
  echo "fuzz: $found finding(s) in $findings; logs in $build/logs" >&2
  exit 1
fi
