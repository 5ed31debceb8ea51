#!/usr/bin/env bash
# Builds Quillmark and starts it from its build folder, where database.mdb
# and dbase.name live.
set -euo pipefail
cd "$(dirname "$0")/.."
"$(pwd)/scripts/setup.sh"
cd "${BUILD_DIR:-build}"
exec ./quillmark "$@"
