#!/usr/bin/env bash
# Builds Tessaro and runs the whole test suite; with TESSARO_SANITIZE=1 (the default
# under CI) a second build with AddressSanitizer and UBSan runs the suite again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
werror=OFF
[[ "${CI:-}" == "true" ]] && werror=ON
TESSARO_BUILD_DIR=${TESSARO_BUILD_DIR:-$root/build} bash "$root/scripts/build.sh" -DTESSARO_WERROR=$werror
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${TESSARO_BUILD_DIR:-$root/build}" --output-on-failure --parallel "$(nproc)" --timeout 300

if [[ "${TESSARO_SANITIZE:-${CI:-false}}" == "1" || "${TESSARO_SANITIZE:-${CI:-false}}" == "true" ]]; then
  san="$root/build-sanitize"
  TESSARO_BUILD_DIR=$san TESSARO_BUILD_TYPE=Debug bash "$root/scripts/build.sh" \
    -DTESSARO_WERROR=$werror -DTESSARO_SANITIZE=ON
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$san" --output-on-failure --parallel "$(nproc)" --timeout 600
fi
