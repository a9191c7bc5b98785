#!/usr/bin/python3
"""Gives a TRX data set a pulse sub-channel on bit 0 of channel 0, in place.

The description is rewritten within the room before the samples (the layout
of docs/trx-format.md: header length at offset 12, data offset at 16), so the
samples stay where they are. Used by bench/bench_mp3.sh to time the side
file's pulse-bit code.
Usage: mp3_pulse.py FILE.trx
"""

import json
import struct
import sys

path = sys.argv[1]
with open(path, 'r+b') as f:
    head = f.read(24)
    length, start = struct.unpack_from('<IQ', head, 12)
    desc = json.loads(f.read(length).decode('utf-8'))
    desc['sub_channels'] = [{
        'type': 1, 'id': 0, 'parent': 0, 'bitmask': 1, 'delta_time': 0.0, 'pulse_factor': 1.0,
        'smooth': 0, 'name': 'Tacho', 'abbreviation': 'n', 'quantity': 'RPM', 'unit': 'rpm'}]
    text = json.dumps(desc, indent=1).encode('utf-8')
    if 24 + len(text) + 1 > start:
        sys.exit('no room for the description')
    pad = start - 24 - len(text)
    f.seek(12)
    f.write(struct.pack('<I', len(text)))
    f.seek(24)
    f.write(text + b' ' * (pad - 1) + b'\n')
