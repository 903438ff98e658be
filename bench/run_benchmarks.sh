#!/usr/bin/env bash
# Generates the benchmark plates and times them. Usage, from the project root
# after a Release build in build/:
#   bench/run_benchmarks.sh [repeats] [all|orders|threads]
# (orders: only the two pivot orders side by side and what follows them;
# threads: only the peak memory and wall time by thread count)
# Prints the stage split of each run (medians of the repeats, on every CPU)
# and the wall time and peak memory of the program itself, on one thread and
# on every CPU.
set -euo pipefail
repeats=${1:-3}
part=${2:-all}
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

# The memory a run holds should follow the model, not the thread count:
# both orders on 1 to 64 threads (more threads than cores is what a machine
# of many cores would give each of them).
if [ "$part" = threads ]; then
  for model in plate20k plate100k; do
    for ordering in minimum-degree nested; do
      for threads in 1 2 8 64; do
        echo "$model $ordering, $threads threads: $(QUORIX_THREADS=$threads wall_and_peak "$quorix" --ordering "$ordering" "$work/$model.dat")"
      done
    done
  done
  exit 0
fi

if [ "$part" = all ]; then
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
fi

# The two pivot orders side by side on plates of 20k to 400k elements: the
# program's wall time and peak memory (medians of the repeats), and from
# stage_times the ordering time, the forecast multiply-adds and the factor
# reals. Then the growth exponents of time and memory with the number of
# equations, fitted by least squares on the logarithms.
python3 "$root/bench/make_plate.py" 500 400 "$work/plate400k.dat"
echo "== the pivot orders"
table=$work/orders.txt
: >"$table"
for model in plate20k plate100k plate200k plate400k; do
  equations=$(awk '/^NODE/ { n = 0; getline; getline; getline; while ((getline line) > 0 && line !~ /^-/) ++n; print 2 * n; exit }' "$work/$model.dat")
  for ordering in minimum-degree nested; do
    stages=$("$stage_times" "$work/$model.dat" "$repeats" $([ "$ordering" = nested ] && echo nested) 2>/dev/null)
    order_time=$(echo "$stages" | awk '/^nested order/ { print $3 } END { if (!found) {} }')
    ops=$(echo "$stages" | sed -n 's/.*forecast flops \([^ ]*\).*/\1/p')
    reals=$(echo "$stages" | sed -n 's/^factor reals \([0-9]*\),.*/\1/p')
    measured=$(wall_and_peak "$quorix" --ordering "$ordering" "$work/$model.dat")
    wall=$(echo "$measured" | awk '{ print $2 }')
    peak=$(echo "$measured" | awk '{ print $5 }')
    echo "$model $equations $ordering wall ${wall} s, peak ${peak} MiB, ordering ${order_time:-0} s, multiply-adds $ops, factor reals $reals"
    echo "$ordering $equations $wall $peak" >>"$table"
  done
done
for ordering in minimum-degree nested; do
  awk -v o="$ordering" '$1 == o { x = log($2); n++; sx += x; sxx += x * x; st += log($3); sxt += x * log($3); sm += log($4); sxm += x * log($4) }
    END { d = n * sxx - sx * sx; printf "%s: time grows as N^%.2f, memory as N^%.2f\n", o, (n * sxt - sx * st) / d, (n * sxm - sx * sm) / d }' "$table"
done

# MUMPS over MPI, when an MPI build exists in build-mpi/ (README: "Beyond one
# machine"): the 100k plate with --solver mumps on 1 and 2 processes beside the
# own solver, wall time and peak memory of each process; then MUMPS's memory
# forecast after its analysis (INFOG(16), the largest process, and INFOG(17),
# all together) for 1, 2 and 4 processes on the 100k and 400k plates, each run
# stopped once the forecast is out.
mpi_quorix=$root/build-mpi/src/driver/quorix
if [ -x "$mpi_quorix" ]; then
  mpirun_options=(--oversubscribe)
  [ "$(id -u)" -ne 0 ] || mpirun_options+=(--allow-run-as-root)
  echo "== MUMPS over MPI"
  echo "own solver, nested order: $(wall_and_peak "$mpi_quorix" --ordering nested "$work/plate100k.dat")"
  for ranks in 1 2; do
    echo "mumps on $ranks: $(mpirun "${mpirun_options[@]}" -np "$ranks" /usr/bin/env time -f "%e s %M KiB" \
      "$mpi_quorix" --solver mumps "$work/plate100k.dat" 2>&1 >/dev/null | grep ' KiB$' | tr '\n' ' ')"
  done
  for model in plate100k plate400k; do
    for ranks in 1 2 4; do
      log=$work/estimates.log
      QUORIX_MUMPS_ESTIMATES=1 mpirun "${mpirun_options[@]}" -x QUORIX_MUMPS_ESTIMATES -np "$ranks" \
        "$mpi_quorix" --solver mumps "$work/$model.dat" >/dev/null 2>"$log" &
      run=$!
      while kill -0 "$run" 2>/dev/null && ! grep -q 'INFOG(16)' "$log"; do sleep 1; done
      kill "$run" 2>/dev/null || true
      wait "$run" 2>/dev/null || true
      echo "$model on $ranks: $(grep -o 'INFOG(16).*' "$log")"
    done
  done
fi
