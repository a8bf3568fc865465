# Sourced by demo/demo.sh and benchmarks/benchmark.sh (from the repository
# root): a throwaway Wine prefix. The prefix, the wineserver's socket
# directory (under TMPDIR) and the folders Wine links for "the user" (under
# HOME) all live in one new directory below the build tree (build/scratch),
# removed on every way out with the wineserver stopped first, so nothing is
# left on the machine and nothing outside the build tree is touched.
#
#   throwaway_prefix <name>   sets tmp and prefix; exports HOME, TMPDIR,
#                             WINEPREFIX and WINEDEBUG; the caller then runs
#                             tests/wineprefix.sh setup <drive> "$prefix"
repo=$(pwd -P)
. tests/scratch.sh

throwaway_prefix() {
    scratch_resolve SCRATCH "$repo/build/scratch" && scratch_may_make SCRATCH "$resolved" || exit 1
    scratch_make "$resolved"
    tmp=$(mktemp -d "$resolved/$1.XXXXXX")
    scratch_make "$tmp"
    prefix="$tmp/prefix"
    trap throwaway_cleanup EXIT
    trap 'exit 130' INT TERM
    scratch_no_xdg
    export HOME="$tmp/home" TMPDIR="$tmp/tmp" WINEPREFIX="$prefix" WINEDEBUG=-all
}

throwaway_cleanup() {
    "$repo/tests/wineprefix.sh" cleanup "$prefix" "$tmp" >/dev/null 2>&1 || true
}
