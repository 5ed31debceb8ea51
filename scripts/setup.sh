#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build needs, when missing, then configures
# and builds into ${BUILD_DIR:-build}.
#   setup.sh          everything: the program, the tests and the benchmark
#   setup.sh program  the program alone, as quickly as it can be had
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}

packages=(build-essential cmake pkg-config qt6-base-dev libsqlitecpp-dev libsqlite3-dev libblkid-dev libdbus-1-dev libicu-dev libxxhash-dev libarchive-dev
          libexiv2-dev libtag1-dev libmediainfo-dev
          fonts-liberation fonts-dejavu-core)
# Only the tests need these: the test framework, a PDF reader for the report,
# validators of the installed files, a CSV reader for the export, what
# `cpack -G DEB` needs to find the package's dependencies, and the checker of
# the package.
test_packages=(libgtest-dev poppler-utils desktop-file-utils appstream groff-base sqlite3 dpkg-dev file lintian)
if [ "$what" = all ]; then packages+=("${test_packages[@]}"); fi
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

BUILD_DIR=${BUILD_DIR:-build}
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${QUILLMARK_WERROR:-}" = "1" ]; then cmake_args+=(-DQUILLMARK_WERROR=ON); fi
if [ "${QUILLMARK_SANITIZE:-}" = "1" ]; then cmake_args+=(-DQUILLMARK_SANITIZE=ON); fi
# The test suite is configured wherever its packages are there; only "all" builds it.
if installed libgtest-dev; then cmake_args+=(-DQUILLMARK_TESTS=ON); else cmake_args+=(-DQUILLMARK_TESTS=OFF); fi
# Rebuilds of several checkouts share their objects when ccache is there.
if command -v ccache >/dev/null 2>&1; then cmake_args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$BUILD_DIR" "${cmake_args[@]}" > /dev/null
if [ "$what" = program ]; then
  cmake --build "$BUILD_DIR" -j2 --target quillmark
else
  cmake --build "$BUILD_DIR" -j2
fi
