#!/usr/bin/env bash
# UFF export and import of 10 million values against numpy savetxt/loadtxt with
# the same E13.5 layout, timed in the same run by bench/paired.py; and the
# import of one group of 800 channels (one TRX file) against numpy parsing the
# same data sets.
# Usage: bench/bench_uff.sh BUILD_DIR [N] [GROUP_N]   (data under /tmp, removed afterwards)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
n=${2:-10000002}                 # a multiple of 6: whole data lines for loadtxt
gn=${3:-4800000}                  # values of the 800-channel group: 6000 per channel
channels=800
py=/usr/bin/python3
tessel="$build/tessel"
work=$(mktemp -d /tmp/tessel_bench_uff.XXXXXX)
trap 'rm -rf "$work"' EXIT
reps=${BENCH_REPS:-3}
record=${BENCH_RECORD:-}

"$py" "$here/uff_make.py" "$work/in.uff" "$work/in.npy" "$n"
# The TRX data set to export is the import of the same file.
"$tessel" import uff "$work/in.uff" -o "$work/in.trx" --overwrite -q

rows=$((n / 6))
cat > "$work/peer_export.py" <<PY
import numpy as np
v = np.load("$work/in.npy")
with open("$work/peer.txt", "w", newline="") as f:
    np.savetxt(f, v.reshape(-1, 6), fmt="%13.5e", delimiter="", newline="\r\n")
PY
cat > "$work/peer_import.py" <<PY
import numpy as np
v = np.loadtxt("$work/in.uff", skiprows=13, max_rows=$rows).ravel()
np.save("$work/peer.npy", v.astype(np.float32))
PY

args=(--reps "$reps" --warmup 1 --peer-name numpy)
[ -n "$record" ] && args+=(--record "$record")

"$py" "$here/paired.py" --name "UFF export, $n values (ASCII 58)" "${args[@]}" \
  --cleanup "rm -f $work/out.uff $work/peer.txt" \
  --tessel "$tessel export uff $work/in.trx -o $work/out.uff --overwrite -q" \
  --peer "$py $work/peer_export.py"

"$py" "$here/paired.py" --name "UFF import, $n values (ASCII 58)" "${args[@]}" \
  --cleanup "rm -f $work/out.trx $work/peer.npy" \
  --tessel "$tessel import uff $work/in.uff -o $work/out.trx --overwrite -q" \
  --peer "$py $work/peer_import.py"

"$py" "$here/uff_make.py" "$work/group.uff" "$work/group.npy" "$gn" "$channels"
cat > "$work/peer_group.py" <<PY
import numpy as np
# Every data set's values parsed and kept as one (channels, points) array.
with open("$work/group.uff") as f:
    text = f.read()
sets = []
for block in text.split("    -1")[1::2]:
    lines = block.split("\n")
    sets.append(np.array(" ".join(lines[13:]).split(), dtype=np.float32))
np.save("$work/peer_group.npy", np.stack(sets))
PY
"$py" "$here/paired.py" --name "UFF import, one group of $channels channels, $gn values" "${args[@]}" \
  --cleanup "rm -f $work/group.trx $work/peer_group.npy" \
  --tessel "$tessel import uff $work/group.uff -o $work/group.trx --overwrite -q" \
  --peer "$py $work/peer_group.py"
