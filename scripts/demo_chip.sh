# Sourced by the demo scripts: a program folder in a temporary folder with a
# paced simulated chip on a pseudo-terminal and a setup file that names it.
# Sets $work and $device; the chip stops and the folder goes when the script
# ends. Needs build/bin built.
device=${OSTRAND_DEMO_DEVICE:-KMT12E48}
work=$(mktemp -d "/tmp/ostrand-${demo_name:-demo}-XXXXXX")
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
if [ ! -e "$work/chip.tty" ]; then
    echo "${demo_name:-demo}: the simulator did not start"
    cat "$work/sim.out"
    exit 1
fi
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
