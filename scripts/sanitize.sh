#!/usr/bin/env bash
# Builds the sanitizer configurations and runs the engine, render, sound, stress, platform and
# fuzz-replay suites in them:
#   build-asan  AddressSanitizer + UndefinedBehaviorSanitizer (leaks included)
#   build-tsan  ThreadSanitizer
# The program itself (Qt) and the benchmarks are left out of these builds. Clean means no report
# at all: every sanitizer stops the test at its first report and the test fails.
#   SANITIZERS   which builds (default "address thread")
#   SANITIZE_LABELS  CTest label expression (default: the suites above)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"
jobs="$(nproc)"
labels="${SANITIZE_LABELS:-^(engine|render|sound|stress|platform|fuzz)\$}"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# Leaks inside the uninstrumented libvorbisfile that no caller can free; see the file.
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
# SDL's own threads are uninstrumented; the suppressions name only SDL's internal frames.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp"

for sanitizer in ${SANITIZERS:-address thread}; do
  case "$sanitizer" in
    address) dir=build-asan ;;
    thread) dir=build-tsan ;;
    *) echo "sanitize.sh: unknown sanitizer $sanitizer" >&2; exit 1 ;;
  esac
  echo "== $dir: building"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTRA_SANITIZE="$sanitizer" \
    -DOSTRA_BUILD_APP=OFF -DOSTRA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $dir: testing"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" -L "$labels")
done
