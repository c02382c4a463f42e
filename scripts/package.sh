#!/usr/bin/env bash
# Builds the Debian package: a Release build with Debian's hardening flags in its own directory
# (no tests or benchmarks), then CPack over its install step. The dependencies are found by
# dpkg-shlibdeps; lintian checks the result and fails the script on an error.
#   scripts/package.sh [BUILD_DIR]      (default build-deb; the .deb is left there)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
./scripts/install-deps.sh
build="${1:-build-deb}"

# Fortified functions, stack protector, full RELRO and immediate binding, as dpkg-buildflags gives
# them to every Debian package. CMake reads these variables when it first configures the build.
eval "$(dpkg-buildflags --export=sh)"
export CFLAGS="$CPPFLAGS $CFLAGS" CXXFLAGS="$CPPFLAGS $CXXFLAGS"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTRA_BUILD_TESTS=OFF -DOSTRA_BUILD_BENCH=OFF
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/ostradivuvirar_*.deb
(cd "$build" && cpack -G DEB)
deb="$(ls "$build"/ostradivuvirar_*.deb)"
lintian --fail-on error "$deb"
echo "package: $deb"
