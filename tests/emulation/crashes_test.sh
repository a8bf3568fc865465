#!/bin/sh
# crashes.sh names the emulator's and Wine's own crashes, fails a run that
# shows one even where the program passed, and leaves other failures alone.
crashes="$(dirname -- "$0")/crashes.sh"
failed=0
expect() {
    want=$1 status=$2
    shift 2
    output=$("$crashes" sh -c "$@" 2>&1) && got=0 || got=$?
    if [ "$got" != "$status" ] || ! printf '%s\n' "$output" | grep -q "$want"; then
        echo "FAILED: $* gave status $got and:"; printf '%s\n' "$output"; failed=1
    fi
}
expect 'CRASH OF THE EMULATOR (QEMU user mode), not of the product: qemu: uncaught' 139 \
    'echo "qemu: uncaught target signal 11 (Segmentation fault) - core dumped"; kill -SEGV $$'
expect 'CRASH OF WINE OR ITS EMULATED LOADER.*kernel32' 1 \
    'echo "[  PASSED  ] 3 tests."; echo "wine: could not load kernel32.dll, status c0000135" >&2'
expect 'CRASH OF WINE OR ITS EMULATED LOADER.*stack smashing' 134 \
    'echo "*** stack smashing detected ***: terminated"; kill -ABRT $$'
expect 'CRASH OF WINE: the runner died of signal 9' 137 'kill -KILL $$'
expect '^\[  FAILED  \] Uninstall.Something$' 1 'echo "[  FAILED  ] Uninstall.Something"; exit 1'
if "$crashes" sh -c 'echo "[  FAILED  ] x"; exit 1' | grep -q CRASH; then
    echo "FAILED: a product failure named a crash"; failed=1
fi
"$crashes" sh -c 'echo ok' >/dev/null || { echo "FAILED: a pass failed"; failed=1; }
exit $failed
