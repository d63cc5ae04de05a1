#!/usr/bin/env bash
# Runs fuzz targets on working corpora in the build dir, started from the seeds in
# fuzz/corpus/<target>/, the seed_regression_* inputs of mended faults among them.
#   fuzz/run.sh TARGET [SECONDS] [BUILD_DIR] [extra libFuzzer flags...]
#   fuzz/run.sh all [SECONDS] [BUILD_DIR] [extra libFuzzer flags...]   every target in turn
# SECONDS is per target (default 180). The build dir (default build-fuzz) is configured
# and the targets built first when needed (clang and libFuzzer are installed through
# scripts/setup.sh); ccache is used when present. Each target ends with a line of its
# figures; the exit status is non-zero when any target found a crash, a leak, a timeout
# or running out of memory, and the lines at the end name the target and the input that
# shows it.
set -euo pipefail
targets=(input_report_fuzz settings_frame_fuzz files_fuzz profile_fuzz socket_fuzz)
target=${1:?"target: all, or one of ${targets[*]}"}
seconds=${2:-180}
build=${3:-build-fuzz}
shift $(($# < 3 ? $# : 3))
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [[ "$target" == all ]]; then
  selected=("${targets[@]}")
else
  selected=("$target")
fi

# Configures the build dir when it has never been, and brings the targets up to date
# (a no-op when they are).
build_targets() {
  if [[ ! -f "$build/CMakeCache.txt" ]]; then
    TESSARO_SETUP_FUZZ=1 bash "$root/scripts/setup.sh"
    local launcher=()
    if command -v ccache >/dev/null; then
      launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
      export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
    fi
    # No build type: the targets' own flags (-O1 -g) apply, and assertions stay in.
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
      -DTESSARO_BUILD_FUZZ=ON -DTESSARO_BUILD_GUI=OFF -DTESSARO_BUILD_TESTS=OFF \
      -DTESSARO_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
  fi
  local jobs
  jobs=$(nproc)
  cmake --build "$build" --parallel "$((jobs < 2 ? jobs : 2))" --target "${selected[@]}"
}
build_targets

# The figures of a finished run: executions and their rate from -print_final_stats, and
# coverage (edges, features) and corpus from libFuzzer's last status line.
summarise() {
  local name=$1 log=$2 status=$3
  local runs rate last cov ft corpus
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p' <<<"$last")
  printf '%-20s %s: %s executions, %s exec/s, cov %s, ft %s, corpus %s\n' "$name" "$status" \
    "${runs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "${corpus:-?}"
}

findings=()
summaries=()
for name in "${selected[@]}"; do
  work="$build/corpus/$name"
  artifacts="$build/artifacts/$name"
  log="$build/logs/$name.log"
  mkdir -p "$work" "$artifacts" "$build/logs"
  cp -n fuzz/corpus/"$name"/seed_* "$work"/ 2>/dev/null || true
  echo "== $name: $seconds s, corpus $work, log $log"
  # A slow input counts as a finding after a minute (libFuzzer's own limit is 20).
  status=0
  "$build/fuzz/$name" "$work" -max_total_time="$seconds" -print_final_stats=1 -timeout=60 \
    -artifact_prefix="$artifacts/" "$@" >"$log" 2>&1 || status=$?
  grep -E '^(#[0-9]+.*(DONE|NEW|pulse)|stat::|==[0-9]+==|SUMMARY|INFO: (Seed|Loaded|-max_len))' "$log" | tail -n 12 || true
  if [[ $status -eq 0 ]]; then
    summaries+=("$(summarise "$name" "$log" ok)")
  else
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    kind=$(grep -m1 -oE 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer): [a-zA-Z-]+|runtime error|deadly signal|out-of-memory|timeout' "$log" || true)
    summaries+=("$(summarise "$name" "$log" "FINDING (exit $status)")")
    findings+=("$name: ${kind:-exit status $status}; input ${artifact:-(none written)}; log $log")
  fi
done

echo "== figures"
printf '%s\n' "${summaries[@]}"
if [[ ${#findings[@]} -gt 0 ]]; then
  echo "== findings"
  printf '%s\n' "${findings[@]}"
  echo "Replay one with: $build/fuzz/TARGET INPUT (see fuzz/README.md)"
  exit 1
fi
