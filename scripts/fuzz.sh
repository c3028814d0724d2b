#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang++-14 (libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer over the whole build) and runs each for a
# fixed number of inputs, starting from its seeds in fuzz/corpus/<target>.
# Inputs it finds go to a scratch folder, never into the repository; a crash,
# leak, sanitizer report or broken invariant fails the run and leaves the input
# in <build>/fuzz-findings. FUZZ_SCALE multiplies the inputs for a longer run.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-fuzz}
scale=${FUZZ_SCALE:-1}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DVORPEL_FUZZ=ON -DBUILD_TESTING=OFF -DVORPEL_BUILD_QT=OFF -DVORPEL_BUILD_BENCH=OFF \
  ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >/dev/null
cmake --build "$dir" -j "$(nproc)" --target vorpel_fuzz

# Inputs per target; the codec and the key agreement cost the most per input.
declare -A runs=([codec_encoder]=2000 [codec_decoder]=5000 [registration_reply]=10000
                 [callserver_datagrams]=10000)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
findings="$dir/fuzz-findings"
mkdir -p "$findings"
for seeds in fuzz/corpus/*/; do
  target=$(basename "$seeds")
  n=$(( ${runs[$target]:-20000} * scale ))
  mkdir -p "$scratch/$target"
  if ! "$dir/fuzz/fuzz_$target" -runs="$n" -timeout=30 -artifact_prefix="$findings/$target-" \
       "$scratch/$target" "$seeds" >"$scratch/$target.log" 2>&1; then
    tail -n 60 "$scratch/$target.log"
    echo "fuzz target $target: finding kept in $findings" >&2
    exit 1
  fi
  echo "$target: $(grep -o 'DONE.*' "$scratch/$target.log")"
done
