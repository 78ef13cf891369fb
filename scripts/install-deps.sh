#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the benchmark need and
# the machine lacks. Non-interactive, so CI (no standard input) can run it; apt-get update runs
# at most once, and only when something is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang clang-format pkg-config
    libgtest-dev googletest zlib1g-dev
    qt6-base-dev qt6-svg-dev libqt6svg6 libx11-dev fonts-dejavu-core xvfb xauth dbus-daemon dbus-bin
    openbox xdotool x11-apps
    sharutils coreutils mpack macutils python3 python3-yenc time
    groff-base man-db mandoc bash-completion dpkg-dev
)

# Callers may name more packages (the screenshot script does).
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}" >&2
    sudo=""
    if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq </dev/null
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
