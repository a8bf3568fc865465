# Sourced by the project's scripts, after they set `repo` to the
# repository's root: the one way they make and remove directories of their
# own. Every such directory lies below the build tree (the repository's
# build/ folder), and each one made here holds a stamp file; a directory is
# removed only when it lies there and holds the stamp. Anything else (an
# unset name, a path outside the build tree or reached through a link, a
# folder this file did not make, one with a file system mounted in it) is
# refused with a message naming it. Callers resolve each path once
# (scratch_resolve) and use only the resolved one afterwards, and check
# every path first and only then delete, so that a refusal leaves
# everything as it was.

scratch_stamp=.qel-scratch

# The build tree's physical path; refuses when there is none yet.
scratch_root() {
    [ -d "$repo/build" ] || { scratch_refuse "no build tree at $repo/build (build first: ./run build)"; return 1; }
    (cd -P -- "$repo/build" && pwd -P)
}

scratch_refuse() {
    echo "refused: $1; nothing was deleted" >&2
}

# scratch_resolve WHAT PATH: sets `resolved` to PATH made absolute with
# every link resolved, which must lie strictly below the build tree; PATH
# itself must be set and no link. A relative name or one that begins with
# "-" means nothing else afterwards.
scratch_resolve() {
    [ -n "$2" ] || { scratch_refuse "$1 is unset or empty"; return 1; }
    [ ! -L "$2" ] || { scratch_refuse "$1=$2 is a link"; return 1; }
    root=$(scratch_root) || return 1
    resolved=$(realpath -m -- "$2") || { scratch_refuse "$1=$2 cannot be resolved"; return 1; }
    case "$resolved" in
    "$root"/?*) return 0 ;;
    esac
    scratch_refuse "$1=$2 lies outside the build tree $root"
    return 1
}

# scratch_apart WHAT PATH WHAT2 PATH2 (resolved): neither holds the other,
# so that renewing one cannot delete the other.
scratch_apart() {
    case "$2/" in
    "$4"/*) scratch_refuse "$3=$4 holds $1=$2"; return 1 ;;
    esac
    case "$4/" in
    "$2"/*) scratch_refuse "$1=$2 holds $3=$4"; return 1 ;;
    esac
}

# scratch_unmounted WHAT PATH (resolved): no file system is mounted at PATH
# or below it; rm would empty it with the folder. Mount points are written
# in mountinfo with space, tab, newline and backslash escaped in octal.
scratch_unmounted() {
    escaped=$(printf '%s' "$2" | sed -z 's/\\/\\134/g; s/ /\\040/g; s/\t/\\011/g; s/\n/\\012/g')
    if escaped=$escaped awk '$5 == ENVIRON["escaped"] || index($5, ENVIRON["escaped"] "/") == 1 { found = 1 }
                             END { exit !found }' /proc/self/mountinfo; then
        scratch_refuse "$1=$2 has a file system mounted at or below it"
        return 1
    fi
}

# scratch_may_remove WHAT PATH (resolved): PATH is absent, or a directory
# with the stamp and no mount in it.
scratch_may_remove() {
    [ -e "$2" ] || return 0
    if [ -d "$2" ] && [ -f "$2/$scratch_stamp" ]; then
        scratch_unmounted "$1" "$2"
        return
    fi
    scratch_refuse "$1=$2 was not made by the project's scripts (no $scratch_stamp in it)"
    return 1
}

# scratch_may_make WHAT PATH (resolved): PATH is absent, or a directory
# that is empty or holds the stamp, with no mount in it.
scratch_may_make() {
    [ -e "$2" ] || return 0
    if [ -d "$2" ] && { [ -f "$2/$scratch_stamp" ] || [ -z "$(ls -A -- "$2")" ]; }; then
        scratch_unmounted "$1" "$2"
        return
    fi
    scratch_refuse "$1=$2 exists and was not made by the project's scripts (no $scratch_stamp in it)"
    return 1
}

# scratch_make PATH (resolved): makes PATH and every missing folder above
# it, each with the stamp; an empty folder already there gets the stamp,
# one with files in it does not.
scratch_make() {
    if [ ! -d "$1" ]; then
        [ "${1%/*}" = "$(scratch_root)" ] || scratch_make "${1%/*}"
        mkdir -- "$1"
    fi
    [ -f "$1/$scratch_stamp" ] || [ -n "$(ls -A -- "$1")" ] ||
        echo "made by the project's scripts, which may delete this folder" >"$1/$scratch_stamp"
}

# scratch_remove WHAT PATH (resolved; scratch_may_remove allowed it): the
# folder is removed by its name from within its parent, entered once and
# checked where it then lies, so that a link swapped into the path after
# the checks cannot lead the removal elsewhere.
scratch_remove() {
    (
        cd -P -- "${2%/*}" 2>/dev/null || exit 0
        here=$(pwd -P)
        root=$(scratch_root) || exit 1
        case "$here/" in
        "$root"/*) ;;
        *) scratch_refuse "$1=$2 now lies in $here, outside the build tree"; exit 1 ;;
        esac
        name=./${2##*/}
        [ -e "$name" ] || [ -L "$name" ] || exit 0
        [ ! -L "$name" ] && [ -d "$name" ] && [ -f "$name/$scratch_stamp" ] ||
            { scratch_refuse "$1=$here/${name#./} is no longer a folder the project's scripts made"; exit 1; }
        scratch_unmounted "$1" "$here/${name#./}" || exit 1
        rm -rf --one-file-system -- "$name"
    )
}

# scratch_renew WHAT PATH (resolved): PATH afresh, empty but for the stamp.
scratch_renew() {
    scratch_may_make "$1" "$2" || return 1
    [ ! -f "$2/$scratch_stamp" ] || scratch_remove "$1" "$2" || return 1
    scratch_make "$2"
}

# Wine reads the user's folders (user-dirs.dirs) and writes menus and
# caches where the XDG_* variables say; unset, they all lie below HOME.
scratch_no_xdg() {
    for name in $(env | sed -n 's/^\(XDG_[A-Za-z0-9_]*\)=.*/\1/p'); do
        unset "$name"
    done
}
