#!/usr/bin/env bash
# The Debian package as a user gets it: made by cpack from the build folder,
# unpacked into a scratch root (no root rights, nothing installed on the
# machine), its program run on the sample; its launcher, manual page and
# the package itself checked with Debian's own tools.
#   package_test.sh <build folder> <source folder> <quarn of the build>
# Exits 77, which ctest counts as skipped, when a tool it needs is missing.
set -euo pipefail
build=$1 source=$2 built=$3

for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-query readelf lintian desktop-file-validate man; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# ---- the package
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  exit 1
fi
debs=("$scratch"/package/*.deb)
deb=${debs[0]}
root=$scratch/root
dpkg-deb -x "$deb" "$root"
for file in usr/bin/quarn usr/share/applications/quarn.desktop usr/share/icons/hicolor/scalable/apps/quarn.svg \
            usr/share/man/man1/quarn.1.gz usr/share/doc/quarn/copyright usr/share/doc/quarn/changelog.gz; do
  [ -f "$root/$file" ] || fail "the package lacks /$file"
done

# Every library the program needs comes from a package it depends on; the
# programs it starts are named too.
depends=$(dpkg-deb -f "$deb" Depends)
dependsOn() { tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }' | grep -qxF -- "$1"; }
needed=$(readelf -d "$root/usr/bin/quarn" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for library in $needed; do
  path=$(ldd "$root/usr/bin/quarn" | awk -v l="$library" '$1 == l { print $3 }')
  owner=""
  for candidate in "$path" "$(readlink -f "$path")" "/usr$path"; do
    owner=$(dpkg-query -S "$candidate" 2>/dev/null | head -n1 | cut -d: -f1) && [ -n "$owner" ] && break
  done
  [ -n "$owner" ] || { fail "no package holds $library ($path)"; continue; }
  dependsOn "$owner" || fail "$library is in $owner, which Depends ($depends) does not name"
done
dependsOn lame || fail "Depends ($depends) does not name lame"
[ "$(dpkg-deb -f "$deb" Recommends)" = zenity ] || fail "Recommends is not zenity"

# ---- the installed program does what the one of the build does
convertSample() {  # <program> <folder>
  mkdir "$scratch/$2"
  cp "$source/examples/sample.bmp" "$scratch/$2/"
  local status=0
  "$1" 15 da da 0 0000 0 A "$scratch/$2/sample.bmp" </dev/null >"$scratch/$2.out" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "$1 ended with status $status: $(cat "$scratch/$2.out")"
}
convertSample "$root/usr/bin/quarn" installed
convertSample "$built" built
installed=("$scratch"/installed/quarn_converted*.bmp)
built=("$scratch"/built/quarn_converted*.bmp)
if [ ! -f "${installed[0]}" ]; then
  fail "the installed program wrote no result"
elif ! cmp -s "${installed[0]}" "${built[0]}"; then
  fail "the installed program's result differs from the built one's"
fi

# ---- the launcher: valid, names the icon it comes with, and dropping a
# file on it starts drag-and-drop mode (the file as the only argument) in
# a terminal
desktop=$root/usr/share/applications/quarn.desktop
said=$(desktop-file-validate "$desktop" 2>&1) || true
[ -z "$said" ] || fail "desktop-file-validate: $said"
grep -qx 'Exec=quarn %f' "$desktop" || fail "the launcher does not run 'quarn %f'"
grep -qx 'Terminal=true' "$desktop" || fail "the launcher does not open a terminal"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the launcher's icon '$icon' is not in the package"

# ---- the manual page renders without a warning, in UTF-8 and in ASCII,
# and explains every parameter
manual=$root/usr/share/man/man1/quarn.1.gz
for locale in C.UTF-8 C; do
  said=$(LC_ALL=$locale MANWIDTH=80 man --warnings -l "$manual" 2>&1 >"$scratch/manual.txt") || fail "man -l failed"
  [ -z "$said" ] || fail "man -l in $locale: $said"
done
for word in dulbochina 3D+ cv_opt eventualen_izhod kodek-id kachestvo prioritet put_kum_fail '?k' \
            quarn_converted 'EXIT STATUS' 255; do
  grep -qF -- "$word" "$scratch/manual.txt" || fail "the manual page does not mention $word"
done

# ---- lintian: no error and no warning
status=0
lintian --fail-on error,warning "$deb" >"$scratch/lintian.out" 2>&1 || status=$?
said=$(grep -v '^running with root privileges' "$scratch/lintian.out" || true)
[ -z "$said" ] || echo "$said"
[ "$status" -eq 0 ] || fail "lintian ended with status $status"

[ "$failures" -eq 0 ] || exit 1
echo "package $(basename "$deb") checked"
