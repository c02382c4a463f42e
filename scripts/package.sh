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
# them to Debian packages that ask for all hardening. Given on the command line, they replace what
# an earlier configure of the same directory stored.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTRA_BUILD_TESTS=OFF -DOSTRA_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags"
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/ostradivuvirar_*.deb
(cd "$build" && cpack -G DEB)
deb="$(ls "$build"/ostradivuvirar_*.deb)"
lintian --fail-on error "$deb"
echo "package: $deb"
