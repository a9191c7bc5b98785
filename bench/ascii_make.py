#!/usr/bin/python3
"""Writes the table of the ASCII benchmarks: a time column and 8 channels,
'%.6e', blank separated, as numpy.savetxt writes it; and the same values as
.npy for the peers of the export.

Usage: ascii_make.py TABLE NPY SCANS
"""
import sys

import numpy as np

table, npy, scans = sys.argv[1], sys.argv[2], int(sys.argv[3])
rng = np.random.default_rng(17)
t = np.arange(scans) / 48000.0
channels = rng.normal(scale=0.3, size=(scans, 8))
data = np.column_stack([t, channels])
np.savetxt(table, data, fmt="%.6e")
np.save(npy, data)
