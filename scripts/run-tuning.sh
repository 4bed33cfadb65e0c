#!/usr/bin/env bash
# Sweeps the funnel's tuning (alpha, d) with corvane and finds the setting at which Cached stack
# sorts fastest, as a ratio to std::sort's time in the same corvane run.
#
# The grid: first a coarse one, alpha 1, 2, 4, 8, 16, 32 with d 1.5, 2, 2.5, 3 (--alpha and --d
# replace it); then a refined one around the coarse grid's best setting (alpha A, d D) at the
# largest size: the whole numbers nearest to A * 2^(k/4) for k = -2..2 with d = D + j/8 for
# j = -2..2 (d above 1 only). Each d of a grid is one corvane run of cached-stack at all its alphas
# beside std-sort, at every size with --repeat repetitions on the same inputs (one seed for the
# whole sweep); a setting corvane refuses (its threshold does not fit, its trees and scratch do not
# fit into memory) is left out and named on standard error.
#
# Writes results/tuning.csv (one row per size and setting of each grid: medians of the checked
# repetitions in ns per element, and their ratio), results/tuning-runs.csv (every corvane row, for
# bench/plot/plot.sh), and where gnuplot is installed the heat map results/tuning.png (alpha x d at
# the largest size, colour and label = the ratio, the best setting circled). The last line of
# standard output is "best: alpha=A d=D ratio=R", the lowest ratio at the largest size.
#
# For tests: CORVANE=PROGRAM runs that program instead of building corvane, and RESULTS_DIR=DIR
# puts the results there instead of results/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage_text='usage: scripts/run-tuning.sh [--sizes=N,...] [--input=NAME] [--repeat=R] [--seed=S] [--alpha=A,...] [--d=D,...]
Sweeps the funnel'"'"'s alpha and d (a coarse grid, then a finer one around its best setting) with
corvane, Cached stack beside std::sort in each run; writes results/tuning.csv, results/tuning-runs.csv
and the heat map results/tuning.png, and ends with the line "best: alpha=A d=D ratio=R".
  --sizes=N,...    item counts (default: 15360000); the best setting is that of the largest
  --input=NAME     corvane'"'"'s input pattern (default: uniform)
  --repeat=R       repetitions of every setting (default: 3)
  --seed=S         seed of the inputs, the same for every run (default: the clock)
  --alpha=A,...    the coarse grid'"'"'s alphas (default: 1,2,4,8,16,32)
  --d=D,...        the coarse grid'"'"'s ds (default: 1.5,2,2.5,3)'
source "$root/scripts/standard_flags.sh"
answer_standard_flags run-tuning.sh "$usage_text" "$@"

usage_error() {
  echo "run-tuning: $1" >&2
  printf '%s\n' "$usage_text" >&2
  exit 2
}

sizes=15360000
input=uniform
repeat=3
seed=$(date +%s)
alphas=1,2,4,8,16,32
ds=1.5,2,2.5,3
number_list='^[0-9]+(,[0-9]+)*$'
decimal_list='^[0-9]+(\.[0-9]+)?(,[0-9]+(\.[0-9]+)?)*$'
for arg in "$@"; do
  case "$arg" in
    --sizes=*) sizes=${arg#*=}; [[ "$sizes" =~ $number_list ]] || usage_error "--sizes: not a list of counts: $sizes" ;;
    --input=*) input=${arg#*=} ;;
    --repeat=*) repeat=${arg#*=}; [[ "$repeat" =~ ^[0-9]+$ ]] || usage_error "--repeat: not a count: $repeat" ;;
    --seed=*) seed=${arg#*=}; [[ "$seed" =~ ^[0-9]+$ ]] || usage_error "--seed: not a number: $seed" ;;
    --alpha=*) alphas=${arg#*=}; [[ "$alphas" =~ $number_list ]] || usage_error "--alpha: not a list of whole numbers: $alphas" ;;
    --d=*) ds=${arg#*=}; [[ "$ds" =~ $decimal_list ]] || usage_error "--d: not a list of decimals: $ds" ;;
    *) usage_error "unknown argument: $arg" ;;
  esac
done
largest=$(tr ',' '\n' <<< "$sizes" | sort -n | tail -n 1)

