#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test through CTest: the full suite (build/),
# the sanitizer suites (build-asan/, build-tsan/) and every fuzz target (build-fuzz/). Each stage
# is timed; the times are shown at the end.
#   FUZZ_SECONDS   seconds per fuzz target here (default 20; scripts/fuzz.sh alone fuzzes 60)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
jobs="$(nproc)"

# The builds compile through ccache (CMakeLists.txt picks it up). Unless the user chose a size,
# the cache is held to 2 GB; the four build trees take about 150 MB of it.
if command -v ccache >/dev/null && ccache -p 2>/dev/null | grep -q '^(default) max_size'; then
  export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-2G}"
fi

times=()
stage() {
  local name="$1" start=$SECONDS
  shift
  echo "==== $name"
  "$@"
  times+=("$(printf '%-28s %4d s' "$name" $((SECONDS - start)))")
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
stage "tests" ctest --preset release -j "$((jobs * 4))"
# The engine, render, sound, stress, platform and fuzz-replay suites again under AddressSanitizer
# with UndefinedBehaviorSanitizer and under ThreadSanitizer; any report fails.
stage "asan+ubsan" env SANITIZERS=asan ./scripts/sanitize.sh
stage "tsan" env SANITIZERS=tsan ./scripts/sanitize.sh
# Every reader fuzzed with libFuzzer, FUZZ_SECONDS each, in build-fuzz.
stage "fuzz" env FUZZ_SECONDS="${FUZZ_SECONDS:-20}" ./scripts/fuzz.sh
