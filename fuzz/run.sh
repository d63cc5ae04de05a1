#!/usr/bin/env bash
# Runs one fuzz target on a working corpus in the build dir, started from the seeds in
# fuzz/corpus/<target>/, the seed_regression_* inputs of mended faults among them. Usage: fuzz/run.sh TARGET [SECONDS] [BUILD_DIR] [extra libFuzzer flags...]
set -euo pipefail
target=${1:?target: input_report_fuzz, settings_frame_fuzz, files_fuzz or profile_fuzz}
seconds=${2:-180}
build=${3:-build-fuzz}
shift $(( $# < 3 ? $# : 3 ))
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work="$build/corpus/$target"
artifacts="$build/artifacts/$target"
mkdir -p "$work" "$artifacts"
cp -n fuzz/corpus/"$target"/seed_* "$work"/ 2>/dev/null || true
exec "$build/fuzz/$target" "$work" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$@"
