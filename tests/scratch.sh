# Sourced by the project's scripts, after they set `repo` to the
# repository's root: the one way they make and remove directories of their
# own. Every such directory lies below the build tree (the repository's
# build/ folder), and each one made here holds a stamp file; a directory is
# removed only when it lies there and holds the stamp. Anything else (an
# unset name, a path outside the build tree or reached through a link, a
# folder this file did not make) is refused with a message naming it.
# Callers check every path first and only then delete, so that a refusal
# leaves everything as it was.

scratch_stamp=.qel-scratch

# The build tree's physical path; refuses when there is none yet.
scratch_root() {
    [ -d "$repo/build" ] || { scratch_refuse "no build tree at $repo/build (build first: ./run build)"; return 1; }
    (cd -P -- "$repo/build" && pwd)
}

scratch_refuse() {
    echo "refused: $1; nothing was deleted" >&2
}

# scratch_inside WHAT PATH: PATH (set, not a link itself) lies strictly
# below the build tree, its links resolved.
scratch_inside() {
    [ -n "$2" ] || { scratch_refuse "$1 is unset or empty"; return 1; }
    [ ! -L "$2" ] || { scratch_refuse "$1=$2 is a link"; return 1; }
    root=$(scratch_root) || return 1
    physical=$(realpath -m -- "$2") || { scratch_refuse "$1=$2 cannot be resolved"; return 1; }
    case "$physical" in
    "$root"/?*) return 0 ;;
    esac
    scratch_refuse "$1=$2 lies outside the build tree $root"
    return 1
}

# scratch_may_remove WHAT PATH: PATH is below the build tree and absent, or
# a directory with the stamp.
scratch_may_remove() {
    scratch_inside "$1" "$2" || return 1
    [ -e "$2" ] || return 0
    [ -d "$2" ] && [ -f "$2/$scratch_stamp" ] && return 0
    scratch_refuse "$1=$2 was not made by the project's scripts (no $scratch_stamp in it)"
    return 1
}

# scratch_may_make WHAT PATH: PATH is below the build tree and absent, an
# empty directory, or a directory with the stamp.
scratch_may_make() {
    scratch_inside "$1" "$2" || return 1
    [ -e "$2" ] || return 0
    if [ -d "$2" ] && { [ -f "$2/$scratch_stamp" ] || [ -z "$(ls -A -- "$2")" ]; }; then
        return 0
    fi
    scratch_refuse "$1=$2 exists and was not made by the project's scripts (no $scratch_stamp in it)"
    return 1
}

# scratch_make PATH: makes PATH and every missing folder above it, each
# with the stamp; an empty folder already there gets the stamp, one with
# files in it does not. Call scratch_may_make first.
scratch_make() {
    if [ ! -d "$1" ]; then
        parent=$(dirname -- "$1")
        [ "$(realpath -m -- "$parent")" = "$(scratch_root)" ] || scratch_make "$parent"
        mkdir -- "$1"
    fi
    [ -f "$1/$scratch_stamp" ] || [ -n "$(ls -A -- "$1")" ] ||
        echo "made by the project's scripts, which may delete this folder" >"$1/$scratch_stamp"
}

# scratch_remove WHAT PATH: removes PATH when scratch_may_remove allows it.
scratch_remove() {
    scratch_may_remove "$1" "$2" || return 1
    rm -rf -- "$2"
}

# scratch_renew WHAT PATH: PATH afresh, empty but for the stamp.
scratch_renew() {
    scratch_may_make "$1" "$2" || return 1
    [ ! -f "$2/$scratch_stamp" ] || rm -rf -- "$2"
    scratch_make "$2"
}
