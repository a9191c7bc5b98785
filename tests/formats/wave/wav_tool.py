"""Independent WAVE reader/writer for the tests (libsndfile through soundfile).

  make PATH SUBTYPE CHANNELS RATE FRAMES   write a deterministic test signal
  ints PATH OUT                            samples as little-endian int32, left-justified
  info PATH                                "rate channels frames subtype"
  floatwav PATH CHANNELS RATE FRAMES       32-bit float file of a signal within +-0.9
  requant PATH BITS OUT                    the samples rounded to BITS (nearest, ties to even), int32
  batch FILE                               the commands above, one per line (one start-up)
"""
import sys

import numpy as np
import soundfile as sf


def signal(channels, rate, frames):
    t = np.arange(frames) / rate
    cols = []
    for c in range(channels):
        # Different content per channel, reaching both ends of the range.
        x = 0.999 * np.sin(2 * np.pi * (100 + 37 * c) * t + c)
        if frames > 4:
            x[1] = 1.0
            x[2] = -1.0
        cols.append(x)
    return np.stack(cols, axis=1)


def run(argv):
    cmd = argv[0]
    if cmd == "make":
        path, subtype = argv[1], argv[2]
        ch, rate, frames = map(int, argv[3:6])
        sf.write(path, signal(ch, rate, frames), rate, subtype=subtype, format="WAV")
    elif cmd == "floatwav":
        path = argv[1]
        ch, rate, frames = map(int, argv[2:5])
        sf.write(path, 0.9 * signal(ch, rate, frames), rate, subtype="FLOAT", format="WAV")
    elif cmd == "ints":
        data, _ = sf.read(argv[1], dtype="int32", always_2d=True)
        data.astype("<i4").tofile(argv[2])
    elif cmd == "requant":
        data, _ = sf.read(argv[1], dtype="int32", always_2d=True)
        bits = int(argv[2])
        x = np.round(data.astype(np.float64) / 2.0 ** (32 - bits))
        np.clip(x, -(2 ** (bits - 1)), 2 ** (bits - 1) - 1).astype("<i4").tofile(argv[3])
    elif cmd == "info":
        i = sf.info(argv[1])
        print(i.samplerate, i.channels, i.frames, i.subtype)
    elif cmd == "batch":
        with open(argv[1]) as f:
            for line in f:
                if line.strip():
                    run(line.split())
    else:
        sys.exit("unknown command " + cmd)


def main():
    run(sys.argv[1:])


if __name__ == "__main__":
    main()
