"""Reads TRX data sets (docs/trx-format.md) with NumPy alone.

    import tessel_trx
    ds = tessel_trx.load('run7.trx')          # description and physical values
    for ch in ds.channels:
        print(ch.name, ch.unit, ch.values[:4], ch.x[:4])
    raw = tessel_trx.memmap('run7.trx')       # stored samples, one record per scan, no copy
    raw['ch0'][:10]

`load` applies the channel mappings (and nothing else: calibration, headroom
and the correction factors are descriptive), unpacks 24-bit and complex
integer samples, separates the channels of a sampling pattern into their
own rates and gives every channel the abscissa values of its samples.
"""

import json
import os

import numpy as np

__all__ = ['load', 'memmap', 'read_description', 'scan_dtype', 'stored_values', 'physical',
           'TrxError', 'Dataset', 'Channel', 'SubChannel']

MAGIC = b'\x89TRX\r\n\x1a\n'
_DTYPES = {1: '|i1', 2: '|u1', 3: '<i2', 4: '<u2', 5: '(3,)|u1', 6: '(3,)|u1', 7: '<i4', 8: '<u4',
           10: '<f4', 12: '<f8', 13: '(2,)<i2', 14: '(2,)<i4', 15: '<c8', 16: '<c16'}
_COMPLEX = (13, 14, 15, 16)


class TrxError(ValueError):
    """A file that is not a readable TRX data set; the text names the file."""


def read_description(path):
    """Returns (description as a dict, data offset D) after checking the lead-in."""
    with open(path, 'rb') as f:
        lead = f.read(24)
        if len(lead) < 24 or lead[:8] != MAGIC:
            raise TrxError('%s: not a TRX file (no magic at offset 0)' % path)
        if lead[8] != 1:
            raise TrxError('%s: format version %d.%d is not supported' % (path, lead[8], lead[9]))
        header_length = int.from_bytes(lead[12:16], 'little')
        data_offset = int.from_bytes(lead[16:24], 'little')
        size = os.fstat(f.fileno()).st_size
        if header_length == 0 or 24 + header_length > size:
            raise TrxError('%s: header length %d at offset 12 does not fit the file' % (path, header_length))
        if data_offset < 24 + header_length:
            raise TrxError('%s: data offset %d at offset 16 is impossible' % (path, data_offset))
        try:
            desc = json.loads(f.read(header_length).decode('utf-8'))
        except (UnicodeDecodeError, ValueError) as e:
            raise TrxError('%s: description is not valid JSON (%s)' % (path, e)) from None
    if not isinstance(desc, dict) or desc.get('format') != 'TRX' or 'layout' not in desc:
        raise TrxError('%s: description does not name the format TRX' % path)
    # The samples start at a multiple of the largest number they are made of
    # (a page phase taken from an imported file keeps that too).
    _, formats = _field_names(desc['layout'].get('fields', []))
    alignment = max([np.dtype(f).base.alignment for f in formats] + [1])
    if data_offset % alignment:
        raise TrxError('%s: data offset %d at offset 16 does not keep the samples\' alignment of %d bytes'
                       % (path, data_offset, alignment))
    return desc, data_offset


def _field_names(fields):
    """Names and NumPy types of the fields; files of format 1.0 carry neither."""
    per_scan = {}
    for f in fields:
        if f['kind'] == 'channel':
            per_scan[f['channel']] = per_scan.get(f['channel'], 0) + 1
    names, formats = [], []
    for f in fields:
        if 'name' in f:
            names.append(f['name'])
        elif f['kind'] == 'abscissa':
            names.append('abscissa')
        elif per_scan[f['channel']] > 1:
            names.append('ch%d_%d' % (f['channel'], f['occurrence']))
        else:
            names.append('ch%d' % f['channel'])
        if 'dtype' in f:
            formats.append(f['dtype'])
        else:
            base = _DTYPES[f['type']]
            count = f.get('count', 1)
            if count == 1:
                formats.append(base)
            elif base.startswith('('):
                formats.append('(%d,%s' % (count, base[1:]))
            else:
                formats.append('(%d,)%s' % (count, base))
    return names, formats


