#!/usr/bin/env bash
# Simulated cache misses of one sort, Cached stack against std::sort, under valgrind's cachegrind.
#
# The simulated last-level cache is 2 MiB (16-way, 64-byte lines), so that the 30 MB input of the
# default 1,920,000 elements does not fit. Each algorithm runs in a process of its own, and a third
# process only makes the input; its figures are subtracted, so that the sort columns count the sort
# and its delivery into the checking stream alone.
#
# Usage: bench/compare/cachegrind.sh [BUILD_DIR [ELEMENTS]]   (defaults: build/release 1920000)
set -euo pipefail
usage='usage: cachegrind.sh [BUILD_DIR [ELEMENTS]]   simulated misses of Cached stack and std::sort (defaults: build/release 1920000)'
# The folder of this script, found without dirname, which the tests' stand-in PATH may not have.
here=.
[[ $0 == */* ]] && here=${0%/*}
source "$here/../../scripts/standard_flags.sh"
answer_standard_flags cachegrind.sh "$usage" "$@"
if [[ $# -gt 2 || ${1:-} == -* ]]; then
    printf '%s\n' "$usage" >&2
    exit 2
fi

build=${1:-build/release}
elements=${2:-1920000}
program=$build/bench/compare/compare_sorts
last_level="2097152,16,64"

if [[ ! $elements =~ ^[1-9][0-9]*$ ]]; then
    echo "cachegrind.sh: ELEMENTS must be a whole number of at least 1: $elements" >&2
    exit 2
fi
if [[ ! -x $program ]]; then
    echo "no $program: build the kit first (cmake --build $build)" >&2
    exit 1
fi
if ! command -v valgrind > /dev/null; then
    echo "cachegrind.sh: valgrind is missing (Debian package valgrind)" >&2
    exit 1
fi

# Prints "instructions D1-misses LL-data-misses" of one run, from cachegrind's summary. A run that
# fails stops the script with what the program said (or, if it said nothing, valgrind's lines).
simulate() {
    local log status=0
    log=$(valgrind --tool=cachegrind --cache-sim=yes --LL=$last_level --cachegrind-out-file=/dev/null \
        "$program" --once="$1" --size="$elements" 2>&1 >/dev/null) || status=$?
    if [[ $status -ne 0 ]]; then
        echo "cachegrind.sh: '$1' failed with status $status:" >&2
        grep -v -E '^(==|--)[0-9]+(==|--)' <<< "$log" >&2 || printf '%s\n' "$log" >&2
        exit 1
    fi
    awk '/ I *refs:/ { gsub(",", "", $4); refs = $4 }
         / D1 *misses:/ { gsub(",", "", $4); d1 = $4 }
         / LLd misses:/ { gsub(",", "", $4); ll = $4 }
         END { print refs, d1, ll }' <<< "$log"
}

# Every run first, so that a failure prints no table.
base=$(simulate "input only")
funnel=$(simulate "Cached stack")
reference=$(simulate "std::sort")
read -r base_refs base_d1 base_ll <<< "$base"
echo "n = $elements, simulated last-level cache $last_level (size, ways, line); input making subtracted"
printf '%-14s %16s %14s %16s\n' algorithm instructions D1-misses LL-data-misses
for row in "Cached stack:$funnel" "std::sort:$reference"; do
    read -r refs d1 ll <<< "${row#*:}"
    printf '%-14s %16d %14d %16d\n' "${row%%:*}" $((refs - base_refs)) $((d1 - base_d1)) $((ll - base_ll))
done
