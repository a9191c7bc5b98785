"""Dumps what the NumPy recipe of docs/trx-format.md reads from TRX files, for
the C++ test to compare with the library: PATH.rch<k> (channel values, complex
ones as re, im pairs) and PATH.rabs (stored abscissa values) as little-endian
doubles. Nothing but the recipe's own lines reads the files.

usage: dump_with_recipe.py DOC FILE...
"""
import sys

import numpy as np

doc = open(sys.argv[1], encoding='utf-8').read()
section = doc.find('## Reading a TRX file with NumPy')
begin = doc.find('```python\n', section)
if section < 0 or begin < 0:
    sys.exit('%s has no NumPy recipe' % sys.argv[1])
begin += len('```python\n')
recipe = {'__name__': 'trx_recipe'}
exec(doc[begin:doc.find('```', begin)], recipe)

for path in sys.argv[2:]:
    desc, abscissa, channels = recipe['read_trx'](path)
    if abscissa is not None:
        abscissa.astype('<f8').tofile(path + '.rabs')
    for k, values in enumerate(channels):
        if np.iscomplexobj(values):
            values = np.stack([values.real, values.imag], axis=1).reshape(-1)
        np.asarray(values, dtype='<f8').tofile(path + '.rch%d' % k)
