#!/usr/bin/env bash
# Two builds of quorix on one model, run in turn (old, new, new, old, ...) so
# that both meet the same state of the machine; prints the median wall time,
# peak memory and system time of each and the ratio new / old. Usage:
#   bench/compare_builds.sh OLD_QUORIX NEW_QUORIX MODEL.dat [repeats] [options for both]
set -euo pipefail
old=$1 new=$2 model=$3 repeats=${4:-3}
shift $(($# < 4 ? $# : 4))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$model" "$work/old.dat"
cp "$model" "$work/new.dat"
# A run finds some of the memory the run before it gave back still warm, so
# the two builds take turns at going first.
run() { /usr/bin/env time -f "$1 %e %M %S" "$2" "${@:3}" "$work/$1.dat" 2>&1 >/dev/null | tail -1; }
for ((r = 0; r < repeats; ++r)); do
  if ((r % 2 == 0)); then
    run old "$old" "$@"
    run new "$new" "$@"
  else
    run new "$new" "$@"
    run old "$old" "$@"
  fi
done | awk '{ t[$1] = t[$1] " " $2; m[$1] = m[$1] " " $3; s[$1] = s[$1] " " $4 }
  function median(list,   v, n, i, j, x) {
    n = split(list, v, " ")
    for (i = 2; i <= n; ++i) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; --j) { x = v[j]; v[j] = v[j - 1]; v[j - 1] = x }
    return v[int((n + 1) / 2)]
  }
  END {
    for (b in t) { mt[b] = median(t[b]); mm[b] = median(m[b]); ms[b] = median(s[b]) }
    printf "old: wall %.2f s, peak %.0f MiB, system %.2f s\n", mt["old"], mm["old"] / 1024, ms["old"]
    printf "new: wall %.2f s, peak %.0f MiB, system %.2f s\n", mt["new"], mm["new"] / 1024, ms["new"]
    printf "new / old: wall %.2f, peak %.2f\n", mt["new"] / mt["old"], mm["new"] / mm["old"]
  }'
