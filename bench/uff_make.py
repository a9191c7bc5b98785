#!/usr/bin/python3
"""Benchmark data for the UFF benchmark, written with numpy from the published
data set 58 layout (not by Tessel): ASCII data sets 58 of single-precision
values (6 E13.5 fields per line, CR LF line ends) and the same values as .npy.
With CHANNELS, N values are split over that many data sets of one abscissa:
one group, that is one TRX file of CHANNELS channels.

  bench/uff_make.py OUT.uff OUT.npy N [CHANNELS]   (N / CHANNELS a multiple of 6)
"""
import sys

import numpy as np


def header(n, channel):
    return [
        "    -1", "    58",
        "benchmark", "NONE", "12-MAR-03 14:05:09", "channel %d" % channel, "NONE",
        "%5d%10d%5d%10d %-10s%10d%4d %-10s%10d%4d" % (1, 0, 0, 0, "NONE", channel + 1, 3, "NONE", 0, 0),
        "%10d%10d%10d%13.5E%13.5E%13.5E" % (2, n, 1, 0.0, 1.0 / 51200, 0.0),
        "%10d%5d%5d%5d %-20s %-20s" % (17, 0, 0, 0, "Time", "s"),
        "%10d%5d%5d%5d %-20s %-20s" % (15, 0, 0, 0, "Pressure", "Pa"),
        "%10d%5d%5d%5d %-20s %-20s" % (0, 0, 0, 0, "NONE", "NONE"),
        "%10d%5d%5d%5d %-20s %-20s" % (0, 0, 0, 0, "NONE", "NONE"),
    ]


def main():
    out_uff, out_npy, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
    channels = int(sys.argv[4]) if len(sys.argv) > 4 else 1
    per = n // channels
    if per % 6 or per * channels != n:
        sys.exit("N / CHANNELS must be a whole multiple of 6")
    rng = np.random.default_rng(58)
    values = (rng.standard_normal(n) * 3.0).astype(np.float32).astype(np.float64)
    np.save(out_npy, values.reshape(channels, per) if channels > 1 else values)
    eol = "\r\n"
    with open(out_uff, "w", newline="") as f:
        for c in range(channels):
            lines = header(per, c)
            f.write(eol.join(h.ljust(80) if i > 1 else h for i, h in enumerate(lines)) + eol)
            np.savetxt(f, values[c * per:(c + 1) * per].reshape(-1, 6), fmt="%13.5E", delimiter="", newline=eol)
            f.write("    -1" + eol)


if __name__ == "__main__":
    main()
