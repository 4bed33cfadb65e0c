#!/usr/bin/env bash
# Every script answers -h and --help with its usage and --version with its name and version, all
# with status 0 and before doing any work; the scripts that take no arguments refuse one with
# status 2. Usage: standard_flags_test.sh SOURCE_DIR
set -uo pipefail

root=$(realpath "$1")
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

for script in scripts/install-deps.sh scripts/run-benchmark.sh scripts/run-comparison.sh scripts/run-tests.sh \
              scripts/run-tuning.sh scripts/run-beyond-ram.sh \
              bench/plot/plot.sh bench/compare/cachegrind.sh; do
  name=${script##*/}
  for flag in -h --help; do
    out=$(timeout 10 bash "$root/$script" "$flag" 2> /dev/null)
    status=$?
    [ "$status" -eq 0 ] || fail "$name $flag: status $status"
    [[ $out == "usage: "* ]] || fail "$name $flag printed: $out"
  done
  out=$(timeout 10 bash "$root/$script" --version 2> /dev/null)
  status=$?
  [ "$status" -eq 0 ] || fail "$name --version: status $status"
  [[ $out == "$name "[0-9]* ]] || fail "$name --version printed: $out"
done

# install-deps.sh takes no arguments (run-tests.sh neither, but refusing it less would start the
# whole suite from inside it).
err=$(timeout 10 bash "$root/scripts/install-deps.sh" extra 2>&1 > /dev/null)
status=$?
[ "$status" -eq 2 ] || fail "install-deps.sh extra: status $status"
[[ $err == "usage: install-deps.sh"* ]] || fail "install-deps.sh extra printed: $err"

[ "$failures" -eq 0 ] && echo "standard flags: all checks passed"
