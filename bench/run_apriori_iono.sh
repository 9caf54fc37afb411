#!/usr/bin/env bash
# Cost of the a priori ionosphere (NeQuick): the whole program on a real day with it off, with the slant
# content of every ray (stec_from_apriori_iono_rt), and with the voxel a priori of the ray tracing as
# well; observations per second and the cost per observation of each part. The day: BELL and EBRE of
# 2002-01-30 with the broadcast orbits, the voxel grid of the real-data tests (make_voxel_grid), the
# NeQuick files of ../shared/data/iono/nequick-itu and the day's solar flux (F10.7 248.8, saturated at 193).
# Usage: bench/run_apriori_iono.sh [BINARY]   (default: build-bench-iono/quelmar, built here).
# Standard output and log of each run are left in $QUELMAR_BENCH_KEEP when set (to compare versions).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
data="${QUELMAR_SHARED_DATA:-$top/../shared/data}"
build="$top/build-bench-iono"
d02="$data/rinex/2002-030"
for f in "$d02"/{bell,ebre}0300.02o "$d02/brdc0300.02n" "$data/antenna/igs05_1480.atx" "$data/antenna/ngs_abs.pcv" \
         "$data/iono/nequick-itu/ccir11.asc"; do
  [ -f "$f" ] || { echo "run_apriori_iono: missing $f" >&2; exit 1; }
done
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_TESTS=OFF -DQUELMAR_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target quelmar rinex_to_stream antex_to_gcs make_voxel_grid >/dev/null
bin="${1:-$build/quelmar}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
find "$top/examples" -maxdepth 1 -type f ! -name run.sh ! -name messages.txt ! -name README.md -exec cp {} . \;
ln -s "$data/antenna/ngs_abs.pcv" ngs_abs.pcv
"$build/tools/antex_to_gcs" --date 2002-01-30 "$data/antenna/igs05_1480.atx" gcs.txt 2>/dev/null
"$build/tools/rinex_to_stream" --nav "$d02/brdc0300.02n" "$d02/bell0300.02o" "$d02/ebre0300.02o" > stream.txt
"$build/tools/make_voxel_grid" -o voxel_centers.txt --ra 0 360 --dec 25 55 --shell 100 700 2 --res 10 15
printf '2002 30 119.0 248.8\n' > solar_flux.txt
printf '0 86400 13\n' > refsat.02-01-30
sed -e "s|igspcvfile     = 'antennas.pcv'|igspcvfile     = 'ngs_abs.pcv'|" \
    -e "s|gpscstatusfile = 'gps_constellation.txt'|gpscstatusfile = 'gcs.txt'|" \
    -e "s|silent_log = .false.|silent_log = .true.|" \
    -e "s|dmin_ray2centers = 1.0, dmin_rec2centers = 1.0|dmin_ray2centers = 1500.0, dmin_rec2centers = 3000.0|" \
    -e "s|hmin = 60.0, hmax = 1000.0|hmin = 100.0, hmax = 700.0|" \
    -e "s|apriori_iono_model_name = 'N'|apriori_iono_model_name = 'n'|" \
    -e "s|basedir_auxdata_apriori_iono = 'iono_data'|basedir_auxdata_apriori_iono = '$data/iono/nequick-itu'|" \
    "$top/examples/quelmar_v2.2.0.nml" > base.nml
nobs=$(grep -c '^OB1 ' stream.txt)
t_off=0
for c in off stec voxels; do
  case $c in
    off) cp base.nml quelmar_v2.2.0.nml ;;
    stec) sed -e 's/model_apriori_iono = .false./model_apriori_iono = .true./' \
              -e 's/stec_from_apriori_iono_rt = .false./stec_from_apriori_iono_rt = .true./' base.nml > quelmar_v2.2.0.nml ;;
    voxels) sed -e 's/model_apriori_iono = .false./model_apriori_iono = .true./' \
                -e 's/stec_from_apriori_iono_rt = .false./stec_from_apriori_iono_rt = .true./' \
                -e 's/estimate_iono_model = .false./estimate_iono_model = .true./' base.nml > quelmar_v2.2.0.nml ;;
  esac
  rm -f quelmar_v2.2.0.log quelmar-flush
  s=$(date +%s.%N); "$bin" < stream.txt > out.txt 2> err.txt; e=$(date +%s.%N)
  [ -n "${QUELMAR_BENCH_KEEP:-}" ] && { mkdir -p "$QUELMAR_BENCH_KEEP"; cp out.txt "$QUELMAR_BENCH_KEEP/out.$c.txt"; cp quelmar_v2.2.0.log "$QUELMAR_BENCH_KEEP/log.$c.txt"; }
  t=$(awk -v s="$s" -v e="$e" 'BEGIN { print e - s }')
  [ $c = off ] && t_off=$t
  awk -v c="$c" -v n="$nobs" -v t="$t" -v t0="$t_off" 'BEGIN {
    printf "2002-030 BELL+EBRE, a priori ionosphere %-6s: %d observations in %.2f s = %.0f observations/s; %.0f us per observation above the run without it\n",
      c, n, t, n / t, (t - t0) / n * 1e6 }'
done
