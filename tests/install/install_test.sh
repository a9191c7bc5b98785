#!/usr/bin/env bash
# The installed tree as a user and a host see it, away from the build tree:
# `cmake --install` into a fresh prefix, then the layout, the command, and a
# host program built twice against that prefix alone (find_package(Tessel)
# and pkg-config) that links every exported member and runs one synchronous
# WAVE import, whose data set is then checked against the samples written.
#
# usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tessel-install-XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
export TESSEL_CONFIG_DIR=$work/config TESSEL_SEM_DIR=$work/sem
unset TESSEL_RES_DIR
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

# --- layout ---------------------------------------------------------------
lib=$(find "$prefix" -name 'libtessel.so.*.*' -type f)
[ -n "$lib" ] || fail "no versioned libtessel.so.X.Y installed"
libdir=$(dirname "$lib")
soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libtessel.so.0 ] || fail "SONAME is '$soname', expected libtessel.so.0"
[ -L "$libdir/libtessel.so.0" ] && [ -L "$libdir/libtessel.so" ] || fail "libtessel.so.0 / libtessel.so links missing"
for l in tessel_basics tessel_dataset tessel_blocks; do
  [ -e "$libdir/lib$l.so.0" ] || fail "lib$l.so.0 missing beside libtessel"
done
[ -f "$libdir/tessel/TesselResDEU.so" ] || fail "language module not in $libdir/tessel/"
# The settings dialog, where the build has Qt.
have_dialog=no
[ -f "$build/tessel_settings_ui.so" ] && have_dialog=yes
[ $have_dialog = no ] || [ -f "$libdir/tessel/tessel_settings_ui.so" ] || fail "settings dialog not in $libdir/tessel/"
[ -f "$libdir/tessel/tessel_spreadsheet.so" ] || fail "spreadsheet readers not in $libdir/tessel/"
[ -x "$prefix/bin/tessel" ] || fail "bin/tessel missing"
for c in WaveToMP3.bat MP3ToWave.bat; do
  [ -x "$prefix/bin/$c" ] || fail "MP3 converter $c not executable beside tessel"
