#!/usr/bin/env bash
# Start-up of the whole program: configuration, constants, one day of precise orbits of 32 satellites
# (at 900 s, then at 30 s), a rover trajectory file, the real IGS ANTEX file of the public data folder
# (the example's small one when that folder is absent) and the example's other auxiliary files, on an
# empty input stream. Prints wall time and peak resident memory of each case.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELMAR_BUILD_DIR:-$top/build}"
[ -x "$build/quelmar" ] || { cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null; cmake --build "$build" -j2 --target quelmar >/dev/null; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
find "$top/examples" -maxdepth 1 -type f ! -name run.sh ! -name messages.txt ! -name README.md -exec cp {} "$work" \;
antex="$top/../shared/data/antenna/igs05.atx"
if [ -f "$antex" ]; then cp "$antex" "$work/antennas.atx"; what="igs05.atx"; else what="example ANTEX"; fi
sed -i 's/precise_instead_of_eph_orbits = .false./precise_instead_of_eph_orbits = .true./' "$work/quelmar_v2.2.0.nml"

# Synthetic S3C records on circular orbits: gen OBJECTS INTERVAL_S RADIUS_KM PERIOD_S.
source "$top/bench/support/synthetic_s3c.sh"
gen 1 30 6878 5668 > "$work/rover.s3c"
cd "$work"
for dt in 900 30; do
  gen 32 "$dt" 26560 43082 > orbits.s3c
  sed -i "s/iexpected_dtsec_sp3cfiles = [0-9]*/iexpected_dtsec_sp3cfiles = $dt/" quelmar_v2.2.0.nml
  rm -f quelmar-flush
  start=$(date +%s.%N)
  /usr/bin/time -f "%M" -o mem.txt "$build/quelmar" < /dev/null > out.txt
  end=$(date +%s.%N)
  awk -v dt="$dt" -v s="$start" -v e="$end" -v m="$(cat mem.txt)" -v n="$(wc -l < orbits.s3c)" -v a="$what" \
      -v o="$(wc -l < out.txt)" 'BEGIN {
    printf "start-up: orbits %5d records at %3d s + rover 2880 records + %s: %.3f s, peak RSS %.1f MB (%d lines of ANTEX echo)\n",
      n, dt, a, e - s, m / 1024, o }'
done
