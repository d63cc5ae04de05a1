#!/usr/bin/env bash
# Checks that every C++ source and header git tracks is formatted as .clang-format says;
# lists the files that are not, with the command that formats them. Exit 1 when any is off.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
format=${CLANG_FORMAT:-clang-format}
if ! command -v "$format" >/dev/null; then
  echo "check_format: $format is not installed (apt-get install clang-format)" >&2
  exit 2
fi
off=()
while IFS= read -r -d '' file; do
  if ! "$format" --dry-run --Werror "$file" >/dev/null 2>&1; then
    off+=("$file")
  fi
done < <(git ls-files -z -- '*.cpp' '*.h')
if [[ ${#off[@]} -gt 0 ]]; then
  echo "check_format: ${#off[@]} file(s) not formatted as .clang-format says:" >&2
  printf '  %s\n' "${off[@]}" >&2
  echo "format them with: $format -i FILE..." >&2
  exit 1
fi
echo "check_format: every tracked C++ file is formatted"
