#!/usr/bin/env bash
# Throughput of the message readers on a realistic stream: one day of 30 s observations of 6
# receivers (8 satellites each, 4 observables), broadcast ephemerides of 32 satellites every two hours,
# and the station messages of each receiver, through the Release binary with the example's
# configuration and auxiliary files (silent log, no ANTEX echo). Prints lines per second.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELMAR_BUILD_DIR:-$top/build}"
[ -x "$build/quelmar" ] || { cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null; cmake --build "$build" -j2 --target quelmar >/dev/null; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
find "$top/examples" -maxdepth 1 -type f ! -name run.sh ! -name messages.txt ! -name README.md -exec cp {} "$work" \;
sed -i 's/silent_log = .false./silent_log = .true./; s/antexusage     = .true./antexusage     = .false./' "$work/quelmar_v2.2.0.nml"
awk 'BEGIN {
  split("BELL EBRE RCV3 RCV4 RCV5 RCV6", rec, " ")
  for (r = 1; r <= 6; r++) {
    printf "XYZ     2  1 30  0  0  0.0 %s %14.4f%14.4f%14.4f\n", rec[r], 4775849.62 + 1000 * r, 116814.1, 4213018.71
    printf "ANT     2  1 30  0  0  0.0 %s %-20s%-20s\n", rec[r], "0220080346", "TRM29659.00     NONE"
    printf "AND     2  1 30  0  0  0.0 %s %14.4f%14.4f%14.4f\n", rec[r], 0.054, 0, 0
    printf "WLF     2  1 30  0  0  0.0 %s %6d%6d%6d%6d%6d%6d%6d%6d%6d\n", rec[r], 1, 1, 0, 0, 0, 0, 0, 0, 0
  }
  printf "LEA     2  1 30  0  0  0.0     13\n"
  e = " 0.100000000000D+01"
  for (t = 0; t < 86400; t += 30) {
    if (t % 7200 == 0)
      for (p = 1; p <= 32; p++) {
        printf "EPH %2d 02  1 30 %2d  0  0.0%s%s%s", p, t / 3600, e, e, e
        for (o = 0; o < 7; o++) printf "   %s%s%s%s", e, e, e, e
        printf "\n"
      }
    hh = int(t / 3600); mi = int((t % 3600) / 60); ss = t % 60
    for (r = 1; r <= 6; r++)
      for (k = 0; k < 8; k++) {
        p = (k * 4 + r + int(t / 3600)) % 32 + 1
        printf "OB1 %2d  2  1 30 %2d %2d%11.7f %s G 0%12.9f%6d    L1    L2    C1    P2", p, hh, mi, ss, rec[r], 0, 4
        printf "%14.3f00%14.3f00%14.3f00%14.3f00", -13284821.249 + t, -10192060.755 + t, 21372448.483 + t, 21372454.252 + t
        printf " %5d F   0.3000000E+02 F   0.0000000E+00 F%11.4f   0.0000000E+00 F\n", 1, 0
      }
  }
}' > "$work/stream.txt"
cd "$work"
n=$(wc -l < stream.txt)
start=$(date +%s.%N)
/usr/bin/time -f "%M" -o mem.txt "$build/quelmar" < stream.txt > out.txt
end=$(date +%s.%N)
awk -v n="$n" -v s="$start" -v e="$end" -v m="$(cat mem.txt)" -v o="$(wc -l < out.txt)" -v l="$(grep -c ERROR quelmar_v2.2.0.log || true)" 'BEGIN {
  printf "readers: %d lines (%d copied to standard output, %d error lines in the log) in %.3f s = %.0f lines/s, peak RSS %.1f MB\n",
    n, o, l, e - s, n / (e - s), m / 1024 }'
