#!/usr/bin/env bash
# Builds the whole kit and runs the test suite twice: an optimised build with warnings as errors,
# then a build under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
source "$(dirname "$0")/standard_flags.sh"
usage='usage: run-tests.sh   builds the kit twice (optimised, and under ASan+UBSan) and runs every test in both'
answer_standard_flags run-tests.sh "$usage" "$@"
refuse_arguments "$usage" "$@"
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)

# Both builds compile GoogleTest's header once for all their test programs, and link with gold,
# which links the instrumented test programs in a third less time than the default linker. The
# optimised build compiles the test files themselves at -O0, and at -O1 those of the programs that
# sort many or large inputs with the sorts they instantiate (unoptimised, those would run three times
# longer than they take to compile): the sorts the tests instantiate for many item types compile in
# a fraction of the time -O3 takes, and every sort also runs at -O3 from the kit's libraries and
# programs.
linker=-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=gold
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIT_WERROR=ON -DKIT_PRECOMPILED_TEST_HEADERS=ON \
      -DKIT_TEST_OPTIMIZATION=-O0 -DKIT_SORTING_TEST_OPTIMIZATION=-O1 "$linker"
cmake --build build/test -j "$jobs"
ctest --test-dir build/test --output-on-failure -j "$jobs"

# -Og with line tables only: the instrumented build compiles in half the time it takes at -O1 and its
# tests run about as fast, and the sanitizers' reports still name file and line. Its test files,
# whose instrumented templates are the heaviest compiles of all, go at -O0: 40 % less compile time
# for a slower run of the few tests that sort at size.
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-Og -g1" \
      -DKIT_WERROR=ON -DKIT_SANITIZE=ON -DKIT_PRECOMPILED_TEST_HEADERS=ON -DKIT_TEST_OPTIMIZATION=-O0 "$linker"
cmake --build build/sanitize -j "$jobs"
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
