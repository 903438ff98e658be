#!/usr/bin/env bash
# Writes the golden files of the whole runs anew: for every model named in
# models.txt (paths from the top of the source tree), the result file, the
# report and the table that `quorix --report --csv MODEL` writes, as
# NAME.out, NAME.report and NAME.csv beside this script. Run it after a change
# that is meant to change an output, and read the diff before committing it.
#
#   tests/golden/runs/regenerate.sh [path/to/quorix]   (default build/src/driver/quorix)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../../.." && pwd)
quorix=$(realpath "${1:-$top/build/src/driver/quorix}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
while read -r model; do
  [ -n "$model" ] || continue
  name=$(basename "$model")
  cp "$top/$model" "$scratch/$name"
  # A run that ends with status 3 (results not to be trusted) is kept too.
  status=0
  (cd "$scratch" && "$quorix" --report --csv "$name" >/dev/null 2>&1) || status=$?
  if [ "$status" -ne 0 ] && [ "$status" -ne 3 ]; then
    echo "regenerate.sh: quorix ended with status $status on $model" >&2
    exit 1
  fi
  for extension in out report csv; do cp "$scratch/$name.$extension" "$here/$name.$extension"; done
  echo "regenerate.sh: $model"
done <"$here/models.txt"
