#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the project and runs the whole test
# suite: once as a normal build (whose Debian package is then made, checked
# with lintian and, as root, installed and tried out), once under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the threaded tests under
# ThreadSanitizer; then checks the lock annotations with Clang and runs every
# fuzz target for a bounded number of inputs.
# Exits non-zero when any of it fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

bash scripts/install-deps.sh

build() {  # build DIR [cmake args...]
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== build and test (RelWithDebInfo)"
build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Debian package: make it, check it and install it"
rm -f build/vorpel_*.deb
(cd build && cpack -G DEB)
appstreamcli validate --no-net packaging/org.vorpel.vorpel.metainfo.xml
desktop-file-validate src/ui/qt/desktop/vorpel.desktop
lintian --allow-root --fail-on error build/vorpel_*.deb
bash tests/package/install_test.sh build

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
build build-asan -DCMAKE_BUILD_TYPE=Debug -DVORPEL_SANITIZE=address,undefined -DVORPEL_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== build and run the threaded tests (label tsan) under ThreadSanitizer"
build build-tsan -DCMAKE_BUILD_TYPE=Debug -DVORPEL_SANITIZE=thread -DVORPEL_BUILD_BENCH=OFF
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -L tsan --output-on-failure -j "$jobs"

echo "== compile with Clang's thread-safety analysis"
bash scripts/thread_safety.sh build-thread-safety

echo "== fuzz targets over their seeds (libFuzzer, bounded number of inputs each)"
bash scripts/fuzz.sh build-fuzz
