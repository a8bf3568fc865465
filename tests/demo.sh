#!/bin/sh
# Runs the demo (tests/demo.cpp, built with the tests) in a throwaway Wine
# prefix and leaves nothing behind: the prefix, the wineserver's socket
# directory and everything Wine writes for "the user" live in one mktemp
# directory, removed on every way out, with the wineserver stopped first.
# Usage: tests/demo.sh [build directory]; exits with the demo's status.
set -eu
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/windows-x64}" && pwd)
for file in "$build/tests/demo.exe" "$build/Uninstall.exe" "$build/tests/iconprobe.dll"; do
    [ -f "$file" ] || { echo "missing $file: build first (./run build)" >&2; exit 2; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/qel-demo.XXXXXX")
prefix="$tmp/prefix"
cleanup() {
    tests/wineprefix.sh cleanup "$prefix" >/dev/null 2>&1 || true
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Wine keeps its server directory under TMPDIR, and links the prefix's
# Documents and Desktop to folders of HOME: both point into tmp, so the
# demo's user file never lands in the real home. No desktop menu entries.
mkdir "$tmp/home"
for name in XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_DATA_DIRS XDG_CONFIG_DIRS; do
    unset "$name"
done
export HOME="$tmp/home" TMPDIR="$tmp" WINEPREFIX="$prefix" WINEDEBUG=-all

start=$(date +%s)
echo "Wine prefix: $prefix (thrown away at the end)"
tests/wineprefix.sh setup "$prefix"
echo "Prefix ready after $(($(date +%s) - start)) s"

status=0
WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
    QEL_EXE="$build/Uninstall.exe" QEL_ICONPROBE="$build/tests/iconprobe.dll" \
    /usr/lib/wine/wine64 "$build/tests/demo.exe" </dev/null || status=$?
echo "Wall time with the prefix: $(($(date +%s) - start)) s"
exit $status
