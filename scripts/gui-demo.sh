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

device=${OSTRAND_DEMO_DEVICE:-KMT12E48}
work=$(mktemp -d /tmp/ostrand-gui-demo-XXXXXX)
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

cp -r build/bin/. "$work/"
build/bin/ostrand-sim --home "$work" --device "$device" --link "$work/chip.tty" \
    --flash "$work/chip.flash" --pace >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/chip.tty" ] && break; sleep 0.1; done
[ -e "$work/chip.tty" ] || { echo "gui-demo: the simulator did not start"; cat "$work/sim.out"; exit 1; }
echo "Simulated $device on $(head -1 "$work/sim.out")"

cat >"$work/Ostrand.ini" <<INI
[Ostrand]
Device=$device
OpenFile=$work/samples/demo.h20
COMPort=$work/chip.tty
DataRate=76800
AllErase=1
BlankCheck=1
Programming=1
Verify=1
FileCompare=1
INI

echo "Program folder: $work (object file samples/demo.h20)"
OSTRAND_HOME="$work" "$work/ostrand" "$@"
