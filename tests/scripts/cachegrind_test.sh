#!/usr/bin/env bash
# Runs bench/compare/cachegrind.sh with bad sizes, without valgrind, and with a stand-in valgrind
# whose program fails: each must stop with the reason and a failure status, and print no table.
# Usage: cachegrind_test.sh SCRIPT
set -uo pipefail

script=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# A build folder whose compare_sorts fails as a program does when its input does not fit, and a
# valgrind that runs the program without simulating anything.
mkdir -p "$work/build/bench/compare" "$work/tools"
cat > "$work/build/bench/compare/compare_sorts" <<'FAKE'
#!/usr/bin/env bash
echo "compare_sorts: not enough memory for 5 elements" >&2
exit 1
FAKE
cat > "$work/tools/valgrind" <<'FAKE'
#!/usr/bin/env bash
while [[ $1 == --* ]]; do shift; done
exec "$@"
FAKE
chmod +x "$work/build/bench/compare/compare_sorts" "$work/tools/valgrind"

# Runs the script with the given PATH and arguments; sets status, out and err.
attempt() {
  local path=$1
  shift
  PATH=$path "$BASH" "$script" "$@" > "$work/out" 2> "$work/err"
  status=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}

for size in abc -5 0 1e3; do
  attempt "$work/tools:$PATH" "$work/build" "$size"
  [ "$status" -eq 2 ] || fail "size $size: status $status"
  [ "$err" = "cachegrind.sh: ELEMENTS must be a whole number of at least 1: $size" ] || fail "size $size: $err"
  [ -z "$out" ] || fail "size $size printed $out"
done

# An option it does not know, or a third argument: the usage on standard error, status 2.
for args in "--bogus" "$work/build 5 extra"; do
  attempt "$work/tools:$PATH" $args
  [ "$status" -eq 2 ] || fail "$args: status $status"
  [[ $err == "usage: cachegrind.sh "* ]] || fail "$args: $err"
done

attempt "$work/empty" "$work/build" 5
[ "$status" -eq 1 ] || fail "without valgrind: status $status"
[ "$err" = "cachegrind.sh: valgrind is missing (Debian package valgrind)" ] || fail "without valgrind: $err"
[ -z "$out" ] || fail "without valgrind printed $out"

attempt "$work/tools:$PATH" "$work/build" 5
[ "$status" -eq 1 ] || fail "a failed run: status $status"
grep -q "^compare_sorts: not enough memory for 5 elements$" <<< "$err" || fail "a failed run hides its reason: $err"
[ -z "$out" ] || fail "a failed run printed $out"

[ "$failures" -eq 0 ] && echo "cachegrind script: all checks passed"
exit $((failures > 0))
