#!/usr/bin/env bash
# Builds the sanitizer configurations and runs the engine, render, sound, stress, platform and
# fuzz-replay suites in them:
#   build-asan  AddressSanitizer + UndefinedBehaviorSanitizer (leaks included)
#   build-tsan  ThreadSanitizer
# The program itself (Qt) and the benchmarks are left out of these builds. Clean means no report
# at all: every sanitizer stops the test at its first report and the test fails.
#
# The configurations, the suites and the sanitizers' run-time options are the CMake presets
# "asan" and "tsan" (CMakePresets.json); this script only runs them one after the other.
#   SANITIZERS       which of them (default "asan tsan"; "address" and "thread" name them too)
#   SANITIZE_LABELS  a CTest label expression instead of the presets' suites
#   SANITIZE_JOBS    CTest's slots (default: two a core). The tests that keep time with the
#                    device take four slots in these builds, so that they run alone: beside
#                    others, ThreadSanitizer's pause and stop came late on a busy machine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs="$(nproc)"
test_jobs="${SANITIZE_JOBS:-$((jobs * 2))}"
labels=()
[ -n "${SANITIZE_LABELS:-}" ] && labels=(-L "$SANITIZE_LABELS")

for sanitizer in ${SANITIZERS:-asan tsan}; do
  case "$sanitizer" in
    asan|address) preset=asan ;;
    tsan|thread) preset=tsan ;;
    *) echo "sanitize.sh: unknown sanitizer $sanitizer (asan or tsan)" >&2; exit 1 ;;
  esac
  echo "== $preset: building"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: testing"
  ctest --preset "$preset" -j "$test_jobs" "${labels[@]}"
done
