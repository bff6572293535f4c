#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of the build folder's own (never ~/.wine).
# The prefix is made once, with "C:\temp\logs" as a real folder, where the library writes its log.
set -euo pipefail

exe="$1"
shift
build_dir="${QVCTX_WINE_BUILD_DIR:-$(cd "$(dirname "$exe")/.." && pwd)}"
export WINEPREFIX="${QVCTX_WINEPREFIX:-$build_dir/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko download prompts: neither is needed.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

wine_bin=$(command -v wine)
if [ ! -f "$WINEPREFIX/.qvctx-ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.qvctx-ready" ]; then
      "$wine_bin" wineboot --init >/dev/null 2>&1 || true
      wineserver -w || true
      touch "$WINEPREFIX/.qvctx-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
mkdir -p "$WINEPREFIX/drive_c/temp/logs"

exec "$wine_bin" "$exe" "$@"
