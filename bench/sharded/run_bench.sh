#!/usr/bin/env bash
# Sharded runs against one process, on the Chinese manual pages (manpages-zh):
# `vocs run --jobs 2` and the Dask recipe with two workers against
# `vocs run --jobs 1`, for a frequency and a co-occurrence statement in NORMAL
# mode; every result is compared byte for byte with the one-process result.
# Runs are interleaved (1, 2, dask, 1, 2, dask, ...) and the median wall time
# of each is reported with the ratios.
#
#   bench/sharded/run_bench.sh [BUILD_DIR] [WORK_DIR] [ROUNDS]
#
# Run it under `flock /work/lead/bench.lock` on a shared machine.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../../build}" && pwd)"
work="${2:-/tmp/vocs-sharded-bench}"
rounds="${3:-3}"
vocs="$build/cli/vocs"
python=/usr/bin/python3
mkdir -p "$work"
cd "$work"
if [ ! -f man.db ]; then
  "$python" "$here/make_manpages_corpus.py" man.jsonl
  "$vocs" import --db man.db --table man man.jsonl
fi
echo "corpus: $(sqlite3 man.db 'select count(*), sum(length(body)) from man' | tr '|' ' ') (records, characters)"

declare -A statements=(
  [frequency]="STAT WORDFREQ AT body(NORMAL) TO FILE=%s WHERE SELECT body FROM man"
  [cooccurrence]="STAT ASSOCIATEDFREQ AT section(NORMAL), body(NORMAL) TO FILE=%s WHERE SELECT section, body FROM man"
)

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Runs a command; appends its wall time to $1 and its CPU time (user + system,
# its child processes included) to $1.cpu.
timed() {
  local out="$1"; shift
  /usr/bin/time -f "%e %U %S" -o time.tmp "$@" >/dev/null 2>>time.log
  awk '{print $1}' time.tmp >> "$out"
  awk '{print $2 + $3}' time.tmp >> "$out.cpu"
}

for engine in frequency cooccurrence; do
  pattern="${statements[$engine]}"
  rm -f times-$engine-*
  for round in $(seq "$rounds"); do
    timed "times-$engine-1" "$vocs" run --db man.db --jobs 1 "$(printf "$pattern" "$work/one.txt")"
    timed "times-$engine-2" "$vocs" run --db man.db --jobs 2 "$(printf "$pattern" "$work/two.txt")"
    cmp one.txt two.txt
    timed "times-$engine-dask" "$python" "$here/../../scale/dask/vocs_dask.py" --local 2 \
      --vocs "$vocs" --db man.db --shards 2 --transfer bytes --to "FILE=$work/dask.txt" \
      "$(printf "$pattern" "$work/x.txt")"
    cmp one.txt dask.txt
  done
  one=$(median < "times-$engine-1"); two=$(median < "times-$engine-2"); dask=$(median < "times-$engine-dask")
  printf '%s: rows %s; wall: --jobs 1 %.2f s, --jobs 2 %.2f s (%.2fx), dask 2 workers %.2f s (%.2fx); ' \
    "$engine" "$(($(wc -l < one.txt) - 1))" "$one" "$two" "$(echo "$one / $two" | bc -l)" \
    "$dask" "$(echo "$one / $dask" | bc -l)"
  printf 'cpu: %.2f s, %.2f s, %.2f s; identical; load %s\n' "$(median < "times-$engine-1.cpu")" \
    "$(median < "times-$engine-2.cpu")" "$(median < "times-$engine-dask.cpu")" \
    "$(cut -d' ' -f1 /proc/loadavg)"
done
