"""Dumps what python/tessel_trx.py reads from TRX files, for the C++ test to
compare with the library: PATH.ch<k>, .x<k>, .raw<k> (memmap), .abs<j>,
.pulse<j> as little-endian doubles (complex values as re, im pairs) and
PATH.json with the counts.

usage: dump_with_reader.py PYTHON_DIR FILE...
"""
import json
import sys

import numpy as np

sys.path.insert(0, sys.argv[1])
import tessel_trx  # noqa: E402


def doubles(values, path):
    values = np.asarray(values)
    if np.iscomplexobj(values):
        values = np.stack([values.real, values.imag], axis=-1)
    np.asarray(values, dtype='<f8').reshape(-1).tofile(path)


for path in sys.argv[2:]:
    ds = tessel_trx.load(path)
    raw = tessel_trx.memmap(path)
    if raw.size and not isinstance(raw, np.memmap):
        sys.exit('%s: memmap copied the samples' % path)
    for ch in ds.channels:
        doubles(ch.values, '%s.ch%d' % (path, ch.number))
        doubles(ch.x, '%s.x%d' % (path, ch.number))
        parts = [tessel_trx.stored_values(raw[f['name']], f['type'])
                 for f in ds.description['layout']['fields'] if f.get('channel') == ch.number]
        stored = np.stack(parts, axis=1).reshape(-1) if parts else np.zeros(0)
        doubles(stored, '%s.raw%d' % (path, ch.number))
    for j, a in enumerate(ds.abscissas):
        doubles(a, '%s.abs%d' % (path, j))
    for j, s in enumerate(ds.sub_channels):
        doubles(s.pulses, '%s.pulse%d' % (path, j))
    with open(path + '.json', 'w') as f:
        json.dump({'scans': int(ds.scans), 'complete': ds.complete, 'channels': len(ds.channels),
                   'sub_channels': len(ds.sub_channels)}, f)
