#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy: the bugprone and concurrency checks, and the
# naming convention) over the sources of the folders below, and the headers
# they include from those folders, with the compile commands of a build, and
# Clang's thread-safety analysis of the lock annotations. Fails on a name
# that breaks the convention or a lock rule broken; the other checks only
# report.
# Usage: scripts/lint.sh [build folder]   (default build/linux)
#        scripts/lint.sh --windows [build folder]   (default build/windows)
# --windows checks the sources only the Windows build compiles (those not in
# build/linux's compile commands, when that build exists), as the MinGW
# compiler sees them: its target and its C++ library.
set -euo pipefail
cd "$(dirname "$0")/.."

# The library, the simulator, the tools and the example.
folders=(src sim tools examples)

windows=0
if [ "${1:-}" = --windows ]; then
  windows=1
  shift
fi
build="${1:-$([ "$windows" = 1 ] && echo build/windows || echo build/linux)}"
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$tidy" ]; then
  echo "lint: clang-tidy not found" >&2
  exit 1
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "lint: no $build/compile_commands.json (configure that build first)" >&2
  exit 1
fi

database="$build"
extra=()
if [ "$windows" = 1 ]; then
  # Clang takes the target from the compiler's name in the commands; the one
  # flag it does not know is dropped, and the C++ library is MinGW's own.
  database="$build/lint"
  mkdir -p "$database"
  compiler=$(python3 - "$build/compile_commands.json" "$database" <<'PY'
import json, sys
entries = json.load(open(sys.argv[1]))
for entry in entries:
    entry["command"] = entry["command"].replace(" -fno-keep-inline-dllexport", "")
json.dump(entries, open(sys.argv[2] + "/compile_commands.json", "w"))
print(entries[0]["command"].split()[0])
PY
)
  extra+=(--extra-arg=-nostdinc++)
  while read -r folder; do
    extra+=("--extra-arg=-isystem$folder")
  done < <("$compiler" -v -E -x c++ /dev/null 2>&1 |
    sed -n '/search starts here/,/End of search list/p' | grep '/c++' |
    sed 's/^ *//')
fi

mapfile -t files < <(python3 - "$database/compile_commands.json" \
  "$([ "$windows" = 1 ] && echo build/linux/compile_commands.json)" \
  "${folders[@]}" <<'PY'
import json, os, sys

def paths(database):
    for entry in json.load(open(database)):
        yield os.path.realpath(os.path.join(entry["directory"], entry["file"]))

roots = tuple(os.path.realpath(folder) + os.sep for folder in sys.argv[3:])
skip = set(paths(sys.argv[2])) if sys.argv[2] and os.path.exists(sys.argv[2]) else set()
seen = set()
for path in paths(sys.argv[1]):
    if path.startswith(roots) and path not in seen and path not in skip:
        seen.add(path)
        print(path)
PY
)
root=$(pwd | sed 's/[.*^$+?(){}|[]/\\&/g')  # as a regular expression
alternatives=$(IFS='|'; echo "${folders[*]}")
# The lock rules (base/thread_annotations.h) are checked as errors too.
"$tidy" --quiet -p "$database" --header-filter="^$root/($alternatives)/" \
  --extra-arg=-Wthread-safety --extra-arg=-Werror=thread-safety \
  "${extra[@]}" "${files[@]}"
echo "lint: ${#files[@]} sources of ${folders[*]} checked ($build)"
