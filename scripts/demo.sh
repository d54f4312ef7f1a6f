#!/usr/bin/env bash
# The demo: a simulated chip, programmed unattended.
#
# Builds Ostrand, starts ostrand-sim as a KMT12E48 on a pseudo-terminal (paced:
# every byte takes its time on the wire, so the throughput is a real one),
# prepares a program folder whose setup file names that terminal, and runs
# auto programming (erase, blank check, program, verify with SUM, file
# compare) of the bundled sample object. Exits with the run's status.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DOSTRAND_SKIP= >/dev/null
cmake --build build -j "$(nproc)" --target ostrand-cli ostrand-sim program_folder >/dev/null

demo_name=demo
source scripts/demo_chip.sh

echo "Object file: samples/demo.h20"
"$work/ostrand-cli" auto --home "$work"
