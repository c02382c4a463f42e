#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 (AddressSanitizer + UndefinedBehaviorSanitizer) into
# build-fuzz/, writes their seed corpora with our fixture writer, and runs each target for a
# bounded time. Fails when any target finds a crash, a leak, a timeout or runs out of memory.
# The build is the CMake preset "fuzz" (CMakePresets.json).
#
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_JOBS      targets run side by side (default: the number of cores)
#   FUZZ_TARGETS   which targets (default: ogg container m3u playlists skin settings sjis looptags diagnosis)
#   FUZZ_BUILD     build directory (default build-fuzz)
#
# Found inputs land in build-fuzz/artifacts/; the growing corpora stay in build-fuzz/corpus/ so a
# later run goes on from them. A crash input belongs in tests/fuzz/regressions/<target>/ once
# fixed: the normal build replays that folder under CTest.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"
seconds="${FUZZ_SECONDS:-60}"
jobs="${FUZZ_JOBS:-$(nproc)}"
targets="${FUZZ_TARGETS:-ogg container m3u playlists skin settings sjis looptags diagnosis}"
build="${FUZZ_BUILD:-build-fuzz}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

for tool in clang-14 clang++-14; do
  command -v "$tool" >/dev/null || { echo "fuzz.sh: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target ostra_fuzz

# Any sanitizer report ends the run as a failure; leaks are looked for after every input.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:allocator_may_return_null=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"
# Leaks inside the uninstrumented libvorbisfile that no caller can free; see the file.
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"

rm -rf "$build/seeds"
"$build/fuzz/fuzz_seeds" "$build/seeds"
mkdir -p "$build/artifacts" "$build/logs"

run_one() {
  local name="$1"
  local corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  "$build/fuzz/fuzz_$name" "$corpus" "$build/seeds/$name" "$root/tests/fuzz/regressions/$name" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
    >"$build/logs/$name.log" 2>&1
}

declare -A pids
for name in $targets; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
  echo "fuzz: $name for ${seconds}s"
  run_one "$name" &
  pids[$name]=$!
done

failed=0
summary="$build/fuzz-summary.txt"
: >"$summary"
for name in $targets; do
  status=0
  wait "${pids[$name]}" || status=$?
  log="$build/logs/$name.log"
  execs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)"
  cov="$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')"
  ft="$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')"
  line="$(printf '%-10s execs %-10s cov %-6s ft %-6s' "$name" "${execs:-?}" "${cov:-?}" "${ft:-?}")"
  if [ "$status" -ne 0 ]; then
    failed=1
    line="$line FAILED (exit $status), see $log"
    echo "---- $name ----" >&2
    grep -E 'ERROR|SUMMARY|runtime error|check failed|Test unit written|timeout|out-of-memory|leak' "$log" | head -20 >&2 || true
  else
    line="$line ok"
  fi
  echo "$line" | tee -a "$summary"
done
exit "$failed"
