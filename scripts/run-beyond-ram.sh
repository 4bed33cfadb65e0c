#!/usr/bin/env bash
# Runs the sorts below memory: a ladder of rungs, each a size of elements sorted on mapped storage
# under a memory limit (corvane --storage=mapped --memory-limit), and plots their time and the bytes
# they moved per element against size / limit, the input's bytes over the limit.
#
# The default ladder is 1 GiB of elements under 256 MiB, then 4 GiB under 1 GiB
# (67108864:256M,268435456:1G); each rung is one corvane run of the variants (default: cached-stack,
# std-sort, pdqsort-branchless), --repeat repetitions each, on the same seed in every rung. Each
# run needs 3 times its input's bytes free in --scratch-dir (default /var/tmp), a memory cgroup
# (corvane must run as root or in a delegated cgroup) and, for the default ladder, some 40 minutes.
#
# Writes, as the rungs finish, results/beyond-ram-runs.csv: every corvane row with the rung's limit
# in bytes appended as the column memory_limit (plot.sh reads it too). A run killed by the limit
# is a failed row there; a rung that corvane could not finish keeps the rows it wrote, and an
# interrupted ladder keeps the rungs so far. Then results/beyond-ram.csv, one row per rung and
# variant: the runs, how many of them failed, and medians of the checked runs: seconds, ns per
# element, bytes read and written per element, processor seconds (user, system) and the seconds
# the sort waited (wall time less processor time); and, where gnuplot is installed, the plot
# results/beyond-ram.png.
#
# For tests: CORVANE=PROGRAM runs that program instead of building corvane, and RESULTS_DIR=DIR
# puts the results there instead of results/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage_text='usage: scripts/run-beyond-ram.sh [--ladder=N:LIMIT,...] [--variants=V,...] [--repeat=R] [--seed=S] [--scratch-dir=DIR]
Sorts N elements on mapped storage under a memory limit for every rung of the ladder, and writes
results/beyond-ram-runs.csv (every run), results/beyond-ram.csv (medians per rung and variant) and
the plot results/beyond-ram.png of time and bytes moved per element against size / limit.
  --ladder=N:LIMIT,...  the rungs: element counts and limits with K, M or G
                        (default: 67108864:256M,268435456:1G)
  --variants=V,...      corvane'"'"'s variants (default: cached-stack,std-sort,pdqsort-branchless)
  --repeat=R            repetitions of every variant in every rung (default: 3)
  --seed=S              seed of the inputs, the same in every rung (default: the clock)
  --scratch-dir=DIR     the folder of the scratch files, on disk (default: /var/tmp)'
source "$root/scripts/standard_flags.sh"
source "$root/bench/plot/variant_style.sh"
answer_standard_flags run-beyond-ram.sh "$usage_text" "$@"

usage_error() {
  echo "run-beyond-ram: $1" >&2
  printf '%s\n' "$usage_text" >&2
  exit 2
}

ladder=67108864:256M,268435456:1G
variants=cached-stack,std-sort,pdqsort-branchless
repeat=3
seed=$(date +%s)
scratch_dir=/var/tmp
for arg in "$@"; do
  case "$arg" in
    --ladder=*) ladder=${arg#*=}; [[ "$ladder" =~ ^[0-9]+:[0-9]+[KMG]?(,[0-9]+:[0-9]+[KMG]?)*$ ]] ||
      usage_error "--ladder: not a list of N:LIMIT: $ladder" ;;
    --variants=*) variants=${arg#*=} ;;
    --repeat=*) repeat=${arg#*=}; [[ "$repeat" =~ ^[0-9]+$ ]] || usage_error "--repeat: not a count: $repeat" ;;
    --seed=*) seed=${arg#*=}; [[ "$seed" =~ ^[0-9]+$ ]] || usage_error "--seed: not a number: $seed" ;;
    --scratch-dir=*) scratch_dir=${arg#*=} ;;
    *) usage_error "unknown argument: $arg" ;;
  esac
done

source "$root/scripts/release_corvane.sh"
release_corvane "$root" corvane
results=${RESULTS_DIR:-$root/results}
mkdir -p "$results"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=$results/beyond-ram-runs.csv
: > "$runs"

# A limit as corvane reads it, in bytes.
limit_bytes() {
  local digits=${1%[KMG]}
  case "$1" in
    *K) echo $((digits << 10)) ;;
    *M) echo $((digits << 20)) ;;
    *G) echo $((digits << 30)) ;;
    *) echo "$digits" ;;
  esac
}

# The rows of one rung's report (it may end early) into the runs file, each with the limit
# appended; the first report's manifest and header head the file.
keep_rows() {  # report, limit in bytes
  [ -s "$1" ] || return 0
  if [ ! -s "$runs" ]; then
    awk -v limit="$2" '/^# / { print; next } !header { header = 1; print $0 ",memory_limit"; next } { print $0 "," limit }' "$1" >> "$runs"
  else
    awk -v limit="$2" '/^# / { next } !header { header = 1; next } { print $0 "," limit }' "$1" >> "$runs"
  fi
}

