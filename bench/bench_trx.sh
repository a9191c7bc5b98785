#!/usr/bin/env bash
# TRX data sets against cp, paired runs of bench/paired.py:
#  - writing 1 GiB of interleaved 16-bit samples into a new data set through
#    the stream of GetPtrToFile, against cp of the same bytes: once written
#    from memory in 256 KiB pieces, once copied from the file (CopyFrom);
#  - reading them back through an access (16-bit, organisation 1) into a raw
#    file, against cp of the data set's file (the same bytes, from the same
#    page cache: a file written once at the start may have left the cache
#    while the input of the write cases stays in it), and against dd, a copy
#    through user memory like the reader's.
# Peak resident sizes are reported by paired.py; the Tessel side keeps a few
# 256 KiB buffers whatever the size.
# Usage: bench/bench_trx.sh [build-dir] [MiB]   (needs trx_bench from the build;
#        data under $TMPDIR or /tmp, removed afterwards)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
mib=${2:-1024}
run="$build/trx_bench"
[ -x "$run" ] || { echo "no $run: build the tests first"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tessel_bench_trx.XXXXXX")
trap 'rm -rf "$work"' EXIT
reps=${BENCH_REPS:-5}
record=${BENCH_RECORD:-}
channels=2

head -c $((mib * 1024 * 1024)) /dev/urandom > "$work/in.raw"
"$run" write "$work/in.raw" "$work/in.trx" $channels
# The samples read back must be the bytes written.
"$run" read "$work/in.trx" "$work/check.raw"
cmp "$work/in.raw" "$work/check.raw"
rm -f "$work/check.raw"

args=(--reps "$reps" --warmup 1 --peer-name cp)
[ -n "$record" ] && args+=(--record "$record")

/usr/bin/python3 "$here/paired.py" --name "TRX write, $mib MiB of 16-bit samples through GetPtrToFile" "${args[@]}" \
  --cleanup "rm -f $work/out.trx $work/copy.raw" \
  --tessel "$run write $work/in.raw $work/out.trx $channels" \
  --peer "cp $work/in.raw $work/copy.raw"

/usr/bin/python3 "$here/paired.py" --name "TRX write, $mib MiB through GetPtrToFile's CopyFrom (kernel copy)" "${args[@]}" \
  --cleanup "rm -f $work/out.trx $work/copy.raw" \
  --tessel "$run copy $work/in.raw $work/out.trx $channels" \
  --peer "cp $work/in.raw $work/copy.raw"

/usr/bin/python3 "$here/paired.py" --name "TRX read, $mib MiB of 16-bit samples through an access" "${args[@]}" \
  --cleanup "rm -f $work/out.raw $work/copy.trx" \
  --tessel "$run read $work/in.trx $work/out.raw" \
  --peer "cp $work/in.trx $work/copy.trx"

# cp copies inside the kernel (copy_file_range); a reader that takes the
# samples into its memory and writes them out again is compared with dd,
# which does the same with the same block size.
/usr/bin/python3 "$here/paired.py" --name "TRX read, $mib MiB through an access, against a user-space copy" \
  --reps "$reps" --warmup 1 --peer-name "dd bs=256K" ${record:+--record "$record"} \
  --cleanup "rm -f $work/out.raw $work/copy.trx" \
  --tessel "$run read $work/in.trx $work/out.raw" \
  --peer "dd if=$work/in.trx of=$work/copy.trx bs=256K status=none"

# Calibration: the same copy in both places of the pair. With files of this
# size the order of the paired runs alone has shown ratios far from 1 on a
# busy machine; read the rows above against this one.
/usr/bin/python3 "$here/paired.py" --name "calibration, $mib MiB: dd in both places of the pair" \
  --reps "$reps" --warmup 1 --peer-name "dd bs=256K" ${record:+--record "$record"} \
  --cleanup "rm -f $work/out.raw $work/copy.trx" \
  --tessel "dd if=$work/in.trx of=$work/out.raw bs=256K status=none" \
  --peer "dd if=$work/in.trx of=$work/copy.trx bs=256K status=none"
