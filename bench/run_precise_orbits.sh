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

# S3C records (label, object, yy mo dd hh mi sec, x y z km, clock us, flags, errors km and us) on
# circular orbits, starting 2008-05-27 0h; one record per object and epoch.
gen() { # objects interval radius_km period_s
  awk -v n="$1" -v dt="$2" -v r="$3" -v per="$4" 'BEGIN {
    pi = 3.14159265358979
    for (t = 0; t < 86400; t += dt) {
      hh = int(t / 3600); mi = int((t % 3600) / 60); ss = t % 60
      for (k = 1; k <= n; k++) {
        a = 2 * pi * (t / per + k / n); inc = 0.96 + 0.01 * k
        printf "S3C %2d 08  5 27 %2d %2d %11.8f %15.6f %15.6f %15.6f %15.6f  0  0 %s\n", k, hh, mi, ss,
          r * cos(a), r * sin(a) * cos(inc), r * sin(a) * sin(inc), 100 + k + t * 1e-6,
          "0.1E-04 0.1E-04 0.1E-04 0.2E-04"
      }
    }
  }'
}
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
