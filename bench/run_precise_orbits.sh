#!/usr/bin/env bash
# Start-up load of the precise-orbit tables: one synthetic day of 32 satellites at 900 s and at 30 s,
# each with a synthetic rover trajectory of one day at 10 s, through the real loader (Release build).
# Prints the load time and the peak resident memory of each case, then the window-lookup benchmark.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELMAR_BUILD_DIR:-$top/build}"
prog="$build/bench/bench_precise_orbits"
[ -x "$prog" ] || { cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null; cmake --build "$build" -j2 --target bench_precise_orbits >/dev/null; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Synthetic S3C records on circular orbits: gen OBJECTS INTERVAL_S RADIUS_KM PERIOD_S.
source "$top/bench/support/synthetic_s3c.sh"
gen 32 900 26560 43082 > "$work/orbits_900.s3c"
gen 32 30 26560 43082 > "$work/orbits_30.s3c"
gen 1 10 6878 5668 > "$work/rover.s3c"
printf 'L01\n' > "$work/rover_stations.txt"
cd "$work"
for dt in 900 30; do
  printf 'precise orbits at %4s s + rover at 10 s (%s + %s lines): ' "$dt" \
    "$(wc -l < orbits_$dt.s3c)" "$(wc -l < rover.s3c)"
  "$prog" --load "orbits_$dt.s3c" "$dt" rover.s3c 10 rover_stations.txt
done
"$prog" --benchmark_min_time=0.2 2>/dev/null | grep -E '^(BM_|Benchmark|-)'
