#!/bin/sh
# Runs the demo (demo/demo.cpp, built with the tests) in a throwaway Wine
# prefix and leaves nothing behind: the prefix, the wineserver's socket
# directory and everything Wine writes for "the user" live in one mktemp
# directory, removed on every way out, with the wineserver stopped first.
# Usage: demo/demo.sh [build directory]; exits with the demo's status.
set -eu
cd "$(dirname -- "$0")/.."
build=$(cd -P -- "${1:-build/windows-x86}" && pwd -P)
# The programs lie in the build's drive folder, the prefix's Z:.
drive=$build/drive
for file in "$drive/demo.exe" "$drive/Uninstall.exe" "$drive/iconprobe.dll"; do
    [ -f "$file" ] || { echo "missing $file: build first (./run build)" >&2; exit 2; }
done

. tests/throwaway.sh
throwaway_prefix qel-demo

start=$(date +%s)
echo "Wine prefix: $prefix (thrown away at the end)"
tests/wineprefix.sh setup "$drive" "$prefix"
echo "Prefix ready after $(($(date +%s) - start)) s"

status=0
WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
    QEL_EXE="$drive/Uninstall.exe" QEL_ICONPROBE="$drive/iconprobe.dll" \
    env -C "$prefix/drive_c" /usr/lib/wine/wine64 "$drive/demo.exe" </dev/null || status=$?
echo "Wall time with the prefix: $(($(date +%s) - start)) s"
exit $status
