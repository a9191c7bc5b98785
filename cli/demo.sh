#!/usr/bin/env bash
# `make demo`: a few seconds of a synthetic signal made by Tessel itself go
# out as a WAVE file, come back in as a TRX data set, are described, and go
# out again. Expects a built tree (make demo builds it). The files stay in
# BUILD/demo; the user's stored settings are not used or changed.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
tessel="$build/tessel"
gen="$build/wave_gen"
[ -x "$tessel" ] && [ -x "$gen" ] || { echo "build first (make build)"; exit 1; }
out="$build/demo"
rm -rf "$out"
mkdir -p "$out"
export TESSEL_CONFIG_DIR="$out/config"
cd "$out"

step() { printf '\n== %s\n$ %s\n' "$1" "${*:2}"; "${@:2}"; }

# 4 s of two tones with a little noise, 48 kHz stereo, as a float data set.
"$gen" signal.trx signal_float.wav $((4 * 48000)) 2 48000
step "the sample WAVE file, 16-bit, scaled to full range" \
  "$tessel" export wav signal.trx -o sample.wav --conversion auto --16bit --no-pulse
step "WAVE import" "$tessel" import wav sample.wav -o sample.dat
step "what the data set holds" "$tessel" info sample.dat
step "back to WAVE, 1:1" "$tessel" export wav sample.dat -o sample_back.wav --conversion original --16bit
# The 16-bit samples travel unchanged there and back.
if cmp -s sample.wav sample_back.wav; then
  echo "sample_back.wav holds the same samples as sample.wav"
else
  echo "sample_back.wav differs from sample.wav" >&2
  exit 1
fi
if command -v soxi >/dev/null; then
  step "as sox sees it" soxi sample_back.wav
fi
printf '\nThe files are in %s:\n' "$out"
ls -l "$out" | sed 1d
