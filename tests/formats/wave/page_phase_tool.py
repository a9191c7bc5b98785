"""Independent side of the page-phase import tests (numpy, libsndfile through
soundfile, python/tessel_trx.py).

  make PATH SUBTYPE CHANNELS FRAMES JUNK   a WAVE file by libsndfile; JUNK > 0 puts a
                                          'junk' chunk of that many bytes before 'data'
  check WAV TRX                            prints "<offset of the WAVE samples> <TRX data offset>"
                                          once the TRX file's stored samples, read with numpy
                                          from its data offset and through tessel_trx.memmap,
                                          equal libsndfile's
  raw BIN OFFSET TRX                       the same for 16-bit samples at OFFSET of BIN
"""
import struct
import sys

import numpy as np


def chunks(b):
    pos = 12
    while pos + 8 <= len(b):
        cid, size = b[pos:pos + 4], struct.unpack('<I', b[pos + 4:pos + 8])[0]
        yield cid, pos, size
        pos += 8 + size + (size & 1)


def data_offset(path):
    with open(path, 'rb') as f:
        b = f.read()
    for cid, pos, _ in chunks(b):
        if cid == b'data':
            return pos + 8
    sys.exit('%s: no data chunk' % path)


def trx_data_offset(path):
    with open(path, 'rb') as f:
        lead = f.read(24)
    if lead[:8] != b'\x89TRX\r\n\x1a\n':
        sys.exit('%s: not a TRX file' % path)
    return int.from_bytes(lead[16:24], 'little')


def stored(path, width, count, offset):
    """`count` little-endian signed integers of `width` bytes from `offset`."""
    b = np.fromfile(path, dtype=np.uint8, count=count * width, offset=offset)
    if b.size != count * width:
        sys.exit('%s: %d sample bytes from %d, %d expected' % (path, b.size, offset, count * width))
    if width == 3:
        u = b.reshape(-1, 3).astype(np.int64)
        u = u[:, 0] | (u[:, 1] << 8) | (u[:, 2] << 16)
        return u - ((u >> 23) << 24)
    return b.view('<i%d' % width).astype(np.int64)


def compare(want, trx, width, channels):
    import tessel_trx
    D = trx_data_offset(trx)
    got = stored(trx, width, want.size, D)
    if not np.array_equal(got, want):
        bad = int(np.argmax(got != want))
        sys.exit('%s: sample %d is %d, the source holds %d' % (trx, bad, got[bad], want[bad]))
    # The fuller reader, which checks the lead-in and the layout itself.
    rec = tessel_trx.memmap(trx)
    for c in range(channels):
        field = rec['ch%d' % c]
        mine = tessel_trx.stored_values(field, {2: 3, 3: 5, 4: 7}[width]).astype(np.int64)
        if not np.array_equal(mine, want.reshape(-1, channels)[:, c]):
            sys.exit('%s: channel %d differs through tessel_trx' % (trx, c))
    return D


def main(argv):
    if argv[0] == 'make':
        import soundfile as sf
        path, subtype = argv[1], argv[2]
        channels, frames, junk = int(argv[3]), int(argv[4]), int(argv[5])
        rng = np.random.default_rng(frames + channels)
        x = rng.uniform(-1, 1, size=(frames, channels))
        sf.write(path, x, 48000, subtype=subtype, format='WAV')
        if junk:
            with open(path, 'rb') as f:
                b = f.read()
            at = data_offset(path) - 8
            body = b'\0' * junk + (b'\0' if junk & 1 else b'')
            b = b[:at] + b'junk' + struct.pack('<I', junk) + body + b[at:]
            b = b[:4] + struct.pack('<I', len(b) - 8) + b[8:]
            with open(path, 'wb') as f:
                f.write(b)
    elif argv[0] == 'check':
        import soundfile as sf
        wav, trx = argv[1], argv[2]
        info = sf.info(wav)
        width = {'PCM_16': 2, 'PCM_24': 3, 'PCM_32': 4}[info.subtype]
        ints, _ = sf.read(wav, dtype='int32', always_2d=True)
        want = (ints.astype(np.int64) >> (8 * (4 - width))).reshape(-1)
        D = compare(want, trx, width, info.channels)
        print(data_offset(wav), D)
    elif argv[0] == 'raw':
        src, offset, trx, channels = argv[1], int(argv[2]), argv[3], int(argv[4])
        want = np.fromfile(src, dtype='<i2', offset=offset).astype(np.int64)
        want = want[:want.size - want.size % channels]
        print(offset, compare(want, trx, 2, channels))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
