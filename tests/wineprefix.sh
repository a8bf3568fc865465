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
# reaches nothing outside the build tree: its one drive besides C: is Z:,
# onto DRIVE, the folder of the programs a run starts (build/<preset>/drive),
# and a link of the user's folders that leads elsewhere (Wine follows the
# caller's XDG_* settings) is refused after setup and copy.
# Usage: wineprefix.sh setup DRIVE PREFIX | wineprefix.sh copy TEMPLATE PREFIX |
#        wineprefix.sh cleanup PREFIX [DIR...]
set -eu
repo=$(cd -P -- "$(dirname -- "$0")/.." && pwd -P)
. "$repo/tests/scratch.sh"

usage() {
    echo "usage: $0 setup DRIVE PREFIX | $0 copy TEMPLATE PREFIX | $0 cleanup PREFIX [DIR...]" >&2
    exit 2
}
[ $# -ge 2 ] || usage
action=$1
shift
scratch_no_xdg
wine=/usr/lib/wine/wine64

# Every path is resolved once and checked before anything is deleted; only
# the resolved path is used afterwards.
check() {
    "$@" || exit 1
}
resolve() {
    check scratch_resolve "$1" "$2"
}

# The prefix, HOME and TMPDIR of setup and copy: each may be made afresh,
# and renewing HOME or TMPDIR must not delete the prefix (or the template
# it is copied from).
resolve_own() {
    resolve PREFIX "$1"
    prefix=$resolved
    check scratch_may_make PREFIX "$prefix"
    resolve HOME "${HOME:-}"
    home=$resolved
    check scratch_may_make HOME "$home"
    resolve TMPDIR "${TMPDIR:-}"
    tmpdir=$resolved
    check scratch_may_make TMPDIR "$tmpdir"
    check scratch_apart HOME "$home" PREFIX "$prefix"
    check scratch_apart TMPDIR "$tmpdir" PREFIX "$prefix"
    export WINEPREFIX="$prefix" HOME="$home" TMPDIR="$tmpdir" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# Drops every drive Wine made but C: (Z: onto the host's root, and any a
# mount brought) and lays Z: onto DRIVE. Run with no server alive.
own_drives() {
    for letter in "$prefix"/dosdevices/?: "$prefix"/dosdevices/?::; do
        [ -L "$letter" ] || continue
        [ "${letter##*/}" = c: ] || rm -f -- "$letter"
    done
    ln -s -- "$drive" "$prefix/dosdevices/z:"
}

# Refuses, naming each, the links below the user's folders that lead out of
# the build tree, and ends the prefix's server: Wine links Desktop,
# Documents and the like to the folders that the XDG settings name.
users_inside() {
    users=$prefix/drive_c/users
    outward=$(cd -P -- "$users" && find . -type l -exec sh -c '
        root=$1 users=$2
        shift 2
        for link; do
            target=$(realpath -m -- "$link")
            case "$target" in
            "$root"/?*) ;;
            *) printf " %s leads to %s;" "$users/${link#./}" "$target" ;;
            esac
        done' sh "$(scratch_root)" "$users" {} +)
    [ -z "$outward" ] && return 0
    wineserver -k 2>/dev/null || true
    scratch_refuse "links of the user's folders lead outside the build tree:${outward%;}"
    exit 1
}

case "$action" in
setup)
    [ $# -eq 2 ] || usage
    resolve DRIVE "$1"
    drive=$resolved
    [ -d "$drive" ] || { scratch_refuse "DRIVE=$drive is no folder"; exit 1; }
    resolve_own "$2"
    check scratch_apart DRIVE "$drive" PREFIX "$prefix"
    check scratch_apart DRIVE "$drive" HOME "$home"
    check scratch_apart DRIVE "$drive" TMPDIR "$tmpdir"
    if [ -d "$prefix" ]; then wineserver -k 2>/dev/null || true; fi
    scratch_renew PREFIX "$prefix"
    scratch_make "$home"
    scratch_make "$tmpdir"
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
    users_inside
    wineserver -p60 </dev/null >/dev/null 2>&1
    $wine reg query 'HKCU\Software\Wine\Drivers' /v Graphics </dev/null 2>/dev/null | grep -q null
    # A 32-bit program starts in it, where 32-bit code runs at all.
    "$repo/tests/emulation.sh" prefix
    ;;
copy)
    [ $# -eq 2 ] || usage
    resolve TEMPLATE "$1"
    template=$resolved
    [ -f "$template/$scratch_stamp" ] && [ -f "$template/system.reg" ] ||
        { scratch_refuse "TEMPLATE=$template is no prefix made by setup"; exit 1; }
    resolve_own "$2"
    check scratch_apart TEMPLATE "$template" PREFIX "$prefix"
    check scratch_apart HOME "$home" TEMPLATE "$template"
    check scratch_apart TMPDIR "$tmpdir" TEMPLATE "$template"
    if [ -d "$prefix" ]; then wineserver -k 2>/dev/null || true; fi
    scratch_remove PREFIX "$prefix"
    scratch_make "${prefix%/*}"
    scratch_renew HOME "$home"
    scratch_renew TMPDIR "$tmpdir"
    cp -al -- "$template" "$prefix"
    (
        cd -P -- "$prefix"
        find . -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' \
            -o -iname '*.ocx' -o -iname '*.acm' -o -iname '*.tlb' -o -iname '*.cpl' -o -iname '*.ttf' \
            -o -iname '*.fon' -o -iname '*.nls' -o -iname '*.ax' -o -iname '*.ds' -o -iname '*.mui' \) \
            -exec sh -c 'for file; do cp -p -- "$file" "$file.own" && mv -f -- "$file.own" "$file"; done' sh {} +
    )
    # Wine linked the user's folders into the template's HOME (Desktop to
    # HOME itself): the same folders below this HOME.
    for desktop in "$prefix"/drive_c/users/*/Desktop; do
        [ -L "$desktop" ] || continue
        old=$(readlink -- "$desktop")
        find "$prefix/drive_c/users" -type l -exec sh -c '
            old=$1 home=$2
            shift 2
            for link; do
                target=$(readlink -- "$link")
                case "$target" in
                "$old" | "$old"/*) ln -sfn -- "$home${target#"$old"}" "$link" ;;
                esac
            done' sh "$old" "$home" {} +
    done
    users_inside
    wineserver -p60 </dev/null >/dev/null 2>&1
    # The prefix's own services and desktop, started here with streams to
    # /dev/null: started by the test program, they would hold its output
    # open, and CTest would wait for them, until the server ends.
    $wine wineboot </dev/null >/dev/null 2>&1
    ;;
cleanup)
    resolve PREFIX "$1"
    prefix=$resolved
    check scratch_may_remove PREFIX "$prefix"
    shift
    for dir in "$@"; do
        resolve DIR "$dir"
        check scratch_may_remove DIR "$resolved"
        set -- "$@" "$resolved"
        shift
    done
    export WINEPREFIX="$prefix"
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
