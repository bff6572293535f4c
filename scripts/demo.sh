#!/usr/bin/env bash
# Builds the Linux library and runs the sample host against the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux >/dev/null
host=build/linux/bin/qvctx-host  # the sample host
if [ ! -x "$host" ]; then
  echo "demo: the sample host is not part of this build yet" >&2
  exit 1
fi
mkdir -p build/linux/demo-drive/temp/logs
QVCTX_DRIVE_C="$PWD/build/linux/demo-drive" exec "$host" "$@"
