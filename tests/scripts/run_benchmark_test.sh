#!/usr/bin/env bash
# Runs scripts/run-benchmark.sh with a stand-in for corvane that succeeds, fails part-way through
# its report, or waits to be stopped. Usage: run_benchmark_test.sh SCRIPT
set -uo pipefail

script=$(realpath "$1")
# A folder of this run's own, so that two runs at once do not meet.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/caller" "$work/results"

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The stand-in writes one report row, naming its run, and then does what FAKE_MODE says. It needs
# the file of its --input-file option, read from the folder it runs in.
fake=$work/fake-corvane
cat > "$fake" <<'FAKE'
#!/usr/bin/env bash
for arg in "$@"; do
  case "$arg" in
    --input-file=*) [ -r "${arg#--input-file=}" ] || { echo "cannot read ${arg#--input-file=}" >&2; exit 1; } ;;
  esac
done
if [ "${FAKE_MODE:-}" = some_failed ]; then
  echo "size,variant,ns_per_element,check,error"
  echo '1000,cached-stack,5,ok,'
  echo '1000,std-sort,,,"PAPI_start: no counter, none at all"'
  echo '2000,cached-stack,6,lost 1 item,'
  exit 3
fi
echo "size,variant,ns_per_element"
echo "1000,cached-stack,${FAKE_RUN:-1}"
case "${FAKE_MODE:-ok}" in
  fail) exit 1 ;;
  usage) echo "corvane: unknown option" >&2; exit 2 ;;
  slow) sleep 0.5; echo "2000,cached-stack,${FAKE_RUN:-1}" ;;
  hang) echo $$ > "$FAKE_PID_FILE"; exec sleep 60 ;;
esac
exit 0
FAKE
chmod +x "$fake"

report=$work/results/corvane.csv
run() { (cd "$work/caller" && CORVANE=$fake RESULTS_DIR=$work/results exec bash "$script" "$@" 2> "$work/stderr"); }
leftovers() { ls "$work/results" | grep -v -x -e corvane.csv -e corvane.png; }

# Success: the report is replaced, and a relative input file is found in the caller's folder.
echo data > "$work/caller/in.dat"
FAKE_RUN=1 run --input-file=in.dat || fail "a successful run failed: $(cat "$work/stderr")"
grep -q "^1000,cached-stack,1$" "$report" || fail "the report was not written"
first=$(cat "$report")

# --help, wherever it stands, prints the script's usage and touches nothing.
FAKE_RUN=9 run --sizes=5 --help > "$work/help" || fail "--help failed: $(cat "$work/stderr")"
grep -q "^usage: scripts/run-benchmark.sh" "$work/help" || fail "--help printed no usage: $(cat "$work/help")"
[ "$(cat "$report")" = "$first" ] || fail "--help changed the report"

# Failure part-way through: the previous report stays, the script fails and leaves nothing behind.
FAKE_RUN=2 FAKE_MODE=fail run && fail "a failed corvane run is reported as success"
[ "$(cat "$report")" = "$first" ] || fail "a failed run changed the previous report"
# An option corvane refuses is the script's wrong usage: status 2, the previous report kept.
FAKE_RUN=2 FAKE_MODE=usage run --bogus
status=$?
[ "$status" = 2 ] || fail "an option corvane refuses ends in status $status, not 2"
[ "$(cat "$report")" = "$first" ] || fail "a refused option changed the previous report"
rm "$work/caller/in.dat"
FAKE_RUN=3 run --input-file=in.dat && fail "a missing input file is reported as success"
[ "$(cat "$report")" = "$first" ] || fail "a run without input changed the previous report"
[ -z "$(leftovers)" ] || fail "failed runs left files behind: $(leftovers)"

# Two runs at once: the report is one run's rows, not a mix of both.
FAKE_RUN=4 FAKE_MODE=slow run & one=$!
FAKE_RUN=5 FAKE_MODE=slow run & two=$!
wait "$one" || fail "the first of two runs at once failed"
wait "$two" || fail "the second of two runs at once failed"
rows=$(grep -c "^[0-9]*,cached-stack,4$" "$report")
other=$(grep -c "^[0-9]*,cached-stack,5$" "$report")
[ "$rows$other" = 20 ] || [ "$rows$other" = 02 ] || fail "two runs at once mixed their rows: $(cat "$report")"
first=$(cat "$report")

# A complete report with failed runs is kept and plotted, with their count, and the status passed on.
FAKE_MODE=some_failed run
status=$?
[ "$status" = 3 ] || fail "a report with failed runs ends in status $status, not 3"
grep -q "^2000,cached-stack,6,lost 1 item,$" "$report" || fail "a report with failed runs was not kept"
grep -q "run-benchmark: 2 of 3 runs failed" "$work/stderr" || fail "no count of failed runs: $(cat "$work/stderr")"
first=$(cat "$report")

# SIGTERM to the script stops corvane too, and keeps the previous report.
pid_file=$work/fake.pid
# (One subshell that becomes the script, so that $! is the script's process.)
(cd "$work/caller" && FAKE_MODE=hang FAKE_PID_FILE=$pid_file CORVANE=$fake RESULTS_DIR=$work/results \
  exec bash "$script" 2> "$work/stderr") &
script_pid=$!
for _ in $(seq 100); do [ -s "$pid_file" ] && break; sleep 0.1; done
if [ -s "$pid_file" ]; then
  kill -TERM "$script_pid"
  wait "$script_pid" && fail "a run stopped by SIGTERM is reported as success"
  fake_pid=$(cat "$pid_file")
  for _ in $(seq 50); do kill -0 "$fake_pid" 2> /dev/null || break; sleep 0.1; done
  if kill -0 "$fake_pid" 2> /dev/null; then
    fail "corvane still runs after SIGTERM to the script"
    kill -KILL "$fake_pid"
  fi
  [ "$(cat "$report")" = "$first" ] || fail "a stopped run changed the previous report"
  [ -z "$(leftovers)" ] || fail "a stopped run left files behind: $(leftovers)"
else
  fail "the stand-in never started"
  kill -KILL "$script_pid"
fi

[ "$failures" -eq 0 ] && echo "run-benchmark script: all checks passed"
exit $((failures > 0))