# One row per rung and variant, from the runs file: medians of the checked runs.
summarise() {
  awk -f "$root/scripts/csv_fields.awk" -f "$root/scripts/median.awk" -f /dev/stdin "$runs" <<'AWK'
    function add(name, value) { values[key, name] = values[key, name] " " value }
    /^# / { next }
    !header { header = 1; n = fields($0, head); for (i = 1; i <= n; i++) column[head[i]] = i; next }
    {
      delete row; fields($0, row)
      size = row[column["size"]]; limit = row[column["memory_limit"]]
      key = size "," limit "," row[column["variant"]]
      if (!(key in count)) order[++keys] = key
      count[key]++
      if (row[column["check"]] != "ok") { failed[key]++; next }
      seconds = row[column["seconds"]]; user = row[column["user_s"]]; sys = row[column["system_s"]]
      add("seconds", seconds)
      add("ns", row[column["ns_per_element"]])
      add("read", row[column["read_bytes"]] / size)
      add("write", row[column["write_bytes"]] / size)
      add("moved", (row[column["read_bytes"]] + row[column["write_bytes"]]) / size)
      add("user", user)
      add("system", sys)
      add("wait", seconds - user - sys)
    }
    END {
      print "size,memory_limit,size_to_limit,variant,runs,failed,seconds,ns_per_element,read_per_element,write_per_element,bytes_per_element,user_s,system_s,wait_s"
      for (k = 1; k <= keys; k++) {
        key = order[k]; split(key, part, ",")
        printf "%s,%s,%.4g,%s,%d,%d", part[1], part[2], part[1] * 16 / part[2], part[3], count[key], failed[key]
        split("seconds ns read write moved user system wait", names, " ")
        for (m = 1; m <= 8; m++) {
          v = median(values[key, names[m]])
          printf ",%s", v == "" ? "" : sprintf("%.6g", v)
        }
        printf "\n"
      }
    }
AWK
}

# The plot: ns per element and bytes moved per element against size / limit, a line per variant.
# Variant names, checked by corvane, reach gnuplot only inside single-quoted strings.
draw() {  # summary, picture
  local list_ns="" list_bytes="" sep="" variant style
  for variant in $(tail -n +2 "$1" | cut -d , -f 4 | sort -u); do
    awk -F, -v v="$variant" '$4 == v && $8 != "" { print $3, $8, $11 }' "$1" | sort -g > "$work/$variant.dat"
    [ -s "$work/$variant.dat" ] || continue
    style=$(variant_style "$variant")
    list_ns="$list_ns$sep'$work/$variant.dat' using 1:2 with linespoints $style linewidth 2 title '$variant' noenhanced"
    list_bytes="$list_bytes$sep'$work/$variant.dat' using 1:3 with linespoints $style linewidth 2 title '$variant' noenhanced"
    sep=", "
  done
  [ -n "$list_ns" ] || { echo "run-beyond-ram: no checked run to plot" >&2; return 0; }
  cat > "$work/plot.gp" <<GNUPLOT
set terminal pngcairo size 900,900 font "sans,10"
set multiplot layout 2,1 title 'Sorts on mapped storage under a memory limit, median of $repeat' noenhanced
set logscale x 2
set offsets graph 0.05, graph 0.05, graph 0.05, graph 0.05
set key top left
set grid
set xlabel "size / limit (input bytes over the memory limit, log scale)"
set ylabel "ns per element"
plot $list_ns
set ylabel "bytes read and written per element"
plot $list_bytes
unset multiplot
GNUPLOT
  if gnuplot "$work/plot.gp" > "$work/picture.png"; then
    mv "$work/picture.png" "$2"
  else
    echo "run-beyond-ram: the plot could not be drawn" >&2
    return 1
  fi
}

finish() {
  summarise > "$work/summary.csv"
  mv "$work/summary.csv" "$results/beyond-ram.csv"
  if command -v gnuplot > /dev/null; then
    draw "$results/beyond-ram.csv" "$results/beyond-ram.png"
  else
    echo "run-beyond-ram: gnuplot is missing (Debian package gnuplot-nox): no plot" >&2
  fi
  echo "run-beyond-ram: results in $runs, $results/beyond-ram.csv and $results/beyond-ram.png" >&2
}

# Stopped by SIGINT or SIGTERM: corvane, which runs in the background so that the signal comes
# through at once, is stopped and closes its report; its rows and the rungs before them are kept.
corvane_pid=
current_limit=0
interrupted() {
  if [ -n "$corvane_pid" ]; then
    kill -TERM "$corvane_pid" 2> /dev/null || true
    wait "$corvane_pid" || true
  fi
  keep_rows "$work/report" "$current_limit"
  finish
  exit 130
}
trap interrupted INT TERM

started=$(date +%s)
incomplete=0
for rung in ${ladder//,/ }; do
  size=${rung%%:*} limit=${rung#*:}
  current_limit=$(limit_bytes "$limit")
  : > "$work/report"
  rung_started=$(date +%s)
  "$corvane" --counters=none --format=csv --storage=mapped --scratch-dir="$scratch_dir" --memory-limit="$limit" \
    --sizes="$size" --variants="$variants" --repeat="$repeat" --seed="$seed" > "$work/report" 2> "$work/errors" < /dev/null &
  corvane_pid=$!
  status=0
  wait "$corvane_pid" || status=$?
  corvane_pid=
  if [ "$status" -eq 2 ]; then
    cat "$work/errors" >&2
    echo "run-beyond-ram: corvane refused the rung $size:$limit" >&2
    exit 1
  fi
  keep_rows "$work/report" "$current_limit"
  # Status 3: the report is complete but some runs failed (killed by the limit, for instance); any
  # other: corvane ended early, and the rows it wrote are kept.
  if [ "$status" -eq 3 ]; then
    echo "run-beyond-ram: $size:$limit: $(tail -n 1 "$work/errors"); see error in $runs" >&2
  elif [ "$status" -ne 0 ]; then
    incomplete=1
    tail -n 3 "$work/errors" >&2
    echo "run-beyond-ram: $size:$limit: corvane ended with status $status; its rows so far are kept" >&2
  fi
  echo "run-beyond-ram: $size elements under $limit: $(($(date +%s) - rung_started)) s" >&2
done
echo "run-beyond-ram: the ladder took $(($(date +%s) - started)) s" >&2
finish
exit "$incomplete"
