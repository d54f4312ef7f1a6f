#!/bin/sh
# Load time of the definition file against its number of device sections:
# `ostrand-cli check` on generated files of 1,000 and 10,000 sections, best of
# three runs each, and the ratio of the two measured in this run. Loading is
# linear when the ratio stays near 10 (at most 15).
# usage: bench/definition_bench.sh [BUILD_DIR]   (default: build)
set -eu
build=${1:-build}
cli="$build/bin/ostrand-cli"
[ -x "$cli" ] || { echo "no $cli: build the ostrand-cli target first" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A definition file of $1 device sections in $2, spread over 50 series.
generate() {
    mkdir -p "$2"
    awk -v n="$1" 'BEGIN {
        print "[COMMON]"; print "WebSiteURL=https://example.org/"
        for (i = 0; i < n; i++) {
            printf "[SERIES%d-DEVICE%05d]\n", i % 50, i
            print "BusWidth=2"
            print "SingleChipFlashAddress=0x0-0xFFFF"
            print "SingleBootRAMAddress=0xF000-0xF7FF"
            print "SingleBootFlashAddress=0x0-0xFFFF"
            print "ReceiveBufferSize=256"
            print "UseWCP=1"
            print "TotalWCP=0x0"
            print "SingleBootPassword=0"
            print "BootType=1"
            print "PageSize=128"
            print "PasswordArea=0xFF00-0xFF3F"
            print "SumArea=0x0-0xFFFF"
            print "VectorArea=0xFFC0-0xFFFF"
            print "FlashSecondArea=0x0-0x0"
            print "EraseWaitTime=20"
        }
    }' > "$2/Ostrand.def"
}

# Best of three wall-clock runs, in microseconds; the load must succeed.
best() {
    b=
    for _ in 1 2 3; do
        t0=$(date +%s%N)
        "$cli" check --home "$1" > "$work/out.txt" 2>&1 ||
            { cat "$work/out.txt" >&2; echo "the definition file did not load" >&2; exit 1; }
        t1=$(date +%s%N)
        t=$(( (t1 - t0) / 1000 ))
        if [ -z "$b" ] || [ "$t" -lt "$b" ]; then b=$t; fi
    done
    echo "$b"
}

generate 1000 "$work/small"
generate 10000 "$work/large"
small=$(best "$work/small")
large=$(best "$work/large")
grep -q "(10000 devices)" "$work/out.txt" || { echo "not all sections were read" >&2; exit 1; }
echo "1,000 sections:  ${small} us"
echo "10,000 sections: ${large} us"
awk -v a="$large" -v b="$small" 'BEGIN { printf "ratio (10,000 / 1,000): %.2f\n", a / b }'
