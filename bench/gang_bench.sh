#!/usr/bin/env bash
# Gang benchmark: 64 KiB programmed by 'ostrand-cli gang' into one paced
# simulated chip, then into four and into sixteen at once, at 115200 bps. The
# ports work side by side, so many should take about as long as one: prints
# the times, elapsed(N ports) / elapsed(1 port), and elapsed(N ports) over the
# wire time of the busiest simulated chip (bench/wire_model.py).
#
# usage: bench/gang_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail

SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build}
BIN=$(cd "$BUILD/bin" && pwd)
DEVICE=KMR8L256
RATE=115200
WORK=$(mktemp -d)
SIM_PIDS=()
stop_sims() {
    for pid in "${SIM_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${SIM_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
    SIM_PIDS=()
}
cleanup() {
    stop_sims
    rm -rf "$WORK"
}
trap cleanup EXIT

# Program folder: the demo definitions with the device's matching wait cut to
# 20 ms (its RecTimeOut), and its WCP folder.
sed -E "s/^\[KMR8-$DEVICE\]$/[KMR8-$DEVICE]\nRecTimeOut=20/" "$SRC/data/Ostrand.def" > "$WORK/Ostrand.def"
cp -r "$SRC/data/$DEVICE" "$WORK/"

# 64 KiB at the start of the flash (0x10000-0x1FFFF), Intel HEX with a segment record.
python3 - "$WORK/64k.h20" <<'EOF'
import random, sys
random.seed(11)
lines = []
def rec(addr, typ, data):
    body = [len(data), addr >> 8 & 255, addr & 255, typ] + data
    lines.append(':' + ''.join('%02X' % b for b in body) + '%02X' % (-sum(body) & 255))
rec(0, 2, [0x10, 0])
for off in range(0, 0x10000, 16):
    rec(off, 0, [random.randrange(256) for _ in range(16)])
lines.append(':00000001FF')
open(sys.argv[1], 'w').write('\n'.join(lines) + '\n')
EOF

run() {  # run N: prints the seconds gang took for N chips and the wire model
    local n=$1 ports=()
    for i in $(seq "$n"); do
        rm -f "$WORK/flash$i.bin" "$WORK/sim$i.out"
        rm -f "$WORK/sim$i.log"
        "$BIN/ostrand-sim" --home "$WORK" --device "$DEVICE" --flash "$WORK/flash$i.bin" \
            --log "$WORK/sim$i.log" --pace > "$WORK/sim$i.out" 2>&1 &
        SIM_PIDS+=($!)
    done
    for i in $(seq "$n"); do
        for _ in $(seq 50); do [ -s "$WORK/sim$i.out" ] && break; sleep 0.1; done
        ports+=(--port "$(head -1 "$WORK/sim$i.out")")
    done
    local start end
    start=$(date +%s.%N)
    "$BIN/ostrand-cli" gang "${ports[@]}" --home "$WORK" --device "$DEVICE" --rate "$RATE" \
        --blank-device --program "$WORK/64k.h20" > "$WORK/gang$n.out" 2> "$WORK/gang$n.err" ||
        { cat "$WORK/gang$n.out" "$WORK/gang$n.err" >&2; stop_sims; exit 1; }
    end=$(date +%s.%N)
    stop_sims
    local logs=()
    for i in $(seq "$n"); do logs+=("$WORK/sim$i.log"); done
    local model count
    read -r model count < <(python3 "$SRC/bench/wire_model.py" "${logs[@]}")
    python3 -c "print(f'{$end - $start:.3f} $model')"
}

echo "ostrand gang benchmark: $DEVICE, 64 KiB at $RATE bps, paced"
# run is a subshell here: it stops its own simulators, also when it fails.
one=$(run 1)
four=$(run 4)
sixteen=$(run 16)
python3 - $one $four $sixteen <<'EOF'
import sys
one, m1, four, m4, sixteen, m16 = (float(a) for a in sys.argv[1:7])
print(f"1 port   {one:7.2f} s  wire model {m1:6.2f} s  elapsed/model {one / m1:.3f}")
print(f"4 ports  {four:7.2f} s  wire model {m4:6.2f} s  elapsed/model {four / m4:.3f}")
print(f"16 ports {sixteen:7.2f} s  wire model {m16:6.2f} s  elapsed/model {sixteen / m16:.3f}")
print(f"elapsed(4 ports) / elapsed(1 port) = {four / one:.3f}")
print(f"elapsed(16 ports) / elapsed(1 port) = {sixteen / one:.3f}")
EOF