def scan_dtype(layout):
    """The structured dtype of one scan as it lies in the file."""
    fields = layout['fields']
    names, formats = _field_names(fields)
    return np.dtype({'names': names, 'formats': formats, 'offsets': [f['offset'] for f in fields],
                     'itemsize': layout['scan_bytes']})


def stored_values(raw, impl_type):
    """Stored values of one field as numbers: 24-bit samples unpacked from their
    three bytes (low byte first), complex integers as complex numbers."""
    if impl_type in (5, 6):
        b = np.asarray(raw).astype(np.int64)
        u = b[..., 0] | (b[..., 1] << 8) | (b[..., 2] << 16)
        return u - ((u >> 23) << 24) if impl_type == 5 else u
    if impl_type in (13, 14):
        raw = np.asarray(raw)
        return raw[..., 0] + 1j * raw[..., 1]
    return np.asarray(raw)


def _linear(m):
    if 'factor' in m:
        return m['factor'], m['offset']
    if m['type_x'] == 1 and m['type_y'] == 1:
        f = (m['x2'] - m['x1']) / (m['y2'] - m['y1'])
        return f, m['x1'] - m['y1'] * f
    return None


def physical(values, mapping):
    """Stored values through a mapping. Complex values: s·f + o under a linear
    mapping; under a non-linear one the magnitude is mapped and the phase kept."""
    complex_ = np.iscomplexobj(values)
    values = np.asarray(values, dtype=np.complex128 if complex_ else np.float64)
    lin = _linear(mapping)
    if lin is not None:
        if lin == (1.0, 0.0):
            return values
        return values * lin[0] + lin[1]
    m = mapping

    def side(t):
        return np.log10 if t == 2 else (lambda v: v)

    S, T = side(m['type_x']), side(m['type_y'])

    def curve(y):
        u = S(m['x1']) + (T(y) - T(m['y1'])) * (S(m['x2']) - S(m['x1'])) / (T(m['y2']) - T(m['y1']))
        return 10.0 ** u if m['type_x'] == 2 else u

    with np.errstate(divide='ignore', invalid='ignore', over='ignore'):
        if not complex_:
            return curve(values)
        mag = np.abs(values)
        to = curve(mag)
        return np.where(mag == 0, to + 0j, to * values / np.where(mag == 0, 1.0, mag))


def _open_scans(path, desc, data_offset, copy):
    layout = desc['layout']
    dtype = scan_dtype(layout)
    size = os.path.getsize(path)
    if dtype.itemsize:
        in_file = max(0, size - data_offset) // dtype.itemsize
        n = min(layout['scans'], in_file)
    else:
        n = layout['scans']
    if n == 0 or dtype.itemsize == 0:
        return np.zeros(n, dtype)
    if copy:
        return np.fromfile(path, dtype=dtype, count=n, offset=data_offset)
    return np.memmap(path, dtype=dtype, mode='r', offset=data_offset, shape=(n,))


def memmap(path):
    """The stored samples as a read-only structured array over the file, one
    record per scan (fields as in the description's layout: "abscissa",
    "ch<n>" or "ch<n>_<k>"). Only the whole announced scans that the file
    holds; nothing is copied."""
    desc, data_offset = read_description(path)
    return _open_scans(path, desc, data_offset, copy=False)


class Channel:
    """One channel: its description (`info`, the dict of the file), physical
    `values` in time order, and `x`, the abscissa-0 value of every sample.
    With two abscissas `values` has the shape (scans of abscissa 1, scans of
    abscissa 0), whole rows only, and `x` is the abscissa-0 values of a row."""

    def __init__(self, number, info, values, x, per_scan):
        self.number = number
        self.info = info
        self.values = values
        self.x = x
        self.samples_per_scan = per_scan

    name = property(lambda self: self.info.get('name', ''))
    unit = property(lambda self: self.info.get('unit', ''))
    quantity = property(lambda self: self.info.get('quantity', ''))
    impl_type = property(lambda self: self.info['impl_type'])
    tags = property(lambda self: {k: next(iter(v.values())) for k, v in self.info.get('tags', {}).items()})

    def __repr__(self):
        return 'Channel(%d, %r, %d values in %r)' % (self.number, self.name, self.values.size, self.unit)


