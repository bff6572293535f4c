#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy: the bugprone and concurrency checks, and the
# naming convention) over the library's sources with the compile commands of
# a Linux build. Fails on a name that breaks the convention; the other checks
# only report. Usage: scripts/lint.sh [build folder]   (default build/linux)
set -euo pipefail
cd "$(dirname "$0")/.."

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

mapfile -t files < <(python3 - "$build/compile_commands.json" <<'PY'
import json, os, sys
root = os.path.realpath("src") + os.sep
seen = set()
for entry in json.load(open(sys.argv[1])):
    path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    if path.startswith(root) and path not in seen:
        seen.add(path)
        print(path)
PY
)
"$tidy" --quiet -p "$build" "${files[@]}"
echo "lint: ${#files[@]} library sources checked"
