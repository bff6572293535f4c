#!/usr/bin/env bash
# Checks that every C and C++ source of the repository is formatted as
# .clang-format says; changes nothing. Fails, naming the files, on any
# difference. To format: clang-format -i <file>.
set -euo pipefail
cd "$(dirname "$0")/.."

format=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$format" ]; then
  echo "check-format: clang-format not found" >&2
  exit 1
fi

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.c' '*.cc' '*.cpp' '*.h')
else  # an unpacked source archive
  mapfile -t files < <(find bench examples fuzz include sim src tests tools \
    -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.h' | sort)
fi
if ! "$format" --dry-run --Werror "${files[@]}"; then
  echo "check-format: the files above differ from their formatting" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
