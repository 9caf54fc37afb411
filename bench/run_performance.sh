#!/usr/bin/env bash
# Throughput of the whole program on real station-days of six receivers (the program's limit), every
# a priori model on (solid tide, ocean loading, GPT2w troposphere), against the I/O limit of the same
# runs and against a peer program processing the same RINEX day:
#   (a) the I/O limit: bench/io_limit reads each day's stream with the program's reader and writes the
#       records of the real run (same lines, same bytes) with the program's writer, computing nothing;
#   (b) the full program with precise orbits (ACOR, MADR, SCOA, SFER of 2008-05-27 plus copies of ACOR
#       and MADR named ACO2 and MAD2; IGS final orbits and clocks of 2008-05-26..28, three days loaded)
#       and with broadcast orbits (BELL, EBRE of 2002-01-30 and two copies of each; the day's navigation
#       file); ocean loading GOT00 for every station (the copies get the coefficients of their original);
#   (c) the same with the NeQuick a priori ionosphere (slant content of every ray);
#   (d) the peer: Debian's rtklib (rnx2rtkp, installed here when missing; not a dependency of the
#       program), static PPP, ionosphere-free L1+L2, GPS, solid tide, 10 degree mask, on the one day of
#       the data that has precise orbits, precise 30 s clocks and the broadcast navigation file rnx2rtkp
#       insists on (it takes its first clock guess from it even in PPP): ESBC of 2020-06-25 with the GRG
#       orbits and clocks, six times (the six copies our run processes). Our side of the comparison is
#       the same six copies of ESBC in one run, every model on (the station has no loading coefficients),
#       with the GRG orbits of 2020-06-24..25.
# Printed: observations (satellite-epochs) per second of each run, the ratios full / I/O limit and
# ours / peer, peak memory, and the share of time per step (from a build with the step profile).
#
# Usage: bench/run_performance.sh          (builds in build-bench-perf and build-bench-perf-prof)
# Environment: QUELMAR_SHARED_DATA for the data folder (default ../shared/data beside the repository);
#              QUELMAR_BENCH_KEEP=DIR keeps every run's standard output and log there;
#              QUELMAR_BENCH_WORK=DIR runs in DIR (emptied first) and leaves the cases there;
#              QUELMAR_PEER_ROUNDS=N alternates ours and the peer N times (default 3).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$top/build-bench-perf"; prof="$top/build-bench-perf-prof"
data="${QUELMAR_SHARED_DATA:-$top/../shared/data}"
d02="$data/rinex/2002-030"; d08="$data/rinex/2008-148"; orb="$data/orbits/2008-148"
r20="$data/rinex/2020-177"; o20="$data/orbits/2020-177"
for f in "$d08"/{acor,madr,scoa,sfer}1480.08o "$orb"/igs1481{1,2,3}.sp3 "$d02"/{bell,ebre}0300.02o \
         "$d02/brdc0300.02n" "$data/antenna/igs05_1480.atx" "$data/antenna/ngs_abs.pcv" \
         "$data/otl/OCEAN-GOT00.dat" "$data/tropo/gpt2_1wA.grd" "$data/iono/nequick-itu/ccir11.asc" \
         "$r20/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz" "$r20/ESBC00DNK_R_20201770000_01D_MN.rnx.gz" \
         "$o20/GRG0MGXFIN_20201770000_01D_30S_CLK.CLK.gz"; do
  [ -f "$f" ] || { echo "run_performance: missing $f" >&2; exit 1; }
done

echo "== building (Release, and Release with the step profile)" >&2
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_STEP_PROFILE=OFF -DQUELMAR_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target quelmar io_limit rinex_to_stream sp3_to_s3c antex_to_gcs >/dev/null
cmake -S "$top" -B "$prof" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_STEP_PROFILE=ON -DQUELMAR_TESTS=OFF >/dev/null
cmake --build "$prof" -j2 --target quelmar >/dev/null
if ! command -v rnx2rtkp >/dev/null; then
  echo "== installing the peer (rtklib)" >&2
  (apt-get install -y rtklib || { apt-get update && apt-get install -y rtklib; }) >/dev/null 2>&1 ||
    echo "run_performance: rtklib could not be installed: the peer is skipped" >&2
