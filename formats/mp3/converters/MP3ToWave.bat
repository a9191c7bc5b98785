#!/bin/sh
# Tessel's MP3 decoder: MP3 file in, 16-bit WAVE file out.
#   MP3ToWave.bat <MP3 file> <WAVE file>
# Exit status 0 when the WAVE file was made. The decoder drops the
# encoder's delay and padding, so the WAVE file has the samples that went in.
set -u
if [ $# -lt 2 ]; then
    echo "usage: $0 MP3-FILE WAVE-FILE" >&2
    exit 2
fi
MPG123=${TESSEL_MPG123:-mpg123}
# The caller reserves the WAVE file's name by making it empty; it is written
# in place rather than truncated, because ext4 writes a file truncated to
# nothing out to the disk when it is closed, and the caller's removal of the
# decoded file would wait for that. The decoder goes back to the start of
# its output to complete the header, so the output must be a plain file.
# Into standard output the decoder writes through stdio, in pieces of the
# file's block size: some 13,000 writes for five minutes of stereo. With a
# buffer of 256 KiB (stdbuf, from coreutils, where it is installed) it makes
# some 200, and the same bytes; five minutes decode in 346 ms instead of
# 400. Larger buffers are slower again (4 MiB: 386 ms, and 18 ms more for
# 20 seconds).
if [ -f "$2" ] && [ ! -s "$2" ]; then
    if command -v stdbuf >/dev/null 2>&1; then
        exec stdbuf -o 256K "$MPG123" --quiet -w - -- "$1" 1<>"$2"
    fi
    exec "$MPG123" --quiet -w - -- "$1" 1<>"$2"
fi
exec "$MPG123" --quiet -w "$2" -- "$1"
