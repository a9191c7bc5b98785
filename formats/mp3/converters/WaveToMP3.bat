#!/bin/sh
# Tessel's MP3 encoder: WAVE file in, MP3 file out.
#   WaveToMP3.bat <WAVE file> <MP3 file> <sampling rate in Hz>
# Exit status 0 when the MP3 file was made. MP3 holds only the rates below;
# another rate would be resampled, which would move every sample (and the
# pulse bits that the side file puts back by position), so it is refused.
set -u
if [ $# -lt 3 ]; then
    echo "usage: $0 WAVE-FILE MP3-FILE RATE" >&2
    exit 2
fi
case "$3" in
    8000|11025|12000|16000|22050|24000|32000|44100|48000) ;;
    *) echo "$0: MP3 cannot hold a sampling rate of $3 Hz" >&2; exit 1 ;;
esac
LAME=${TESSEL_LAME:-lame}
exec "$LAME" --quiet --nohist -V 2 "$1" "$2"
