#!/usr/bin/env bash
# Brings a Debian 12 machine to a built Tapster: installs the packages the build and the tests
# need (only those missing, quietly), then configures and builds into build/ (or $BUILD_DIR).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev
  libftdi1-dev
  clang clang-format libclang-rt-14-dev
  openocd
  xvfb xauth imagemagick
  help2man dpkg-dev
)

"$here/scripts/install-packages.sh" bootstrap "${packages[@]}"

# Packages only (CI installs everything first, then builds each tree its own way).
[ "${PACKAGES_ONLY:-0}" = 1 ] && exit 0

build_dir="${BUILD_DIR:-$here/build}"
cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
  -DTAPSTER_WERROR=ON "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
