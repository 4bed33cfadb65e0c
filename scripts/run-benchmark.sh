#!/usr/bin/env bash
# Builds corvane optimised and runs an experiment with it: the six benchmark sizes, all four
# variants, three repetitions each on fresh input, with whatever miss counters this machine
# offers. The CSV report goes to results/corvane.csv and, where gnuplot is available, its plot
# to results/corvane.png. Options are passed on to corvane and replace the defaults of the same
# name (for example --sizes=1000000,4000000 --input=zipf --seed=1); with --format=xml the report
# is results/corvane.xml and no plot is made. For the benchmark's fixed report, run
# build/release/bench/corvane without arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIT_TESTS=OFF >&2
cmake --build build/release --target corvane >&2

defaults=(--counters=auto --format=csv --repeat=3)
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

mkdir -p results
report=results/corvane.$format
trap 'rm -f "$report.part"' EXIT
started=$(date +%s)
build/release/bench/corvane "${args[@]}" > "$report.part"
mv "$report.part" "$report"
echo "run-benchmark: report in $report ($(($(date +%s) - started)) s)" >&2

if [ "$format" = csv ] && [ -x bench/plot/plot.sh ] && command -v gnuplot > /dev/null; then
  bench/plot/plot.sh results/corvane.png "$report"
  echo "run-benchmark: plot in results/corvane.png" >&2
fi
