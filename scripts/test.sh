#!/usr/bin/env bash
# Builds Tessaro and runs the whole test suite; with TESSARO_SANITIZE=1 (the default
# under CI) a second build with AddressSanitizer and UBSan runs the suite again. With
# TESSARO_STRICT=1 (the default under CI) the format check runs first, and the second
# build is clang's with -Wconversion -Wshadow as errors in the program's own sources.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
werror=OFF
[[ "${CI:-}" == "true" ]] && werror=ON
strict=${TESSARO_STRICT:-${CI:-false}}
if [[ "$strict" == 1 || "$strict" == true ]]; then
  # Formatting first: it takes a second, and a file left unformatted fails the run.
  TESSARO_SETUP_STRICT=1 bash "$root/scripts/setup.sh"
  bash "$root/scripts/check_format.sh"
fi
TESSARO_BUILD_DIR=${TESSARO_BUILD_DIR:-$root/build} bash "$root/scripts/build.sh" -DTESSARO_WERROR=$werror
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${TESSARO_BUILD_DIR:-$root/build}" --output-on-failure --parallel "$(nproc)" --timeout 300

sanitize=${TESSARO_SANITIZE:-${CI:-false}}
if [[ "$sanitize" == 1 || "$sanitize" == true ]]; then
  san="$root/build-sanitize"
  compiler=()
  if [[ "$strict" == 1 || "$strict" == true ]]; then
    # The second run is clang's, with the program's own sources also under -Wconversion
    # and -Wshadow: the suite passes with both compilers.
    compiler=(-DCMAKE_CXX_COMPILER=clang++ -DTESSARO_STRICT_WARNINGS=ON)
    san="$root/build-sanitize-clang"
  fi
  TESSARO_BUILD_DIR=$san TESSARO_BUILD_TYPE=Debug bash "$root/scripts/build.sh" \
    -DTESSARO_WERROR=$werror -DTESSARO_SANITIZE=ON "${compiler[@]}"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$san" --output-on-failure --parallel "$(nproc)" --timeout 600
elif [[ "$strict" == 1 || "$strict" == true ]]; then
  # Without the sanitizer run, the program's own sources once more with clang,
  # -Wconversion and -Wshadow as errors.
  clang_build="$root/build-clang"
  cmake -S "$root" -B "$clang_build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DTESSARO_WERROR=ON -DTESSARO_STRICT_WARNINGS=ON \
    -DTESSARO_BUILD_TESTS=OFF -DTESSARO_BUILD_BENCH=OFF >/dev/null
  cmake --build "$clang_build" --parallel "$(nproc)"
fi

# The Debian package, built from the first build and checked as installed
# (scripts/check_package.sh): under CI, or with TESSARO_PACKAGE=1.
package=${TESSARO_PACKAGE:-${CI:-false}}
if [[ "$package" == 1 || "$package" == true ]]; then
  TESSARO_BUILD_DIR=${TESSARO_BUILD_DIR:-$root/build} bash "$root/scripts/check_package.sh"
fi

# The window under valgrind's memcheck (scripts/memcheck.sh, about a minute), on the plain
# build of the first run: any memory error or leak of ours fails the run.
memcheck=${TESSARO_MEMCHECK:-${CI:-false}}
if [[ "$memcheck" == 1 || "$memcheck" == true ]]; then
  TESSARO_BUILD_DIR=${TESSARO_BUILD_DIR:-$root/build} bash "$root/scripts/memcheck.sh"
fi

# Fuzzing, after the suites (fuzz/run.sh): every libFuzzer target for 30 s (or
# TESSARO_FUZZ_SECONDS) in build-fuzz, built with clang when missing; a crash, leak,
# timeout or running out of memory fails the run and names the target and its input.
fuzz=${TESSARO_FUZZ:-${CI:-false}}
if [[ "$fuzz" == 1 || "$fuzz" == true ]]; then
  bash "$root/fuzz/run.sh" all "${TESSARO_FUZZ_SECONDS:-30}" "$root/build-fuzz"
fi
