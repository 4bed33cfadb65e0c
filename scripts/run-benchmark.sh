#!/usr/bin/env bash
# Builds the programs optimised (in build/release) and runs an experiment with corvane: the six benchmark sizes, the four
# funnel variants beside std-sort and pdqsort-branchless, three repetitions each on fresh input,
# with whatever miss counters this machine offers. The CSV report goes to results/corvane.csv and, where gnuplot is available, its plot
# to results/corvane.png. Options are passed on to corvane and replace the defaults of the same
# name (for example --sizes=1000000,4000000 --input=zipf --seed=1); with --format=xml the report
# is results/corvane.xml and no plot is made. For the benchmark's fixed report, run
# build/release/bench/corvane without arguments.
#
# corvane runs in the folder the script was started from, so relative paths in the options (for
# example --input-file=in.dat) mean what they mean there. The report is written under a name of
# its own and replaces the previous one only when corvane succeeded; otherwise the previous
# report stays and the script fails. Two runs at once therefore never mix their rows.
#
# For tests: CORVANE=PROGRAM runs that program instead of building corvane, and RESULTS_DIR=DIR
# puts the report there instead of results/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

defaults=(--counters=auto --format=csv --repeat=3 --variants=funnel,std-sort,pdqsort-branchless)

# --help, -h or --version, with whatever else is given: answered, and nothing is built, run or written.
source "$root/scripts/standard_flags.sh"
answer_standard_flags run-benchmark.sh "usage: scripts/run-benchmark.sh [CORVANE_OPTION...]
Builds corvane and runs an experiment; the report goes to results/corvane.csv (results/corvane.xml
with --format=xml) and, where gnuplot is installed, its plot to results/corvane.png. The previous
report is replaced only when corvane succeeded. The options are corvane's (build/release/bench/corvane
--help lists them) and replace these defaults of the same name:
  ${defaults[*]}" "$@"

# Every program, so that the lab programs the README runs from build/release are there too.
source "$root/scripts/release_corvane.sh"
release_corvane "$root"

args=()
for option in "${defaults[@]}"; do
  given=0
  for arg in "$@"; do
    [ "${arg%%=*}" = "${option%%=*}" ] && given=1
  done
  [ "$given" = 1 ] || args+=("$option")
done
args+=("$@")

format=csv
for arg in "${args[@]}"; do
  [ "$arg" = --format=xml ] && format=xml
done

results=${RESULTS_DIR:-$root/results}
mkdir -p "$results"
report=$results/corvane.$format
part=$(mktemp "$report.XXXXXX")
corvane_pid=
trap 'rm -f "$part"' EXIT
# corvane runs in the background so that these traps run at once: bash would otherwise wait for
# the foreground program to end. A background program of a script also ignores SIGINT, so an
# interrupt reaches it only through here.
stop() {
  if [ -n "$corvane_pid" ]; then
    kill -TERM "$corvane_pid" 2> /dev/null || true
    wait "$corvane_pid" || true
  fi
  echo "run-benchmark: stopped by $1; the previous report, if any, is kept" >&2
  exit "$2"
}
trap 'stop SIGTERM 143' TERM
trap 'stop SIGINT 130' INT
trap 'stop SIGHUP 129' HUP

# "N of M": how many runs of a complete report failed or failed their check.
failed_runs() {
  if [ "$2" = xml ]; then
    awk '/^\t<run /{bad = 0} /<error>/{bad = 1} /^\t\t<check>/ && $0 != "\t\t<check>ok</check>"{bad = 1}
         /^\t<\/run>$/{runs++; failed += bad} END{print failed + 0 " of " runs + 0}' "$1"
  else
    awk -f "$root/scripts/csv_fields.awk" -f /dev/stdin "$1" <<'AWK'
      NR == 1 { n = fields($0, head); for (i = 1; i <= n; i++) column[head[i]] = i; next }
      { delete row; fields($0, row); runs++; if (row[column["check"]] != "ok" || row[column["error"]] != "") failed++ }
      END { print failed + 0 " of " runs + 0 }
AWK
  fi
}

started=$(date +%s)
status=0
"$corvane" "${args[@]}" > "$part" < /dev/null &
corvane_pid=$!
wait "$corvane_pid" || status=$?
corvane_pid=
# Status 3: the report is complete, but some of its runs failed; it is kept and plotted like any other.
if [ "$status" -ne 0 ] && [ "$status" -ne 3 ]; then
  echo "run-benchmark: corvane failed with status $status; the previous report, if any, is kept" >&2
  # corvane's status 2 is a wrong option, which is this script's wrong usage too.
  if [ "$status" -eq 2 ]; then exit 2; fi
  exit 1
fi
# mktemp makes the file readable by its owner only; give the report the permissions a new file
# would have.
chmod "$(printf '%o' $((0666 & ~$(umask))))" "$part"
mv "$part" "$report"
echo "run-benchmark: report in $report ($(($(date +%s) - started)) s)" >&2
if [ "$status" -eq 3 ]; then
  echo "run-benchmark: $(failed_runs "$report" "$format") runs failed; the report keeps them with their reasons" \
    "(check and error)" >&2
fi

if [ "$format" = csv ] && command -v gnuplot > /dev/null; then
  bash "$root/bench/plot/plot.sh" "$results/corvane.png" "$report"
  echo "run-benchmark: plot in $results/corvane.png" >&2
fi
exit "$status"
