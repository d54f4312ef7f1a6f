#!/usr/bin/env bash
# Programming benchmark: a full image of the largest demo device that runs at
# 115200 bps, programmed through the simulated chip twice, paced (every byte
# held for its time on the wire) and unpaced. Prints elapsed / wire-time model
# for each run (bench/wire_model.py: every byte of the simulator's log at its
# rate and frame, plus the simulator's own waits). The third run is paced
# with the wire trace on; the last line is its time over the paced run's.
#
# usage: bench/program_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail

SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build}
BIN=$(cd "$BUILD/bin" && pwd)
DEVICE=KMR8L256
RATE=115200
WORK=$(mktemp -d)
SIM_PID=
cleanup() {
    if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT
[ -n "${KEEP_LOG:-}" ] && trap "kill \$SIM_PID 2>/dev/null; cp \$WORK/*.log /tmp/fl/ 2>/dev/null; rm -rf \$WORK" EXIT

# Program folder: the demo definitions with the device's matching wait cut to
# 20 ms (its RecTimeOut), and its WCP folder.
sed -E "s/^\[KMR8-$DEVICE\]$/[KMR8-$DEVICE]\nRecTimeOut=20/" "$BIN/Ostrand.def" > "$WORK/Ostrand.def"
cp -r "$BIN/$DEVICE" "$WORK/"

# The whole flash (0x10000-0x4FFFF) as an Intel HEX object with segment records.
python3 - "$WORK/full.h20" <<'EOF'
import random, sys
random.seed(7)
lines = []
def rec(addr, typ, data):
    body = [len(data), addr >> 8 & 255, addr & 255, typ] + data
    lines.append(':' + ''.join('%02X' % b for b in body) + '%02X' % (-sum(body) & 255))
for seg in range(1, 5):
    rec(0, 2, [seg << 4, 0])
    for off in range(0, 0x10000, 16):
        rec(off, 0, [random.randrange(256) for _ in range(16)])
lines.append(':00000001FF')
open(sys.argv[1], 'w').write('\n'.join(lines) + '\n')
EOF

run() {  # run NAME [--pace]
    local name=$1
    shift
    rm -f "$WORK/flash.bin" "$WORK/$name.log"
    "$BIN/ostrand-sim" --home "$WORK" --device "$DEVICE" --flash "$WORK/flash.bin" \
        --log "$WORK/$name.log" "$@" > "$WORK/sim.out" &
    SIM_PID=$!
    for _ in $(seq 50); do [ -s "$WORK/sim.out" ] && break; sleep 0.1; done
    local port
    port=$(head -1 "$WORK/sim.out")
    local start end
    start=$(date +%s.%N)
    local trace=()
    [ "$name" = traced ] && trace=(--trace "$WORK/wire.trace")
    "$BIN/ostrand-cli" program "$WORK/full.h20" --home "$WORK" --device "$DEVICE" \
        --port "$port" --rate "$RATE" --blank-device "${trace[@]}" 2> "$WORK/$name.err" ||
        { cat "$WORK/$name.err"; exit 1; }
    end=$(date +%s.%N)
    kill "$SIM_PID"
    wait "$SIM_PID" 2>/dev/null || true
    SIM_PID=
    local model count
    read -r model count < <(python3 "$SRC/bench/wire_model.py" "$WORK/$name.log")
    python3 -c "e = $end - $start; print(f'$name'.ljust(8) + f' bytes on the line {$count:8d}  model {$model:7.2f} s  elapsed {e:7.2f} s  elapsed/model {e / $model:6.3f}')"
    ELAPSED[$name]=$(python3 -c "print($end - $start)")
}

echo "ostrand programming benchmark: $DEVICE, 256 KiB at $RATE bps"
declare -A ELAPSED
# run's results come back through ELAPSED: not in a subshell.
run paced --pace
run unpaced
run traced --pace
python3 -c "print(f'paced with --trace / paced without = {${ELAPSED[traced]} / ${ELAPSED[paced]}:.3f}')"
