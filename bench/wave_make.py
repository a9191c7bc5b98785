#!/usr/bin/python3
"""Writes a 16-bit PCM WAVE file of noise for bench_wave.sh.

  wave_make.py PATH MIB [CHANNELS] [RATE]
"""
import os
import struct
import sys


def main():
    path, mib = sys.argv[1], int(sys.argv[2])
    channels = int(sys.argv[3]) if len(sys.argv) > 3 else 2
    rate = int(sys.argv[4]) if len(sys.argv) > 4 else 48000
    align = 2 * channels
    size = mib * 1024 * 1024 // align * align
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + size) + b"WAVE")
        f.write(b"fmt " + struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * align, align, 16))
        f.write(b"data" + struct.pack("<I", size))
        left = size
        while left:
            n = min(left, 1 << 22)
            f.write(os.urandom(n))
            left -= n


if __name__ == "__main__":
    main()
