"""Checks a PAK measurement directory against the TRX data set it was made
from, with NumPy alone: TDATA is read from the layout in docs/pak.md, the data
set with python/tessel_trx.py. Usage:
    pak_check.py INPUT.trx DIRECTORY TOLERANCE
TOLERANCE: the largest difference of physical values allowed, in units of
each channel's step (its channel factor). Prints one JSON line of figures;
exit status 1 names what does not hold.
"""
import json
import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', '..', '..', 'python'))
import tessel_trx  # noqa: E402

trx, directory, tolerance = sys.argv[1], sys.argv[2], float(sys.argv[3])
raw = open(os.path.join(directory, 'TDATA'), 'rb').read()
problems = []

header = np.frombuffer(raw, np.uint8, 8008, 0)
setup = np.frombuffer(raw, np.uint8, 67568, 8008)
order = bytes(header[:8]).split(b'\0')[0]
e = '>' if order.upper() == b'MSB' else '<'


def field(block, offset, dtype, count=None):
    return np.frombuffer(block.tobytes(), e + dtype, count or 1, offset)


spb = int(field(header, 2064, 'i4')[0])
bits = int(field(header, 2068, 'i2')[0])
blocks = int(field(setup, 24, 'i4')[0])
channels = int(field(setup, 28, 'i2')[0])
rate = float(field(setup, 32, 'f4')[0])
records = [setup[36848 + 120 * i: 36848 + 120 * (i + 1)] for i in range(channels)]
kinds = [int(field(r, 4, 'i2')[0]) for r in records]
factors = [float(field(r, 40, 'f8')[0]) for r in records]
offsets = [float(field(r, 48, 'f8')[0]) for r in records]
scales = field(header, 16, 'f8', channels)
counts = field(header, 2072, 'i4', channels)

sample = e + ('i2' if bits == 16 else 'f4')
fields = []
for i, k in enumerate(kinds):
    if k == 1:
        fields.append(('c%d' % i, sample, (spb,)))
    elif k != 0:
        fields.append(('c%d' % i, e + 'f4', (int(counts[i]),)))
block = np.dtype(fields)
data = np.frombuffer(raw, block, blocks, 8008 + 67568)
tail = np.frombuffer(raw, np.uint8, offset=8008 + 67568 + blocks * block.itemsize)
analog = [i for i, k in enumerate(kinds) if k == 1]
if tail.size != blocks * len(analog) * 2 or tail.any():
    problems.append('after the blocks: %d bytes, expected %d zeros' % (tail.size, blocks * len(analog) * 2))

ds = tessel_trx.load(trx)
signals = [c for c in ds.channels if c.info.get('title', '') != 'Pulse Channels' and c.impl_type != 2]
if len(analog) != len(signals):
    problems.append('%d analog channels for %d exportable ones' % (len(analog), len(signals)))
worst = 0.0
for i, ch in zip(analog, signals):
    stored = data['c%d' % i].reshape(-1)
    values = stored.astype(np.float64) * scales[i] * factors[i] + offsets[i]
    n = ch.values.size
    if values.size < n or values.size - n >= spb:
        problems.append('channel %d: %d values for %d scans' % (i, values.size, n))
        continue
    step = abs(scales[i] * factors[i])
    diff = np.abs(values[:n] - ch.values) / step
    worst = max(worst, float(diff.max()) if n else 0.0)
    if n and diff.max() > tolerance:
        k = int(diff.argmax())
        problems.append('channel %d (%s), scan %d: %r against %r' % (i, ch.name, k, values[k], ch.values[k]))
    if stored[n:].any():
        problems.append('channel %d: the last block is not filled with zeros' % i)
if signals and signals[0].x.size > 1 and abs(rate - 1.0 / float(signals[0].x[1] - signals[0].x[0])) > 1e-3 * rate:
    problems.append('rate %r' % rate)

print(json.dumps({'blocks': blocks, 'spb': spb, 'bits': bits, 'channels': channels, 'worst_steps': worst}))
for p in problems:
    print(p, file=sys.stderr)
sys.exit(1 if problems else 0)
