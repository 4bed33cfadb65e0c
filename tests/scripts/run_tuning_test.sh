#!/usr/bin/env bash
# Runs scripts/run-tuning.sh with the built corvane on a tiny grid at tiny sizes, one setting of
# which corvane refuses. Usage: run_tuning_test.sh SCRIPT CORVANE
set -uo pipefail

script=$(realpath "$1")
corvane=$(realpath "$2")
command -v gnuplot > /dev/null || { echo "gnuplot is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# One sort per measurement keeps the sweep within a second.
printf '#!/bin/sh\nexec "%s" "$@" --sorts-per-measurement=1\n' "$corvane" > "$work/corvane"
chmod +x "$work/corvane"
CORVANE=$work/corvane RESULTS_DIR=$work bash "$script" --sizes=3000,6000 --repeat=1 --seed=5 --alpha=2,4,100000 --d=2,2.5 \
  > "$work/out" 2> "$work/err" || fail "exit status $? ($(tail -n 3 "$work/err"))"
grep -q "left out alpha 100000, d 2: " "$work/err" || fail "the refused setting is not named"

# One row per size and measured setting: the coarse grid's four, then a refined grid of several.
csv=$work/tuning.csv
[ "$(head -n 1 "$csv")" = "size,alpha,d,cached_stack_ns_per_element,std_sort_ns_per_element,ratio,grid" ] ||
  fail "header: $(head -n 1 "$csv")"
for n in 3000 6000; do
  for setting in 2,2 2,2.5 4,2 4,2.5; do
    grep -q "^$n,$setting,[0-9.]*,[0-9.]*,[0-9.]*,coarse$" "$csv" || fail "no coarse row for $n items at $setting"
  done
  [ "$(grep -c "^$n,.*,refined$" "$csv")" -ge 9 ] || fail "fewer than 9 refined settings at $n items"
done
grep -q '^[0-9]*,100000,' "$csv" && fail "a row for the refused setting"
awk -F, 'NR > 1 && ($6 <= 0 || ($4 / $5 - $6) ^ 2 > 1e-4 * $6 ^ 2) { bad = 1 } END { exit !bad }' "$csv" &&
  fail "a ratio that is not the times' ratio"

# The last line names a setting with the lowest ratio at the largest size.
best=$(tail -n 1 "$work/out")
[[ "$best" =~ ^best:\ alpha=([0-9]+)\ d=([0-9.]+)\ ratio=([0-9.]+)$ ]] || fail "last line: '$best'"
lowest=$(awk -F, '$1 == 6000 { print $6 }' "$csv" | sort -g | head -n 1)
grep -q "^6000,${BASH_REMATCH[1]},${BASH_REMATCH[2]},[0-9.]*,[0-9.]*,$lowest," "$csv" ||
  fail "'$best' is not a setting with the lowest ratio $lowest"
[ "$(head -c 8 "$work/tuning.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "no PNG heat map"
[ "$(grep -c '^[0-9]*,cached-stack,' "$work/tuning-runs.csv")" -ge 26 ] || fail "the corvane rows are not kept"

[ "$(bash "$script" --help | head -n 1)" = "usage: scripts/run-tuning.sh [--sizes=N,...] [--input=NAME] [--repeat=R] [--seed=S] [--alpha=A,...] [--d=D,...]" ] ||
  fail "--help: no usage"
bash "$script" --sizes=many 2> /dev/null
[ $? -eq 2 ] || fail "a bad size is not a usage error"

[ "$failures" -eq 0 ] && echo "run-tuning script: all checks passed"
exit $((failures > 0))