class SubChannel:
    """A pulse sub-channel: `pulses` is true where the parent's stored sample
    has a bit of `bitmask` set (the mask is applied before any mapping)."""

    def __init__(self, info, pulses):
        self.info = info
        self.pulses = pulses

    name = property(lambda self: self.info.get('name', ''))
    parent = property(lambda self: self.info['parent'])
    bitmask = property(lambda self: self.info['bitmask'])


class Dataset:
    """What `load` returns: `description` (the file's JSON), `abscissas` (the
    values of each abscissa: per scan; a band abscissa as rows of lower edge,
    centre, upper edge), `channels`, `sub_channels`, `scans` (whole scans
    read) and `complete` (false for a file left open by its writer or
    shorter than announced)."""

    def __init__(self, description, abscissas, channels, sub_channels, scans, complete):
        self.description = description
        self.abscissas = abscissas
        self.channels = channels
        self.sub_channels = sub_channels
        self.scans = scans
        self.complete = complete

    title = property(lambda self: self.description.get('title', ''))
    kind = property(lambda self: self.description.get('kind', 0))


def _calculated(a, positions):
    if a['distribution'] == 2:
        return a['first'] * np.power(float(a['delta']), positions)
    return a['first'] + positions * a['delta']


def load(path):
    """Reads a whole data set: description, abscissas, every channel's physical
    values with the abscissa values of its samples, and the pulses of the
    sub-channels. A short file gives the whole scans it holds."""
    desc, data_offset = read_description(path)
    layout = desc['layout']
    scans = _open_scans(path, desc, data_offset, copy=True)
    n = scans.shape[0]
    absc = desc['abscissas']
    names, _ = _field_names(layout['fields'])
    matrix = len(absc) == 2
    n0 = absc[0]['scans']
    rows = n // n0 if matrix and n0 else 0

    # Abscissa 0: per scan of the file (per row position with two abscissas).
    a0 = absc[0]
    stored = None
    raw_by_channel, types = {}, {}
    for name, field in zip(names, layout['fields']):
        values = stored_values(scans[name], field['type'])
        if field['kind'] == 'abscissa':
            stored = physical(values, a0['mapping'])
        else:
            raw_by_channel.setdefault(field['channel'], []).append(values)
            types[field['channel']] = field['type']
    count0 = n0 if matrix else n
    if a0['calculated']:
        x0 = _calculated(a0, np.arange(count0, dtype=np.float64))
    else:
        x0 = stored if stored is not None else np.zeros(0)
    abscissas = [x0]
    if matrix:
        abscissas.append(_calculated(absc[1], np.arange(rows, dtype=np.float64)))

    channels, raw_parent = [], {}
    for number, info in enumerate(desc['channels']):
        parts = raw_by_channel.get(number, [])
        m = len(parts)
        raw = np.stack(parts, axis=1).reshape(-1) if parts else np.zeros(0)
        raw_parent[number] = raw
        values = physical(raw, info['mapping'])
        if matrix:
            values = values[:rows * n0].reshape(rows, n0)
            x = x0
        elif m > 1:
            x = _calculated(a0, np.arange(n * m, dtype=np.float64) / m)
        elif m == 1:
            x = x0 if a0['calculated'] or stored is None or stored.ndim == 1 else stored[:, 1]
        else:
            x = np.zeros(0)
        channels.append(Channel(number, info, values, x, m))

    subs = []
    for info in desc.get('sub_channels', []):
        raw = raw_parent.get(info['parent'], np.zeros(0))
        if np.iscomplexobj(raw) or raw.dtype.kind == 'f':
            pulses = np.zeros(raw.shape, dtype=bool)
        else:
            pulses = (raw.astype(np.int64) & int(info['bitmask'])) != 0
        subs.append(SubChannel(info, pulses))

    complete = not desc.get('open_for_writing', False) and n >= layout['scans']
    return Dataset(desc, abscissas, channels, subs, n, complete)
