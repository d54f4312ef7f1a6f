#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address and undefined-behaviour
# sanitizers) in build-fuzz/ and runs each in turn for SECONDS (default 600),
# one worker each, from its seed corpus in fuzz/. New inputs go to
# build-fuzz/corpus/<target>, crashes to build-fuzz/artifacts/, each run's
# output to build-fuzz/logs/<target>.log; the last line of each log (execs,
# cov:, ft:, exec/s) is printed at the end.
#   fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
out=build-fuzz
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CXX=clang++ cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRAND_FUZZ=ON \
    -DOSTRAND_TESTS=OFF -DOSTRAND_UI=OFF -DOSTRAND_SKIP="document;cli;ui" "${launcher[@]}" >/dev/null

# target, seed corpus folder
targets=(
    "fuzz_config fuzz/config/corpus"
    "fuzz_password_log fuzz/password_log/corpus"
    "fuzz_wcp fuzz/wcp/corpus"
    "fuzz_object_records fuzz/objfile/corpus"
    "fuzz_object_image fuzz/object_image/corpus"
    "fuzz_engine_replies fuzz/engine/corpus"
    "mervel_fuzz fuzz/mervel/corpus"
    "mervel_cmd_fuzz fuzz/mervel/corpus-cmd"
    "fuzz_sim_host_bytes fuzz/sim/corpus"
)
wanted=("$@")
names=()
for t in "${targets[@]}"; do
    name=${t%% *}
    if [ ${#wanted[@]} -eq 0 ] || [[ " ${wanted[*]} " == *" $name "* ]]; then names+=("$name"); fi
done
cmake --build "$out" -j 2 --target "${names[@]}"

mkdir -p "$out/logs" "$out/artifacts"
failed=0
for t in "${targets[@]}"; do
    name=${t%% *}
    seeds=${t#* }
    [[ " ${names[*]} " == *" $name "* ]] || continue
    mkdir -p "$out/corpus/$name"
    echo "== $name: ${seeds}, ${seconds} s"
    # -handle_xfsz=0: the converter's targets cap their output with a file
    # size limit and expect a failed write, not the fuzzer's stop.
    if ! "$out/tests/$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
        -handle_xfsz=0 -print_final_stats=1 -artifact_prefix="$out/artifacts/$name-" \
        "$out/corpus/$name" "$seeds" >"$out/logs/$name.log" 2>&1; then
        echo "   FAILED: see $out/logs/$name.log and $out/artifacts/"
        failed=1
    fi
done
echo
for name in "${names[@]}"; do
    printf '%-22s %s\n' "$name" "$(grep -E '^#[0-9]+.*(DONE|pulse|REDUCE|NEW)' "$out/logs/$name.log" | tail -1)"
done
exit $failed
