#!/usr/bin/env bash
# Builds Tessaro and starts it on the built-in simulated ESC (or on the device given
# with --device URI, e.g. --device hid for a real adapter).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
build=${TESSARO_BUILD_DIR:-$root/build}
args=("$@")
[[ ${#args[@]} -eq 0 ]] && args=(--device sim:family=3)
# The program reads language.ini and its pictures from the working directory.
cd "$root/resources"
if [[ -x "$build/src/tessaro" && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" || -n "${QT_QPA_PLATFORM:-}" ) ]]; then
  exec "$build/src/tessaro" "${args[@]}"
fi
echo "No display found: showing the ESC with tessaro-cli instead." >&2
exec "$build/src/tessaro-cli" "${args[@]}" info
