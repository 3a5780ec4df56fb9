#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh" test
"$root/tools/build.sh" -DBUILD_TESTING=ON -DQVXM_BUILD_BENCH=ON
cd "${QVXM_BUILD_DIR:-$root/build}"
ctest --output-on-failure --parallel "$(nproc)"
