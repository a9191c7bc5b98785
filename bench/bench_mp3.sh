#!/usr/bin/env bash
# MP3 export and import against the converters alone, paired runs of
# bench/paired.py, on the same 16-bit stereo signal at 44.1 kHz:
#  - `tessel export mp3` of the data set against `lame` (the shipped
#    encoder's options) on the WAVE file the data set was made from;
#  - `tessel import mp3` of that MP3 (with its side file) against
#    `mpg123 -w` of the same MP3;
#  - both again with a pulse sub-channel whose bits are noise (the side
#    file's worst case: literal bytes only).
# Tessel's own share (WAVE steps, side file, waiting for the converter) is
# the ratio above 1; the goal is at most 1.10.
# Usage: bench/bench_mp3.sh [build-dir] [seconds of signal]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
seconds=${2:-300}
tessel="$build/tessel"
for t in lame mpg123 sox; do command -v $t >/dev/null || { echo "$t missing"; exit 1; }; done
[ -x "$build/WaveToMP3.bat" ] || { echo "no converters beside $tessel"; exit 1; }
py=/usr/bin/python3
work=$(mktemp -d "${TMPDIR:-/tmp}/tessel_bench_mp3.XXXXXX")
trap 'rm -rf "$work"' EXIT
reps=${BENCH_REPS:-5}
record=${BENCH_RECORD:-}
export TESSEL_CONFIG_DIR="$work/config"   # default settings, whatever the user stored
args=(--reps "$reps" --warmup 1)
[ -n "$record" ] && args+=(--record "$record")

sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth "$seconds" pinknoise vol 0.3
"$tessel" import wav "$work/in.wav" -o "$work/src.trx" -q
cp "$work/src.trx" "$work/pulse.trx"
"$py" "$here/mp3_pulse.py" "$work/pulse.trx"
mib=$(( $(stat -c %s "$work/in.wav") / 1048576 ))

# CPU time (user + sys, children included) of a command: the median of three
# runs. On a busy machine the wall-clock ratio moves with the load; the CPU
# ratio says what each side itself costs.
cpu() {
  local label=$1; shift
  local runs=()
  for _ in 1 2 3; do
    runs+=("$(/usr/bin/time -f '%U %S' bash -c "$*" 2>&1 >/dev/null | tail -1 | awk '{ print $1 + $2 }')")
  done
  printf '%s\n' "${runs[@]}" | sort -g | sed -n 2p | xargs printf "  CPU %-28s %.2f s\n" "$label"
}

for set in src pulse; do
  label="no sub-channel"
  [ $set = pulse ] && label="pulse sub-channel"
  "$py" "$here/paired.py" --name "MP3 export, $seconds s 16-bit stereo ($mib MiB), $label" "${args[@]}" \
    --peer-name "lame -V 2" \
    --cleanup "rm -f $work/$set.mp3 $work/$set.MP3Plus $work/lame.mp3" \
    --tessel "$tessel export mp3 $work/$set.trx -o $work/$set.mp3 --overwrite -q" \
    --peer "lame --quiet --nohist -V 2 $work/in.wav $work/lame.mp3"
  cpu "tessel export mp3 ($set)" "$tessel export mp3 $work/$set.trx -o $work/$set.mp3 --overwrite -q"
  cpu "lame -V 2" "lame --quiet --nohist -V 2 $work/in.wav $work/lame.mp3"
  "$tessel" export mp3 "$work/$set.trx" -o "$work/$set.mp3" --overwrite -q
  "$py" "$here/paired.py" --name "MP3 import, $seconds s 16-bit stereo ($mib MiB), $label" "${args[@]}" \
    --peer-name "mpg123 -w" \
    --cleanup "rm -f $work/$set.dat $work/mpg.wav" \
    --tessel "$tessel import mp3 $work/$set.mp3 -o $work/$set.dat --overwrite -q" \
    --peer "mpg123 --quiet -w $work/mpg.wav $work/$set.mp3"
  # The shipped decoder script gives mpg123 a 256 KiB output buffer; against
  # that same call the ratio is Tessel's own share alone.
  "$py" "$here/paired.py" --name "MP3 import, $seconds s 16-bit stereo ($mib MiB), $label, against the script's mpg123 call" \
    "${args[@]}" --peer-name "stdbuf -o 256K mpg123 -w -" \
    --cleanup "rm -f $work/$set.dat $work/mpg.wav" \
    --tessel "$tessel import mp3 $work/$set.mp3 -o $work/$set.dat --overwrite -q" \
    --peer ": > $work/mpg.wav; stdbuf -o 256K mpg123 --quiet -w - -- $work/$set.mp3 1<>$work/mpg.wav"
  cpu "tessel import mp3 ($set)" "$tessel import mp3 $work/$set.mp3 -o $work/$set.dat --overwrite -q"
  cpu "mpg123 -w" "mpg123 --quiet -w $work/mpg.wav $work/$set.mp3"
  rm -f "$work/$set.dat" "$work/mpg.wav" "$work/lame.mp3"
done
