#!/usr/bin/env bash
# Installs what is missing, builds, starts the crate-server simulator with its default scenario
# on 127.0.0.1:11111 and runs the program against it; the simulator stops when the program ends.
# Without a display the program runs on a virtual display: once its start-up discovery is over
# a screenshot of the screen is saved (its path is printed) and both end by themselves.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${QVXM_BUILD_DIR:-$root/build}
"$root/tools/deps.sh" run
"$root/tools/build.sh" -DBUILD_TESTING=OFF -DQVXM_BUILD_BENCH=OFF

server="$build_dir/simulator/qvx_crate_server"
program="$build_dir/QVXM_Metr/QVXM_Metr"
server_pid=""
xvfb_pid=""
program_pid=""
work=$(mktemp -d)

stop_pid() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
cleanup() {
    stop_pid "$program_pid"
    stop_pid "$server_pid"
    stop_pid "$xvfb_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$server" &
server_pid=$!
sleep 0.5
if ! kill -0 "$server_pid" 2>/dev/null; then
    server_pid=""
    echo "The crate-server simulator did not start (see its message above)." >&2
    exit 1
fi

if [ -n "${DISPLAY:-}" ]; then
    "$program"
    exit 0
fi

# No display: a virtual screen of 1280x1024 pixels; Xvfb picks a free display number itself.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    echo "The virtual display did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

"$program" &
program_pid=$!
# The caption shows the program's version once the discovery has found its module; the
# settings are applied and the controls enabled a few hundred milliseconds later.
found=""
for _ in $(seq 150); do
    if xdotool search --name '^QVXM_metr - [0-9]' >/dev/null 2>&1; then
        found=yes
        break
    fi
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$found" ]; then
    echo "The program did not finish its start-up discovery." >&2
    exit 1
fi
sleep 1.5
shot="$build_dir/QVXM_Metr-window.png"
window=$(xdotool search --onlyvisible --name '^QVXM_metr - ' | head -n1)
# The window alone; the whole screen when the window cannot be told apart.
import -window "$window" "$shot" 2>/dev/null || import -window root "$shot"
echo "Screenshot of the program's window: $shot"

# Ends the program as the operator would, with Ctrl+Q ("Выход"), so that its close steps run.
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key ctrl+q 2>/dev/null || true
for _ in $(seq 50); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$program_pid" 2>/dev/null; then
    echo "The program did not close by itself; stopping it." >&2
else
    wait "$program_pid" 2>/dev/null || true
    program_pid=""
fi
