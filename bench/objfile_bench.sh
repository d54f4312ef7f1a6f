#!/bin/sh
# Load time of a 512 KiB Intel HEX file: `ostrand-cli info` (read, SUM and
# object expansion file) against srec_cat converting the same file to binary.
# usage: bench/objfile_bench.sh [BUILD_DIR]   (default: build)
set -eu
build=${1:-build}
cli="$build/bin/ostrand-cli"
[ -x "$cli" ] || { echo "no $cli: build the ostrand-cli target first" >&2; exit 2; }
command -v srec_cat >/dev/null || { echo "srec_cat (package srecord) is needed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/Ostrand.def" <<'DEF'
[COMMON]
WebSiteURL=https://example.org/
[BENCH-F512]
BusWidth=0
SingleChipFlashAddress=0x0-0x7FFFF
SingleBootRAMAddress=0xF000-0xF7FF
SingleBootFlashAddress=0x0-0x7FFFF
ReceiveBufferSize=256
UseWCP=0
TotalWCP=0x0
SingleBootPassword=0
BootType=4
PageSize=128
PasswordArea=0x7FF00-0x7FFFF
SumArea=0x0-0x7FFFF
VectorArea=0x0-0x0
FlashSecondArea=0x0-0x0
DEF
head -c 524288 /dev/urandom > "$work/image.bin"
srec_cat "$work/image.bin" -Binary -o "$work/image.h20" -Intel -address-length=3

# Best of five wall-clock runs, in microseconds.
best() {
    b=
    for _ in 1 2 3 4 5; do
        t0=$(date +%s%N)
        "$@" > /dev/null
        t1=$(date +%s%N)
        t=$(( (t1 - t0) / 1000 ))
        if [ -z "$b" ] || [ "$t" -lt "$b" ]; then b=$t; fi
    done
    echo "$b"
}

ours=$(best "$cli" info "$work/image.h20" --home "$work" --device F512)
theirs=$(best srec_cat "$work/image.h20" -Intel -o "$work/out.bin" -Binary)
cmp -s "$work/out.bin" "$work/image.bin" || { echo "srec_cat did not reproduce the image" >&2; exit 1; }
echo "file: $(wc -c < "$work/image.h20") bytes of Intel HEX, 512 KiB of data"
echo "ostrand-cli info: ${ours} us"
echo "srec_cat:         ${theirs} us"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio (ostrand-cli / srec_cat): %.3f\n", a / b }'
