#!/usr/bin/env bash
# Checks the formatting of every source, then builds both targets and runs
# every test: the Linux build natively (then clang-tidy and the lock analysis
# over the library, the simulator and the tools),
# under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, the fuzz targets briefly on their seed corpus, and the
# Windows build under Wine (then the same lint over its own sources, and the
# release archive made from that build, unpacked and built against).
# Usage: scripts/test.sh [preset ...]   (default: all)
#        scripts/test.sh --repeat N [M] (the suite under load, see below)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

# --repeat N [M]: with two processes keeping both cores busy, every test of
# the Linux build N times in a row, then the Windows build's tool tests (tap,
# replay, dump, host, client, bridge) M times in a row under Wine (default 2:
# a round of them under Wine takes minutes). A test that depends on how fast
# the machine is fails here first.
if [ "${1:-}" = --repeat ]; then
  count="${2:?usage: scripts/test.sh --repeat N [M]}"
  windows_count="${3:-2}"
  burners=()
  trap 'kill "${burners[@]}" 2>/dev/null' EXIT
  trap 'exit 1' INT TERM
  for _ in 1 2; do
    sh -c 'while :; do :; done' &
    burners+=($!)
  done
  echo "=== under load (burners ${burners[*]}): linux, every test ${count} times"
  cmake --preset linux >/dev/null
  cmake --build --preset linux
  ctest --preset linux --repeat "until-fail:${count}"
  echo "=== under load: windows, the tool tests ${windows_count} times"
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  ctest --preset windows --repeat "until-fail:${windows_count}" \
    -R '^(tap_|replay_|dump_|demo_test|host_|client_|sim_bridge_tests)'
  echo "=== under load: linux ${count} times, windows tool tests ${windows_count} times, passed"
  exit 0
fi

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
  elif [ "$preset" = windows ]; then
    echo "=== lint: the sources only the Windows build compiles"
    scripts/lint.sh --windows build/windows
    echo "=== windows: the release archive, unpacked and built against"
    scripts/release.sh
    ctest --preset windows-release
  fi
done
echo "=== all builds passed"
