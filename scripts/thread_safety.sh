#!/usr/bin/env bash
# Compiles the libraries and programs (not the tests, not the Qt front end)
# with Clang's -Wthread-safety as errors: the lock contracts written with
# GUARDED_BY and REQUIRES (src/common/thread_annotations.h) hold everywhere.
# Only the compile runs, no link: the analysis works one source at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-thread-safety}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_CXX_FLAGS=-Wthread-safety -DBUILD_TESTING=OFF -DVORPEL_BUILD_QT=OFF -DVORPEL_BUILD_BENCH=OFF \
  ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >/dev/null
mapfile -t objects < <(ninja -C "$dir" -t targets all | grep -o '^[^:]*\.o')
ninja -C "$dir" -j "$(nproc)" "${objects[@]}"
