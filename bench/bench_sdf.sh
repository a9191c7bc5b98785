#!/usr/bin/env bash
# SDF import and export against cp, paired runs of bench/paired.py: an SDF
# file of 256 MiB (by default) of 16-bit samples of four channels, written by
# bench/sdf_make.py from the record tables, imported into TRX (byte order
# turned, traces interleaved into scans) against `cp` of the SDF file; the
# data set exported again (scans split into traces, byte order turned)
# against `cp` of the data set. Memory stays flat whatever the size (peaks
# reported). The machine is shared, so the CPU time (user + sys, median of
# the same runs' count) of both sides follows each ratio: load disturbs it
# far less than the wall time.
# Usage: bench/bench_sdf.sh [build-dir] [MiB]
#        (data under $TMPDIR or /tmp, removed afterwards)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
mib=${2:-256}
tessel="$build/tessel"
py=/usr/bin/python3
work=$(mktemp -d "${TMPDIR:-/tmp}/tessel_bench_sdf.XXXXXX")
trap 'rm -rf "$work"' EXIT
reps=${BENCH_REPS:-5}
record=${BENCH_RECORD:-}
export TESSEL_CONFIG_DIR="$work/config"   # default settings, whatever the user stored
export TESSEL_SEM_DIR="$work/sem"

args=(--reps "$reps" --warmup 1)
[ -n "$record" ] && args+=(--record "$record")

# Median CPU seconds (user + sys) of a command over $reps runs; $2 runs before each.
cpu() {
  local t=()
  for _ in $(seq "$reps"); do
    bash -c "$2"
    /usr/bin/time -o "$work/cpu" -f "%U %S" bash -c "$1" >/dev/null 2>&1
    t+=("$(awk '{print $1 + $2}' "$work/cpu")")
  done
  printf '%s\n' "${t[@]}" | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'
}

head -c $((mib * 1024 * 1024)) /dev/urandom > "$work/samples.bin"
"$py" "$here/sdf_make.py" "$work/rec.sdf" "$work/samples.bin" 4
rm -f "$work/samples.bin"

"$py" "$here/paired.py" --name "SDF import, $mib MiB 16-bit x 4" "${args[@]}" --peer-name cp \
  --cleanup "rm -f $work/rec.dat $work/copy.sdf" \
  --tessel "$tessel import sdf $work/rec.sdf -o $work/rec.dat --overwrite -q" \
  --peer "cp $work/rec.sdf $work/copy.sdf"

echo "SDF import CPU (user+sys): Tessel $(cpu "$tessel import sdf $work/rec.sdf -o $work/rec.dat --overwrite -q" "rm -f $work/rec.dat") s, cp $(cpu "cp $work/rec.sdf $work/copy.sdf" "rm -f $work/copy.sdf") s"

"$tessel" import sdf "$work/rec.sdf" -o "$work/rec.dat" --overwrite -q
rm -f "$work/rec.sdf" "$work/copy.sdf"
"$py" "$here/paired.py" --name "SDF export, $mib MiB 16-bit x 4" "${args[@]}" --peer-name cp \
  --cleanup "rm -f $work/out.sdf $work/copy.dat" \
  --tessel "$tessel export sdf $work/rec.dat -o $work/out.sdf --overwrite -q" \
  --peer "cp $work/rec.dat $work/copy.dat"
echo "SDF export CPU (user+sys): Tessel $(cpu "$tessel export sdf $work/rec.dat -o $work/out.sdf --overwrite -q" "rm -f $work/out.sdf") s, cp $(cpu "cp $work/rec.dat $work/copy.dat" "rm -f $work/copy.dat") s"
