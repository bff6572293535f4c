#!/usr/bin/env bash
# Checks the formatting of every source, then builds both targets and runs
# every test: the Linux build natively (then clang-tidy over the library),
# under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, the fuzz targets briefly on their seed corpus, and the
# Windows build under Wine.
# Usage: scripts/test.sh [preset ...]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

echo "=== formatting"
scripts/check-format.sh

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(linux linux-asan linux-tsan fuzz windows)

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"

for preset in "${presets[@]}"; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  if [ "$preset" = fuzz ]; then
    echo "=== fuzz: seed corpora"
    scripts/fuzz.sh build/fuzz 5
  else
    echo "=== ${preset}: tests"
    ctest --preset "$preset"
  fi
  if [ "$preset" = linux ]; then
    echo "=== lint"
    scripts/lint.sh build/linux
  fi
done
echo "=== all builds passed"
