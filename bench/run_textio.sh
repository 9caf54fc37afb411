#!/usr/bin/env bash
# Records per second of our formatted engine (bench_textio) and of gfortran's runtime
# (gfortran_textio.f90, built here with gfortran -O2) writing and reading the longest record layouts
# of the system on the same values, printed as a small table.
#
# Usage: bench/run_textio.sh [build directory]   (default: build; configure it as Release)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
bench=$build/bench/bench_textio
if [[ ! -x $bench ]]; then
    echo "run_textio.sh: $bench not found; build it with: cmake --build $build --target bench_textio" >&2
    exit 1
fi
if ! command -v gfortran > /dev/null; then
    echo "run_textio.sh: gfortran not found" >&2
    exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
gfortran -O2 -o "$tmp/gfortran_textio" "$here/gfortran_textio.f90"

# Both sides must format the very same numbers: compare their first record of each layout (gfortran
# prints its lines trimmed, so trailing blanks are dropped on both sides).
QUELMAR_BENCH_SAMPLE=1 "$bench" | sed 's/ *$//' > "$tmp/ours.txt"
"$tmp/gfortran_textio" sample | sed 's/ *$//' > "$tmp/gfortran.txt"
if cmp -s "$tmp/ours.txt" "$tmp/gfortran.txt"; then
    same="identical"
else
    same="DIFFERENT (see below)"
fi

"$bench" --benchmark_min_time=0.5 > "$tmp/ours.log" 2>&1
"$tmp/gfortran_textio" > "$tmp/gfortran.log"

# ours: "BM_Write/PR6_20 ... records/s=152.89k/s"; gfortran: "write PR6-20 21633."
awk '
    function num(s) {
        sub(/\/s$/, "", s)
        m = 1
        if (s ~ /k$/) m = 1e3; else if (s ~ /M$/) m = 1e6; else if (s ~ /G$/) m = 1e9
        sub(/[kMG]$/, "", s)
        return s * m
    }
    FNR == NR {
        if ($1 !~ /^BM_/) next
        split($1, p, "/"); op = tolower(substr(p[1], 4)); lay = p[2]; gsub(/_/, "-", lay)
        for (i = 2; i <= NF; ++i) if ($i ~ /^records\/s=/) { v = $i; sub(/^records\/s=/, "", v); ours[op " " lay] = num(v) }
        order[++n] = op " " lay
        next
    }
    { gf[$1 " " $2] = $3 }
    END {
        printf "%-6s %-12s %16s %16s %8s\n", "", "layout", "quelmar rec/s", "gfortran rec/s", "ratio"
        for (k = 1; k <= n; ++k) {
            key = order[k]; split(key, p, " ")
            printf "%-6s %-12s %16.0f %16.0f %7.1fx\n", p[1], p[2], ours[key], gf[key], ours[key] / gf[key]
        }
    }' "$tmp/ours.log" "$tmp/gfortran.log"
echo "values on both sides: $same"
if [[ $same != identical ]]; then diff "$tmp/ours.txt" "$tmp/gfortran.txt" || true; fi
