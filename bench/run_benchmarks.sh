#!/usr/bin/env bash
# Generates the benchmark plates and times them. Usage, from the project root
# after a Release build in build/:
#   bench/run_benchmarks.sh [repeats]
# Prints the stage split of each run (medians of the repeats) and the wall time
# and peak memory of the program itself.
set -euo pipefail
repeats=${1:-3}
work=${TMPDIR:-/tmp}/quorix-bench
mkdir -p "$work"
root=$(cd "$(dirname "$0")/.." && pwd)
stage_times=$root/build/bench/stage_times
quorix=$root/build/src/driver/quorix

python3 "$root/bench/make_plate.py" 100 100 "$work/plate20k.dat"
python3 "$root/bench/make_plate.py" 250 200 "$work/plate100k.dat"
python3 "$root/bench/make_plate.py" 100 100 "$work/nonlinear20k.dat" --type NONLINEAR --increments 2 --value 1000

for model in plate20k plate100k nonlinear20k; do
  echo "== $model"
  "$stage_times" "$work/$model.dat" "$repeats" 2>/dev/null
  # The program itself: wall time and peak memory, median of the repeats.
  for ((r = 0; r < repeats; ++r)); do
    /usr/bin/env time -f "%e %M" "$quorix" "$work/$model.dat" 2>&1 >/dev/null | tail -1
  done | sort -n | awk '{ t[NR] = $1; m[NR] = $2 } END { i = int((NR + 1) / 2); printf "quorix wall %.2f s, peak %.0f MiB\n", t[i], m[i] / 1024 }'
done