fi

if [ -n "${QUELMAR_BENCH_WORK:-}" ]; then work="$QUELMAR_BENCH_WORK"; rm -rf "$work"; mkdir -p "$work"
else work="$(mktemp -d)"; trap 'rm -rf "$work"' EXIT; fi
# A copy of a station under another name: only the marker name changes.
rename_marker() { awk -v n="$2" 'substr($0, 61, 11) == "MARKER NAME" && !done { $0 = n substr($0, 5); done = 1 } { print }' "$1" > "$3"; }
# The loading file with the coefficients of station $1 appended under the name $2 (its first block).
blq_copy() { awk -v s="$1" -v n="$2" 'NF == 1 && $1 == s && !go && !done { go = 1; print "  " n; next }
  go && !/^\$\$/ { print; if (++k == 6) { go = 0; done = 1 } }' "$data/otl/OCEAN-GOT00.dat"; }
cp "$data/otl/OCEAN-GOT00.dat" "$work/loading.blq"
for p in "ACOR ACO2" "MADR MAD2" "BELL BEL2" "BELL BEL3" "EBRE EBR2" "EBRE EBR3"; do blq_copy $p >> "$work/loading.blq"; done

# case_dir NAME DATE ORBITS: the example's files and configuration with every model on (edited by
# bench/chain_case/precise_2008.sed, whose orbit lines are dropped when ORBITS is broadcast).
case_dir() {
  local d="$work/$1" sedf="$work/edits.sed"
  mkdir -p "$d"
  find "$top/examples" -maxdepth 1 -type f ! -name run.sh ! -name messages.txt ! -name README.md -exec cp {} "$d" \;
  if [ "$3" = precise ]; then cp "$top/bench/chain_case/precise_2008.sed" "$sedf"; else grep -v precise "$top/bench/chain_case/precise_2008.sed" > "$sedf"; fi
  cat "$top/bench/chain_case/all_models.sed" >> "$sedf"
  sed -f "$sedf" "$top/examples/quelmar_v2.2.0.nml" > "$d/full.nml"
  sed -e "s|basedir_auxdata_apriori_iono = 'iono_data'|basedir_auxdata_apriori_iono = '$data/iono/nequick-itu'|" \
      "$d/full.nml" > "$d/nequick.nml"
  sed -i -f "$top/bench/chain_case/nequick.sed" "$d/nequick.nml"
  ln -s "$data/antenna/ngs_abs.pcv" "$d/ngs_abs.pcv"
  ln -s "$data/antenna/igs05_1480.atx" "$d/igs05_1480.atx"
  ln -s "$data/tropo/gpt2_1wA.grd" "$d/gpt2_1wA.grd"
  "$build/tools/antex_to_gcs" --date "$2" "$data/antenna/igs05_1480.atx" "$d/gcs.txt" 2>/dev/null
}
case_dir precise 2008-05-27 precise
(cd "$work/precise"
 for s in acor madr scoa sfer; do ln -s "$d08/${s}1480.08o" "$s.08o"; done
 rename_marker "$d08/acor1480.08o" ACO2 aco2.08o
 rename_marker "$d08/madr1480.08o" MAD2 mad2.08o
 "$build/tools/rinex_to_stream" --blq "$work/loading.blq" acor.08o madr.08o scoa.08o sfer.08o aco2.08o mad2.08o > stream.txt
 "$build/tools/sp3_to_s3c" -q -o orbits.s3c "$orb"/igs1481{1,2,3}.sp3
 printf 'MADR\n' > sta2refrec.txt; printf 'ACOR\nSCOA\nSFER\nACO2\nMAD2\n' > sta2estpos.txt
 printf '2008 148 0.0 69.7\n' > solar_flux.txt
 printf '0 86400 22\n' > refsat.08-05-27)
case_dir broadcast 2002-01-30 broadcast
(cd "$work/broadcast"
 ln -s "$d02/bell0300.02o" bell.02o; ln -s "$d02/ebre0300.02o" ebre.02o
 for n in BEL2 BEL3; do rename_marker "$d02/bell0300.02o" $n $n.02o; done
 for n in EBR2 EBR3; do rename_marker "$d02/ebre0300.02o" $n $n.02o; done
 "$build/tools/rinex_to_stream" --blq "$work/loading.blq" --nav "$d02/brdc0300.02n" bell.02o ebre.02o BEL2.02o EBR2.02o BEL3.02o EBR3.02o > stream.txt
 printf 'BELL\n' > sta2refrec.txt; printf 'EBRE\nBEL2\nEBR2\nBEL3\nEBR3\n' > sta2estpos.txt
 printf '2002 30 119.0 248.8\n' > solar_flux.txt
 printf '0 86400 13\n' > refsat.02-01-30)
case_dir esbc 2020-06-25 precise
(cd "$work/esbc"
 zcat "$r20/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz" > esbc.rnx
 for n in ESB2 ESB3 ESB4 ESB5 ESB6; do rename_marker esbc.rnx $n $n.rnx; done
 "$build/tools/rinex_to_stream" esbc.rnx ESB2.rnx ESB3.rnx ESB4.rnx ESB5.rnx ESB6.rnx > stream.txt 2>/dev/null
 "$build/tools/sp3_to_s3c" -q -s G --any-time-system -o orbits.s3c "$o20"/GRG0MGXFIN_2020176*_ORB.SP3.gz \
   "$o20"/GRG0MGXFIN_2020177*_ORB.SP3.gz 2>/dev/null
 printf 'ESBC\n' > sta2refrec.txt; printf 'ESB2\nESB3\nESB4\nESB5\nESB6\n' > sta2estpos.txt
 printf '0 86400 13\n' > refsat.20-06-25)

declare -A rate
report() { # $1 key, $2 label, $3 observations, $4 seconds, $5 peak KiB or -
  rate[$1]=$(awk -v n="$3" -v t="$4" 'BEGIN { printf "%.0f", n / t }')
  printf '%-44s %8d obs %8.2f s %9s obs/s   peak RSS %s\n' "$2" "$3" "$4" "${rate[$1]}" \
    "$([ "$5" = - ] && echo - || echo "$(( $5 / 1024 )) MB")"
}
run() { # $1 case, $2 configuration, $3 binary, $4 key, $5 label
  cd "$work/$1"
  cp "$2" quelmar_v2.2.0.nml
  rm -f quelmar_v2.2.0.log quelmar-flush
  local s e nobs
  nobs=$(grep -c '^OB1 ' stream.txt)
  s=$(date +%s.%N)
  /usr/bin/time -f "%M" -o mem.txt "$3" < stream.txt > out.txt 2> err.txt
  e=$(date +%s.%N)
  report "$4" "$5" "$nobs" "$(awk -v s="$s" -v e="$e" 'BEGIN { print e - s }')" "$(cat mem.txt)"
  case "$5" in *profile*) ;; *) if grep -q . err.txt; then echo "-- standard error:"; head -5 err.txt; fi ;; esac
  if [ -n "${QUELMAR_BENCH_KEEP:-}" ]; then
    mkdir -p "$QUELMAR_BENCH_KEEP"; cp out.txt "$QUELMAR_BENCH_KEEP/$4.out"; cp quelmar_v2.2.0.log "$QUELMAR_BENCH_KEEP/$4.log"
  fi
}
io_limit() { # $1 case, $2 key, $3 label: the I/O limit of the run whose output is in out.txt
  cd "$work/$1"
  local t
  t=$("$build/bench/io_limit" out.txt < stream.txt 2>&1 > io.txt | awk '{ print $1 }')
  cmp -s <(wc -lc < io.txt) <(wc -lc < out.txt) || echo "run_performance: I/O limit wrote other counts than the run" >&2
  report "$2" "$3" "$(grep -c '^OB1 ' stream.txt)" "$t" -
}

