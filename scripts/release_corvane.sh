# Sourced by the scripts that run corvane. release_corvane ROOT [TARGET] sets corvane to the
# program to run: $CORVANE where it is set (the tests' stand-ins), else corvane of an optimised build
# in ROOT/build/release, after the packages are installed and TARGET (default: every program) is
# built; their output goes to standard error.
release_corvane() {
  if [ -n "${CORVANE:-}" ]; then
    corvane=$CORVANE
    return
  fi
  bash "$1/scripts/install-deps.sh" >&2
  cmake -S "$1" -B "$1/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIT_TESTS=OFF >&2
  cmake --build "$1/build/release" ${2:+--target "$2"} >&2
  corvane=$1/build/release/bench/corvane
}
