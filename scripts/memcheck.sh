#!/usr/bin/env bash
# Runs the real window under valgrind's memcheck on the simulated ESC, offscreen, driven
# through link-up, Read Setting, Send Setting and ESC Update with a generated image by
# tessaro-window-drive (tools/window_drive.cpp). Fails on any memory error valgrind reports
# and on any leak not suppressed in scripts/memcheck.supp (one-time allocations of Qt,
# fontconfig and glib that are not the program's), and when a step of the drive fails.
#   scripts/memcheck.sh [DEVICE_URI]        (default sim:family=3)
# The build dir is $TESSARO_BUILD_DIR or build/, configured RelWithDebInfo when it has
# never been; a sanitizer build does not do (valgrind and AddressSanitizer do not mix).
# MEMCHECK_GEN=1 adds suppression entries for what is reported to the log, to copy from.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSARO_BUILD_DIR:-$root/build}
uri=${1:-sim:family=3}
TESSARO_SETUP_MEMCHECK=1 bash "$root/scripts/setup.sh"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
if grep -q '^TESSARO_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "memcheck: $build is a sanitizer build; use a plain one (TESSARO_BUILD_DIR)" >&2
  exit 2
fi
jobs=$(nproc)
cmake --build "$build" --target tessaro-window-drive --parallel "$((jobs < 2 ? jobs : 2))"

log="$build/memcheck.log"
generate=()
[[ "${MEMCHECK_GEN:-0}" == 1 ]] && generate=(--gen-suppressions=all)
echo "memcheck: the window on $uri under valgrind; its report goes to $log"
start=$SECONDS
status=0
QT_QPA_PLATFORM=offscreen valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
  --num-callers=40 --track-origins=yes --suppressions="$root/scripts/memcheck.supp" \
  --log-file="$log" "${generate[@]}" \
  "$build/src/tessaro-window-drive" "$root/resources" "$uri" || status=$?
grep -E '^==[0-9]+== (ERROR SUMMARY|.*(definitely|indirectly|possibly) lost|.*suppressed:)' \
  "$log" || true
echo "memcheck: $((SECONDS - start)) s, exit status $status"
exit "$status"