echo "== (b, c) the program, and (a) the I/O limit of each run"
for c in precise broadcast; do
  run $c full.nml "$build/quelmar" "$c" "$c orbits, every model"
  io_limit $c "$c-io" "$c orbits, I/O limit (same lines and bytes)"
  run $c nequick.nml "$build/quelmar" "$c-nq" "$c orbits, every model + NeQuick"
  io_limit $c "$c-nq-io" "$c orbits + NeQuick, I/O limit"
done
echo "== (d) the peer: rnx2rtkp static PPP, ESBC of 2020-06-25 six times, against our run of the six copies"
# The machine's pace drifts by up to a third within minutes: ours and the peer run alternately, three
# rounds (QUELMAR_PEER_ROUNDS), and the fastest of each is compared.
rounds="${QUELMAR_PEER_ROUNDS:-3}"
if ! command -v rnx2rtkp >/dev/null; then
  run esbc full.nml "$build/quelmar" "esbc" "2020-06-25 ESBC x6, GRG orbits, every model"
  echo "rnx2rtkp not available: peer skipped"
else
  cd "$work/esbc"
  zcat "$r20/ESBC00DNK_R_20201770000_01D_MN.rnx.gz" > esbc.nav
  for f in "$o20"/*.gz; do zcat "$f" > "$(basename "$f" .gz)"; done
  cat > ppp.conf <<CONF
pos1-posmode       =ppp-static
pos1-frequency     =l1+2
pos1-soltype       =forward
pos1-elmask        =10
pos1-ionoopt       =dual-freq
pos1-tropopt       =est-ztd
pos1-sateph        =precise
pos1-tidecorr      =on
pos1-navsys        =1
pos1-posopt1       =on
pos1-posopt2       =on
pos1-posopt3       =on
ant1-anttype       =*
file-satantfile    =$data/antenna/igs05_1480.atx
file-rcvantfile    =$data/antenna/igs05_1480.atx
out-solformat      =xyz
CONF
  rate[esbc]=0; rate[peer]=0
  for r in $(seq "$rounds"); do
    run esbc full.nml "$build/quelmar" "esbc-$r" "2020-06-25 ESBC x6, GRG orbits, every model"
    cd "$work/esbc"
    s=$(date +%s.%N)
    /usr/bin/time -f "%M" -o mem.txt sh -c 'for f in esbc ESB2 ESB3 ESB4 ESB5 ESB6; do
      rnx2rtkp -k ppp.conf -o $f.pos $f.rnx esbc.nav GRG0MGXFIN_2020176*_ORB.SP3 GRG0MGXFIN_2020177*_ORB.SP3 \
        GRG0MGXFIN_20201770000_01D_30S_CLK.CLK 2>/dev/null || exit 1; done'
    e=$(date +%s.%N)
    # Satellite-epochs: the GPS observations of the six files, as our run counts them (OB1 lines).
    report "peer-$r" "rnx2rtkp static PPP, the same six files" "$(grep -c '^OB1 ' stream.txt)" \
      "$(awk -v s="$s" -v e="$e" 'BEGIN { print e - s }')" "$(cat mem.txt)"
    if [ "${rate[esbc-$r]}" -gt "${rate[esbc]}" ]; then rate[esbc]=${rate[esbc-$r]}; fi
    if [ "${rate[peer-$r]}" -gt "${rate[peer]}" ]; then rate[peer]=${rate[peer-$r]}; fi
  done
  echo "   fastest of $rounds rounds: ours ${rate[esbc]} obs/s, peer ${rate[peer]} satellite-epochs/s"
  echo "   peer solutions: $(cat ./*.pos | grep -vc '^%') epochs, $(cat ./*.pos | awk '!/^%/ && $6 == 6 { n++ } END { print n + 0 }') of them PPP (Q=6)"
fi

echo "== ratios"
awk -v p="${rate[precise]}" -v pi="${rate[precise-io]}" -v b="${rate[broadcast]}" -v bi="${rate[broadcast-io]}" \
    -v pn="${rate[precise-nq]}" -v pni="${rate[precise-nq-io]}" -v e="${rate[esbc]}" -v peer="${rate[peer]:-0}" 'BEGIN {
  printf "precise full / I/O limit    %.3f   (target at least 0.333)\n", p / pi
  printf "broadcast full / I/O limit  %.3f\n", b / bi
  printf "precise + NeQuick / I/O     %.3f\n", pn / pni
  if (peer > 0) printf "2020-06-25 ours / peer      %.2f    (target at least 1.5)\n", e / peer }'

echo "== time per step (build with the step profile, every model)"
for c in precise broadcast; do
  run $c full.nml "$prof/quelmar" "$c-prof" "$c orbits, every model (step profile)"
  cat "$work/$c/err.txt"
done
