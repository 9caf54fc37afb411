#!/usr/bin/env bash
# Cost of the solid earth tide and the ocean tide loading: one call of each model (bench_tides), then
# the whole program on a real day with both switched on, built with the reuse of displacements whose
# inputs repeat (the default) and without it: observations per second of each, and standard output and
# log compared byte for byte. The day: ACOR, MADR, SCOA, SFER of 2008-05-27 with IGS final orbits and
# their ocean loading coefficients (OCEAN-GOT00.dat) from ../shared/data.
#
# Usage: bench/run_tides.sh   (builds in build-bench-tides and build-bench-tides-nomemo)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
data="${QUELMAR_SHARED_DATA:-$top/../shared/data}"
memo="$top/build-bench-tides" nomemo="$top/build-bench-tides-nomemo"
d08="$data/rinex/2008-148"; orb="$data/orbits/2008-148"
for f in "$d08"/{acor,madr,scoa,sfer}1480.08o "$orb"/igs1481{1,2,3}.sp3 "$data/otl/OCEAN-GOT00.dat" \
         "$data/antenna/igs05_1480.atx" "$data/antenna/ngs_abs.pcv"; do
  [ -f "$f" ] || { echo "run_tides: missing $f" >&2; exit 1; }
done
echo "== building (Release, with and without the reuse)" >&2
cmake -S "$top" -B "$memo" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_TESTS=OFF >/dev/null
cmake --build "$memo" -j2 --target quelmar bench_tides rinex_to_stream sp3_to_s3c antex_to_gcs >/dev/null
cmake -S "$top" -B "$nomemo" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_TESTS=OFF -DQUELMAR_BENCH=OFF -DQUELMAR_TIDE_MEMO=OFF >/dev/null
cmake --build "$nomemo" -j2 --target quelmar >/dev/null
"$memo/bench/bench_tides" --benchmark_min_time=0.5 2>/dev/null | grep -E "^BM_|^Benchmark"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
find "$top/examples" -maxdepth 1 -type f ! -name run.sh ! -name messages.txt ! -name README.md -exec cp {} . \;
sed -f "$top/bench/chain_case/precise_2008.sed" "$top/examples/quelmar_v2.2.0.nml" |
  sed 's/model_apriori_earth_tide = .false./model_apriori_earth_tide = .true./;
       s/model_apriori_ocean_tide_loading = .false./model_apriori_ocean_tide_loading = .true./' > quelmar_v2.2.0.nml
ln -s "$data/antenna/ngs_abs.pcv" ngs_abs.pcv; ln -s "$data/antenna/igs05_1480.atx" igs05_1480.atx
"$memo/tools/antex_to_gcs" --date 2008-05-27 "$data/antenna/igs05_1480.atx" gcs.txt 2>/dev/null
for s in acor madr scoa sfer; do ln -s "$d08/${s}1480.08o" "$s.08o"; done
"$memo/tools/rinex_to_stream" --blq "$data/otl/OCEAN-GOT00.dat" acor.08o madr.08o scoa.08o sfer.08o > stream.txt
"$memo/tools/sp3_to_s3c" -q -o orbits.s3c "$orb"/igs1481{1,2,3}.sp3
printf 'MADR\n' > sta2refrec.txt; printf 'ACOR\nSCOA\nSFER\n' > sta2estpos.txt; printf '0 86400 22\n' > refsat.08-05-27
nobs=$(grep -c '^OB1 ' stream.txt)
for b in memo nomemo; do
  bin="$memo/quelmar"; [ $b = nomemo ] && bin="$nomemo/quelmar"
  rm -f quelmar_v2.2.0.log quelmar-flush
  s=$(date +%s.%N); "$bin" < stream.txt > out.$b.txt 2> err.$b.txt; e=$(date +%s.%N)
  mv quelmar_v2.2.0.log log.$b.txt
  awk -v l="$b" -v n="$nobs" -v s="$s" -v e="$e" 'BEGIN { printf "2008-148, 4 stations, both tides on, %-6s: %d observations in %.2f s = %.0f observations/s\n", l, n, e - s, n / (e - s) }'
done
cmp out.memo.txt out.nomemo.txt && cmp log.memo.txt log.nomemo.txt && echo "standard output and log byte-identical with and without the reuse"
