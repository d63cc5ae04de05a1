#!/usr/bin/env bash
# Saves pictures of the window (ESC families 1, 3, 5 and 7, English and Chinese) into docs/.
# Runs under Xvfb, as a desktop would show it; TESSARO_SCREENSHOT_PLATFORM=offscreen
# draws without any X server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
TESSARO_SETUP_SCREENSHOTS=1 bash "$root/scripts/build.sh"
build=${TESSARO_BUILD_DIR:-$root/build}
if [[ "${TESSARO_SCREENSHOT_PLATFORM:-xvfb}" == offscreen ]]; then
  QT_QPA_PLATFORM=offscreen "$build/src/tessaro-screenshots" "$root/resources" "$root/docs"
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/src/tessaro-screenshots" "$root/resources" "$root/docs"
fi
