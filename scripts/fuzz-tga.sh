#!/usr/bin/env bash
# Fuzzes the TGA reader with libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# for the given number of seconds, starting from the seed corpus of valid files.
#   scripts/fuzz-tga.sh [seconds]   (default 60)
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build/fuzz-clang
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPTC_SANITIZE=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link" >/dev/null
nice cmake --build "$build" -j2 --target tga_fuzz tga_fuzz_libfuzzer
seeds=$build/tga_seeds
corpus=$build/tga_corpus
mkdir -p "$corpus"
"$build/tga_fuzz" -make-seeds="$seeds" >/dev/null
# A cap well above the harness's 64 MB picture limit: an out-of-memory report is a real fault.
nice "$build/tga_fuzz_libfuzzer" "$corpus" "$seeds" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=1024 -print_final_stats=1
