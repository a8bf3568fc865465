#!/bin/sh
# The prefix tool (wineprefix.sh) refuses every wrong argument before it
# deletes anything: sentinel HOME, TMPDIR and prefix folders outside the
# build tree, a link from the build tree to them and a folder in the build
# tree that the tool did not make all survive setup, copy and cleanup in
# every combination of wrong arguments. And the prefixes it makes reach
# nothing outside the build tree: a copy's drives, and the drives and the
# user's folders of a prefix set up under XDG settings that name folders
# elsewhere.
#
#   wineprefix_tests.sh DRIVE TEMPLATE WORKDIR
#       DRIVE: the folder Z: leads to; TEMPLATE: a prefix made by setup;
#       WORKDIR: a folder for this test below the build tree, made and
#       removed by the tool.
set -u
here=$(cd -P -- "$(dirname -- "$0")" && pwd -P)
tool=$here/wineprefix.sh
drive=$1
template=$2
wine=/usr/lib/wine/wine64
failures=0
rows=0

fail() {
    printf "FAILED: %s\n" "$1"
    failures=$((failures + 1))
}

# Sentinels outside the build tree, made (and at the end removed) by this
# test alone.
outside=$(mktemp -d /tmp/qel-sentinel.XXXXXX)
trap 'rm -rf -- "$outside"' EXIT
for dir in home tmp prefix; do
    mkdir "$outside/$dir"
    echo sentinel >"$outside/$dir/sentinel"
done

repo=$(cd -P -- "$here/.." && pwd -P)
. "$here/scratch.sh"
scratch_resolve WORKDIR "$3" && work=$resolved && scratch_renew WORKDIR "$work" || exit 1
mkdir -- "$work/foreign"
echo sentinel >"$work/foreign/sentinel"
ln -s -- "$outside" "$work/link"

sentinels_intact() {
    for file in "$outside"/home/sentinel "$outside"/tmp/sentinel "$outside"/prefix/sentinel "$work/foreign/sentinel"; do
        [ -f "$file" ] || return 1
    done
}

# refused ROW VAR=value... -- ARGS: the tool, with HOME and TMPDIR as the
# row sets them ("unset" for none), must exit non-zero, say what it refused
# (or how it is used), make nothing and leave every sentinel.
refused() {
    row=$1
    shift
    settings="-u HOME -u TMPDIR"
    while [ "$1" != -- ]; do
        case "$1" in
        *=unset) ;;
        *) settings="$settings $1" ;;
        esac
        shift
    done
    shift
    rows=$((rows + 1))
    # shellcheck disable=SC2086
    if out=$(env $settings "$tool" "$@" 2>&1); then
        fail "$row: accepted"
    elif ! printf '%s\n' "$out" | grep -q '^refused: \|^usage: '; then
        fail "$row: no refusal named: $out"
    fi
    sentinels_intact || fail "$row: a sentinel went"
    for made in prefix home tmp; do
        [ ! -e "$work/$made" ] || { fail "$row: $work/$made was made"; rm -rf -- "$work/$made"; }
    done
}

# Each name wrong in every way, and right; every combination but the one
# that is right throughout.
for home in unset "$outside/home" "$work/foreign" "$work/home"; do
    for tmp in unset "$outside/tmp" "$work/link/tmp" "$work/tmp"; do
        for prefix in "$outside/prefix" "$work/link/prefix" "$work/../../../.." "$work/foreign" "$work/prefix"; do
            for action in "setup $drive" "copy $work/missing" "copy $outside/prefix" "copy $template"; do
                case "$home $tmp $prefix $action" in
                "$work/home $work/tmp $work/prefix setup $drive" | "$work/home $work/tmp $work/prefix copy $template") continue ;;
                esac
                # shellcheck disable=SC2086
                refused "HOME=$home TMPDIR=$tmp $action $prefix" HOME="$home" TMPDIR="$tmp" -- $action "$prefix"
            done
        done
    done
done
# cleanup reads neither HOME nor TMPDIR: the sentinels stand there.
for dir in "" "$outside/home" "$work/link" "$work/foreign" "$outside"; do
    for prefix in "$outside/prefix" "$work/link/prefix" "$work/../../../.." "$work/foreign" "$work/prefix"; do
        [ "$prefix" = "$work/prefix" ] && [ -z "$dir" ] && continue
        # shellcheck disable=SC2086
        refused "cleanup $prefix $dir" HOME="$outside/home" TMPDIR="$outside/tmp" -- cleanup "$prefix" $dir
    done
done
for action in "" bogus "setup $drive" "copy $template" "copy $template $work/prefix extra"; do
    # shellcheck disable=SC2086
    refused "usage: $action" HOME="$work/home" TMPDIR="$work/tmp" -- $action
done

