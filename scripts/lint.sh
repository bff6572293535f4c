#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy: the bugprone and concurrency checks, and the
# naming convention) over the sources of the folders below, and the headers
# they include from those folders, with the compile commands of a Linux build,
# and Clang's thread-safety analysis of the lock annotations. Fails on a name
# that breaks the convention or a lock rule broken; the other checks only
# report.
# Usage: scripts/lint.sh [build folder]   (default build/linux)
set -euo pipefail
cd "$(dirname "$0")/.."

# The library, the simulator, the tools and the example.
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
# The lock rules (base/thread_annotations.h) are checked as errors too.
"$tidy" --quiet -p "$build" --header-filter="^$root/($alternatives)/" \
  --extra-arg=-Wthread-safety --extra-arg=-Werror=thread-safety \
  "${files[@]}"
echo "lint: ${#files[@]} sources of ${folders[*]} checked"
