#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test through CTest: the full suite (build/),
# the sanitizer suites (build-asan/, build-tsan/) and every fuzz target (build-fuzz/). Each stage
# is timed; the times are shown at the end. A stage of tests that fails does not stop the ones
# after it (one run shows every failure); the exit status is 1 when any failed.
#   FUZZ_SECONDS   seconds per fuzz target here (default 10; scripts/fuzz.sh alone fuzzes 60)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
jobs="$(nproc)"

# The builds compile through ccache (CMakeLists.txt picks it up). Unless the user chose a size,
# the cache is held to 2 GB; the four build trees take about 150 MB of it.
if command -v ccache >/dev/null && ccache -p 2>/dev/null | grep -q '^(default) max_size'; then
  export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-2G}"
fi

times=()
failed=()
# stage NAME COMMAND...: runs and times one stage; a failure ends the run.
stage() {
  local name="$1" start=$SECONDS
  shift
  echo "==== $name"
  "$@"
  times+=("$(printf '%-28s %4d s' "$name" $((SECONDS - start)))")
}
# check NAME COMMAND...: the same for a stage of tests, whose failure is noted and the run goes on.
check() {
  local name="$1" start=$SECONDS status=0
  shift
  echo "==== $name"
  "$@" || status=$?
  times+=("$(printf '%-28s %4d s%s' "$name" $((SECONDS - start)) "$([ "$status" = 0 ] || echo "  FAILED")")")
  [ "$status" = 0 ] || failed+=("$name")
}
report() {
  local status=$?
  echo "==== stage times"
  printf '%s\n' "${times[@]}"
  [ "$status" -eq 0 ] || echo "==== FAILED (status $status)"
}
trap report EXIT

stage "dependencies" ./scripts/install-deps.sh
stage "configure" cmake --preset release
stage "build" cmake --build --preset release -j "$jobs"
# Most tests wait (for sound played in real time, an X server, a program's answer) far more than
# they compute, so CTest runs four a core; the ones that load the machine run alone.
check "tests" ctest --preset release -j "$((jobs * 4))"
# The engine, render, sound, stress, platform and fuzz-replay suites again under AddressSanitizer
# with UndefinedBehaviorSanitizer and under ThreadSanitizer; any report fails. (The stress test
# gives 4000 random commands under ThreadSanitizer, whose slowdown would make its 10000 the
# longest part of the run; the release suite gives all of them.)
check "asan+ubsan" env SANITIZERS=asan ./scripts/sanitize.sh
check "tsan" env SANITIZERS=tsan ./scripts/sanitize.sh
# Every reader fuzzed with libFuzzer, FUZZ_SECONDS each, in build-fuzz.
check "fuzz" env FUZZ_SECONDS="${FUZZ_SECONDS:-10}" ./scripts/fuzz.sh
[ ${#failed[@]} -eq 0 ] || { echo "==== failed: ${failed[*]}"; exit 1; }
