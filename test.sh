#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test through CTest.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
./scripts/install-deps.sh
jobs="$(nproc)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")
# The engine, render, sound, stress and platform suites again under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer (build-asan, build-tsan); any report fails.
./scripts/sanitize.sh
# Every reader fuzzed with libFuzzer for FUZZ_SECONDS each (60 by default) in build-fuzz.
./scripts/fuzz.sh