source "$root/scripts/release_corvane.sh"
release_corvane "$root" corvane
results=${RESULTS_DIR:-$root/results}
mkdir -p "$results"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
summary_header=size,alpha,d,cached_stack_ns_per_element,std_sort_ns_per_element,ratio,grid
: > "$work/summary"
: > "$work/runs"

# Medians of the checked repetitions of one corvane report, per size and setting, and Cached
# stack's ratio to std::sort's median at the same size: rows of tuning.csv for the given grid.
summarise() {  # report, grid name
  awk -v grid="$2" -f "$root/scripts/csv_fields.awk" -f "$root/scripts/median.awk" -f /dev/stdin "$1" <<'AWK'
    /^# / { next }
    !header { header = 1; n = fields($0, head); for (i = 1; i <= n; i++) column[head[i]] = i; next }
    {
      delete row; fields($0, row)
      if (row[column["check"]] != "ok") next
      size = row[column["size"]]; ns = row[column["ns_per_element"]]
      if (row[column["variant"]] == "std-sort") reference[size] = reference[size] " " ns
      else if (row[column["variant"]] == "cached-stack") {
        key = size "," row[column["alpha"]] "," row[column["d"]]
        times[key] = times[key] " " ns
      }
    }
    END {
      for (key in times) {
        split(key, k, ",")
        if (!(k[1] in reference)) continue
        mine = median(times[key]); theirs = median(reference[k[1]])
        printf "%s,%.3f,%.3f,%.4f,%s\n", key, mine, theirs, mine / theirs, grid
      }
    }
AWK
}

# One corvane run: cached-stack at every alpha of the list with this d, beside std-sort. A setting
# corvane refuses is dropped from the list and the rest run.
run_d() {  # grid name, d, alpha list
  local grid=$1 d=$2 list=$3 status refused started
  while [ -n "$list" ]; do
    started=$(date +%s)
    status=0
    "$corvane" --counters=none --format=csv --variants=cached-stack,std-sort --sizes="$sizes" --input="$input" \
      --repeat="$repeat" --seed="$seed" --alpha="$list" --d="$d" > "$work/report" 2> "$work/errors" < /dev/null ||
      status=$?
    refused=$(sed -n 's/^.*--alpha\/--d: alpha \([0-9]*\), d [0-9.]*: .*$/\1/p' "$work/errors" | head -n 1)
    if [ "$status" -eq 2 ] && [ -n "$refused" ]; then
      echo "run-tuning: left out $(sed -n 's/^.*--alpha\/--d: //p' "$work/errors" | head -n 1)" >&2
      list=$(tr ',' '\n' <<< "$list" | grep -vx "$refused" | paste -sd ,)
      continue
    fi
    # Status 3: the report is complete, but some runs failed or failed their check; their rows are kept
    # in tuning-runs.csv and left out of the medians.
    if [ "$status" -eq 3 ]; then
      echo "run-tuning: $(tail -n 1 "$work/errors") (d $d); see check and error in tuning-runs.csv" >&2
    elif [ "$status" -ne 0 ]; then
      cat "$work/errors" >&2
      echo "run-tuning: corvane failed with status $status (d $d, alpha $list)" >&2
      exit 1
    fi
    summarise "$work/report" "$grid" >> "$work/summary"
    # The first report's manifest and header head the collected rows.
    if [ -s "$work/runs" ]; then grep -v '^# ' "$work/report" | tail -n +2 >> "$work/runs"; else cat "$work/report" > "$work/runs"; fi
    echo "run-tuning: $grid grid, d $d, alpha $list: $(($(date +%s) - started)) s" >&2
    return
  done
}

# The lowest ratio at the largest size, from the rows gathered so far: "alpha d ratio".
best_setting() {
  awk -F, -v n="$largest" '$1 == n && (best == "" || $6 + 0 < best + 0) { best = $6; line = $2 " " $3 " " $6 } END { print line }' \
    "$work/summary"
}

