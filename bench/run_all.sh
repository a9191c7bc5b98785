#!/usr/bin/env bash
# Runs every bench/bench_*.sh with the build directory as its argument.
# Each script generates its data under /tmp and calls bench/paired.py.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
echo "== machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores; $(date -u +%F)"
status=0
shopt -s nullglob
scripts=("$here"/bench_*.sh)
if [ ${#scripts[@]} -eq 0 ]; then
  echo "no benchmarks yet"
  exit 0
fi
for s in "${scripts[@]}"; do
  echo "== $(basename "$s")"
  bash "$s" "$build" || { echo "FAILED: $(basename "$s")"; status=1; }
done
exit $status
