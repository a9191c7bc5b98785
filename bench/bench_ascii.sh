#!/usr/bin/env bash
# ASCII import of a 1,000,000 x 9 table (a time column and 8 channels written by
# numpy.savetxt with '%.6e', about 121 MB) against numpy.loadtxt and
# pandas.read_csv; ASCII export of the imported 8-channel data set ('%.6e',
# tab) against numpy.savetxt and pandas.to_csv writing the same values. Paired
# runs through bench/paired.py.
# Usage: bench/bench_ascii.sh BUILD_DIR [SCANS]   (data under /tmp, removed afterwards)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
scans=${2:-1000000}
py=/usr/bin/python3
tessel="$build/tessel"
work=$(mktemp -d /tmp/tessel_bench_ascii.XXXXXX)
trap 'rm -rf "$work"' EXIT
reps=${BENCH_REPS:-3}
record=${BENCH_RECORD:-}
# Factory settings: column 1 is the abscissa, 16-bit samples.
export TESSEL_CONFIG_DIR="$work/config"

"$py" "$here/ascii_make.py" "$work/in.txt" "$work/in.npy" "$scans"
"$tessel" import asc "$work/in.txt" -o "$work/in.trx" --overwrite -q

cat > "$work/loadtxt.py" <<PY
import numpy as np
v = np.loadtxt("$work/in.txt")
PY
cat > "$work/read_csv.py" <<PY
import pandas as pd
v = pd.read_csv("$work/in.txt", sep=" ", header=None, engine="c").to_numpy()
PY
# The peers write the values the export writes: the data set's own samples.
"$tessel" export asc "$work/in.trx" -o "$work/ref.asc" --notation scientific --digits 6 --tab --overwrite -q
"$py" - <<PY
import numpy as np
np.save("$work/trx.npy", np.loadtxt("$work/ref.asc"))
PY
rm -f "$work/ref.asc"
cat > "$work/savetxt.py" <<PY
import numpy as np
v = np.load("$work/trx.npy")
with open("$work/peer.txt", "w", newline="") as f:
    np.savetxt(f, v, fmt="%.6e", delimiter="\t", newline="\t\r\n")
PY
cat > "$work/to_csv.py" <<PY
import numpy as np, pandas as pd
v = np.load("$work/trx.npy")
pd.DataFrame(v).to_csv("$work/peer.txt", sep="\t", float_format="%.6e", header=False, index=False, lineterminator="\r\n")
PY

args=(--reps "$reps" --warmup 1)
[ -n "$record" ] && args+=(--record "$record")
size=$(du -m "$work/in.txt" | cut -f1)

for peer in loadtxt:numpy.loadtxt read_csv:pandas.read_csv; do
  "$py" "$here/paired.py" --name "ASCII import, $scans x 9 table ($size MB)" --peer-name "${peer#*:}" "${args[@]}" \
    --cleanup "rm -f $work/out.trx" \
    --tessel "$tessel import asc $work/in.txt -o $work/out.trx --overwrite -q" \
    --peer "$py $work/${peer%%:*}.py"
done
for peer in savetxt:numpy.savetxt to_csv:pandas.to_csv; do
  "$py" "$here/paired.py" --name "ASCII export, $scans scans x 8 channels ('%.6e', tab)" \
    --peer-name "${peer#*:}" "${args[@]}" \
    --cleanup "rm -f $work/out.asc $work/peer.txt" \
    --tessel "$tessel export asc $work/in.trx -o $work/out.asc --notation scientific --digits 6 --tab --overwrite -q" \
    --peer "$py $work/${peer%%:*}.py"
done
