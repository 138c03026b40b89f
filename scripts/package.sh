#!/usr/bin/env bash
# Builds the Debian package of Talmar in build-package/: the four programs (no tests, no
# benchmarks) with Debian's hardening flags, the menu entry with its icon and the manual pages.
# Prints the path of the .deb; install it with: sudo apt install ./build-package/talmar_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
build=${TALMAR_PACKAGE_BUILD_DIR:-build-package}
# Debian's hardening flags, all of them (stack protector, fortified functions, RELRO, BIND_NOW).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALMAR_TESTS=OFF -DTALMAR_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$(nproc)" >&2
cd "$build"
out=$(cpack -G DEB)
deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$out")
[ -f "$deb" ] || { echo "$out" >&2; echo "package.sh: cpack made no package" >&2; exit 1; }
echo "$deb"
