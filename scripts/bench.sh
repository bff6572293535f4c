#!/usr/bin/env bash
# Builds the benchmarks (linux preset) and prints one table: each figure, the
# floor measured in the same run (memcpy, a straight simulator write, a log
# line with flush), and their ratio; medians of repetitions. With --json the
# same rows go out as JSON. --out keeps the benchmark programs' own JSON there.
# The reader's pace (bench_idle) runs N idle sessions, one per process
# (--sessions, default 100).
#   scripts/bench.sh [--json] [--repetitions N] [--sessions N] [--out DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

format=table
repetitions=5
sessions=100
out=
while [ $# -gt 0 ]; do
  case "$1" in
    --json) format=json; shift ;;
    --repetitions) repetitions="$2"; shift 2 ;;
    --sessions) sessions="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "usage: scripts/bench.sh [--json] [--repetitions N] [--sessions N] [--out DIR]" >&2; exit 2 ;;
  esac
done

[ -f build/linux/CMakeCache.txt ] || cmake --preset linux >&2
cmake --build --preset linux --target bench_send bench_receive bench_transport \
  bench_idle >&2

if [ -z "$out" ]; then
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
fi
mkdir -p "$out"
run() {
  local name="$1"; shift
  echo "bench: $name" >&2
  "build/linux/bin/$name" --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true --benchmark_format=json \
    --benchmark_out_format=json --benchmark_out="$out/$name.json" "$@" >/dev/null
}
run bench_send
run bench_receive --benchmark_filter='^BM_(Receive|Memcpy|Simulator|Burst)'
run bench_transport
echo "bench: bench_idle" >&2
build/linux/bin/bench_idle --sessions "$sessions" \
  --json-out "$out/bench_idle.json" >&2 || true

python3 scripts/bench_table.py "$format" "$out"/bench_send.json \
  "$out"/bench_receive.json "$out"/bench_transport.json "$out"/bench_idle.json
