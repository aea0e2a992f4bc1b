#!/usr/bin/env bash
# Installs the Debian packages that are missing: those to build and run KWELLOR, and with
# "test" also those the tests and the package check need.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libx11-dev libxext-dev libxfixes-dev libxtst-dev libxdamage-dev
  libgl-dev libepoxy-dev libpng-dev libjpeg62-turbo-dev libembree-dev
  libegl-dev libegl1 libegl-mesa0 libgl1-mesa-dri libassimp-dev libmeshoptimizer-dev
  libgtest-dev libgmock-dev libbenchmark-dev fonts-dejavu-core
)
if [ "${1:-}" = test ]; then
  packages+=(
    clang-format xvfb xauth x11-utils
    dpkg-dev file lintian desktop-file-utils shared-mime-info assimp-testmodels
  )
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
