#!/usr/bin/env bash
# Speed of the RINEX to message-stream converter on the real station-days of the shared data: each
# 2002-01-30 file alone (with the broadcast navigation file of the day), each 2008-05-27 file alone
# (no navigation file exists for that day) and the four 2008 files together. Each case runs REPEAT times
# (default 3) and the fastest run is kept; prints lines written and station-days per second.
#
#   bench/run_converter.sh            builds rinex_to_stream (Release) in build-bench/ if needed
#   QUELMAR_BUILD_DIR=dir bench/run_converter.sh     uses (and if needed builds) that directory
#   QUELMAR_SHARED_DATA=dir REPEAT=5 bench/run_converter.sh
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELMAR_BUILD_DIR:-$top/build-bench}"
data="${QUELMAR_SHARED_DATA:-$top/../shared/data}"
repeat="${REPEAT:-3}"
if [ ! -x "$build/tools/rinex_to_stream" ]; then
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j2 --target rinex_to_stream >/dev/null
fi
conv="$build/tools/rinex_to_stream"
r02="$data/rinex/2002-030"
r08="$data/rinex/2008-148"
[ -d "$r02" ] && [ -d "$r08" ] || { echo "run_converter: real data not found under $data" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# case NAME STATION_DAYS ARGS...: the fastest of $repeat runs.
run_case() {
  local name="$1" days="$2"
  shift 2
  local best="" i start end t
  for ((i = 0; i < repeat; i++)); do
    start=$(date +%s.%N)
    "$conv" "$@" > "$work/out.txt"
    end=$(date +%s.%N)
    t=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", e - s }')
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$t"; fi
  done
  awk -v name="$name" -v d="$days" -v t="$best" -v n="$(wc -l < "$work/out.txt")" \
      -v o="$(grep -c '^OB1' "$work/out.txt" || true)" 'BEGIN {
    printf "%-26s %d station-day(s) %7d lines (%6d OB1) in %.3f s = %6.2f station-days per second\n",
      name, d, n, o, t, d / t }'
}

echo "rinex_to_stream, fastest of $repeat runs ($(nproc) cores, $(date -u +%Y-%m-%d))"
for f in bell0300.02o ebre0300.02o; do
  run_case "2002-030 ${f:0:4} + brdc" 1 --nav "$r02/brdc0300.02n" "$r02/$f"
done
for f in acor1480.08o madr1480.08o scoa1480.08o sfer1480.08o; do
  run_case "2008-148 ${f:0:4}" 1 "$r08/$f"
done
run_case "2008-148 all four" 4 "$r08/acor1480.08o" "$r08/madr1480.08o" "$r08/scoa1480.08o" "$r08/sfer1480.08o"
