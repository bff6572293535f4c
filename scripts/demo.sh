#!/usr/bin/env bash
# The demo: builds the library, the simulator and the sample host (nothing
# else: no tests, no benchmarks), then runs qvctx-host against the simulator's
# built-in client and prints its summary.
#
# Usage: scripts/demo.sh [--windows] [qvctx-host options]
#   --windows   the Windows build (qvctx.dll, MinGW-w64), run under Wine
#   every other argument goes to qvctx-host (qvctx-host --help lists them)
# QVCTX_DEMO_BUILD_DIR names another build folder than build/<preset>.
set -euo pipefail
cd "$(dirname "$0")/.."

preset=linux
if [ "${1:-}" = "--windows" ]; then
  preset=windows
  shift
fi
build_dir="${QVCTX_DEMO_BUILD_DIR:-build/$preset}"

scripts/setup.sh

# Quiet: the summary is what the demo shows. A failed build shows its log.
mkdir -p "$build_dir"
log="$build_dir/demo-build.log"
if ! { cmake --preset "$preset" -B "$build_dir" &&
       cmake --build "$build_dir" --target qvctx wfapi64 qvctx-host; } \
    >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "demo: the $preset build failed (whole log: $log)" >&2
  exit 1
fi

if [ "$preset" = windows ]; then
  # The Wine prefix of the build folder has "C:\temp\logs", so the library
  # writes its log there.
  exec scripts/wine-run.sh "$build_dir/bin/qvctx-host.exe" "$@"
fi
# The library maps "C:\temp\logs\myCitrixLog.log" under $QVCTX_DRIVE_C.
drive="$PWD/$build_dir/demo-drive"
mkdir -p "$drive/temp/logs"
QVCTX_DRIVE_C="$drive" exec "$build_dir/bin/qvctx-host" "$@"
