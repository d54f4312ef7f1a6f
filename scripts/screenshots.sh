#!/usr/bin/env bash
# Takes the README's and the manual's pictures of the windowed program under
# a virtual X display, into docs/screenshots/: the main window on a simulated
# chip, the Auto Programming dialog, the result window of a good run, the
# memory dump, the Compare dialog, the
# four pages of the Setup dialog, the Setup Password dialog and Setup
# Information.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DOSTRAND_SKIP= >/dev/null
cmake --build build -j "$(nproc)" --target ui_screenshots ostrand-sim >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
    build/tools/screenshots/ui_screenshots docs/screenshots
