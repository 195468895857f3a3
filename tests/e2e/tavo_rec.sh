#!/usr/bin/env bash
# tavo-rec.exe on a recording saved by TAVO itself: a weld recorded from the
# simulated controller and saved through the File menu reads back with the
# sample run, the trigger count and the parameter block TAVO had; the CSV
# holds every sample. Bad input through the Windows executable keeps its
# exit codes.
source "$(dirname "$0")/lib.sh"
folder=$(copy_layout simulator)
[ -f "$folder/tavo-rec.exe" ] || fail "tavo-rec.exe is not in the simulator layout"
[ -f "$E2E_OUT/release/tavo-rec.exe" ] || fail "tavo-rec.exe is not in the release layout"
printf '[Simulator]\nUnpaced=1\n' >"$folder/FTD2XX.sim.ini"
start_tavo "$folder"
main=$(wait_window '^Tavo' 30) || fail "no main window"
sleep 3  # the worker starts after a second and lists the parameters
press "$main" d
sleep 3  # the recording ends by a second of silence
press "$main" F10 Down Return
dialog=$(wait_window '^Save current data$' 20) || fail "no save dialog"
sleep 0.5
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool type --delay 20 'weld.rec'
xdotool key Return
box=$(wait_window '^TAVO$' 20) || fail "no \"Data have been saved\""
press "$box" Return
press "$main" alt+F4
[ "$(wait_exit 20)" = 0 ] || fail "TAVO did not end"
[ -f "$folder/weld.rec" ] || fail "TAVO saved no weld.rec"

rec() { (cd "$folder" && wine tavo-rec.exe "$@" </dev/null 2>"$E2E_TMP/err"); }
# The Tavo.ini beside tavo-rec.exe gives the clock and trigger, as TAVO's own.
info=$(rec info weld.rec | tr -d '\r') || fail "info: $(cat "$E2E_TMP/err")"
for expected in 'Samples:    8000' 'First G:    byte 68, counter 0; no junk before it' \
    'Run ends:   at the end of the file' 'Clock:      125 µs per sample; the last whole sample at 999.875 ms' \
    'Triggers:   6 (KI RISE through 500, PreEvent 50, PostEvent 100)' \
    'SysTick/s (FH)            8.000   0..65535' 'SEK                           8   0..32' \
    'VB                       -1.000   -32768..32767' \
    'Autooffset (AO)           [x] 0 [x] 1 [x] 2 [x] 3 [ ] 4 [ ] 5 [ ] 6 [ ] 7'; do
  grep -qF -- "$expected" <<<"$info" || fail "info lacks: $expected
$info"
done
rec csv weld.rec -o weld.csv || fail "csv: $(cat "$E2E_TMP/err")"
rows=$(grep -vc '^#' "$folder/weld.csv")
[ "$rows" = 8001 ] || fail "$rows CSV lines, expected the header and 8000 samples"
last=$(tail -n 1 "$folder/weld.csv" | tr -d '\r')
[[ "$last" == 7999,7999,999.875,* ]] || fail "last row: $last"
# The same CSV on standard output.
rec csv weld.rec >"$E2E_TMP/stdout.csv" || fail "csv to standard output"
cmp -s "$E2E_TMP/stdout.csv" "$folder/weld.csv" || fail "standard output differs from the file"

for bad in 'missing.rec 3' 'Tavo.ini 4' 'TAVO.exe 4'; do
  code=0
  rec info ${bad% *} >/dev/null || code=$?
  [ "$code" = "${bad#* }" ] || fail "info ${bad% *}: exit code $code, expected ${bad#* }"
done
printf 'TAVX' >"$folder/foreign.rec"; head -c 100 /dev/zero >>"$folder/foreign.rec"
code=0; rec csv foreign.rec -o out.csv || code=$?
[ "$code" = 7 ] || fail "a wrong magic: exit code $code, expected 7"
[ ! -e "$folder/out.csv" ] || fail "a failed conversion left out.csv"
