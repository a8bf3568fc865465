#!/bin/sh
# Creates (setup) or removes (cleanup) the throwaway Wine prefix that a test
# run uses: no display driver, no Mono or Gecko, no desktop menu entries, a
# wineserver kept alive. TMPDIR and HOME, when the caller sets them, must be
# the same for every Wine program of the run; cleanup removes the extra
# directories it is given (the caller's TMPDIR and HOME) after the prefix.
# Usage: wineprefix.sh setup PREFIX | wineprefix.sh cleanup PREFIX [DIR...]
set -eu
action=$1
prefix=$2
shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

case "$action" in
setup)
    if [ -d "$prefix" ]; then wineserver -k 2>/dev/null || true; fi
    rm -rf "$prefix"
    mkdir -p "$prefix" "${TMPDIR:-/tmp}" "$HOME"
    # Let the first boot run to its end (wineboot leaves the setup of
    # wine.inf running behind it), then keep one server alive for the run.
    # Its streams go to /dev/null so that it holds none of the caller's pipes.
    $wine wineboot -i </dev/null >/dev/null 2>&1
    $wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    $wine reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d '' /f </dev/null >/dev/null 2>&1
    # A program that crashes ends there and then: no debugger keeps it and
    # its windows, on which every broadcast (a DDE connect) would wait. Wine's
    # own 32-bit explorer crashes under the null driver in wow64 mode.
    for view in 64 32; do
        $wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f \
            /reg:$view </dev/null >/dev/null 2>&1
    done
    wineserver -w
    wineserver -p60 </dev/null >/dev/null 2>&1
    $wine reg query 'HKCU\Software\Wine\Drivers' /v Graphics </dev/null 2>/dev/null | grep -q null
    ;;
cleanup)
    wineserver -k 2>/dev/null || true
    rm -rf "$prefix" "$@"
    ;;
*)
    echo "usage: $0 setup PREFIX | $0 cleanup PREFIX [DIR...]" >&2
    exit 2
    ;;
esac
