#!/usr/bin/env bash
# Spreadsheet import of a 100,000 x 8 xlsx sheet (a frequency column and 7
# level columns, written by openpyxl) against pandas.read_excel with the
# openpyxl engine on the same file; a second pair with an xlsx that
# LibreOffice wrote from the same table, when soffice is there. Paired runs
# through bench/paired.py.
# Usage: bench/bench_spreadsheet.sh BUILD_DIR [ROWS]   (data under /tmp, removed afterwards)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
rows=${2:-100000}
py=/usr/bin/python3
tessel="$build/tessel"
work=$(mktemp -d /tmp/tessel_bench_sheet.XXXXXX)
trap 'rm -rf "$work"' EXIT
reps=${BENCH_REPS:-3}
record=${BENCH_RECORD:-}
export TESSEL_CONFIG_DIR="$work/config" TESSEL_SEM_DIR="$work/sem"

"$py" - <<PY
import numpy as np, openpyxl
rows = $rows
rng = np.random.default_rng(7)
levels = np.round(rng.uniform(-40, 100, size=(rows, 7)), 3)
f = np.arange(rows) * 0.5
wb = openpyxl.Workbook(write_only=True)
ws = wb.create_sheet()
ws.append(["f / Hz"] + ["L%d" % i for i in range(1, 8)])
for i in range(rows):
    ws.append([float(f[i])] + levels[i].tolist())
wb.save("$work/in.xlsx")
with open("$work/in.csv", "w") as out:
    out.write("f,L1,L2,L3,L4,L5,L6,L7\n")
    for i in range(rows):
        out.write(",".join(["%g" % f[i]] + ["%g" % v for v in levels[i]]) + "\n")
PY

cat > "$work/read_excel.py" <<PY
import sys, pandas as pd
v = pd.read_excel(sys.argv[1], engine="openpyxl").to_numpy()
PY

args=(--reps "$reps" --warmup 1)
[ -n "$record" ] && args+=(--record "$record")
size=$(du -k "$work/in.xlsx" | cut -f1)

"$py" "$here/paired.py" --name "Spreadsheet import, $rows x 8 xlsx by openpyxl (${size} KiB)" \
  --peer-name "pandas.read_excel (openpyxl)" "${args[@]}" \
  --cleanup "rm -f $work/out.trx" \
  --tessel "$tessel import xlsx $work/in.xlsx -o $work/out.trx -q" \
  --peer "$py $work/read_excel.py $work/in.xlsx"

if command -v soffice >/dev/null 2>&1; then
  soffice -env:UserInstallation=file://$work/profile --headless --convert-to xlsx --outdir "$work/lo" "$work/in.csv" \
    >/dev/null 2>&1 || true
  if [ -f "$work/lo/in.xlsx" ]; then
    size=$(du -k "$work/lo/in.xlsx" | cut -f1)
    "$py" "$here/paired.py" --name "Spreadsheet import, $rows x 8 xlsx by LibreOffice (${size} KiB)" \
      --peer-name "pandas.read_excel (openpyxl)" "${args[@]}" \
      --cleanup "rm -f $work/out.trx" \
      --tessel "$tessel import xlsx $work/lo/in.xlsx -o $work/out.trx -q" \
      --peer "$py $work/read_excel.py $work/lo/in.xlsx"
  fi
fi
