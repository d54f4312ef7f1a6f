#!/usr/bin/env bash
# install_test.sh BUILD: installs BUILD into a temporary prefix and programs a
# simulated chip with the installed programs, no OSTRAND_HOME set and HOME a
# temporary folder; nothing is written outside it.
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/ostrand-install-XXXXXX)
sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install test: $*"; exit 1; }

cmake --install "$build" --prefix "$work/usr" >/dev/null
prefix=$work/usr
expected=(bin/ostrand-cli bin/ostrand-sim bin/mervel share/ostrand/Ostrand.def
          share/ostrand/KMT12E48/totalwcp.wcp share/ostrand/samples/demo.h20
          share/ostrand/samples/demo.abs share/ostrand/etc/mervel.hlp
          share/man/man1/ostrand-cli.1.gz share/man/man1/ostrand-sim.1.gz
          share/man/man1/mervel.1.gz share/man/man1/ostrand.1.gz)
if [ -x "$build/bin/ostrand" ]; then
    expected+=(bin/ostrand share/ostrand/Help.pdf share/applications/ostrand.desktop
               share/icons/hicolor/scalable/apps/ostrand.svg)
fi
for f in "${expected[@]}"; do [ -e "$prefix/$f" ] || fail "missing $f"; done
# Nothing but the programs in bin/: no tests, no build tools.
extra=$(ls "$prefix/bin" | grep -vxE 'ostrand|ostrand-cli|ostrand-sim|mervel' || true)
[ -z "$extra" ] || fail "unexpected in bin/: $extra"

# Everything the installed programs write goes below the temporary HOME (and
# the files this script names): the prefix, the working folder and the real
# user's program folder stay as they were.
real_home=${HOME:-/nonexistent}
export HOME=$work/home TMPDIR=$work/tmp
unset OSTRAND_HOME XDG_DATA_HOME OSTRAND_TRACE
mkdir -p "$HOME" "$TMPDIR" "$work/cwd"
cd "$work/cwd"
touch "$work/before"
sleep 0.1  # later writes get a later time stamp

"$prefix/bin/ostrand-cli" --version >"$work/version" || fail "--version failed"
grep -qE "^ostrand-cli [0-9.]+ \(Ver1\.0d\)$" "$work/version" ||
    fail "--version says: $(cat "$work/version")"
"$prefix/bin/ostrand-sim" --home "$prefix/share/ostrand" --device KMT12E48 \
    --link "$work/chip.tty" >"$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$work/chip.tty" ] && break; sleep 0.1; done
[ -e "$work/chip.tty" ] || fail "the simulator did not start: $(cat "$work/sim.out")"

# The .abs sample goes through the installed converter into the user's tmp/.
status=0
"$prefix/bin/ostrand-cli" auto --device KMT12E48 --port "$work/chip.tty" --rate 76800 \
    --erase --blank --program --verify --record "$HOME/runs.jsonl" \
    "$prefix/share/ostrand/samples/demo.abs" >"$work/out" 2>"$work/err" || status=$?
[ "$status" = 0 ] || fail "auto ended with $status: $(cat "$work/err")"
user=$HOME/.local/share/ostrand
[ -f "$user/Ostrand.def" ] || fail "no per-user program folder at $user"
[ -f "$user/KMT12E48/totalwcp.wcp" ] || fail "the WCP folders were not copied"
ls "$user/tmp/"demo.* >/dev/null 2>&1 || fail "the conversion did not use $user/tmp"
grep -q "^Result: OK" "$work/out" || fail "no good result in: $(cat "$work/out" "$work/err")"
python3 -c '
import json, sys
lines = open(sys.argv[1]).read().splitlines()
assert len(lines) == 1 and json.loads(lines[0])["result"] == "OK", lines
' "$HOME/runs.jsonl" || fail "no good run record"
"$prefix/bin/ostrand-cli" --version | grep -q "^Ostrand Ver1.0d$" ||
    fail "--version does not read $user/Ostrand.def"
kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null || true
sim=""

written=$(find "$prefix" "$work/cwd" -newer "$work/before" | grep -vx "$work/cwd" || true)
[ -z "$written" ] || fail "written outside HOME: $written"
if [ -d "$real_home/.local/share/ostrand" ]; then
    written=$(find "$real_home/.local/share/ostrand" -newer "$work/before")
    [ -z "$written" ] || fail "the real user's program folder changed: $written"
fi
echo "install test: passed"
