#!/usr/bin/env bash
# Throughput of the whole program on real station-days of six receivers (the program's limit), with
# the records of the measurement model on and off:
#   - precise orbits: the four stations of 2008-05-27 (ACOR, MADR, SCOA, SFER; 30 s, full day) plus copies
#     of ACOR and MADR under the names ACO2 and MAD2, IGS final orbits and clocks of 2008-05-26..28;
#   - broadcast orbits: BELL and EBRE of 2002-01-30 plus copies under the names BEL2, BEL3, EBR2, EBR3,
#     with the day's navigation file.
# IGS05 antenna calibrations. The program is built twice (Release, and Release with the step profile):
# the first build gives observations per second and peak memory, the second the share of time per step
# (the model steps and the records are its last entry).
#
# Usage: bench/run_chain.sh            (builds in build-bench-chain and build-bench-chain-prof)
# Environment: QUELMAR_BUILD_DIR, QUELMAR_PROFILE_BUILD_DIR to use other build folders,
#              QUELMAR_SHARED_DATA for the data folder (default ../shared/data beside the repository).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELMAR_BUILD_DIR:-$top/build-bench-chain}"
prof="${QUELMAR_PROFILE_BUILD_DIR:-$top/build-bench-chain-prof}"
data="${QUELMAR_SHARED_DATA:-$top/../shared/data}"
d02="$data/rinex/2002-030"; d08="$data/rinex/2008-148"; orb="$data/orbits/2008-148"
for f in "$d08"/{acor,madr,scoa,sfer}1480.08o "$orb"/igs1481{1,2,3}.sp3 "$d02"/{bell,ebre}0300.02o \
         "$d02/brdc0300.02n" "$data/antenna/igs05_1480.atx" "$data/antenna/ngs_abs.pcv"; do
  [ -f "$f" ] || { echo "run_chain: missing $f" >&2; exit 1; }
done

echo "== building (Release, and Release with the step profile)" >&2
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_STEP_PROFILE=OFF -DQUELMAR_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target quelmar rinex_to_stream sp3_to_s3c antex_to_gcs >/dev/null
cmake -S "$top" -B "$prof" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_STEP_PROFILE=ON -DQUELMAR_TESTS=OFF >/dev/null
cmake --build "$prof" -j2 --target quelmar >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A copy of a station under another name: only the marker name changes.
rename_marker() { awk -v n="$2" 'substr($0, 61, 11) == "MARKER NAME" && !done { $0 = n substr($0, 5); done = 1 } { print }' "$1" > "$3"; }

# case_dir NAME DATE: the example's files and configuration (edited: bench/chain_case/precise_2008.sed,
# whose orbit lines are dropped for broadcast orbits), roles and the day's reference-satellite file.
case_dir() {
  local d="$work/$1" sedf="$work/edits.sed"
  mkdir -p "$d"
  find "$top/examples" -maxdepth 1 -type f ! -name run.sh ! -name messages.txt ! -name README.md -exec cp {} "$d" \;
  if [ "$1" = precise ]; then cp "$top/bench/chain_case/precise_2008.sed" "$sedf"; else grep -v precise "$top/bench/chain_case/precise_2008.sed" > "$sedf"; fi
  sed -f "$sedf" "$top/examples/quelmar_v2.2.0.nml" > "$d/quelmar_v2.2.0.nml"
  ln -s "$data/antenna/ngs_abs.pcv" "$d/ngs_abs.pcv"
  ln -s "$data/antenna/igs05_1480.atx" "$d/igs05_1480.atx"
  "$build/tools/antex_to_gcs" --date "$2" "$data/antenna/igs05_1480.atx" "$d/gcs.txt" 2>/dev/null
}
case_dir precise 2008-05-27
(cd "$work/precise"
 for s in acor madr scoa sfer; do ln -s "$d08/${s}1480.08o" "$s.08o"; done
 rename_marker "$d08/acor1480.08o" ACO2 aco2.08o
 rename_marker "$d08/madr1480.08o" MAD2 mad2.08o
 "$build/tools/rinex_to_stream" acor.08o madr.08o scoa.08o sfer.08o aco2.08o mad2.08o > stream.txt
 "$build/tools/sp3_to_s3c" -q -o orbits.s3c "$orb"/igs1481{1,2,3}.sp3
 printf 'MADR\n' > sta2refrec.txt; printf 'ACOR\nSCOA\nSFER\nACO2\nMAD2\n' > sta2estpos.txt
 printf '0 86400 22\n' > refsat.08-05-27)
case_dir broadcast 2002-01-30
(cd "$work/broadcast"
 ln -s "$d02/bell0300.02o" bell.02o; ln -s "$d02/ebre0300.02o" ebre.02o
 for n in BEL2 BEL3; do rename_marker "$d02/bell0300.02o" $n $n.02o; done
 for n in EBR2 EBR3; do rename_marker "$d02/ebre0300.02o" $n $n.02o; done
 "$build/tools/rinex_to_stream" --nav "$d02/brdc0300.02n" bell.02o ebre.02o BEL2.02o EBR2.02o BEL3.02o EBR3.02o > stream.txt
 printf 'BELL\n' > sta2refrec.txt; printf 'EBRE\nBEL2\nEBR2\nBEL3\nEBR3\n' > sta2estpos.txt
 printf '0 86400 13\n' > refsat.02-01-30)

run() { # $1 case, $2 binary, $3 label: runs the day, prints wall time, records and peak memory
  cd "$work/$1"
  rm -f quelmar_v2.2.0.log quelmar-flush
  local s e nobs
  nobs=$(grep -c '^OB1 ' stream.txt)
  s=$(date +%s.%N)
  /usr/bin/time -f "%M" -o mem.txt "$2" < stream.txt > out.txt 2> err.txt
  e=$(date +%s.%N)
  awk -v l="$3" -v n="$nobs" -v s="$s" -v e="$e" -v m="$(cat mem.txt)" -v o="$(grep -c '^PR6 ' out.txt || true)" \
      -v ob="$(stat -c %s out.txt)" -v lb="$(stat -c %s quelmar_v2.2.0.log)" 'BEGIN {
    t = e - s; printf "%s: %d observations in %.2f s = %.0f observations/s; %d PR6 rows; output %.1f MB, log %.1f MB; peak RSS %d KiB\n", l, n, t, n / t, o, ob / 1e6, lb / 1e6, m }'
  case "$3" in *profile*) ;; *) if grep -q . err.txt; then echo "-- standard error:"; head -5 err.txt; fi ;; esac
}
records_off() { sed -i -E 's/^(  write_(model|ob2|ticlassic|wu|i2i|orbit|undif_dat)) = .true./\1 = .false./' "$work/$1/quelmar_v2.2.0.nml"; }

for c in precise broadcast; do
  run $c "$build/quelmar" "$c, records on (Release)"
  run $c "$prof/quelmar" "$c, records on (step profile)"
  echo "-- time per step ($c, records on):"
  cat "$work/$c/err.txt"
  records_off $c
  run $c "$build/quelmar" "$c, records off (Release)"
done
