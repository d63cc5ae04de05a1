#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Tessaro need.
# Quick and silent when everything is there already; uses sudo when not root.
set -euo pipefail

packages=(
  cmake g++ make pkg-config ninja-build
  qt6-base-dev libgl-dev
  libhidapi-dev libudev-dev
  libgtest-dev libgmock-dev
  nlohmann-json3-dev
  fonts-noto-cjk fonts-dejavu-core
  python3
)
if [[ "${TESSARO_SETUP_SCREENSHOTS:-0}" == 1 ]]; then
  packages+=(xvfb xauth x11-apps x11-utils imagemagick openbox)
fi
# The strict checks CI runs (scripts/test.sh): the format check, and the sanitizer run
# built by clang (its sanitizer runtimes) with -Wconversion -Wshadow.
if [[ "${TESSARO_SETUP_STRICT:-${CI:-false}}" == 1 || "${TESSARO_SETUP_STRICT:-${CI:-false}}" == true ]]; then
  packages+=(clang libclang-rt-14-dev clang-format)
fi
# The benchmarks (bench/run.sh): Google Benchmark for the micro-benchmarks.
if [[ "${TESSARO_SETUP_BENCH:-0}" == 1 ]]; then
  packages+=(libbenchmark-dev)
fi

# The libFuzzer targets (fuzz/README.md): clang, its fuzzer and sanitizer runtimes
# (libclang_rt.fuzzer), and llvm-symbolizer for readable crash reports.
if [[ "${TESSARO_SETUP_FUZZ:-0}" == 1 ]]; then
  packages+=(clang libclang-rt-14-dev llvm)
fi
# The memory check of the window under valgrind (scripts/memcheck.sh).
if [[ "${TESSARO_SETUP_MEMCHECK:-0}" == 1 ]]; then
  packages+=(valgrind)
fi

# Packaging (scripts/check_package.sh, run by CI): the Debian package is built by cpack
# (dpkg-shlibdeps from dpkg-dev), and its AppStream metainfo, desktop entry and contents are
# checked with appstreamcli, desktop-file-validate and lintian.
if [[ "${TESSARO_SETUP_PACKAGING:-${CI:-false}}" == 1 || "${TESSARO_SETUP_PACKAGING:-${CI:-false}}" == true ]]; then
  packages+=(dpkg-dev fakeroot file appstream desktop-file-utils lintian)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
