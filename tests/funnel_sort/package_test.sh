#!/usr/bin/env bash
# The two ways an outside project takes the library face:
#   install       the kit configured for the library alone and installed into a temporary prefix;
#                 examples/ finds the package there with find_package, and its program is built
#                 and run;
#   subdirectory  tests/funnel_sort/subdirectory takes the kit's source tree with add_subdirectory
#                 and checks that the kit adds the library's target and nothing else. Its program is
#                 only configured: the kit's own tests build against that same target.
# Neither may look for any of the kit's dependencies. With SANITIZED = 1 it exits 77 (skipped).
# Usage: package_test.sh install|subdirectory KIT_SOURCE_DIR VERSION CXX_COMPILER GENERATOR SANITIZED [LAUNCHER]
set -uo pipefail

mode=$1
kit=$(realpath "$2")
version=$3
cxx=$4
generator=$5
sanitized=$6
launcher=${7:-}

if [ "$sanitized" = 1 ]; then
  echo "skipped in the sanitizer build: the outside program is built with its own flags, not this build's,"
  echo "and the package does not depend on them; the optimised build runs this test"
  exit 77
fi

# A folder of this run's own, so that two runs at once do not meet.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# Runs a command quietly; on failure shows its output and stops the test.
step() {
  local what=$1
  shift
  "$@" > "$work/log" 2>&1 || { cat "$work/log"; echo "FAILED: $what"; exit 1; }
}

configure() {
  local source=$1 build=$2
  shift 2
  step "configuring $source" cmake -S "$source" -B "$build" -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" \
                                   -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" "$@"
}

# The searches for the kit's dependencies leave these variables in the cache.
expect_no_dependencies() {
  local found
  found=$(grep -E '^(PAPI_|VALGRIND_|GTest_DIR|hwy_DIR|Boost_DIR|benchmark_DIR)' "$1/CMakeCache.txt")
  [ -z "$found" ] || fail "$2 looked for the kit's dependencies: $found"
}

case $mode in
  install)
    configure "$kit" "$work/kit" -DKIT_PROGRAMS=OFF -DKIT_TESTS=OFF
    expect_no_dependencies "$work/kit" "the library alone"
    step "installing" cmake --install "$work/kit" --prefix "$work/prefix"
    [ "$(ls "$work/prefix/include")" = funnel_sort ] ||
      fail "the package put more than funnel_sort/ into include/: $(ls "$work/prefix/include" | tr '\n' ' ')"
    package=$work/prefix/share/cmake/funnel_sort
    grep -qF "set(PACKAGE_VERSION \"$version\")" "$package/funnel_sortConfigVersion.cmake" ||
      fail "the package's version is not the project's, $version"
    configure "$kit/examples" "$work/example" -DCMAKE_PREFIX_PATH="$work/prefix"
    grep -qxF "funnel_sort_DIR:PATH=$package" "$work/example/CMakeCache.txt" ||
      fail "find_package took another package than the one just installed: $(grep '^funnel_sort_DIR' "$work/example/CMakeCache.txt")"
    step "building the example" cmake --build "$work/example"
    output=$("$work/example/sort_types")
    status=$?
    [ "$status" -eq 0 ] && [ "$output" = sorted ] || fail "the example program: status $status, '$output'"
    ;;
  subdirectory)
    configure "$kit/tests/funnel_sort/subdirectory" "$work/example" -DKIT_SOURCE_DIR="$kit"
    expect_no_dependencies "$work/example" "add_subdirectory"
    ;;
  *)
    echo "package_test.sh: unknown mode $mode"
    exit 2
    ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "the $mode route works"
