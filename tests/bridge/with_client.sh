#!/usr/bin/env bash
# Runs a command against a qvctx-client process: starts the client on a free
# loopback port, points the simulator at it (QVCTX_SIM_CONNECT), runs the
# command, and passes only when both the command and the client succeed.
# Usage: with_client.sh CLIENT WORK_DIR [client options] -- COMMAND [args]
set -uo pipefail

client="$1"
work="$2"
shift 2
client_args=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  client_args+=("$1")
  shift
done
[ "${1:-}" = "--" ] && shift

rm -rf "$work"
mkdir -p "$work"
"$client" --listen 127.0.0.1:0 --port-file "$work/port" --timeout 300 \
  "${client_args[@]}" >"$work/client.out" 2>&1 &
client_pid=$!

for _ in $(seq 1 600); do
  [ -s "$work/port" ] && break
  sleep 0.1
done
if [ ! -s "$work/port" ]; then
  echo "with_client: the client did not start" >&2
  cat "$work/client.out" >&2
  kill "$client_pid" 2>/dev/null
  exit 1
fi
export QVCTX_SIM_CONNECT="127.0.0.1:$(cat "$work/port")"

"$@"
command_rc=$?

# The client exits by itself once it has served its sessions.
for _ in $(seq 1 600); do
  kill -0 "$client_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$client_pid" 2>/dev/null; then
  echo "with_client: the client did not finish; stopping it" >&2
  kill "$client_pid"
fi
wait "$client_pid"
client_rc=$?
echo "--- qvctx-client output"
cat "$work/client.out"
echo "--- command exit $command_rc, client exit $client_rc"
[ "$command_rc" -eq 0 ] && [ "$client_rc" -eq 0 ]
