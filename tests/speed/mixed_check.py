"""Checks a mixed-rate export against its input with NumPy and SciPy alone.

The TRX files are read with the NumPy reader printed in docs/trx-format.md
(taken from that page, so the page itself is what is tested). Usage:
    mixed_check.py INPUT OUTPUTS FIRST DIVISORS SIGNALS TOLERANCE [DOC]
OUTPUTS and DIVISORS: comma-separated, one divisor per output (one start of
Python for several exports). SIGNALS: the input channel numbers that are
exported (in order). Prints one JSON line of figures per output; exit
status 1 names what does not hold.
"""
import json
import re
import sys

import numpy as np
from scipy.signal import firwin, resample_poly

doc = open(sys.argv[7] if len(sys.argv) > 7 else 'docs/trx-format.md', encoding='utf-8').read()
exec(re.search(r"```python\n(.*?)```", doc, re.S).group(1))

inp, first = sys.argv[1], int(sys.argv[3])
signals = [int(s) for s in sys.argv[5].split(',')]
tolerance = float(sys.argv[6])
din, _, cin = read_trx(inp)
problems = []


def rising(bits):
    bits = bits.astype(np.int64)
    return int(np.count_nonzero((bits[1:] == 1) & (bits[:-1] == 0)))


def check(out, divisor):
    dout, _, cout = read_trx(out)
    figures = {'divisor': divisor}

    kept = [c for c in signals if c < first]
    reduced = [c for c in signals if c >= first]
    fast = 1 if kept else divisor
    ratio = divisor // fast
    pulse_out = [i for i, c in enumerate(dout['channels']) if c['impl_type'] == 2]

    # The pattern: kept channels (and the pulse channel) once per own sample,
    # reduced channels once per scan.
    fast_group = list(range(len(kept))) + pulse_out if kept else []
    slow_group = list(range(len(kept), len(kept) + len(reduced)))
    if not kept:
        slow_group += pulse_out
    expected = []
    for s in range(ratio):
        expected += fast_group if kept else []
        if s == 0:
            expected += slow_group
    if ratio > 1 or dout.get('scan_mode') == 3:
        if dout.get('scan_mode') != 3 or dout.get('pattern') != expected:
            problems.append('pattern %s, expected %s' % (dout.get('pattern'), expected))
    n = dout['abscissas'][0]['scans']
    figures['scans'] = n
    figures['delta'] = dout['abscissas'][0]['delta']

    for j, c in enumerate(kept):
        a, b = cin[c], cout[j]
        if len(b) != ratio * n or not np.array_equal(a[:len(b)], b):
            problems.append('kept channel %d differs (%d values)' % (c, len(b)))
        if din['channels'][c]['mapping'] != dout['channels'][j]['mapping']:
            problems.append('kept channel %d: mapping changed' % c)

    worst = 0.0
    for j, c in enumerate(reduced):
        # SciPy's default Kaiser window (beta 5) ripples by about 0.3 % in the
        # pass band; a longer, steeper filter makes the reference itself exact
        # to better than 1e-5 below 90 % of the new Nyquist frequency.
        taps = firwin(160 * divisor + 1, 0.95 / divisor, window=('kaiser', 12.0))
        ref = resample_poly(cin[c], 1, divisor, window=taps)
        b = cout[len(kept) + j]
        if len(b) != n:
            problems.append('reduced channel %d: %d values, expected %d' % (c, len(b), n))
            continue
        # soxr's steep filter settles within 200 output scans of either end.
        edge = 200
        peak = np.max(np.abs(cin[c]))
        err = np.max(np.abs(b[edge:n - edge] - ref[edge:n - edge])) / peak
        worst = max(worst, float(err))
        if not err <= tolerance:
            problems.append('reduced channel %d: deviation %.3g of the peak' % (c, err))
    figures['worst_relative_deviation'] = worst

    for k, sub in enumerate(din.get('sub_channels', [])):
        src = (cin[sub['parent']].astype(np.int64) & sub['bitmask']) != 0
        match = [s for s in dout.get('sub_channels', []) if s['name'] == sub['name']]
        if not match:
            problems.append('sub-channel %s missing' % sub['name'])
            continue
        s = match[0]
        if s['parent'] not in pulse_out:
            problems.append('sub-channel %s: parent %d is no pulse channel' % (sub['name'], s['parent']))
            continue
        dst = (cout[s['parent']].astype(np.int64) & s['bitmask']) != 0
        figures['pulses_in'] = rising(src)
        figures['pulses_out'] = rising(dst)
        if rising(src) != rising(dst) or rising(src) == 0:
            problems.append('sub-channel %s: %d pulses in, %d out' % (sub['name'], rising(src), rising(dst)))
        if s['pulse_factor'] != sub['pulse_factor']:
            problems.append('sub-channel %s: pulse factor changed' % sub['name'])

    print(json.dumps(figures))


for out, divisor in zip(sys.argv[2].split(','), sys.argv[4].split(',')):
    check(out, int(divisor))
if problems:
    print('\n'.join(problems))
    sys.exit(1)
