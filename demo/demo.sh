#!/bin/sh
# Runs the demo (demo/demo.cpp, built with the tests) in a throwaway Wine
# prefix and leaves nothing behind: the prefix, the wineserver's socket
# directory and everything Wine writes for "the user" live in one mktemp
# directory, removed on every way out, with the wineserver stopped first.
# Usage: demo/demo.sh [build directory]; exits with the demo's status.
set -eu
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/windows-x86}" && pwd)
for file in "$build/demo/demo.exe" "$build/Uninstall.exe" "$build/tests/iconprobe.dll"; do
    [ -f "$file" ] || { echo "missing $file: build first (./run build)" >&2; exit 2; }
done

. tests/throwaway.sh
throwaway_prefix qel-demo

start=$(date +%s)
echo "Wine prefix: $prefix (thrown away at the end)"
tests/wineprefix.sh setup "$prefix"
echo "Prefix ready after $(($(date +%s) - start)) s"

status=0
WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
    QEL_EXE="$build/Uninstall.exe" QEL_ICONPROBE="$build/tests/iconprobe.dll" \
    /usr/lib/wine/wine64 "$build/demo/demo.exe" </dev/null || status=$?
echo "Wall time with the prefix: $(($(date +%s) - start)) s"
exit $status
