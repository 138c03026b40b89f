#!/usr/bin/env bash
# Makes the Debian package from a build tree and checks it: its control data and file list, the
# programs run from an unpacked root against the system's libraries, the menu entry, the manual
# pages, and lintian.
# Usage: check-package.sh BUILD_DIR CPACK VERSION
set -euo pipefail
build=$1 cpack=$2 version=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export TALMAR_LOCK_DIR=$tmp LC_ALL=C.UTF-8
unset LD_LIBRARY_PATH
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

out=$("$cpack" --config "$build/CPackConfig.cmake" -B "$tmp/out" -G DEB 2>&1) || { echo "$out" >&2; exit 1; }
deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$out")
[ -f "$deb" ] || { echo "$out" >&2; echo "FAIL: no package" >&2; exit 1; }
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "talmar_${version}_${arch}.deb" ] || fail "package file name $(basename "$deb")"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Control data: name, version, a Russian description, and dependencies found from the libraries
# the programs link, plus what Qt loads at run time.
info=$(dpkg-deb --info "$deb")
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = talmar ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Section)" ] && [ -n "$(field Maintainer)" ] || fail "no Section or Maintainer"
grep -q '^ Description: .*модем' <<<"$info" || fail "no Russian description"
depends=$(field Depends)
for dep in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libsqlite3-0 qt6-qpa-plugins \
  qt6-translations-l10n; do
  grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

# The file list: the four programs and nothing else in /usr/bin, the menu entry, the icon in every
# size of the theme, the compressed manual pages, the copyright and changelog.
contents=$(dpkg-deb --contents "$deb")
files=$(awk '{print $6}' <<<"$contents" | sed 's|^\./|/|')
programs=(talmar talmar-cli talmar-tables talmar-modem-sim)
expected=(/usr/share/applications/talmar.desktop /usr/share/icons/hicolor/scalable/apps/talmar.svg
  /usr/share/doc/talmar/copyright /usr/share/doc/talmar/changelog.gz)
for p in "${programs[@]}"; do expected+=("/usr/bin/$p" "/usr/share/man/man1/$p.1.gz"); done
sizes=(16 22 24 32 48 64 128 256)
for s in "${sizes[@]}"; do expected+=("/usr/share/icons/hicolor/${s}x${s}/apps/talmar.png"); done
for f in "${expected[@]}"; do grep -qx "$f" <<<"$files" || fail "not in the package: $f"; done
in_bin=$(grep -c '^/usr/bin/.' <<<"$files" || true)
[ "$in_bin" = ${#programs[@]} ] || fail "/usr/bin holds $in_bin files: $(grep '^/usr/bin/.' <<<"$files" | xargs)"
grep -v ' root/root ' <<<"$contents" && fail "files not owned by root"

root=$tmp/root
dpkg-deb -x "$deb" "$root"

# The programs from the unpacked root run on the system's libraries: no search path into the
# build tree, every library found.
for p in "${programs[@]}"; do
  exe=$root/usr/bin/$p
  [ -x "$exe" ] || continue # reported above
  readelf -d "$exe" | grep -Eq 'R(UN)?PATH' && fail "$p carries a library search path"
  libs=$(ldd "$exe" 2>&1 || true)
  grep -q 'not found' <<<"$libs" && fail "$p: $(grep 'not found' <<<"$libs")"
  grep -qF "$build" <<<"$libs" && fail "$p links from the build tree"
done
help=$("$root/usr/bin/talmar-cli" --help 2>&1) || fail "talmar-cli --help: status $?"
grep -q '^talmar-cli - ' <<<"$help" || fail "talmar-cli --help: $help"
mkdir "$tmp/work"
(cd "$tmp/work" && "$root/usr/bin/talmar-tables" create >/dev/null) || fail "talmar-tables create: status $?"
for t in Data_ORTEN.DB Data_LF.DB Data_LT.DB ParamType.db Pref.db; do
  [ "$(head -c 15 "$tmp/work/$t" 2>/dev/null)" = "SQLite format 3" ] || fail "talmar-tables create made no $t"
done
"$root/usr/bin/talmar-modem-sim" --help >/dev/null || fail "talmar-modem-sim --help: status $?"

# The menu entry is valid and names a program and an icon of the package.
desktop=$root/usr/share/applications/talmar.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
exec_word=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$root/usr/bin/$exec_word" ] || fail "Exec names $exec_word, not a program of the package"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for s in "${sizes[@]}"; do
  png=$root/usr/share/icons/hicolor/${s}x${s}/apps/$icon.png
  dims=$(file -b "$png" 2>/dev/null | sed -n 's/^PNG image data, \([0-9]*\) x \([0-9]*\),.*/\1x\2/p')
  [ "$dims" = "${s}x${s}" ] || fail "icon ${s}x${s}: $(file -b "$png" 2>&1)"
done

# Manual pages: made with gzip -9n (no name, no time), render without a warning, and give man-db
# their name line.
for p in "${programs[@]}"; do
  page=$root/usr/share/man/man1/$p.1.gz
  [ -f "$page" ] || continue # reported above
  [ "$(od -An -tx1 -j3 -N6 "$page" | tr -d ' ')" = 000000000002 ] || fail "$p.1.gz not made by gzip -9n"
  warnings=$(man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "$p.1: $warnings"
  lexgrog "$page" | grep -q "\"$p - " || fail "$p.1: man-db finds no name line: $(lexgrog "$page" 2>&1)"
  th=$(zcat "$page" | grep -m1 '^\.TH ')
  grep -qF "\"Тальмар $version\"" <<<"$th" || fail "$p.1 is not of version $version: $th"
done
grep -Fq "«Тальмар v$version»" <(zcat "$root/usr/share/man/man1/talmar.1.gz") || fail "talmar.1 names another caption"
# The changelog's newest entry is the package's version.
top=$(zcat "$root/usr/share/doc/talmar/changelog.gz" | head -n1)
[[ "$top" == "talmar ($version) "* ]] || fail "the changelog's newest entry is not $version: $top"

# lintian: no error; the warnings are listed.
report=$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1) || { echo "$report"; fail "lintian reports errors"; }
echo "lintian: $(grep -c '^[EW]:' <<<"$report" || true) errors and warnings"
[ -z "$report" ] || echo "$report"

[ "$failed" = 0 ] && echo "package checks passed"
exit "$failed"
