#!/usr/bin/env bash
# The windowed program on a simulated chip.
#
# Builds Ostrand, starts ostrand-sim as a KMT12E48 on a pseudo-terminal (paced,
# so the progress window moves at the speed of a real line), prepares a
# program folder (OSTRAND_HOME) whose setup file names that terminal and the
# bundled sample object, and starts the window. It connects at once; Command >
# Auto Programming or the Program button writes the chip. Closing the window
# stops the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DOSTRAND_SKIP= >/dev/null
cmake --build build -j "$(nproc)" --target ostrand ostrand-sim program_folder >/dev/null

demo_name=gui-demo
source scripts/demo_chip.sh

echo "Program folder: $work (object file samples/demo.h20)"
OSTRAND_HOME="$work" "$work/ostrand" "$@"
