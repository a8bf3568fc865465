#!/bin/sh
# Runs one test program (the rest of the command line) and names in its
# output a crash of the emulator or of Wine itself, which the program's own
# checks would take for a product failure, or, where a started process only
# vanished, for a pass. Such a run fails, whatever the program's status.
# Usage: crashes.sh COMMAND [ARGUMENT...]
emulator='^qemu: |^qemu-i386|QEMU internal SIG|uncaught target signal|Unable to reserve 0x'
wine='could not load kernel32\.dll|failed to map the shared user data|stack smashing detected|wine client error|^wine: could not|Unhandled illegal instruction'
log=$(mktemp "${TMPDIR:-/tmp}/crashes.XXXXXX")
"$@" >"$log" 2>&1 &
child=$!
trap 'kill $child 2>/dev/null' TERM INT
status=0
wait $child || status=$?
cat "$log"
if line=$(grep -m 1 -E "$emulator" "$log"); then
    echo "CRASH OF THE EMULATOR (QEMU user mode), not of the product: $line"
    status=${status#0}
    status=${status:-1}
elif line=$(grep -m 1 -E "$wine" "$log"); then
    echo "CRASH OF WINE OR ITS EMULATED LOADER, not of the product: $line"
    status=${status#0}
    status=${status:-1}
elif [ "$status" -gt 128 ] && [ "$status" -lt 160 ]; then
    echo "CRASH OF WINE: the runner died of signal $((status - 128)), not the product's checks"
fi
rm -f -- "$log"
exit "$status"
