#!/usr/bin/env bash
# Cost of the troposphere models: the start-up read of the GPT2w 1-degree grid (time, size of its text
# and of the table it fills) and the cost per observation of each itropo_model, from
# bench/bench_troposphere.cpp; then the whole program on the embedded example's stream with the
# troposphere off and with each model (wall time, peak resident memory), models 2 to 4 on the shared
# data's grid and on hand-made VMF1 files that cover the example's stations.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELMAR_BUILD_DIR:-$top/build}"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target quelmar bench_troposphere >/dev/null
"$build/bench/bench_troposphere" --benchmark_min_time=0.5 2>/dev/null | grep -E "^BM_|^Benchmark"

grid="$top/../shared/data/tropo/gpt2_1wA.grd"
[ -f "$grid" ] || { echo "run_troposphere: no $grid, whole-program cases skipped"; exit 0; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
find "$top/examples" -maxdepth 1 -type f ! -name run.sh ! -name README.md -exec cp {} "$work" \;
ln -s "$grid" "$work/gpt2_1wA.grd"
cd "$work"
for h in 00 06 12 18 24; do
  { echo "! Range/resolution:   40 42 0 2.5 2 2.5"
    for p in "42.0 0.0" "42.0 2.5" "40.0 0.0" "40.0 2.5"; do echo " $p 0.00121 0.00051 2.3 0.1"; done; } > "VMFG_2002030$h"
done
for d in 030 031; do
  for s in BELL EBRE; do for q in 00 25 50 75; do echo "$s 52304.$q 0.00121 0.00051 2.3 0.1 270 1000 10 8 800"; done; done > "2002$d.vmf1"
done
cp quelmar_v2.2.0.nml base.nml
for m in off 1 2 3 4; do
  if [ "$m" = off ]; then cp base.nml quelmar_v2.2.0.nml
  else sed "s/model_apriori_tropo = .false./model_apriori_tropo = .true./; s/itropo_model = 1 /itropo_model = $m /" base.nml > quelmar_v2.2.0.nml; fi
  start=$(date +%s.%N)
  /usr/bin/time -f "%M" -o mem.txt "$build/quelmar" < messages.txt > out.txt
  end=$(date +%s.%N)
  awk -v m="$m" -v s="$start" -v e="$end" -v r="$(cat mem.txt)" 'BEGIN {
    printf "example stream (42 observations), troposphere %-3s: %.3f s, peak RSS %.1f MB\n", m, e - s, r / 1024 }'
done
