#!/usr/bin/env bash
# Builds corvane optimised and runs it; the XML report goes to standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIT_TESTS=OFF >&2
cmake --build build/release --target corvane >&2
exec build/release/bench/corvane "$@"
