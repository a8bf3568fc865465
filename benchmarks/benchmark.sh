#!/bin/sh
# Times the uninstall and the key tree deletion against the platform's own
# recursive deletes, on one throwaway Wine prefix, and prints a report:
#
#   benchmarks/benchmark.sh [runs]      (default 5; needs the x64 build)
#
# Then counts the system calls (ntdll Nt*) of small runs from a relay trace:
# the product's list passes and tree deletion in process, RegDeleteTreeA,
# and the interpreter's "rd /s /q".
set -eu
cd "$(dirname -- "$0")/.."
runs=${1:-5}
# The programs lie in the build's drive folder, the prefix's Z:.
drive=$PWD/build/windows-x64/drive
[ -x "$drive/perf.exe" ] || { echo "build first: ./run build" >&2; exit 2; }

# Everything Wine writes and the reports live in one directory that is
# removed on every way out.
. tests/throwaway.sh
throwaway_prefix qel-bench
tests/wineprefix.sh setup "$drive" "$prefix"
# The reports lie in the prefix's C: (its Z: holds the programs alone).
out="$prefix/drive_c/qel-report"
report='C:\qel-report'
mkdir -- "$out"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export QEL_EXE="$drive/Uninstall.exe" QEL_ICONPROBE="$drive/iconprobe.dll"
export QEL_STANDIN="$drive/comspec_standin.exe"
# Wine programs start in the prefix's C:, as no drive leads to the build tree.
wine() {
    env -C "$prefix/drive_c" /usr/lib/wine/wine64 "$@"
}

echo "# Benchmark: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)" \
    "at the start, $(wine --version)"
echo
# The demo run's interpreter writes to this program's output: the report
# goes to a file of its own.
wine "$drive/perf.exe" --runs "$runs" --report "$report/report.md" >/dev/null || status=$?
cat "$out/report.md"
[ "${status:-0}" -eq 0 ] || exit "$status"

# System calls (ntdll Nt*) of the tracing thread between a begin and an
# end marker.
count_between() {
    awk -v begin="qel-trace-begin $1" '
        /OutputDebugStringA/ && index($0, begin) { split($0, f, ":"); tid = f[1]; on = 1; next }
        on && /OutputDebugStringA/ && index($0, "qel-trace-end") { on = 0 }
        on && index($0, tid ":Call ntdll.Nt") == 1 { n++ }
        END { print n + 0 }' "$out/relay.log"
}
# System calls of a whole process.
count_all() {
    grep -c ':Call ntdll\.Nt' "$out/relay.log" || true
}
# "<entries or keys> <passes>" of a run of the trace.
sizes() {
    awk -v run="$1" '$1 == run { print $2, $3 }' "$out/trace.txt"
}

WINEDEBUG=+relay wine "$drive/perf.exe" --trace --report "$report/trace.txt" >/dev/null 2>"$out/relay.log"
contents=$(count_between "list contents-first")
directory=$(count_between "list directory-first")
ours=$(count_between "DeleteKeyTree")
theirs=$(count_between "RegDeleteTreeA")
WINEDEBUG=+relay wine cmd /c rd /s /q 'C:\qel bench\rd trace' >/dev/null 2>"$out/relay.log"
rd_tree=$(count_all)
WINEDEBUG=+relay wine cmd /c rd /s /q 'C:\qel bench\rd empty' >/dev/null 2>"$out/relay.log"
rd_empty=$(count_all)

echo
echo "## System calls (ntdll Nt*) from a relay trace of small runs"
echo
echo "| Run | Entries or keys | Passes | System calls | Per entry or key |"
echo "|---|---:|---:|---:|---:|"
row() {
    set -- "$1" $(sizes "$2") "$3"
    awk -v what="$1" -v n="$2" -v p="$3" -v c="$4" \
        'BEGIN { printf "| %s | %d | %s | %d | %.1f |\n", what, n, p == 0 ? "-" : p, c, c / n }'
}
row "list passes, contents-first (in process)" list-contents-first "$contents"
row "list passes, directory-first (in process)" list-directory-first "$directory"
row "cmd /c rd /s /q of the same tree, less rd of an empty directory" rd $((rd_tree - rd_empty))
row "DeleteKeyTree (in process)" DeleteKeyTree "$ours"
row "RegDeleteTreeA (in process)" RegDeleteTreeA "$theirs"
