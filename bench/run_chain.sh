#!/usr/bin/env bash
# Throughput of the observation chain on a real station-day with precise orbits: the four stations of
# 2008-05-27 (ACOR, MADR, SCOA, SFER; 30 s, full day) plus copies of ACOR and MADR under the names ACO2
# and MAD2 (their RINEX files with the marker renamed), so six receivers, the program's limit; IGS final
# orbits and clocks of 2008-05-26..28, IGS05 antenna calibrations. The program is built twice (Release,
# and Release with the step profile) and run on the whole day: the first run gives observations per
# second through the chain, the second the share of time per step (its table goes to standard error).
#
# Usage: bench/run_chain.sh            (builds in build-bench-chain and build-bench-chain-prof)
# Environment: QUELMAR_BUILD_DIR, QUELMAR_PROFILE_BUILD_DIR to use other build folders,
#              QUELMAR_SHARED_DATA for the data folder (default ../shared/data beside the repository).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELMAR_BUILD_DIR:-$top/build-bench-chain}"
prof="${QUELMAR_PROFILE_BUILD_DIR:-$top/build-bench-chain-prof}"
data="${QUELMAR_SHARED_DATA:-$top/../shared/data}"
day="$data/rinex/2008-148"
orb="$data/orbits/2008-148"
for f in "$day"/{acor,madr,scoa,sfer}1480.08o "$orb"/igs1481{1,2,3}.sp3 "$data/antenna/igs05_1480.atx" "$data/antenna/ngs_abs.pcv"; do
  [ -f "$f" ] || { echo "run_chain: missing $f" >&2; exit 1; }
done

echo "== building (Release, and Release with the step profile)" >&2
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_STEP_PROFILE=OFF >/dev/null
cmake --build "$build" -j2 --target quelmar rinex_to_stream sp3_to_s3c antex_to_gcs >/dev/null
cmake -S "$top" -B "$prof" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_STEP_PROFILE=ON >/dev/null
cmake --build "$prof" -j2 --target quelmar >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# Inputs: the stream of six receivers, the orbit file, the constellation status of the day.
for s in acor madr scoa sfer; do ln -s "$day/${s}1480.08o" "$s.08o"; done
# A copy of a station under another name: only the marker name changes.
rename_marker() { awk -v n="$2" 'substr($0, 61, 11) == "MARKER NAME" && !done { $0 = n substr($0, 5); done = 1 } { print }' "$1" > "$3"; }
rename_marker "$day/acor1480.08o" ACO2 aco2.08o
rename_marker "$day/madr1480.08o" MAD2 mad2.08o
"$build/tools/rinex_to_stream" acor.08o madr.08o scoa.08o sfer.08o aco2.08o mad2.08o > stream.txt
"$build/tools/sp3_to_s3c" -q -o orbits.s3c "$orb"/igs1481{1,2,3}.sp3
"$build/tools/antex_to_gcs" --date 2008-05-27 "$data/antenna/igs05_1480.atx" gcs.txt 2>/dev/null

# Configuration and auxiliary files: the example's, edited (bench/chain_case/precise_2008.sed).
find "$top/examples" -maxdepth 1 -type f ! -name run.sh ! -name messages.txt ! -name README.md -exec cp {} . \;
sed -f "$top/bench/chain_case/precise_2008.sed" "$top/examples/quelmar_v2.2.0.nml" > quelmar_v2.2.0.nml
ln -s "$data/antenna/ngs_abs.pcv" ngs_abs.pcv
ln -s "$data/antenna/igs05_1480.atx" igs05_1480.atx
printf 'MADR\n' > sta2refrec.txt
printf 'ACOR\nSCOA\nSFER\nACO2\nMAD2\n' > sta2estpos.txt
printf '0 86400 22\n' > refsat.08-05-27

nobs=$(grep -c '^OB1 ' stream.txt)
nlines=$(wc -l < stream.txt)
echo "== stream: $nlines lines, $nobs OB1 observations of 6 receivers (2008-05-27, 30 s)"

run() { # $1 binary, $2 label: runs the day, prints wall time, records and peak memory
  rm -f quelmar_v2.2.0.log quelmar-flush
  local s e
  s=$(date +%s.%N)
  /usr/bin/time -f "%M" -o mem.txt "$1" < stream.txt > out.txt 2> err.txt
  e=$(date +%s.%N)
  local ob2 rej
  ob2=$(grep -c '^OB2 ' out.txt || true)
  rej=$(grep -c 'WARNING: deselecting' out.txt || true)
  awk -v l="$2" -v n="$nobs" -v s="$s" -v e="$e" -v m="$(cat mem.txt)" -v o="$ob2" -v r="$rej" \
      -v ob="$(stat -c %s out.txt)" -v lb="$(stat -c %s quelmar_v2.2.0.log)" 'BEGIN {
    t = e - s; printf "%s: %d observations in %.2f s = %.0f observations/s; %d OB2 records, %d deselected; output %.1f MB, log %.1f MB; peak RSS %d KiB\n", l, n, t, n / t, o, r, ob / 1e6, lb / 1e6, m }'
}

run "$build/quelmar" "chain (Release)"
if grep -q . err.txt; then echo "-- standard error of the run:"; head -5 err.txt; fi
run "$prof/quelmar" "chain (Release, step profile)"
echo "-- time per step (step profile, standard error of the profiled run):"
cat err.txt
