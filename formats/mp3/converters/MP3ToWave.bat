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
exec "$MPG123" --quiet -w "$2" -- "$1"
