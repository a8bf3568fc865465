#!/bin/sh
# One line per build for the end of ./run test: how its Windows test
# programs ran (natively, or emulated where the kernel runs no 32-bit code),
# and how many of them and of the host checks ran, passed, failed and were
# skipped, read from CTest's output. The Wine prefixes' set-up and clean-up
# steps are left out of the counts.
# Usage: tests/summary.sh PRESET CTEST-OUTPUT
preset=$1
how=$(cat "build/$preset/programs-run" 2>/dev/null || echo unknown)
case "$how" in
native) how="natively" ;;
emulated) how="emulated (QEMU user mode, $(/usr/local/lib/qel-i386/qemu-i386 --version | head -n 1 | sed 's/ version / /'))" ;;
none) how="not at all (no 32-bit code runs here)" ;;
esac
awk -v preset="$preset" -v how="$how" '
    / Test +#[0-9]+: / {
        name = $0; sub(/.*Test +#[0-9]+: /, "", name); sub(/ .*/, "", name)
        if (name ~ /^wineprefix\.(setup|cleanup)$|\.prefix$|\.cleanup$/) next
        kind = name ~ /^(i386_|reproducible|emulation_|wineprefix\.)/ ? "host" : "program"
        ran[kind]++
        if ($0 ~ /\*\*\*Skipped/) { skipped[kind]++; ran[kind]-- }
        else if ($0 ~ / Passed /) passed[kind]++
        else failed[kind]++
    }
    END {
        printf "%s: test programs run %s: %d ran, %d passed, %d failed, %d skipped; host checks: %d ran, %d passed\n",
            preset, how, ran["program"], passed["program"], failed["program"], skipped["program"],
            ran["host"], passed["host"]
    }' "$2"
