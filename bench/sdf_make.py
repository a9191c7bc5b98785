#!/usr/bin/python3
"""Writes an SDF file (revision 3) of one time result: `channels` 16-bit
channels of `scans` points each, laid out from the record tables (big-endian),
the samples taken from a file of random bytes.

Usage: sdf_make.py out.sdf samples.bin channels
"""
import os
import shutil
import struct
import sys

out, samples, channels = sys.argv[1], sys.argv[2], int(sys.argv[3])
size = os.path.getsize(samples)
points = size // (2 * channels)

off_data = 2 + 80 + 156
off_vector = off_data + 148
off_channel = off_vector + 18 * channels
off_y = off_channel + 212 * channels


def unit(label, exps):
    return label.encode().ljust(10, b"\0") + struct.pack(">f", 1.0) + struct.pack(">8b", *exps)


volt = unit("V", (2, 4, -6, -2, 0, 0, 0, 0))
seconds = unit("s", (0, 0, 2, 0, 0, 0, 0, 0))

file_hdr = bytearray(80)
struct.pack_into(">hihhhhh8shhhhhhiiiiiiihhiii", file_hdr, 0, 10, 80, 3, 27, 2024, 315, 1042, b"bench",
                 1, channels, channels, 0, 0, 0, off_data, off_vector, off_channel, -1, -1, -1, off_y,
                 0, 0, -1, -1, -1)
meas = bytearray(156)
struct.pack_into(">hii", meas, 0, 11, 156, -1)
data = bytearray(148)
struct.pack_into(">hii16shhhhffhhhhhhhhhihh", data, 0, 12, 148, -1, b"Time", 1, 0, 0, 0, 0.0, 0.0,
                 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, channels, 1)
data[68:90] = seconds
struct.pack_into(">h", data, 90, 0)
struct.pack_into(">ddhhii", data, 114, 0.0, 1.0 / 48000, 0, 1, points, points - 1)
vectors = b"".join(struct.pack(">hiihhhh", 13, 18, -1, c, -1, 48, 0) for c in range(channels))
chans = bytearray()
for c in range(channels):
    ch = bytearray(212)
    struct.pack_into(">hii30s", ch, 0, 14, 212, -1, ("CH%d" % (c + 1)).encode())
    ch[116:138] = volt
    struct.pack_into(">f", ch, 138, 32768.0)
    struct.pack_into(">dd", ch, 152, 1.0, 0.0)
    struct.pack_into(">h", ch, 208, c)
    chans += ch

with open(out, "wb") as f:
    f.write(b"B\0" + file_hdr + meas + data + vectors + chans)
    f.write(struct.pack(">hi", 17, 6 + points * channels * 2))
    with open(samples, "rb") as s:
        shutil.copyfileobj(s, f, 1 << 20)
