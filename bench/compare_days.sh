#!/usr/bin/env bash
# Byte-identity of whole real days between two builds: every real station-day of ../shared/data is
# converted with the tools and run through the program of each build, and standard output and the log
# are compared with cmp. An optimisation or a rework that must not change any result is checked here.
#
# Usage: bench/compare_days.sh [OLD_REV [NEW_BUILD_DIR]]
#   OLD_REV        git revision built for comparison (default HEAD), in a temporary worktree
#   NEW_BUILD_DIR  build of the working tree (default build-compare-new/, built or updated here)
# Days: 2002-01-30 BELL+EBRE with broadcast orbits; 2008-05-27 ACOR MADR SCOA SFER with IGS final orbits
# and ocean loading; 2020-06-25 ESBC GPS with GRG orbits of that day and the day before (the orbit file
# ends before the day does, so the refresh near its end runs), and its Galileo stream. Each run writes
# the log unabridged (silent_log false), the ORBIT and UNDIF_DAT records, and the example's records,
# with every a priori model on: GPT2w troposphere, solid tide, ocean loading (the 2008 stations have
# GOT00 coefficients), and the NeQuick slant content of every ray with the day's solar flux.
# Prints one line per day and stream: identical or the first difference; exit status 1 if any differs.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
data="${QUELMAR_SHARED_DATA:-$top/../shared/data}"
old_rev="${1:-HEAD}"
new_build="${2:-$top/build-compare-new}"
work="$(mktemp -d)"
# QUELMAR_KEEP_COMPARE=1 keeps the runs' files for a closer look (their folder is printed).
if [ -n "${QUELMAR_KEEP_COMPARE:-}" ]; then echo "== runs kept in $work" >&2; else trap 'rm -rf "$work"' EXIT; fi

build() { # $1 source, $2 build dir
  cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_TESTS=OFF -DQUELMAR_BENCH=OFF >/dev/null
  cmake --build "$2" -j2 --target quelmar rinex_to_stream sp3_to_s3c antex_to_gcs >/dev/null
}
# The old revision is checked out and built once, in build-compare-<commit>/ (kept for the next run).
sha="$(git -C "$top" rev-parse --short "$old_rev")"
old="$top/build-compare-$sha"
if [ ! -x "$old/build/quelmar" ]; then
  echo "== building $old_rev ($sha) in $old" >&2
  rm -rf "$old" && mkdir -p "$old"
  mkdir -p "$old/src" && git -C "$top" archive "$sha" | tar -x -C "$old/src"
  build "$old/src" "$old/build"
fi
echo "== building the working tree in $new_build" >&2
build "$top" "$new_build"

# One case per directory: stream, orbit file, constellation status, configuration.
case_dir() { # $1 name, $2 date for antex_to_gcs, $3 precise (yes/no), rest: rinex_to_stream arguments
  local d="$work/$1" date="$2" precise="$3"
  shift 3
  mkdir -p "$d"
  find "$top/examples" -maxdepth 1 -type f ! -name run.sh ! -name messages.txt ! -name README.md -exec cp {} "$d" \;
  "$new_build/tools/rinex_to_stream" "$@" > "$d/stream.txt" 2>/dev/null
  "$new_build/tools/antex_to_gcs" --date "$date" "$data/antenna/igs05_1480.atx" "$d/gcs.txt" 2>/dev/null
  sed -e "s|^  silent_log = .true.|  silent_log = .false.|" \
      -e "s|^  igspcvfile     = 'antennas.pcv'|  igspcvfile     = '$data/antenna/ngs_abs.pcv'|" \
      -e "s|^  gpscstatusfile = 'gps_constellation.txt'|  gpscstatusfile = 'gcs.txt'|" \
      -e "s|^  antexfile      = 'antennas.atx'|  antexfile      = '$data/antenna/igs05_1480.atx'|" \
      -e "s|^  antexusage     = .true.|  antexusage     = .false.|" \
      -e "s|^  write_orbit = .false.|  write_orbit = .true.|" \
      -e "s|^  write_undif_dat = .false.|  write_undif_dat = .true.|" \
      -e "s|^  model_apriori_tropo = .false.|  model_apriori_tropo = .true.|" \
      -e "s|^  itropo_model = 1 |  itropo_model = 2 |" \
      -e "s|^  model_apriori_earth_tide = .false.|  model_apriori_earth_tide = .true.|" \
      -e "s|^  model_apriori_ocean_tide_loading = .false.|  model_apriori_ocean_tide_loading = .true.|" \
      -e "s|^  model_apriori_iono = .false.|  model_apriori_iono = .true.|" \
      -e "s|^  apriori_iono_model_name = 'N'|  apriori_iono_model_name = 'n'|" \
      -e "s|^  stec_from_apriori_iono_rt = .false.|  stec_from_apriori_iono_rt = .true.|" \
      -e "s|^  basedir_auxdata_apriori_iono = 'iono_data'|  basedir_auxdata_apriori_iono = '$data/iono/nequick-itu'|" \
      "$top/examples/quelmar_v2.2.0.nml" > "$d/quelmar_v2.2.0.nml"
  ln -sf "$data/tropo/gpt2_1wA.grd" "$d/gpt2_1wA.grd"
  if [ "$precise" = yes ]; then
    sed -i -e "s|^  precise_instead_of_eph_orbits = .false.|  precise_instead_of_eph_orbits = .true.|" \
           -e "s|^  interpolated_precise_satclocks_instead_of_broadcast = .false.|  interpolated_precise_satclocks_instead_of_broadcast = .true.|" \
           "$d/quelmar_v2.2.0.nml"
  fi
  local yy mm dd
  IFS=- read -r yy mm dd <<< "$date"
  printf '0 86400 13\n' > "$d/refsat.${yy:2:2}-$mm-$dd"
  # The day's solar flux for the a priori ionosphere (observed F10.7 and sunspot number; 2020-06-25: the
  # F10.7 of the IRI index file, sunspot number not used).
  case "$date" in
    2002-01-30) echo "2002 30 119.0 248.8" ;; 2008-05-27) echo "2008 148 0.0 69.7" ;; *) echo "2020 177 0.0 71.2" ;;
  esac > "$d/solar_flux.txt"
}

