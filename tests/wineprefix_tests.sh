#!/bin/sh
# The prefix tool (wineprefix.sh) refuses every wrong argument before it
# deletes anything: sentinel HOME, TMPDIR and prefix folders outside the
# build tree, a link from the build tree to them and a folder in the build
# tree that the tool did not make all survive setup, copy and cleanup in
# every combination of wrong arguments. And a program in a prefix the tool
# made reaches nothing outside the build tree through any of its drives.
#
#   wineprefix_tests.sh TEMPLATE WORKDIR
#       TEMPLATE: a prefix made by setup; WORKDIR: a folder for this test
#       below the build tree, made and removed by the tool.
set -u
here=$(cd -P -- "$(dirname -- "$0")" && pwd -P)
tool=$here/wineprefix.sh
template=$1
work=$2
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
scratch_resolve WORKDIR "$work" && work=$resolved && scratch_renew WORKDIR "$work" || exit 1
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
            for action in setup "copy $work/missing" "copy $outside/prefix" "copy $template"; do
                case "$home $tmp $prefix $action" in
                "$work/home $work/tmp $work/prefix setup" | "$work/home $work/tmp $work/prefix copy $template") continue ;;
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
for action in "" bogus setup "copy $template" "copy $template $work/prefix extra"; do
    # shellcheck disable=SC2086
    refused "usage: $action" HOME="$work/home" TMPDIR="$work/tmp" -- $action
done

# A program of a prefix the tool made tries to delete a sentinel outside the
# build tree, and a file inside it, through every drive letter, as a
# wrongly resolved path of a broken build would: the first must stay, the
# second (reached through the drive onto the build tree) go.
export HOME="$work/home" TMPDIR="$work/tmp" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if ! "$tool" copy "$template" "$WINEPREFIX" >/dev/null; then
    fail "copy of the template into $WINEPREFIX"
else
    rows=$((rows + 1))
    echo inside >"$work/inside"
    # Paths as the drives see them: from the root of the host, and from the
    # build tree's (the drive onto it).
    root=$(cd -P "$here/../build" && pwd)
    here_in_build=$(cd -P "$work" && pwd)
    here_in_build=$(printf '%s' "${here_in_build#"$root"}" | tr / '\\')
    outside_home=$(printf '%s' "$outside/home" | tr / '\\')
    drives=$(ls "$WINEPREFIX/dosdevices" | tr '\n' ' ')
    for command in "del /f /q %%d:$outside_home\\sentinel" "del /f /q %%d:$here_in_build\\inside" \
        "rd /s /q %%d:$outside_home"; do
        printf 'for %%%%d in (A B C D E F G H I J K L M N O P Q R S T U V W X Y Z) do %s\r\n' "$command"
    done >"$work/drives.bat"
    (cd "$work" && $wine cmd /c drives.bat </dev/null >/dev/null 2>&1)
    [ -f "$outside/home/sentinel" ] || fail "a drive of the prefix ($drives) reached $outside/home/sentinel"
    [ ! -f "$work/inside" ] || fail "the program did not run, or no drive reaches the build tree ($drives)"
fi
"$tool" cleanup "$WINEPREFIX" "$work" >/dev/null || fail "cleanup of $work"
[ ! -e "$work" ] || fail "$work is still there"

echo "$((rows - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
