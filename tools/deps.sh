#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests or the demo need, when they are missing.
# Usage: tools/deps.sh build|test|run
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core)
case "${1:-build}" in
    build) ;;
    test) packages+=(libbenchmark-dev libfftw3-dev locales) ;;
    run) packages+=(xvfb xauth imagemagick xdotool) ;;
    *) echo "usage: $0 build|test|run" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
