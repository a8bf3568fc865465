# Sourced by demo/demo.sh and benchmarks/benchmark.sh (from the repository
# root): a throwaway Wine prefix. The prefix, the wineserver's socket
# directory (under TMPDIR) and the folders Wine links for "the user" (under
# HOME) all live in one mktemp directory, removed on every way out with the
# wineserver stopped first, so nothing is left on the machine.
#
#   throwaway_prefix <name>   sets tmp and prefix; exports HOME, TMPDIR,
#                             WINEPREFIX and WINEDEBUG; the caller then
#                             runs tests/wineprefix.sh setup "$prefix"
throwaway_prefix() {
    tmp=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
    prefix="$tmp/prefix"
    trap throwaway_cleanup EXIT
    trap 'exit 130' INT TERM
    mkdir "$tmp/home"
    for name in XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_DATA_DIRS XDG_CONFIG_DIRS; do
        unset "$name"
    done
    export HOME="$tmp/home" TMPDIR="$tmp" WINEPREFIX="$prefix" WINEDEBUG=-all
}

throwaway_cleanup() {
    tests/wineprefix.sh cleanup "$prefix" >/dev/null 2>&1 || true
    rm -rf "$tmp"
}
