#!/usr/bin/env bash
# Coverage-guided fuzzing of the readers with clang's libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer on): the message dispatcher, the configuration file, every auxiliary and
# daily file, and the tools' RINEX/SP3/BLQ readers. Builds in build-fuzz/ (clang), seeds each corpus
# from the example, the scenario files and the real data beside the repository, then runs each harness.
#
# Usage: tests/fuzz/run_fuzz.sh [SECONDS_PER_HARNESS]   (default 20; CI runs it short, a long run is
#        e.g. 3600). Corpora grow in build-fuzz/corpus/<harness>; findings land in build-fuzz/findings/.
# Prints executions and findings per harness; exit status 1 when any harness found a crash.
set -eu
top="$(cd "$(dirname "$0")/../.." && pwd)"
secs="${1:-20}"
build="${QUELMAR_FUZZ_BUILD:-$top/build-fuzz}"
data="${QUELMAR_SHARED_DATA:-$top/../shared/data}"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_FUZZ=ON >/dev/null
cmake --build "$build" -j2 >/dev/null

corpus="$build/corpus"
mkdir -p "$corpus"/{messages,configuration,auxfiles,rinex} "$build/findings"
seed() { # $1 harness, $2 name, $3 first byte (the reader or mode), stdin: the seed's text
  { printf "\\x$(printf %02x "$3")"; cat; } > "$corpus/$1/seed-$2"
}
ex="$top/examples"
seed messages example 0 < "$ex/messages.txt"
seed messages example-rover 1 < "$ex/messages.txt"
# Every message line of the scenarios (damaged ones included), one seed per scenario file.
for f in "$top"/tests/e2e/scenarios/*.txt; do
  sed -n 's/^| \([A-Z][A-Z0-9]\{2\} .*\)/\1/p' "$f" | seed messages "$(basename "$f" .txt)" 0
done
seed configuration example 0 < "$ex/quelmar_v2.2.0.nml"
seed auxfiles pcv 0 < "$ex/antennas.pcv"
seed auxfiles atx 1 < "$ex/antennas.atx"
printf 'S3C  1 02 01 30  0  0 0.0 12620.751835 8872.022259 21793.758278 10.0 0 0 0 0 0 0\n' | seed auxfiles s3c 2
printf 'BELL\nEBRE\n' | seed auxfiles roles 3
printf 'l12a 0.1 -0.2 0.3\n05ab 0.0 0.5 -1.5\n' | seed auxfiles leo 4
printf '2002 30 110.0 190.0\n' | seed auxfiles flux 5
printf '450.0 10.0 40.0 1 1 1 0.0 0.0\n' | seed auxfiles voxels 6
seed auxfiles gcs 7 < "$ex/gps_constellation.txt"
seed auxfiles refsat 8 < "$ex/refsat.02-01-30"
printf '0 100 1 BELL 1 1 1 1 13 EBRE 1 2 3 4 0.5 1 2 3 4 0.5 1 2 3 4 0.5 7\n' | seed auxfiles ddf 9
if [ -d "$data" ]; then # heads of real files
  head -400 "$data/antenna/igs05_1480.atx" | seed auxfiles real-atx 1
  head -60 "$data/antenna/ngs_abs.pcv" | seed auxfiles real-pcv 0
  head -300 "$data/rinex/2002-030/bell0300.02o" | seed rinex obs2 0
  zcat "$data/rinex/2020-177/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz" | head -300 | seed rinex obs3 0
  head -200 "$data/rinex/2002-030/brdc0300.02n" | seed rinex nav 1
  head -200 "$data/orbits/2008-148/igs14812.sp3" | seed rinex sp3 2
  head -200 "$data/otl/OCEAN-GOT00.dat" | seed rinex blq 3
else
  printf '     2.11           OBSERVATION DATA    G (GPS)             RINEX VERSION / TYPE\n' | seed rinex obs2 0
fi

status=0
for h in messages configuration auxfiles rinex; do
  log="$build/findings/$h.log"
  (cd "$build/findings" && "$build/fuzz_$h" -max_total_time="$secs" -print_final_stats=1 -timeout=10 \
     -rss_limit_mb=2048 -artifact_prefix="$build/findings/$h-" "$corpus/$h" > "$log" 2>&1) || true
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  found=$(find "$build/findings" -maxdepth 1 -name "$h-*" | wc -l)
  echo "fuzz $h: ${execs:-?} executions in ${secs} s, corpus $(ls "$corpus/$h" | wc -l) inputs, findings $found"
  if [ "$found" -gt 0 ] || [ -z "$execs" ]; then status=1; tail -30 "$log"; fi
done
exit $status
