#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian 12 machine.
# Does nothing when everything is already there.
set -euo pipefail

packages=(g++ cmake ninja-build make pkg-config googletest libgtest-dev libgmock-dev
          qt6-base-dev libgl-dev nlohmann-json3-dev dpkg-dev srecord binutils clang libclang-rt-14-dev clang-format
          xvfb xauth)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
