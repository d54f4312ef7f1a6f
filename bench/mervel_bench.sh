#!/usr/bin/env bash
# mervel against srec_cat on 16 MiB of data.
#
# Builds mervel and the module generator (-O2) in its own folder, generates absolute
# objects holding 16 MiB of data, converts them to every format, and converts the same
# 16 MiB with srec_cat from a binary file to Intel HEX and to S-records (16 data bytes
# per record, like mervel). Prints wall times (best of 3) and the ratios
# mervel / srec_cat measured in this run.
#
# The formats' address spaces differ, so the 16 MiB are laid out to fit each one:
#   S24, S32   16 sections of 1 MiB at 0x000000 .. 0xFFFFFF (one output file)
#   HEX20      16 sections of 1 MiB, all at 0 (16 overlay files)
#   HEX16, S16 256 sections of 64 KiB, all at 0 (256 overlay files)
#
#   bench/mervel_bench.sh            build folder: build-mervel-bench/ beside bench/
#   MERVEL_BENCH_DIR=/tmp/x bench/mervel_bench.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${MERVEL_BENCH_DIR:-$repo/build-mervel-bench}
mkdir -p "$work"
cd "$work"
command -v srec_cat >/dev/null || { echo "srec_cat is needed (package srecord)" >&2; exit 1; }

CXX=${CXX:-c++}
echo "building mervel and the module generator in $work"
$CXX -std=c++20 -O2 -I "$repo/src" "$repo"/src/converter/*.cpp -o mervel
$CXX -std=c++20 -O2 "$repo/tools/mervel_make_module.cpp" -o make_module

total=$((16 * 1024 * 1024))
./make_module flat.abs $total $((1024 * 1024)) consecutive data.bin
./make_module stacked1m.abs $total $((1024 * 1024)) stacked
./make_module stacked64k.abs $total 65536 stacked
cmp -s <(head -c $total data.bin) data.bin && [ "$(stat -c %s data.bin)" = $total ] ||
    { echo "generated data has the wrong size" >&2; exit 1; }

# Best wall time of 3 runs of a command, in seconds.
best() {
    local best_t=""
    for _ in 1 2 3; do
        rm -rf out && mkdir out
        local t0 t1
        t0=$(date +%s.%N)
        (cd out && "$@" >/dev/null 2>&1) || { echo "failed: $*" >&2; exit 1; }
        t1=$(date +%s.%N)
        best_t=$(echo "$t0 $t1 ${best_t:-}" | awk '{d=$2-$1; if ($3=="" || d<$3) print d; else print $3}')
    done
    echo "$best_t"
}

m="$work/mervel"
t_h16=$(best "$m" -$ -Fh16 -o a.h16 ../stacked64k.abs)
t_h20=$(best "$m" -$ -Fh20 -o a.h20 ../stacked1m.abs)
t_s16=$(best "$m" -$ -Fs16 -o a.s16 ../stacked64k.abs)
t_s24=$(best "$m" -$ -Fs24 -o a.s24 ../flat.abs)
t_s32=$(best "$m" -$ -Fs32 -o a.s32 ../flat.abs)
t_ihex=$(best srec_cat ../data.bin -binary -o a.hex -intel -obs=16)
t_srec=$(best srec_cat ../data.bin -binary -o a.s37 -motorola -address-length=4 -obs=16)

# The S32 output read back by srec_cat must be the 16 MiB.
(cd out && "$m" -$ -Fs32 -o a.s32 ../flat.abs &&
    srec_cat a.s32 -motorola -o back.bin -binary 2>/dev/null) && cmp -s out/back.bin data.bin ||
    { echo "S32 output does not read back as the generated data" >&2; exit 1; }
rm -rf out

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
printf '%-34s %8s s\n' "srec_cat binary -> Intel HEX" "$t_ihex" "srec_cat binary -> S-records (S3)" "$t_srec"
printf '%-34s %8s s   ratio %s (vs srec_cat Intel HEX)\n' \
    "mervel HEX16 (256 overlays)" "$t_h16" "$(ratio "$t_h16" "$t_ihex")" \
    "mervel HEX20 (16 overlays)" "$t_h20" "$(ratio "$t_h20" "$t_ihex")"
printf '%-34s %8s s   ratio %s (vs srec_cat S-records)\n' \
    "mervel S16 (256 overlays)" "$t_s16" "$(ratio "$t_s16" "$t_srec")" \
    "mervel S24" "$t_s24" "$(ratio "$t_s24" "$t_srec")" \
    "mervel S32" "$t_s32" "$(ratio "$t_s32" "$t_srec")"
