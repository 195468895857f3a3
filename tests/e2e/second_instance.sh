#!/usr/bin/env bash
# A second TAVO.exe started while one runs brings the first to the front and
# ends with 0; the first keeps its link: D still welds and records.
source "$(dirname "$0")/lib.sh"
folder=$(copy_layout simulator)
rm -f "$folder/FTD2XX.sim.log"
start_tavo "$folder"
first=$TAVO_PID first_status=$TAVO_STATUS
main=$(wait_window '^Tavo' 30) || fail "no main window"
for _ in $(seq 50); do [ -s "$folder/FTD2XX.sim.log" ] && break; sleep 0.2; done
[ -s "$folder/FTD2XX.sim.log" ] || fail "the first TAVO did not link up"
sleep 1.5  # the list reply ends by a second of silence

# Another program in front, then the second start.
start_in "$E2E_TMP" wine notepad
other=$(wait_window 'Notepad' 30) || fail "no other program to put in front"
# Wine takes the focus change from X a moment later: let it settle.
for _ in $(seq 30); do
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$other" ] && break
  xdotool windowfocus --sync "$other" 2>/dev/null || true
  sleep 0.3
done
[ "$(xdotool getwindowfocus 2>/dev/null)" = "$other" ] || fail "the other program did not take the focus"
sleep 1
start_tavo "$folder"
code=$(wait_exit 20)
[ "$code" = 0 ] || fail "the second TAVO ended with $code, expected 0"
[ "$(find_windows '^Tavo' | wc -l)" = 1 ] || fail "a second main window appeared"
for _ in $(seq 30); do
  focused=$(xdotool getwindowfocus 2>/dev/null || true)
  [ "$focused" = "$main" ] && break
  sleep 0.1
done
[ "$focused" = "$main" ] || fail "the first TAVO was not brought to the front (focus on $focused)"

press "$main" d
for _ in $(seq 50); do [ "$(wc -l <"$folder/FTD2XX.sim.log")" -ge 2 ] && break; sleep 0.1; done
[ "$(cut -c129-130 "$folder/FTD2XX.sim.log" | xargs)" = "6c 64" ] ||
  fail "after the second start the first TAVO did not record (frames: $(cut -c129-130 "$folder/FTD2XX.sim.log" | xargs))"
TAVO_PID=$first TAVO_STATUS=$first_status
press "$main" alt+F4
code=$(wait_exit 20)
[ "$code" = 0 ] || fail "the first TAVO ended with $code"
