#!/usr/bin/env bash
# WAVE import and export against cp and sox, paired runs of bench/paired.py:
#  - importing a 16-bit stereo WAVE file (512 MiB) against cp of the same
#    file, and against `sox in.wav -t raw out.raw`;
#  - exporting a float data set (512 MiB) to 16-bit WAVE, 1:1 and with
#    autoscale, against `sox -D float.wav -b 16 -e signed-integer out.wav`.
# Peak resident sizes come with every row (paired.py); both conversions move
# the data in fixed blocks, so they stay flat whatever the size.
# Every row also gives the CPU time (user + system) of both sides.
# Usage: bench/bench_wave.sh [build-dir] [MiB]   (needs wave_gen from the
#        build; data under $TMPDIR or /tmp, removed afterwards)
#        BENCH_CASES="cp sox export" (the default) picks the pairs: "cp" alone
#        is the import against cp, well under a minute.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
mib=${2:-512}
tessel="$build/tessel"
gen="$build/wave_gen"
cases=" ${BENCH_CASES:-cp sox export} "
[[ $cases != *" export "* ]] || [ -x "$gen" ] || { echo "no $gen: build the tests first"; exit 1; }
[[ $cases == *" cp "* ]] || command -v sox >/dev/null || { echo "sox missing"; exit 1; }
py=/usr/bin/python3
work=$(mktemp -d "${TMPDIR:-/tmp}/tessel_bench_wave.XXXXXX")
trap 'rm -rf "$work"' EXIT
reps=${BENCH_REPS:-5}
record=${BENCH_RECORD:-}
export TESSEL_CONFIG_DIR="$work/config"   # default settings, whatever the user stored

args=(--reps "$reps" --warmup 1)
[ -n "$record" ] && args+=(--record "$record")

# Import.
"$py" "$here/wave_make.py" "$work/in.wav" "$mib" 2 48000
[[ $cases != *" cp "* ]] || "$py" "$here/paired.py" --name "WAVE import, $mib MiB 16-bit stereo" "${args[@]}" --peer-name cp \
  --cleanup "rm -f $work/out.dat $work/copy.wav" \
  --tessel "$tessel import wav $work/in.wav -o $work/out.dat --overwrite -q" \
  --peer "cp $work/in.wav $work/copy.wav"
[[ $cases != *" sox "* ]] || "$py" "$here/paired.py" --name "WAVE import, $mib MiB 16-bit stereo" "${args[@]}" --peer-name "sox -t raw" \
  --cleanup "rm -f $work/out.dat $work/out.raw" \
  --tessel "$tessel import wav $work/in.wav -o $work/out.dat --overwrite -q" \
  --peer "sox $work/in.wav -t raw $work/out.raw"
rm -f "$work/in.wav"
[[ $cases == *" export "* ]] || exit 0

# Export: float data set and the same floats as a WAVE file for sox.
scans=$((mib * 1024 * 1024 / 8))
"$gen" "$work/float.trx" "$work/float.wav" "$scans" 2 48000
for mode in original auto; do
  "$py" "$here/paired.py" --name "WAVE export ($mode), $mib MiB float stereo to 16-bit" "${args[@]}" \
    --peer-name "sox -D" \
    --cleanup "rm -f $work/out.wav $work/sox.wav" \
    --tessel "$tessel export wav $work/float.trx -o $work/out.wav --conversion $mode --16bit --no-pulse --overwrite -q" \
    --peer "sox -D $work/float.wav -b 16 -e signed-integer $work/sox.wav"
done
