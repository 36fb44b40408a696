#!/usr/bin/env bash
# Builds the Debian package in Release into build-release/ and prints its path (the last
# line). Install it with: sudo apt install ./build-release/snipwave_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The distribution's own compiler and linker flags, with all its hardening, as its
# packages are built; no debug information, which the package would strip anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
scripts/build.sh build-release -DCMAKE_BUILD_TYPE=Release \
  "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" \
  -- snipwave snipwave-cli package_files
# Only what the package holds is built: cpack itself builds nothing.
log=$(cd build-release && cpack)
deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$log")
[ -f "$deb" ] || { echo "$log" >&2; echo "cpack made no package" >&2; exit 1; }
echo "$deb"
