#!/usr/bin/env bash
# Runs every fuzz target on its seed corpus for a while.
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/fuzz}"
seconds="${2:-5}"
shopt -s nullglob
targets=("$build"/bin/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets built in $build"
  exit 0
fi
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus="fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=0 "$work" 2>&1 | tail -n 2
  rm -rf "$work"
done
