#!/usr/bin/env bash
# Sharded runs against one process, on the Chinese manual pages (manpages-zh,
# one record per rendered page): `vocs run --jobs 2` and the Dask recipe with
# two workers against `vocs run --jobs 1`, for a frequency and a co-occurrence
# statement in NORMAL mode; every result is compared byte for byte with the
# one-process result. Runs are interleaved (1, 2, dask, 1, 2, dask, ...) and
# the medians are reported, one summary line per engine:
#
#   frequency: jobs 1 W s (cpu C s) | jobs 2 W s (cpu C s) 1.85x | dask 2 workers W s (cpu C s) 0.40x | identical yes
#
# followed by the serial parts of a `--jobs 2` run, measured alone: the start
# (a dry run: for co-occurrence with the pair estimate), counting the query
# (SELECT count(*), which every shard does for itself), the merge with its
# delivery (`vocs merge` of the two partials) and each shard; from them the
# serial fraction and the speed-up it allows on two cores.
#
#   bench/sharded/run_bench.sh [BUILD_DIR] [WORK_DIR] [ROUNDS]
#
# Run it under `flock /work/lead/bench.lock` on a shared machine.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=../../scripts/lib/packages.sh
source "$here/../../scripts/lib/packages.sh"
ensure_packages manpages-zh groff-base bc sqlite3 time
build="$(cd "${1:-$here/../../build}" && pwd)"
work="${2:-/tmp/vocs-sharded-bench}"
rounds="${3:-3}"
vocs="$build/cli/vocs"
python=/usr/bin/python3
mkdir -p "$work"
cd "$work"
if [ ! -f pages.db ]; then
  "$python" "$here/make_manpages_corpus.py" pages.jsonl
  "$vocs" import --db pages.db --table pages pages.jsonl >/dev/null
fi
echo "corpus: $(sqlite3 pages.db 'select count(*), sum(length(body)) from pages' | tr '|' ' ') (records, characters of body); load $(cut -d' ' -f1 /proc/loadavg)"

declare -A statements=(
  [frequency]="STAT WORDFREQ AT body(NORMAL) TO FILE=%s WHERE SELECT body FROM pages"
  [cooccurrence]="STAT ASSOCIATEDFREQ AT name(NORMAL), body(NORMAL) TO FILE=%s WHERE SELECT name, body FROM pages"
)

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ratio() { echo "$1 / $2" | bc -l; }
# Runs a command; appends its wall time to $1 and its CPU time (user + system,
# its child processes included) to $1.cpu.
timed() {
  local out="$1"; shift
  /usr/bin/time -f "%e %U %S" -o time.tmp "$@" >/dev/null 2>>time.log
  awk '{print $1}' time.tmp >> "$out"
  awk '{print $2 + $3}' time.tmp >> "$out.cpu"
}
# "yes" when every file named equals one.txt byte for byte.
same() {
  local f
  for f in "$@"; do cmp -s one.txt "$f" || { echo no; return; }; done
  echo yes
}

for engine in frequency cooccurrence; do
  pattern="${statements[$engine]}"
  rm -f times-$engine-* two-*.txt dask-*.txt
  for round in $(seq "$rounds"); do
    timed "times-$engine-1" "$vocs" run --db pages.db --jobs 1 "$(printf "$pattern" "$work/one.txt")"
    timed "times-$engine-2" "$vocs" run --db pages.db --jobs 2 \
      "$(printf "$pattern" "$work/two-$round.txt")"
    timed "times-$engine-dask" "$python" "$here/../../scale/dask/vocs_dask.py" --local 2 \
      --vocs "$vocs" --db pages.db --shards 2 --transfer bytes --to "FILE=$work/dask-$round.txt" \
      "$(printf "$pattern" "$work/x.txt")" || true
  done
  identical=$(same two-*.txt dask-*.txt)
  one=$(median < "times-$engine-1"); two=$(median < "times-$engine-2")
  dask=$(median < "times-$engine-dask")
  printf '%s: jobs 1 %.2f s (cpu %.2f s) | jobs 2 %.2f s (cpu %.2f s) %.2fx | dask 2 workers %.2f s (cpu %.2f s) %.2fx | identical %s | rows %s, %s rounds, load %s\n' \
    "$engine" "$one" "$(median < "times-$engine-1.cpu")" \
    "$two" "$(median < "times-$engine-2.cpu")" "$(ratio "$one" "$two")" \
    "$dask" "$(median < "times-$engine-dask.cpu")" "$(ratio "$one" "$dask")" \
    "$identical" "$(($(wc -l < one.txt) - 1))" "$rounds" "$(cut -d' ' -f1 /proc/loadavg)"

  # The serial parts of a --jobs 2 run, each alone.
  statement="$(printf "$pattern" "$work/x.txt")"
  rm -f times-$engine-start* times-$engine-count* times-$engine-shard* times-$engine-merge*
  for round in $(seq "$rounds"); do
    timed "times-$engine-start" "$vocs" run --db pages.db --dry-run "$statement"
    timed "times-$engine-count" sqlite3 pages.db 'select count(*) from (select body from pages)'
    for k in 1 2; do
      timed "times-$engine-shard$k" "$vocs" run --db pages.db --shard "$k/2" \
        --partial "$work/part-$k" "$statement"
    done
    timed "times-$engine-merge" "$vocs" merge "$work/part-1" "$work/part-2" TO "FILE=$work/merged.txt"
  done
  start=$(median < "times-$engine-start.cpu"); count=$(median < "times-$engine-count.cpu")
  merge=$(median < "times-$engine-merge.cpu"); one_cpu=$(median < "times-$engine-1.cpu")
  shard1=$(median < "times-$engine-shard1.cpu"); shard2=$(median < "times-$engine-shard2.cpu")
  serial=$(echo "$start + $count + $merge" | bc -l)
  # Amdahl on two cores, with the shards' own CPU as the parallel part.
  longest=$(echo "if ($shard1 > $shard2) $shard1 else $shard2" | bc -l)
  printf '%s serial parts (cpu, medians): start %.3f s (with any estimate), count %.3f s, merge and delivery %.3f s; shards %.2f s and %.2f s; serial fraction %.1f %% of jobs 1 cpu; allows %.2fx on two cores (serial + longer shard: %.2fx)\n' \
    "$engine" "$start" "$count" "$merge" "$shard1" "$shard2" \
    "$(echo "100 * $serial / $one_cpu" | bc -l)" \
    "$(echo "1 / ($serial / $one_cpu + (1 - $serial / $one_cpu) / 2)" | bc -l)" \
    "$(echo "$one_cpu / ($serial + $longest)" | bc -l)"
done
