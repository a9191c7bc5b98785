#!/usr/bin/python3
"""Benchmark data for the UFF benchmark, written with numpy from the published
data set 58 layout (not by Tessel): one ASCII data set 58 of N single-precision
values (6 E13.5 fields per line, CR LF line ends) and the same values as .npy.

  bench/uff_make.py OUT.uff OUT.npy N        (N a multiple of 6)
"""
import sys

import numpy as np


def main():
    out_uff, out_npy, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
    if n % 6:
        sys.exit("N must be a multiple of 6")
    rng = np.random.default_rng(58)
    values = (rng.standard_normal(n) * 3.0).astype(np.float32).astype(np.float64)
    np.save(out_npy, values)
    eol = "\r\n"
    header = [
        "    -1", "    58",
        "benchmark", "NONE", "12-MAR-03 14:05:09", "NONE", "NONE",
        "%5d%10d%5d%10d %-10s%10d%4d %-10s%10d%4d" % (1, 0, 0, 0, "NONE", 1, 3, "NONE", 0, 0),
        "%10d%10d%10d%13.5E%13.5E%13.5E" % (2, n, 1, 0.0, 1.0 / 51200, 0.0),
        "%10d%5d%5d%5d %-20s %-20s" % (17, 0, 0, 0, "Time", "s"),
        "%10d%5d%5d%5d %-20s %-20s" % (15, 0, 0, 0, "Pressure", "Pa"),
        "%10d%5d%5d%5d %-20s %-20s" % (0, 0, 0, 0, "NONE", "NONE"),
        "%10d%5d%5d%5d %-20s %-20s" % (0, 0, 0, 0, "NONE", "NONE"),
    ]
    with open(out_uff, "w", newline="") as f:
        f.write(eol.join(h.ljust(80) if i > 1 else h for i, h in enumerate(header)) + eol)
        np.savetxt(f, values.reshape(-1, 6), fmt="%13.5E", delimiter="", newline=eol)
        f.write("    -1" + eol)


if __name__ == "__main__":
    main()
