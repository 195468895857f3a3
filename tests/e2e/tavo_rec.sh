#!/usr/bin/env bash
# tavo-rec.exe on a recording saved by TAVO itself: a weld recorded from the
# simulated controller and saved through the File menu reads back with the
# sample run, the trigger count and the parameter block TAVO had; the CSV
# holds every sample. Bad input through the Windows executable keeps its
# exit codes. The weld passes a check against itself, and a copy with a sag
# in its current fails it; table, a picture with the band, and the refusal
# of a device and of a full standard output work under Windows' rules.
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

# A weld against itself passes at every trigger; a copy whose current sags
# for one sample of the first pulse fails there, with the sample and time.
out=$(rec check weld.rec weld.rec --band 0 --all | tr -d '\r') || fail "check of a weld against itself: $out"
[[ "$out" == "PASS weld.rec: triggers 1 to 6 within the band"* ]] || fail "check: $out"
python3 - "$folder/weld.rec" "$folder/sagged.rec" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
at = 68 + 32 * 500 + 4 + 2 * 8  # KI of sample 500
struct.pack_into("<h", data, at, struct.unpack_from("<h", data, at)[0] - 600)
open(sys.argv[2], "wb").write(data)
PY
code=0; out=$(rec check weld.rec sagged.rec --band 40 | tr -d '\r') || code=$?
[ "$code" = 10 ] || fail "check of a sagged weld: exit code $code, expected 10"
[[ "$out" == "FAIL sagged.rec: trigger 1, KI at sample 500 ("*" ms after the trigger): "*" below the band"* ]] ||
  fail "check of a sagged weld: $out"
rec table weld.rec sagged.rec -o welds.csv || fail "table: $(cat "$E2E_TMP/err")"
[ "$(wc -l <"$folder/welds.csv")" = 13 ] || fail "table: $(wc -l <"$folder/welds.csv") lines, expected a header and 12 rows"
rec plot sagged.rec --reference weld.rec --band 40 -o sagged.svg >/dev/null || fail "plot --reference"
[ "$(grep -c '<polygon' "$folder/sagged.svg")" = 5 ] || fail "plot --reference: no band for each of the 5 channels"
# A device is no file to replace, and a full standard output is an error
# whatever diff found.
code=0; rec csv weld.rec -o NUL || code=$?
[ "$code" = 9 ] && grep -q 'it is a device' "$E2E_TMP/err" || fail "csv -o NUL: exit code $code, $(cat "$E2E_TMP/err")"
code=0; (cd "$folder" && wine tavo-rec.exe diff weld.rec sagged.rec </dev/null >/dev/full 2>"$E2E_TMP/err") || code=$?
[ "$code" = 9 ] && grep -q 'standard output cannot be written' "$E2E_TMP/err" ||
  fail "diff to a full disk: exit code $code, $(cat "$E2E_TMP/err")"
