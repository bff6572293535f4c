#!/usr/bin/env bash
# Runs the fuzz targets on their seed corpora.
#
# Quick mode (the test command's): every target for a few seconds on a fresh
# copy of its seed corpus.
#   scripts/fuzz.sh [BUILD_DIR] [SECONDS_PER_TARGET]
# Long mode: the named targets (default: all) at the same time, one libFuzzer
# job each, for SECONDS (default 3600). Each keeps its corpus, log and
# findings in WORK_DIR/<name>/ (default build/fuzz-work; the seed corpus in
# the repository is never written), and a table of executions, executions per
# second, coverage and findings ends the run. Exit 1 when anything was found.
#   scripts/fuzz.sh --long [--work WORK_DIR] [BUILD_DIR] [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

long=0
work=build/fuzz-work
while [ $# -gt 0 ]; do
  case "$1" in
    --long) long=1; shift ;;
    --work) work="$2"; shift 2 ;;
    *) break ;;
  esac
done
build="${1:-build/fuzz}"
if [ "$long" = 1 ]; then seconds="${2:-3600}"; else seconds="${2:-5}"; fi
shift $(( $# < 2 ? $# : 2 ))

shopt -s nullglob
targets=()
if [ $# -gt 0 ]; then
  for name in "$@"; do targets+=("$build/bin/fuzz_${name#fuzz_}"); done
else
  targets=("$build"/bin/fuzz_*)
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets built in $build"
  exit 0
fi

# Options of a target of its own: the small receiver target reads at most
# 512 bytes of an input.
options() {
  case "$1" in
    fuzz_receiver_small) echo "-max_len=512" ;;
  esac
}

if [ "$long" = 0 ]; then
  for target in "${targets[@]}"; do
    name=$(basename "$target")
    corpus="fuzz/corpus/${name#fuzz_}"
    tmp=$(mktemp -d)
    cp -r "$corpus"/. "$tmp"/ 2>/dev/null || true
    echo "fuzz: $name for ${seconds}s"
    # shellcheck disable=SC2046
    "$target" $(options "$name") -max_total_time="$seconds" -print_final_stats=0 \
      "$tmp" 2>&1 | tail -n 2
    rm -rf "$tmp"
  done
  exit 0
fi

# Long mode.
pids=()
for target in "${targets[@]}"; do
  name=$(basename "$target")
  dir="$work/$name"
  mkdir -p "$dir/corpus" "$dir/findings"
  cp -rn "fuzz/corpus/${name#fuzz_}"/. "$dir/corpus"/ 2>/dev/null || true
  echo "fuzz: $name for ${seconds}s, log in $dir/log"
  # shellcheck disable=SC2046
  "$target" $(options "$name") -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$dir/findings/" "$dir/corpus" >"$dir/log" 2>&1 &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || true; done

found=0
printf '%-22s %14s %9s %8s %9s %8s\n' target executions exec/s cov features findings
for target in "${targets[@]}"; do
  name=$(basename "$target")
  dir="$work/$name"
  stat() { sed -n "s/^stat::$1: *//p" "$dir/log" | tail -n 1; }
  last=$(grep -E '^#[0-9]+' "$dir/log" | tail -n 1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  # Crashes, leaks, time-outs and out-of-memory inputs; an input that was
  # merely slow (on a loaded machine) is kept beside them but not counted.
  findings=$(find "$dir/findings" -type f ! -name 'slow-unit-*' | wc -l)
  [ "$findings" -eq 0 ] || found=1
  printf '%-22s %14s %9s %8s %9s %8s\n' "$name" "$(stat number_of_executed_units)" \
    "$(stat average_exec_per_sec)" "${cov:-?}" "${ft:-?}" "$findings"
done
exit "$found"
