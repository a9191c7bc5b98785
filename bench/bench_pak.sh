#!/usr/bin/env bash
# PAK import and export against cp, paired runs of bench/paired.py:
#  - import: a throughput file "TDATA" of 256 MiB (by default) of 16-bit
#    samples, four channels, blocks of 256 samples (each block is read,
#    its channels interleaved, and written into the data set), against `cp`
#    of the TDATA file;
#  - export: the data set that import made, written back as a measurement
#    directory (TDATA + side files), against `cp` of the data set.
# Blocks pass through a read buffer of 1 MiB and a write-behind queue of three
# pieces of 1 MiB: memory stays flat whatever the size (peaks reported).
# The CPU times of both sides follow each pair.
# Usage: bench/bench_pak.sh [build-dir] [MiB]   (data under $TMPDIR or /tmp, removed afterwards)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
mib=${2:-256}
tessel="$build/tessel"
py=/usr/bin/python3
work=$(mktemp -d "${TMPDIR:-/tmp}/tessel_bench_pak.XXXXXX")
trap 'rm -rf "$work"' EXIT
reps=${BENCH_REPS:-5}
record=${BENCH_RECORD:-}
export TESSEL_CONFIG_DIR="$work/config"   # default settings, whatever the user stored
export TESSEL_SEM_DIR="$work/sem"

args=(--reps "$reps" --warmup 1)

# CPU time (user + system, median of $reps runs) of a command, after each run
# the cleanup: on a machine shared with other builds the wall times follow
# the load, the CPU times much less.
cpu() {  # cpu NAME COMMAND CLEANUP
  local name=$1 cmd=$2 cleanup=$3 t=$work/cpu.txt
  : >"$t"
  for _ in $(seq "$reps"); do
    /usr/bin/time -q -f '%U %S' -a -o "$t" bash -c "$cmd" >/dev/null
    bash -c "$cleanup"
  done
  "$py" -c 'import statistics,sys; v=[float(a)+float(b) for a,b in (l.split() for l in open(sys.argv[1]))]; print("%s: CPU %.3f s (user + system, median of %d)" % (sys.argv[2], statistics.median(v), len(v)))' "$t" "$name"
}
[ -n "$record" ] && args+=(--record "$record")

# The throughput file, written from the layout: header (8008 bytes), setup
# (67568 bytes), then blocks of 4 channels x 256 16-bit samples.
mkdir -p "$work/Run1"
"$py" - "$work/Run1/TDATA" "$mib" <<'PY'
import os, struct, sys
path, mib = sys.argv[1], int(sys.argv[2])
channels, spb = 4, 256
block = channels * spb * 2
blocks = mib * 1024 * 1024 // block
header = bytearray(8008)
header[0:3] = b'LSB'
struct.pack_into('<i', header, 8, 1)
for i in range(channels):
    struct.pack_into('<d', header, 16 + 8 * i, 1.0)
struct.pack_into('<ih', header, 2064, spb, 16)
struct.pack_into('<d', header, 3096, 1.0e9)
setup = bytearray(67568)
struct.pack_into('<h', setup, 0, 2)
struct.pack_into('<ihf', setup, 24, blocks, channels, 48000.0)
for i in range(channels):
    r = 36848 + 120 * i
    struct.pack_into('<h', setup, r + 4, 1)
    struct.pack_into('<h', setup, r + 32, 1)
    struct.pack_into('<dd', setup, r + 40, 3.0517578125e-05, 0.0)
with open(path, 'wb') as f:
    f.write(header)
    f.write(setup)
    chunk = os.urandom(block * 256)
    left = blocks
    while left > 0:
        n = min(left, 256)
        f.write(chunk[: n * block])
        left -= n
PY

"$py" "$here/paired.py" --name "PAK import, $mib MiB 16-bit x 4" "${args[@]}" --peer-name cp \
  --cleanup "rm -f $work/in.dat $work/copy.bin" \
  --tessel "$tessel import pak $work/Run1/TDATA -o $work/in.dat --overwrite -q" \
  --peer "cp $work/Run1/TDATA $work/copy.bin"
cpu "PAK import" "$tessel import pak $work/Run1/TDATA -o $work/in.dat --overwrite -q" "rm -f $work/in.dat"
cpu "cp of TDATA" "cp $work/Run1/TDATA $work/copy.bin" "rm -f $work/copy.bin"

# The export's input: the data set the import makes.
"$tessel" import pak "$work/Run1/TDATA" -o "$work/run.dat" --overwrite -q
rm -f "$work/Run1/TDATA"
"$py" "$here/paired.py" --name "PAK export, $mib MiB 16-bit x 4" "${args[@]}" --peer-name cp \
  --cleanup "rm -rf $work/out $work/copy.dat" \
  --tessel "$tessel export pak $work/run.dat -o $work/out --overwrite -q" \
  --peer "cp $work/run.dat $work/copy.dat"
cpu "PAK export" "$tessel export pak $work/run.dat -o $work/out --overwrite -q" "rm -rf $work/out"
cpu "cp of the data set" "cp $work/run.dat $work/copy.dat" "rm -f $work/copy.dat"
