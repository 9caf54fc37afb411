#!/usr/bin/env bash
# Throughput of the message loop: one million lines that no handler takes (the marker file is
# polled before every one of them, as in production), through the Release binary with the
# example configuration. Prints lines per second and the peak resident memory.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELMAR_BUILD_DIR:-$top/build}"
[ -x "$build/quelmar" ] || { cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null; cmake --build "$build" -j2 --target quelmar >/dev/null; }
n="${1:-1000000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$top/examples/quelmar_v2.2.0.nml" "$work/"
# Lines shaped like observations but with a lower-case code: read, traced nowhere, skipped.
awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) printf "ob1 %2d  2  1 30  0  0  0.0000000 BELL G 0 0.000000000     4    L1    L2    C1    P2 -13284821.24908 -10192060.75547  21372448.48300  21372454.25240\n", i % 32 + 1 }' > "$work/in.txt"
cd "$work"
start=$(date +%s.%N)
/usr/bin/time -f "%M" -o mem.txt "$build/quelmar" < in.txt > /dev/null
end=$(date +%s.%N)
awk -v n="$n" -v s="$start" -v e="$end" -v m="$(cat mem.txt)" 'BEGIN {
  t = e - s; printf "loop: %d skipped lines in %.3f s = %.0f lines/s (marker polled %d times), peak RSS %d KiB\n", n, t, n / t, n, m }'
