#!/usr/bin/env bash
# Configures and builds the project into build/ (Release, warnings as errors).
# Extra arguments go to the CMake configure step.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${QVXM_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVXM_WERROR=ON "$@"
cmake --build "$build_dir" --parallel "$(nproc)"
