#!/usr/bin/env bash
# Recorder imports against cp, paired runs of bench/paired.py: 256 MiB (by
# default) of 16-bit samples of four channels imported
#  - as a SONY MK II/III recording (data file + LOG),
#  - as a TAFFmat recording (.DAT + .hdr),
#  - as a QuickVu-RD recording (512-byte header + samples),
# each against `cp` of its data file. The samples are copied unchanged, in the
# kernel where it can, so memory stays flat whatever the size (peaks reported).
# Every row also gives the CPU time (user + system) of both sides.
# Usage: bench/bench_recorder.sh [build-dir] [MiB]
#        (data under $TMPDIR or /tmp, removed afterwards)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
mib=${2:-256}
tessel="$build/tessel"
py=/usr/bin/python3
work=$(mktemp -d "${TMPDIR:-/tmp}/tessel_bench_recorder.XXXXXX")
trap 'rm -rf "$work"' EXIT
reps=${BENCH_REPS:-5}
record=${BENCH_RECORD:-}
export TESSEL_CONFIG_DIR="$work/config"   # default settings, whatever the user stored
export TESSEL_SEM_DIR="$work/sem"

args=(--reps "$reps" --warmup 1)
[ -n "$record" ] && args+=(--record "$record")

bytes=$((mib * 1024 * 1024))
scans=$((bytes / 8))
head -c "$bytes" /dev/urandom > "$work/rec.bin"

# SONY: the LOG beside the data file.
{
  printf 'VERSION 1.02\r\nDATA_FILE rec.bin\r\nFORMAT 0\r\nVOLUME_CH %d\r\nFILE_INTVL_CH 2.0833333e-05\r\n' "$scans"
  printf 'FILE_MEMO bench\r\nTAPE_BC_MODE 1\r\nTAPE_SRATE_CH 48000\r\nDECIMATION 1\r\nTAPE_SPEED 2\r\nID 001\r\n'
  printf 'DATE_TIME 19990312 101500\r\nCNT_ADDRESS +0\r\nMEMO bench\r\nTRIG_MODE 0\r\n'
  for c in 1 2 3 4; do printf 'CHANNEL  %d, "CH%d", V, 0.000305*(X)+0.0\r\n' "$c" "$c"; done
} > "$work/rec.LOG"
"$py" "$here/paired.py" --name "SONY import, $mib MiB 16-bit x 4" "${args[@]}" --peer-name cp \
  --cleanup "rm -f $work/rec.dat $work/copy.bin" \
  --tessel "$tessel import sony $work/rec.bin -o $work/rec.dat --overwrite -q" \
  --peer "cp $work/rec.bin $work/copy.bin"

# TAFFmat: the same samples as a .DAT with its .hdr.
mv "$work/rec.bin" "$work/taff.DAT"
{
  printf 'DATASET taff\r\nVERSION 1\r\nSERIES CH1,CH2,CH3,CH4\r\nDATE 03-12-1999\r\nTIME 12:34:56.70\r\n'
  printf 'RATE 48000\r\nVERT_UNITS V,V,V,V\r\nHORZ_UNITS Sec\r\nCOMMENT bench\r\nNUM_SERIES 4\r\n'
  printf 'STORAGE_MODE INTERLACED\r\nFILE_TYPE INTEGER\r\nSLOPE 3.125e-4,3.125e-4,3.125e-4,3.125e-4\r\n'
  printf 'X_OFFSET 0.0\r\nY_OFFSET 0,0,0,0\r\nNUM_SAMPS %d\r\nDATA_TYPE SHORT\r\n' "$scans"
} > "$work/taff.hdr"
"$py" "$here/paired.py" --name "TAFFmat import, $mib MiB 16-bit x 4" "${args[@]}" --peer-name cp \
  --cleanup "rm -f $work/taff.trx $work/copy.DAT" \
  --tessel "$tessel import teac $work/taff.DAT -o $work/taff.trx --overwrite -q" \
  --peer "cp $work/taff.DAT $work/copy.DAT"

# QuickVu: a 512-byte header in front of the samples (whose count must fit
# its 32-bit field).
"$py" - "$work/qv.DAT" "$work/taff.DAT" <<'PY'
import shutil, struct, sys
out, samples = sys.argv[1], sys.argv[2]
import os
n = os.path.getsize(samples) // 2
h = bytearray(512)
h[0:5] = b'bench'
h[401:408] = bytes([1, 99, 3, 12, 10, 15, 0])
h[413:417] = bytes([1, 2, 3, 4])
struct.pack_into('<If', h, 433, n, 48000.0)
h[441:445] = bytes([5, 5, 5, 5])
with open(out, 'wb') as f, open(samples, 'rb') as s:
    f.write(h)
    shutil.copyfileobj(s, f, 1 << 20)
PY
rm -f "$work/taff.DAT" "$work/taff.hdr"
"$py" "$here/paired.py" --name "QuickVu import, $mib MiB 16-bit x 4" "${args[@]}" --peer-name cp \
  --cleanup "rm -f $work/qv.trx $work/copy.DAT" \
  --tessel "$tessel import teac $work/qv.DAT -o $work/qv.trx --overwrite -q" \
  --peer "cp $work/qv.DAT $work/copy.DAT"
