#!/usr/bin/env bash
# Shows the turbo window (a simulated family-3 ESC) under Xvfb with a window manager, on a
# laptop screen of 1366x768 and on 1280x800, and checks with tessaro-window-check that it
# lies inside the screen with its three command buttons visible, and stays in place across
# three language changes. Also runs without a window manager. Pictures of each screen go
# to ${TESSARO_CHECK_DIR:-/tmp/tessaro-window-check}.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
TESSARO_SETUP_SCREENSHOTS=1 bash "$root/scripts/build.sh"
build=${TESSARO_BUILD_DIR:-$root/build}
out=${TESSARO_CHECK_DIR:-/tmp/tessaro-window-check}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/resources/." "$work/"
status=0
for size in 1366x768 1280x800; do
  for wm in openbox none; do
    echo "== ${size}, window manager: ${wm}"
    xvfb-run -a -s "-screen 0 ${size}x24" bash -c '
      if [[ "$1" != none ]]; then "$1" --sm-disable >/dev/null 2>&1 & sleep 1; fi
      QT_QPA_PLATFORM=xcb "$2" "$3" sim:family=3 "$4"' \
      _ "$wm" "$build/src/tessaro-window-check" "$work" "$out/turbo-${size}-${wm}.png" || status=1
  done
done
exit $status
