#!/usr/bin/env bash
# The demo: a simulated chip, programmed unattended.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" >/dev/null
echo "The unattended programming demo comes with the programming engine."
echo "Devices of the demo definition file:"
if [ -x build/bin/ostrand-cli ] && build/bin/ostrand-cli devices --home build/bin 2>/dev/null; then
    :
else
    echo "(the device list comes with the definition file reader)"
fi
