#!/usr/bin/env bash
# In the release layout no FTD2XX.dll lies beside TAVO.exe (and Wine has
# none): about a second after start the worker reports it in a box captioned
# TAVO; the program goes on and closes normally. A FTD2XX.dll in the current
# directory and on PATH is not the driver: it is never loaded.
source "$(dirname "$0")/lib.sh"
folder=$(copy_layout release)
[ ! -e "$folder/FTD2XX.dll" ] || fail "the release layout carries a driver library"
planted=$E2E_TMP/planted
mkdir -p "$planted"
cp "$E2E_OUT/simulator/FTD2XX.dll" "$planted/"
WINEPATH=$(winepath -w "$planted" 2>/dev/null) start_in "$planted" wine "$folder/TAVO.exe"
main=$(wait_window '^Tavo' 30) || fail "no main window"
box=$(wait_window '^TAVO$' 15) || fail "no box about the driver library"
press "$box" Return
sleep 0.5
[ -z "$(find_windows '^TAVO$')" ] || fail "the box did not close"
press "$main" alt+F4
code=$(wait_exit 20)
[ "$code" = 0 ] || fail "exit code $code"