r02="$data/rinex/2002-030"; r08="$data/rinex/2008-148"; o08="$data/orbits/2008-148"
r20="$data/rinex/2020-177"; o20="$data/orbits/2020-177"
case_dir 2002-030 2002-01-30 no --nav "$r02/brdc0300.02n" "$r02/bell0300.02o" "$r02/ebre0300.02o"
case_dir 2008-148 2008-05-27 yes --blq "$data/otl/OCEAN-GOT00.dat" "$r08"/{acor,madr,scoa,sfer}1480.08o
"$new_build/tools/sp3_to_s3c" -q -o "$work/2008-148/orbits.s3c" "$o08"/igs1481{1,2,3}.sp3
esbc="$r20/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
case_dir 2020-177-G 2020-06-25 yes "$esbc"
case_dir 2020-177-E 2020-06-25 yes --system E "$esbc"
for sys in G E; do
  "$new_build/tools/sp3_to_s3c" -q -s $sys --any-time-system -o "$work/2020-177-$sys/orbits.s3c" \
    "$o20"/GRG0MGXFIN_2020176*_ORB.SP3.gz "$o20"/GRG0MGXFIN_2020177*_ORB.SP3.gz 2>/dev/null
done

status=0
for c in 2002-030 2008-148 2020-177-G 2020-177-E; do
  for side in old new; do
    bin="$old/build/quelmar"
    [ "$side" = new ] && bin="$new_build/quelmar"
    rm -rf "$work/$c/$side" && mkdir "$work/$c/$side"
    (cd "$work/$c" && rm -f quelmar_v2.2.0.log quelmar-flush &&
     s=$(date +%s.%N) && "$bin" < stream.txt > "$side/out.txt" 2> "$side/err.txt" &&
     e=$(date +%s.%N) && mv quelmar_v2.2.0.log "$side/log.txt" &&
     awk -v s="$s" -v e="$e" 'BEGIN { printf "%.2f", e - s }' > "$side/seconds")
  done
  n=$(grep -c '^OB1 ' "$work/$c/stream.txt" || true)
  verdict="identical"
  for f in out.txt log.txt err.txt; do
    if ! cmp -s "$work/$c/old/$f" "$work/$c/new/$f"; then
      verdict="DIFFERENT ($f: $( (cmp "$work/$c/old/$f" "$work/$c/new/$f" 2>&1 || true) | head -1))"
      status=1
      break
    fi
  done
  printf '%s: %d OB1, stdout %s bytes, log %s bytes, %s s (old) / %s s (new): %s\n' "$c" "$n" \
    "$(stat -c %s "$work/$c/new/out.txt")" "$(stat -c %s "$work/$c/new/log.txt")" \
    "$(cat "$work/$c/old/seconds")" "$(cat "$work/$c/new/seconds")" "$verdict"
done
exit $status
