#!/usr/bin/env bash
# `make demo`: a host starts jobs through the conversion frame and prints the
# outcome messages as it receives them. Expects a built tree (make demo builds).
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 3000000 /dev/urandom >"$work/sample.dat"
"$build/tessel_frame_demo" "$work/sample.dat" "$work"
