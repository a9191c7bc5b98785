#!/usr/bin/env bash
# Mixed-rate TRX export against sox, paired runs of bench/paired.py: a 16-bit
# data set of 8 channels at 48 kHz (512 MiB) whose upper four channels go to
# 12 kHz (divisor 4), against sox resampling the same four channels of the
# same samples as a WAVE file to 12 kHz at very high quality (`rate -v`,
# pass band 96.9 % like the export's; sox's -v precision is 28 bits, the
# export's 32). Tessel also writes the four kept channels and the merge; sox
# writes only the reduced ones.
# Peak resident sizes come with every row: both stream in fixed blocks.
# Usage: bench/bench_speed.sh [build-dir] [MiB]   (data under $TMPDIR or /tmp,
#        removed afterwards)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
mib=${2:-512}
tessel="$build/tessel"
command -v sox >/dev/null || { echo "sox missing"; exit 1; }
py=/usr/bin/python3
work=$(mktemp -d "${TMPDIR:-/tmp}/tessel_bench_speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
reps=${BENCH_REPS:-5}
record=${BENCH_RECORD:-}
export TESSEL_CONFIG_DIR="$work/config"   # default settings, whatever the user stored

args=(--reps "$reps" --warmup 1)
[ -n "$record" ] && args+=(--record "$record")

"$py" "$here/wave_make.py" "$work/in.wav" "$mib" 8 48000
"$tessel" import wav "$work/in.wav" -o "$work/in.trx" --overwrite -q

"$py" "$here/paired.py" --name "Mixed-rate export, $mib MiB 16-bit, 8 channels, upper 4 at 1/4" "${args[@]}" \
  --peer-name "sox rate -v" \
  --cleanup "rm -f $work/out.trx $work/sox.wav" \
  --tessel "$tessel export trx-mixed $work/in.trx -o $work/out.trx --first-channel 4 --divisor 4 --overwrite -q" \
  --peer "sox $work/in.wav -b 16 $work/sox.wav remix 5 6 7 8 rate -v -b 96.9 12000"
