#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy: the bugprone and concurrency checks, and the
# naming convention) over the sources of the folders below, and the headers
# they include from those folders, with the compile commands of a Linux build.
# Fails on a name that breaks the convention; the other checks only report.
# Usage: scripts/lint.sh [build folder]   (default build/linux)
set -euo pipefail
cd "$(dirname "$0")/.."

# The library and the simulator. tools joins this list (one word) once its
# names follow the convention.
folders=(src sim tools examples)

build="${1:-build/linux}"
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$tidy" ]; then
  echo "lint: clang-tidy not found" >&2
  exit 1
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "lint: no $build/compile_commands.json (configure that build first)" >&2
  exit 1
fi

mapfile -t files < <(python3 - "$build/compile_commands.json" "${folders[@]}" <<'PY'
import json, os, sys
roots = tuple(os.path.realpath(folder) + os.sep for folder in sys.argv[2:])
seen = set()
for entry in json.load(open(sys.argv[1])):
    path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    if path.startswith(roots) and path not in seen:
        seen.add(path)
        print(path)
PY
)
root=$(pwd | sed 's/[.*^$+?(){}|[]/\\&/g')  # as a regular expression
alternatives=$(IFS='|'; echo "${folders[*]}")
"$tidy" --quiet -p "$build" --header-filter="^$root/($alternatives)/" \
  "${files[@]}"
echo "lint: ${#files[@]} sources of ${folders[*]} checked"
