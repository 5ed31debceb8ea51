#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the program alone (the tests and the benchmark have their own
# commands) and starts it from its build folder, where database.mdb and
# dbase.name live.
set -euo pipefail
cd "$(dirname "$0")/.."
"$(pwd)/scripts/setup.sh" program
cd "${BUILD_DIR:-build}"
exec ./quillmark "$@"
