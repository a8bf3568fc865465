#!/bin/sh
# Builds the native fuzz targets with clang and runs each for a bounded time
# (seconds per target, default 3) from its seed corpus. New inputs found go to
# a scratch directory, never into the seeds.
set -eu
seconds=${1:-3}
here=$(cd "$(dirname -- "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build/fuzz"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" >/dev/null
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
artifacts="$build/artifacts"
mkdir -p "$artifacts"
status=0
for target in "$build"/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename -- "$target")
    mkdir -p "$work/$name"
    if "$target" "$work/$name" "$here/corpus/$name" -max_total_time="$seconds" \
        -artifact_prefix="$artifacts/$name-" >"$work/$name.log" 2>&1; then
        echo "fuzz $name: $(grep -E '^Done' "$work/$name.log" | tail -1)"
    else
        echo "fuzz $name: FAILED"
        tail -n 40 "$work/$name.log"
        for crash in "$artifacts/$name"-*; do
            [ -f "$crash" ] && { echo "kept: $crash"; od -c "$crash" | head -20; }
        done
        status=1
    fi
done
exit $status
