#!/bin/sh
# Creates (setup) or removes (cleanup) the throwaway Wine prefix that a test
# run uses: no display driver, no Mono or Gecko, no desktop menu entries, a
# wineserver kept alive. TMPDIR and HOME must be set and the same for every
# Wine program of the prefix; cleanup removes the extra directories it is
# given (the caller's TMPDIR and HOME) after the prefix.
# copy makes a prefix of its own for one test program from one made by
# setup (the template) in a fraction of a second, where a boot takes some
# fifteen: the template's files are shared as hard links, but those Wine
# may write in place (the registry, .ini files and the like) are copied,
# and the links to the home folders lead into this prefix's HOME.
#
# It deletes and makes only folders below the build tree, and deletes only
# those the project's scripts made (tests/scratch.sh): the prefix, HOME and
# TMPDIR among them. The program under test is an uninstaller, so a prefix
# has no drive onto the host's root: its one drive besides C: is Z:, onto
# the build tree, which holds every program a run starts.
# Usage: wineprefix.sh setup PREFIX | wineprefix.sh copy TEMPLATE PREFIX |
#        wineprefix.sh cleanup PREFIX [DIR...]
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
. "$repo/tests/scratch.sh"

usage() {
    echo "usage: $0 setup PREFIX | $0 copy TEMPLATE PREFIX | $0 cleanup PREFIX [DIR...]" >&2
    exit 2
}
[ $# -ge 2 ] || usage
action=$1
prefix=$2
shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

# Every path is checked before anything is deleted.
check() {
    "$@" || exit 1
}

# Drops every drive Wine made but C: (Z: onto the host's root, and any a
# mount brought) and lays Z: onto the build tree. Run with no server alive.
own_drives() {
    for drive in "$prefix"/dosdevices/?: "$prefix"/dosdevices/?::; do
        [ -L "$drive" ] || continue
        [ "${drive##*/}" = c: ] || rm -f -- "$drive"
    done
    ln -s "$(scratch_root)" "$prefix/dosdevices/z:"
}

case "$action" in
setup)
    [ $# -eq 0 ] || usage
    check scratch_may_make PREFIX "$prefix"
    check scratch_may_make HOME "${HOME:-}"
    check scratch_may_make TMPDIR "${TMPDIR:-}"
    if [ -d "$prefix" ]; then wineserver -k 2>/dev/null || true; fi
    scratch_renew PREFIX "$prefix"
    scratch_make "$HOME"
    scratch_make "$TMPDIR"
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
    own_drives
    wineserver -p60 </dev/null >/dev/null 2>&1
    $wine reg query 'HKCU\Software\Wine\Drivers' /v Graphics </dev/null 2>/dev/null | grep -q null
    # A 32-bit program starts in it, where 32-bit code runs at all.
    "$(dirname "$0")/emulation.sh" prefix
    ;;
copy)
    [ $# -eq 1 ] || usage
    template=$prefix
    prefix=$1
    export WINEPREFIX="$prefix"
    check scratch_inside TEMPLATE "$template"
    [ -f "$template/$scratch_stamp" ] && [ -f "$template/system.reg" ] ||
        { scratch_refuse "TEMPLATE=$template is no prefix made by setup"; exit 1; }
    check scratch_may_make PREFIX "$prefix"
    check scratch_may_make HOME "${HOME:-}"
    check scratch_may_make TMPDIR "${TMPDIR:-}"
    if [ -d "$prefix" ]; then wineserver -k 2>/dev/null || true; fi
    scratch_remove PREFIX "$prefix"
    scratch_make "$(dirname "$prefix")"
    scratch_renew HOME "$HOME"
    scratch_renew TMPDIR "$TMPDIR"
    cp -al "$template" "$prefix"
    find "$prefix" -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' \
        -o -iname '*.ocx' -o -iname '*.acm' -o -iname '*.tlb' -o -iname '*.cpl' -o -iname '*.ttf' \
        -o -iname '*.fon' -o -iname '*.nls' -o -iname '*.ax' -o -iname '*.ds' -o -iname '*.mui' \) |
        while IFS= read -r file; do
            cp -p "$file" "$file.own" && mv -f "$file.own" "$file"
        done
    # Wine linked the user's folders into the template's HOME (Desktop to
    # HOME itself): the same folders below this HOME.
    for desktop in "$prefix"/drive_c/users/*/Desktop; do
        [ -L "$desktop" ] || continue
        old=$(readlink "$desktop")
        find "$prefix/drive_c/users" -type l | while IFS= read -r link; do
            target=$(readlink "$link")
            case "$target" in
            "$old" | "$old"/*) ln -sfn "$HOME${target#"$old"}" "$link" ;;
            esac
        done
    done
    wineserver -p60 </dev/null >/dev/null 2>&1
    # The prefix's own services and desktop, started here with streams to
    # /dev/null: started by the test program, they would hold its output
    # open, and CTest would wait for them, until the server ends.
    $wine wineboot </dev/null >/dev/null 2>&1
    ;;
cleanup)
    check scratch_may_remove PREFIX "$prefix"
    for dir in "$@"; do
        check scratch_may_remove DIR "$dir"
    done
    if [ -d "$prefix" ]; then wineserver -k 2>/dev/null || true; fi
    scratch_remove PREFIX "$prefix"
    for dir in "$@"; do
        scratch_remove DIR "$dir"
    done
    ;;
*)
    usage
    ;;
esac
