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

device=${OSTRAND_DEMO_DEVICE:-KMT12E48}
work=$(mktemp -d /tmp/ostrand-demo-XXXXXX)
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
[ -e "$work/chip.tty" ] || { echo "demo: the simulator did not start"; cat "$work/sim.out"; exit 1; }
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

echo "Object file: samples/demo.h20"
"$work/ostrand-cli" auto --home "$work"
