#!/usr/bin/env bash
# Makes the Debian package from the build and checks it with lintian: errors fail, warnings are
# listed. Usage: package_lintian.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
deb=$(ls "$out"/kwellor_*.deb)
dpkg-deb --field "$deb" Package Version Depends
lintian --fail-on error "$deb"
