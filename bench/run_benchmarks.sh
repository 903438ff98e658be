#!/usr/bin/env bash
# Generates the benchmark plates and times them. Usage, from the project root
# after a Release build in build/:
#   bench/run_benchmarks.sh [repeats]
# Prints the stage split of each run (medians of the repeats, on every CPU)
# and the wall time and peak memory of the program itself, on one thread and
# on every CPU.
set -euo pipefail
repeats=${1:-3}
work=${TMPDIR:-/tmp}/quorix-bench
mkdir -p "$work"
root=$(cd "$(dirname "$0")/.." && pwd)
stage_times=$root/build/bench/stage_times
quorix=$root/build/src/driver/quorix

python3 "$root/bench/make_plate.py" 100 100 "$work/plate20k.dat"
python3 "$root/bench/make_plate.py" 250 200 "$work/plate100k.dat"
python3 "$root/bench/make_plate.py" 500 200 "$work/plate200k.dat"
python3 "$root/bench/make_plate.py" 100 100 "$work/nonlinear20k.dat" --type NONLINEAR --increments 2 --value 1000

# The program itself: wall time and peak memory, median of the repeats.
wall_and_peak() {
  for ((r = 0; r < repeats; ++r)); do
    /usr/bin/env time -f "%e %M" "$@" 2>&1 >/dev/null | tail -1
  done | sort -n | awk '{ t[NR] = $1; m[NR] = $2 } END { i = int((NR + 1) / 2); printf "wall %.2f s, peak %.0f MiB", t[i], m[i] / 1024 }'
}

for model in plate20k plate100k plate200k nonlinear20k; do
  echo "== $model"
  "$stage_times" "$work/$model.dat" "$repeats" 2>/dev/null
  # One thread against the default (every CPU of the affinity mask).
  echo "quorix, one thread: $(QUORIX_THREADS=1 wall_and_peak "$quorix" "$work/$model.dat")"
  echo "quorix, $(nproc) threads: $(wall_and_peak "$quorix" "$work/$model.dat")"
done

# What the outputs for checking a run add: the 100k plate alone and with
# --report --csv --vtu, one after the other in turn, medians of the repeats.
echo "== plate100k: the result file alone against --report --csv --vtu"
alone=() outputs=()
for ((r = 0; r < repeats; ++r)); do
  alone+=("$(/usr/bin/env time -f "%e" "$quorix" "$work/plate100k.dat" 2>&1 >/dev/null | tail -1)")
  outputs+=("$(/usr/bin/env time -f "%e" "$quorix" --report --csv --vtu "$work/plate100k.dat" 2>&1 >/dev/null | tail -1)")
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "alone: median wall $(median "${alone[@]}") s; with the outputs: median wall $(median "${outputs[@]}") s"
