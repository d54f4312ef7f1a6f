#!/usr/bin/env bash
# Takes the README's pictures of the windowed program under a virtual X
# display: the main window on a simulated chip, the Auto Programming dialog
# and the result window of a good run, into docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DOSTRAND_SKIP= >/dev/null
cmake --build build -j "$(nproc)" --target ui_screenshots ostrand-sim >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
    build/tests/ui_screenshots docs/screenshots
