#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, run and test,
# skipping those already installed, and any further packages named as
# arguments (test.sh adds Network UPS Tools, mingw-w64 and Wine). Uses sudo
# when not run as root.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    clang libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libmodbus-dev socat mbpoll
    qtbase5-dev libqt5serialport5-dev qttools5-dev qttools5-dev-tools
    libqt5sql5-sqlite libsqlite3-dev
    xvfb xauth imagemagick
    fonts-dejavu-core strace python3 util-linux
    fp-utils libchm-bin
    trayer xdotool fonts-wqy-microhei
    xchm xdg-utils
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "deps: all ${#packages[@]} packages present"
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
