#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing,
# then configures and builds into ${BUILD_DIR:-build}.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config qt6-base-dev libsqlitecpp-dev libsqlite3-dev libblkid-dev
          libgtest-dev poppler-utils fonts-liberation fonts-dejavu-core
          # validators of the installed files, and a CSV reader for the export
          desktop-file-utils appstream groff-base sqlite3
          # what `cpack -G DEB` needs to find the package's dependencies
          dpkg-dev file)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
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
# Rebuilds of several checkouts share their objects when ccache is there.
if command -v ccache >/dev/null 2>&1; then cmake_args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$BUILD_DIR" "${cmake_args[@]}" > /dev/null
cmake --build "$BUILD_DIR" -j2
