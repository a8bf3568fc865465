#!/bin/sh
# Builds the product once more, from nothing, in another directory and at
# another time, and compares the executable with the one given, byte for byte.
# Usage: reproducible.sh SOURCE TOOLCHAIN_FILE BUILD_TYPE SCRATCH_DIR EXE
set -eu
source=$1 toolchain=$2 type=$3 scratch=$4 built=$5
repo=$source
. "$repo/tests/scratch.sh"
scratch_resolve SCRATCH_DIR "$scratch" && scratch=$resolved && scratch_renew SCRATCH_DIR "$scratch" || exit 1
trap 'scratch_remove SCRATCH_DIR "$scratch"' EXIT
cmake -S "$source" -B "$scratch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE="$type" -DQEL_TESTS=OFF >/dev/null
cmake --build "$scratch" --target Uninstall >/dev/null
if ! cmp "$built" "$scratch/Uninstall.exe"; then
    echo "two builds of one source differ:" >&2
    cmp -l "$built" "$scratch/Uninstall.exe" | head -20 >&2
    exit 1
fi
echo "$(basename -- "$built"): $(wc -c <"$built") bytes, the same in both builds"
