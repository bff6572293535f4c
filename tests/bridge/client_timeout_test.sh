#!/usr/bin/env bash
# qvctx-client's --timeout ends a connection on which nothing happens: a peer
# that connects and stays silent must not keep the client (and a test run
# waiting for it) alive past its deadline.
# Usage: client_timeout_test.sh CLIENT WORK_DIR
set -uo pipefail

client="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work"

# Its counts are decimal or 0x hex, whole and in range; anything else is
# refused, the option named. (Read in full before --help answers.)
for good in 7 0x7 0X1f 4294967295; do
  "$client" --timeout "$good" --help >/dev/null ||
    { echo "--timeout '$good' was refused" >&2; exit 1; }
done
for bad in 010 " 7" "7 " 7x 0x -1 +1 4294967296; do
  "$client" --timeout "$bad" --help >/dev/null 2>"$work/refused"
  rc=$?
  if [ "$rc" -ne 2 ] || ! grep -q "^qvctx-client: --timeout: .*$bad" "$work/refused"; then
    echo "--timeout '$bad': exit $rc, $(cat "$work/refused")" >&2
    exit 1
  fi
done

"$client" --listen 127.0.0.1:0 --port-file "$work/port" --timeout 2 \
  >"$work/client.out" 2>&1 &
client_pid=$!
for _ in $(seq 1 600); do
  [ -s "$work/port" ] && break
  sleep 0.1
done
if [ ! -s "$work/port" ]; then
  echo "the client did not start" >&2
  kill "$client_pid" 2>/dev/null
  exit 1
fi

# Connect and say nothing, holding the connection open meanwhile.
exec 3<>"/dev/tcp/127.0.0.1/$(cat "$work/port")"
# A minute's grace: only a client that ignores its time-out stays that long.
for _ in $(seq 1 600); do
  kill -0 "$client_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$client_pid" 2>/dev/null; then
  echo "the client outlived its 2 s time-out by a minute" >&2
  kill "$client_pid"
  exit 1
fi
wait "$client_pid"
rc=$?
exec 3>&-
cat "$work/client.out"
if [ "$rc" -ne 3 ]; then
  echo "the client exited with $rc, not 3 (time-out)" >&2
  exit 1
fi
grep -q "time-out after 2 s" "$work/client.out"