done
[ -f "$libdir/pkgconfig/tessel.pc" ] || fail "tessel.pc missing"
[ -f "$libdir/cmake/Tessel/TesselConfig.cmake" ] || fail "TesselConfig.cmake missing"
[ -f "$prefix/share/man/man1/tessel.1" ] || fail "manual page missing"
comp=$prefix/share/bash-completion/completions/tessel
[ -f "$comp" ] || fail "bash completion missing"
[ -f "$prefix/share/doc/tessel/trx-format.md" ] || fail "documents missing"
# Search paths: relative to the binary or none; never the build tree, never
# an empty entry (the loader takes that for the working directory). The
# build tree's own binaries neither.
for f in "$prefix/bin/tessel" "$libdir"/libtessel*.so.*.* "$libdir"/tessel/*.so "$build/tessel" "$build/libtessel.so"; do
  rp=$(readelf -d "$f" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [ -z "$rp" ] || case ":$rp:" in *::*) fail "$f: search path '$rp' has an empty entry";; esac
  [[ $f == "$build"/* || $rp != *"$build"* ]] || fail "$f: search path '$rp' names the build tree"
done

# The headers: the exported classes and what their signatures name, flat, and
# nothing that reaches outside the folder.
headers=$(cd "$prefix/include/tessel" && ls | sort | tr '\n' ' ')
for h in tessel.h TSInterface.h TSSettings.h CString.h DataKind.h; do
  [[ " $headers" == *" $h "* ]] || fail "include/tessel/$h missing (have: $headers)"
done
for h in Dataset.h ThreadConversion.h ThreadManager.h; do
  [[ " $headers" != *" $h "* ]] || fail "internal header $h installed"
done
if grep -h '#include "' "$prefix"/include/tessel/*.h | grep '/'; then
  fail "an installed header includes a path outside include/tessel"
fi

# --- the command, from the installed tree only ----------------------------
"$prefix/bin/tessel" --version | grep -qx 'tessel 0\.[0-9]*' || fail "tessel --version"
man -l "$prefix/share/man/man1/tessel.1" 2>/dev/null | grep -q 'convert' || \
  grep -q 'convert' "$prefix/share/man/man1/tessel.1" || fail "manual page lacks the commands"
# `settings edit` finds the dialog in the installed tree and opens it; under
# the offscreen platform it then waits for a user, so it is stopped once the
# dialog and Qt are mapped. No other command loads Qt.
if ldd "$prefix/bin/tessel" | awk '{print $1}' | grep -q '^libQt'; then fail "bin/tessel links Qt"; fi
# The spreadsheet readers come from their plug-in, found in the installed tree
# (the message is expat's, from inside it); the module itself links none of
# their libraries.
if ldd "$lib" | grep -E -q 'liborcus|libfreexl|libexpat'; then fail "libtessel links the spreadsheet libraries"; fi
set +e
"$prefix/bin/tessel" import xlsx "$here/../formats/spreadsheet/data/orcus_sax_read_past_end.xlsx" \
  -o "$work/sheet.trx" 2>"$work/sheet.err"
set -e
grep -q 'not well-formed' "$work/sheet.err" || { cat "$work/sheet.err"; fail "installed tessel does not load the spreadsheet readers"; }
if [ $have_dialog = yes ]; then
  QT_QPA_PLATFORM=offscreen "$prefix/bin/tessel" settings edit >/dev/null 2>"$work/edit.err" &
  edit_pid=$!
  dialog=no
  for _ in $(seq 300); do
    maps=$(cat /proc/$edit_pid/maps 2>/dev/null) || break
    if grep -q "$libdir/tessel/tessel_settings_ui.so" <<<"$maps" && grep -q libQt6Widgets <<<"$maps"; then
      dialog=yes; break
    fi
    sleep 0.1
  done
  kill -9 $edit_pid 2>/dev/null || true
  wait $edit_pid 2>/dev/null || true
  [ $dialog = yes ] || { cat "$work/edit.err"; fail "installed tessel settings edit did not open the dialog"; }
fi

# Completion as bash runs it: words so far, then what it offers.
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tessel; printf "%s\n" "${COMPREPLY[@]}"' _ "$comp" "$@"
}
[ "$(complete_words tessel con)" = convert ] || fail "completion of 'tessel con'"
complete_words tessel import w | grep -qx wav || fail "completion of 'tessel import w'"
complete_words tessel export wav x.dat --con | grep -qx -- --conversion || fail "completion of an export option"
[ -z "$(complete_words tessel export wav --level 9 --con | grep -v -- --conversion)" ] || fail "completion after a valued option"
[ "$(complete_words tessel export wav x.dat --conversion o)" = original ] || fail "completion of an option's words"
[ "$(complete_words tessel convert a.wav b.x --to u)" = uff ] || fail "completion of convert --to"

# --- the host -------------------------------------------------------------
python3 "$here/exported_members.py" "$lib" "$prefix/include/tessel" >"$work/members.inc"
members=$(grep -c '^    Keep(' "$work/members.inc" || true)
[ "$members" -ge 10 ] || fail "only $members exported members found"

mkdir -p "$work/host"
cp "$here/host.cpp" "$work/members.inc" "$work/host/"
cat >"$work/host/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(TesselHost CXX)
find_package(Tessel 0.1 REQUIRED)
add_executable(host host.cpp)
target_compile_options(host PRIVATE -O0)
target_link_libraries(host PRIVATE Tessel::tessel)
CMAKE
cmake -S "$work/host" -B "$work/host/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER_LAUNCHER= >"$work/host.log" 2>&1 ||
  { cat "$work/host.log"; fail "configuring the host with find_package(Tessel)"; }
cmake --build "$work/host/build" >>"$work/host.log" 2>&1 || { cat "$work/host.log"; fail "building the host (find_package)"; }
PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
g++ -O0 -o "$work/host/host_pc" "$work/host/host.cpp" $(pkg-config --cflags --libs tessel) ||
  fail "building the host (pkg-config)"

# 0.25 s of a 16-bit stereo ramp at 8 kHz, written by Python's own wave module.
python3 - "$work/in.wav" <<'PY'
import struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(8000)
    w.writeframes(b"".join(struct.pack("<hh", 16 * i - 16000, -7 * i) for i in range(2000)))
PY

check_import() {  # host-binary output-name expected-success-text
  "$1" "$work/in.wav" "$work/$2" >"$work/$2.out" || fail "$1 exited with $?"
  grep -qx "result 0 state 21 id 7 user 42" "$work/$2.out" || { cat "$work/$2.out"; fail "$1: synchronous WAVE import"; }
  grep -qx "source $work/in.wav" "$work/$2.out" || fail "$1: source path"
  grep -qx "text $3" "$work/$2.out" || { cat "$work/$2.out"; fail "$1: outcome text"; }
  grep -qx "no-output 110" "$work/$2.out" || fail "$1: synchronous call without output"
  grep -qx "progress -1.0" "$work/$2.out" || fail "$1: progress of a synchronous job"
  grep -qx "linked $members" "$work/$2.out" || fail "$1: linked members"
  # The samples in the data set, read by the layout of docs/trx-format.md.
  offset=$("$prefix/bin/tessel" info --json "$work/$2" | python3 -c 'import json,sys; print(json.load(sys.stdin)["data_offset"])')
  python3 - "$work/$2" "$offset" <<'PY' || fail "samples of $2"
import struct, sys
data = open(sys.argv[1], "rb").read()[int(sys.argv[2]):]
got = struct.unpack("<4000h", data[:8000])
want = [v for i in range(2000) for v in (16 * i - 16000, -7 * i)]
sys.exit(0 if list(got) == want else 1)
PY
}
check_import "$work/host/build/host" a.dat "Conversion successfully completed."
grep -qx "text-113 Conversion has already been started." "$work/a.dat.out" || fail "own texts"

# With the user's language set, the installed language module answers.
mkdir -p "$TESSEL_CONFIG_DIR"
printf '[Software\\Orvano\\]\nLanguage=DEU\n' >"$TESSEL_CONFIG_DIR/tessel.conf"
check_import "$work/host/host_pc" b.dat "Konvertierung erfolgreich abgeschlossen."
grep -qx "text-113 Die Konvertierung wurde bereits gestartet." "$work/b.dat.out" || fail "German texts from $libdir/tessel"

echo "installed tree in order: $members exported members linked, $headers"
