#!/usr/bin/env bash
# Builds the side-by-side sort benchmark and runs it: the four funnel variants, std::sort,
# std::stable_sort, pdqsort_branchless and Highway's vectorised quicksort on the same inputs,
# ending with each one's time per element and its ratio to std::sort. Arguments go to the program
# (default: three repetitions of every benchmark size); --quick runs small sizes only,
# --input=NAME[,NAME...] or --input=all picks corvane's input patterns.
set -euo pipefail
source "$(dirname "$0")/standard_flags.sh"
answer_standard_flags run-comparison.sh 'usage: run-comparison.sh [COMPARE_SORTS_FLAG...]   the side-by-side timing; the flags are compare_sorts'"'"' (build/release/bench/compare/compare_sorts --help)' "$@"
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIT_TESTS=OFF >&2
cmake --build build/release --target compare_sorts >&2

if [ "$#" -eq 0 ]; then
  set -- --benchmark_repetitions=3
fi
exec build/release/bench/compare/compare_sorts "$@"
