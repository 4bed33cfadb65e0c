#!/usr/bin/env bash
# Runs scripts/run-beyond-ram.sh with a stand-in for corvane that writes made-up reports: a rung
# whose runs all pass, one in which a variant is killed by the limit (status 3), one that corvane
# cannot finish, and one it refuses. Usage: run_beyond_ram_test.sh SCRIPT
set -uo pipefail

script=$(realpath "$1")
command -v gnuplot > /dev/null || { echo "gnuplot is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The stand-in: variant v (from 1) in repetition r sorts in v + r / 10 seconds, of which 0.5 user
# and 0.1 system, and reads 10 v and writes 6 v bytes per element. Under 1M pdqsort-branchless is
# killed by the limit; 3000 elements end corvane after its first row; 4000 are refused; 5000 wait
# after their first row until a signal comes.
cat > "$work/corvane" <<'STANDIN'
#!/usr/bin/env bash
for arg in "$@"; do
  case "$arg" in
    --sizes=*) n=${arg#*=} ;;
    --memory-limit=*) limit=${arg#*=} ;;
    --variants=*) IFS=, read -r -a variants <<< "${arg#*=}" ;;
    --repeat=*) repeat=${arg#*=} ;;
    --storage=mapped) mapped=1 ;;
  esac
done
[ "${mapped:-}" = 1 ] || { echo "corvane: not mapped" >&2; exit 1; }
[ "$n" = 4000 ] && { echo "corvane: --memory-limit: no memory controller" >&2; exit 2; }
echo "# processor: stand-in"
echo "size,variant,repetition,input,seed,seconds,ns_per_element,l2_misses,tlb_misses,l2_event,tlb_event,counter_status,virtualized,check,error,type,sorts_per_measurement,alpha,d,major_faults,minor_faults,read_bytes,write_bytes,user_s,system_s,peak_rss_bytes"
failed=0
for ((r = 1; r <= repeat; r++)); do
  v=0
  for variant in "${variants[@]}"; do
    v=$((v + 1))
    if [ "$limit" = 1M ] && [ "$variant" = pdqsort-branchless ]; then
      echo "$n,$variant,$r,uniform,5,,,,,,,none,unknown,,killed by the memory limit (1M),element,,,,,,,,,,"
      failed=$((failed + 1))
      continue
    fi
    seconds=$v.$r
    ns=$(((10 * v + r) * 100000000 / n))
    echo "$n,$variant,$r,uniform,5,$seconds,$ns,,,,,none,unknown,ok,,element,1,,,3,7,$((10 * v * n)),$((6 * v * n)),0.5,0.1,999"
    [ "$n" = 3000 ] && exit 143
    [ "$n" = 5000 ] && exec sleep 30
  done
done
[ "$failed" -gt 0 ] && { echo "corvane: $failed of $((repeat * ${#variants[@]})) runs failed" >&2; exit 3; }
exit 0
STANDIN
chmod +x "$work/corvane"

CORVANE=$work/corvane RESULTS_DIR=$work bash "$script" --ladder=1000:2M,2000:1M,3000:1M --variants=cached-stack,pdqsort-branchless \
  --repeat=3 --seed=5 --scratch-dir="$work" > "$work/out" 2> "$work/err"
status=$?
[ "$status" -eq 1 ] || fail "status $status after a rung corvane could not finish ($(tail -n 3 "$work/err"))"
grep -q "2000:1M: corvane: 3 of 6 runs failed" "$work/err" || fail "the killed runs are not named: $(cat "$work/err")"
grep -q "3000:1M: corvane ended with status 143; its rows so far are kept" "$work/err" || fail "the cut rung is not named"

# Every row of every rung, the killed and the cut one's included, with its limit.
runs=$work/beyond-ram-runs.csv
[ "$(head -n 1 "$runs")" = "# processor: stand-in" ] || fail "the manifest does not head the runs"
[ "$(grep -c '^size,' "$runs")" -eq 1 ] || fail "not one header"
grep -q ',peak_rss_bytes,memory_limit$' "$runs" || fail "no memory_limit column"
[ "$(grep -c '^1000,.*,2097152$' "$runs")" -eq 6 ] || fail "the first rung's rows"
[ "$(grep -c '^2000,pdqsort-branchless,.*killed by the memory limit (1M).*,1048576$' "$runs")" -eq 3 ] || fail "the killed rows"
[ "$(grep -c '^3000,' "$runs")" -eq 1 ] || fail "the cut rung's row"

# Medians of the checked runs: cached-stack (v 1) in 1.2 s, pdqsort-branchless (v 2) in 2.2 s.
summary=$work/beyond-ram.csv
[ "$(head -n 1 "$summary")" = "size,memory_limit,size_to_limit,variant,runs,failed,seconds,ns_per_element,read_per_element,write_per_element,bytes_per_element,user_s,system_s,wait_s" ] ||
  fail "summary header: $(head -n 1 "$summary")"
expect_row() { grep -qx "$1" "$summary" || fail "no summary row $1 in: $(cat "$summary")"; }
expect_row "1000,2097152,0.007629,cached-stack,3,0,1.2,1.2e+06,10,6,16,0.5,0.1,0.6"
expect_row "1000,2097152,0.007629,pdqsort-branchless,3,0,2.2,2.2e+06,20,12,32,0.5,0.1,1.6"
expect_row "2000,1048576,0.03052,cached-stack,3,0,1.2,600000,10,6,16,0.5,0.1,0.6"
expect_row "2000,1048576,0.03052,pdqsort-branchless,3,3,,,,,,,,"
expect_row "3000,1048576,0.04578,cached-stack,1,0,1.1,366666,10,6,16,0.5,0.1,0.5"
[ "$(head -c 8 "$work/beyond-ram.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "no PNG plot"

# A rung corvane refuses ends the ladder with its message.
CORVANE=$work/corvane RESULTS_DIR=$work/refused bash "$script" --ladder=4000:1M > /dev/null 2> "$work/err"
[ $? -eq 1 ] || fail "a refused rung does not fail the script"
grep -q "no memory controller" "$work/err" || fail "corvane's refusal is not passed on"

# SIGTERM to the script stops corvane and keeps its rows.
CORVANE=$work/corvane RESULTS_DIR=$work/stopped bash "$script" --ladder=5000:1M > /dev/null 2>&1 &
script_pid=$!
# The stand-in becomes "sleep" once it has written its row.
for ((tries = 0; tries < 200; tries++)); do
  pgrep -x -P "$script_pid" sleep > /dev/null && break
  sleep 0.05
done
kill -TERM "$script_pid"
wait "$script_pid"
[ $? -eq 130 ] || fail "SIGTERM: not status 130"
grep -q '^5000,cached-stack,1,.*,1048576$' "$work/stopped/beyond-ram-runs.csv" || fail "SIGTERM: the row so far is lost"
grep -q '^5000,1048576,0.07629,cached-stack,1,0,' "$work/stopped/beyond-ram.csv" || fail "SIGTERM: no summary"

[[ "$(bash "$script" --help | head -n 1)" == "usage: scripts/run-beyond-ram.sh "* ]] || fail "--help: no usage"
bash "$script" --ladder=1000 2> /dev/null
[ $? -eq 2 ] || fail "a rung without a limit is not a usage error"

[ "$failures" -eq 0 ] && echo "run-beyond-ram script: all checks passed"
exit $((failures > 0))
