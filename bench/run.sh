#!/usr/bin/env bash
# Runs every benchmark and checks each figure against its target: the session on the real
# clock against the protocol's floors, the real window offscreen (start to first paint,
# idle CPU, peak memory), and the micro-benchmarks against their budgets. Builds what it
# needs in build-bench/ (Release) first. Exit status 0 when every figure is within its
# target, 1 when one is not.
#   bench/run.sh [--quick]
# --quick: fewer repetitions and 5 s of idle instead of 30, for a look while working.
# TESSARO_BENCH_BUILD_DIR overrides build-bench/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSARO_BENCH_BUILD_DIR:-$root/build-bench}
quick=0
[[ "${1:-}" == "--quick" ]] && quick=1

TESSARO_SETUP_BENCH=1 bash "$root/scripts/setup.sh"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARO_BUILD_TESTS=OFF \
    -DTESSARO_BUILD_BENCH=ON "${launcher[@]}" >/dev/null
fi
ninja -C "$build" session_bench window_bench micro_bench >/dev/null

export QT_QPA_PLATFORM=offscreen
repeat=5 update_repeat=3 idle=30 starts=5
if [[ $quick == 1 ]]; then repeat=2 update_repeat=1 idle=5 starts=3; fi

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
failed=0

echo
echo "== the session on the real clock, simulated ESC with its realistic delay"
"$build/bench/session_bench" --repeat "$repeat" --update-repeat "$update_repeat" || failed=1

echo
echo "== the window, offscreen, on the simulated ESC"
# A copy of the resources: the window keeps its marks in the language file it reads.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r "$root/resources" "$scratch/resources"
# Start to first paint: the median of several starts (the first one also warms the
# file cache for the ones after it, as a user's second start would be).
times=()
for ((i = 0; i < starts; i++)); do
  line=$("$build/bench/window_bench" "$scratch/resources" --startup-only) || true
  times+=("$(awk '{print $5}' <<<"$line")")
done
median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}')
verdict=$(awk -v m="$median" 'BEGIN {print (m != "" && m <= 300) ? "ok" : "MISSED"}')
printf '%-30s %8.2f ms  target <=300 ms  %s  (median of %d starts: %s)\n' \
  "start -> first paint" "$median" "$verdict" "$starts" "${times[*]}"
[[ $verdict == ok ]] || failed=1
# Idle CPU and peak memory over one run of $idle s.
"$build/bench/window_bench" "$scratch/resources" --idle-seconds "$idle" | grep -v '^start' || failed=1

echo
echo "== micro-benchmarks against their budgets"
"$build/bench/micro_bench" "$root/resources" --benchmark_min_time=$([[ $quick == 1 ]] && echo 0.05 || echo 0.2) || failed=1

echo
if [[ $failed == 0 ]]; then echo "every figure within its target"; else echo "SOME FIGURES MISSED THEIR TARGETS"; fi
exit $failed