# walk ROW: every drive of the prefix WINEPREFIX, walked from the inside by
# Wine's own cmd: each letter that exists, and below it everything dir
# lists, links to folders (reparse points) followed as Wine follows them.
# Each name, found on the host through its drive's link in dosdevices,
# must not lead outside the build tree. dir prints names a line each, in
# the console's code page: a name the host does not find as printed (one
# with a newline, a backslash or a character beyond the code page in it)
# fails the row as well, so that none goes unchecked.
walk() {
    letters="A B C D E F G H I J K L M N O P Q R S T U V W X Y Z"
    printf '@echo off\r\nfor %%%%d in (%s) do if exist %%%%d:\\nul echo %%%%d:\\\r\n' "$letters" >"$WINEPREFIX/drive_c/walk.bat"
    printf 'for %%%%d in (%s) do dir /s /b /a %%%%d:\\ 2>nul\r\necho walked\r\n' "$letters" >>"$WINEPREFIX/drive_c/walk.bat"
    # A loop of links ends cmd on a stack overflow; a link onto a large tree
    # would take long: either way the walk does not end, and what it saw
    # so far is checked all the same.
    timeout 60 $wine cmd /c 'C:\walk.bat' </dev/null 2>/dev/null | tr -d '\r' >"$work/walk.txt"
    if [ "$(tail -n 1 "$work/walk.txt")" = walked ]; then
        sed '$d' "$work/walk.txt" >"$work/walk.names"
    else
        fail "$1: the walk of the drives did not end (a loop of links, or one onto a large tree?)"
        cp -- "$work/walk.txt" "$work/walk.names"
    fi
    devices="$WINEPREFIX/dosdevices/" awk '/^[A-Z]:\\/ { rest = substr($0, 4); gsub(/\\/, "/", rest)
                                                        print ENVIRON["devices"] tolower(substr($0, 1, 1)) ":/" rest
                                                        next }
                                           { print ENVIRON["devices"] "unreadable" }' "$work/walk.names" >"$work/walk.unix"
    xargs -r -d '\n' realpath -m -- <"$work/walk.unix" >"$work/walk.resolved"
    xargs -r -d '\n' sh -c 'for name; do if [ -e "$name" ] || [ -L "$name" ]; then echo y; else echo n; fi; done' sh \
        <"$work/walk.unix" >"$work/walk.found"
    outward=$(paste "$work/walk.names" "$work/walk.found" "$work/walk.resolved" |
        root=$(scratch_root) awk -F '\t' '$2 == "n" { print "  " $1 " (not found on the host as printed)"; next }
                                          index($3, ENVIRON["root"] "/") != 1 && $3 != ENVIRON["root"] {
                                              print "  " $1 " -> " $3 }')
    grep -qx 'C:\\' "$work/walk.names" || fail "$1: the walk did not see C:"
    [ -z "$outward" ] || fail "$1: names on the prefix's drives lead outside the build tree:
$(printf '%s\n' "$outward" | head -n 20)"
}

# Every drive of a copy of the template, as a test program gets it.
export HOME="$work/home" TMPDIR="$work/tmp" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rows=$((rows + 1))
if "$tool" copy "$template" "$WINEPREFIX" >/dev/null; then
    walk "a copy's drives"
else
    fail "copy of the template into $WINEPREFIX"
fi
"$tool" cleanup "$WINEPREFIX" >/dev/null || fail "cleanup of $WINEPREFIX"

# Wine links the user's folders to those that the XDG settings name, and its
# first boot writes menus where they say: setup under settings that name
# folders outside the build tree leads nothing there and writes nothing
# there.
mkdir -- "$outside/config" "$outside/data" "$outside/cache" "$outside/desktop" "$outside/documents"
printf 'XDG_DESKTOP_DIR="%s"\nXDG_DOCUMENTS_DIR="%s"\n' "$outside/desktop" "$outside/documents" \
    >"$outside/config/user-dirs.dirs"
# Every name, size and time of change below the sentinel folder.
listing() {
    find "$outside" -printf '%P %y %s %T@\n' | sort
}
listing >"$work/listing"
rows=$((rows + 1))
if out=$(XDG_CONFIG_HOME="$outside/config" XDG_DATA_HOME="$outside/data" XDG_CACHE_HOME="$outside/cache" \
    "$tool" setup "$drive" "$WINEPREFIX" 2>&1); then
    walk "setup under XDG settings outside the build tree"
else
    fail "setup under XDG settings outside the build tree: $out"
fi
listing | cmp -s -- "$work/listing" - || fail "setup under XDG settings wrote outside the build tree:
$(listing | diff -- "$work/listing" -)"
"$tool" cleanup "$WINEPREFIX" "$work" >/dev/null || fail "cleanup of $work"
[ ! -e "$work" ] || fail "$work is still there"

echo "$((rows - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