started=$(date +%s)
for d in ${ds//,/ }; do run_d coarse "$d" "$alphas"; done
read -r best_alpha best_d _ <<< "$(best_setting)"
[ -n "$best_alpha" ] || { echo "run-tuning: no setting of the coarse grid was measured at $largest items" >&2; exit 1; }
fine_alphas=$(awk -v a="$best_alpha" 'BEGIN { for (k = -2; k <= 2; k++) { x = int(a * 2 ^ (k / 4) + 0.5); if (x >= 1 && !(x in seen)) { seen[x]; list = list (list == "" ? "" : ",") x } } print list }')
for d in $(awk -v d="$best_d" 'BEGIN { for (j = -2; j <= 2; j++) if (d + j / 8 > 1) printf "%g\n", d + j / 8 }'); do
  run_d refined "$d" "$fine_alphas"
done
read -r best_alpha best_d best_ratio <<< "$(best_setting)"
echo "run-tuning: the sweep took $(($(date +%s) - started)) s" >&2

{
  echo "$summary_header"
  sort -t , -k1,1n -k7,7 -k2,2n -k3,3g "$work/summary"
} > "$work/tuning.csv"
mv "$work/tuning.csv" "$results/tuning.csv"
mv "$work/runs" "$results/tuning-runs.csv"

# The heat map: only numbers reach gnuplot as data; the input's name, checked by corvane, goes
# into the title as a single-quoted string, where gnuplot expands nothing.
if command -v gnuplot > /dev/null; then
  awk -F, -v n="$largest" -v grid=coarse '$1 == n && $7 == grid { print $2, $3, $6 }' "$work/summary" > "$work/coarse.dat"
  awk -F, -v n="$largest" -v grid=refined '$1 == n && $7 == grid { print $2, $3, $6 }' "$work/summary" > "$work/refined.dat"
  echo "$best_alpha $best_d $best_ratio" > "$work/best.dat"
  # Every alpha of the grids is marked on the axis.
  alpha_tics=$(cut -d ' ' -f 1 "$work/coarse.dat" "$work/refined.dat" | sort -n -u | awk '{ printf "%s\"%s\" %s", (NR > 1 ? ", " : ""), $1, $1 }')
  title="Cached stack time / std::sort time, $largest items, input ${input//\'/\'\'}, median of $repeat (lower is faster)"
  cat > "$work/heat.gp" <<GNUPLOT
set terminal pngcairo size 1100,750 font "sans,10"
set title '$title' noenhanced
set logscale x 2
set xrange [*:*]
set offsets graph 0.06, graph 0.06, graph 0.06, graph 0.06
set xlabel "alpha (log scale)"
set ylabel "d"
set cblabel "ratio to std::sort (log scale)"
set logscale cb
set cbtics ("0.3" 0.3, "0.4" 0.4, "0.5" 0.5, "0.6" 0.6, "0.7" 0.7, "0.8" 0.8, "1" 1, "1.2" 1.2, "1.5" 1.5, "2" 2, "3" 3, "5" 5)
set palette defined (0 '#1a9850', 1 '#ffffbf', 2 '#d73027')
set xtics ($alpha_tics)
set key above
plot '$work/coarse.dat' using 1:2:3 with points pointtype 5 pointsize 7 palette title 'coarse grid', \\
     '$work/refined.dat' using 1:2:3 with points pointtype 5 pointsize 3.5 palette title 'refined grid', \\
     '$work/best.dat' using 1:2 with points pointtype 6 pointsize 6 linewidth 2 linecolor rgb 'black' title 'best', \\
     '$work/coarse.dat' using 1:2:(sprintf('%.2f', \$3)) with labels offset 0,1.6 font ",8" notitle, \\
     '$work/refined.dat' using 1:2:(sprintf('%.2f', \$3)) with labels font ",7" notitle
GNUPLOT
  if gnuplot "$work/heat.gp" > "$work/tuning.png"; then
    mv "$work/tuning.png" "$results/tuning.png"
  else
    echo "run-tuning: the heat map could not be drawn" >&2
    exit 1
  fi
else
  echo "run-tuning: gnuplot is missing (Debian package gnuplot-nox): no heat map" >&2
fi
echo "run-tuning: results in $results/tuning.csv, $results/tuning-runs.csv and $results/tuning.png" >&2
echo "best: alpha=$best_alpha d=$best_d ratio=$best_ratio"
