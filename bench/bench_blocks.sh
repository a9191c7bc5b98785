#!/usr/bin/env bash
# Processing blocks against sox on the same float data, paired runs:
#  - resampling a 256 MiB 48 kHz stereo float signal by 4 (sox's default
#    quality "-h": 95 % band width, about 125 dB rejection; the network uses
#    pass band 20 (95 %) and 20 bits, the same);
#  - the WAVE drain turning the same float data into 16-bit PCM against sox -D;
#  - memory: both networks on a 1 GiB input, peak resident size reported.
# Usage: bench/bench_blocks.sh [build-dir]   (needs blocks_run, a benchmark helper of the build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
run="$build/blocks_run"
[ -x "$run" ] || { echo "no $run: build blocks_run first"; exit 1; }
command -v sox >/dev/null || { echo "sox missing"; exit 1; }
tmp=${TMPDIR:-/tmp}/tessel_bench_blocks
mkdir -p "$tmp"
trap 'rm -rf "$tmp"' EXIT
record=${RECORD:-}

scans=$((256 * 1024 * 1024 / 8))   # 256 MiB of stereo float samples
"$run" gen "$tmp/in.trx" "$tmp/in.wav" $scans 2 48000

rec=()
[ -n "$record" ] && rec=(--record "$record")

"$here/paired.py" --name "resample 256 MiB stereo float 48 kHz -> 12 kHz" --peer-name "sox rate -h" --reps 5 \
  --setup "rm -f $tmp/out.trx $tmp/out.wav" \
  --tessel "$run resample $tmp/in.trx $tmp/out.trx 12000 20 20" \
  --peer "sox $tmp/in.wav -r 12000 $tmp/out.wav" "${rec[@]}"

"$here/paired.py" --name "WAVE drain 256 MiB stereo float -> 16-bit PCM" --peer-name "sox -D" --reps 5 \
  --setup "rm -f $tmp/out16.wav" \
  --tessel "$run wave $tmp/in.trx $tmp/out16.wav 1.0" \
  --peer "sox -D $tmp/in.wav -b 16 $tmp/out16.wav" "${rec[@]}"

"$here/paired.py" --name "WAVE drain 256 MiB stereo float -> 16-bit PCM, against a plain copy" --peer-name "cp" --reps 3 \
  --setup "rm -f $tmp/out16.wav $tmp/copy.wav" \
  --tessel "$run wave $tmp/in.trx $tmp/out16.wav 1.0" \
  --peer "cp $tmp/in.wav $tmp/copy.wav"

# Memory: a 1 GiB input through both networks; the peak must not grow with the input.
rm -f "$tmp"/*
scans=$((1024 * 1024 * 1024 / 8))
"$run" gen "$tmp/big.trx" "$tmp/big.wav" $scans 2 48000
rm -f "$tmp/big.wav"
for net in "resample $tmp/big.trx $tmp/big_out.trx 12000 20 20" "wave $tmp/big.trx $tmp/big_out.wav 1.0"; do
  rm -f "$tmp/big_out.trx" "$tmp/big_out.wav"
  /usr/bin/time -f "memory: blocks_run ${net%% *} on 1 GiB: peak RSS %M KiB, %e s" "$run" $net 2>&1 | grep -v '^peak RSS'
done
