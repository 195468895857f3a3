#!/usr/bin/env bash
# Ending the Windows session (log-off or shutdown: WM_QUERYENDSESSION, then
# WM_ENDSESSION, and no WM_CLOSE) while the link is up writes Tavo.ini back
# and ends the program.
source "$(dirname "$0")/lib.sh"
# A wine server of its own: ending the session ends every program of it.
private_display 1280x1024x24
folder=$(copy_layout simulator)
# Written back means written: values read in another spelling come back in the program's own.
sed -i 's/^Clock=0,1250/Clock=0,125/; s/^Threshold=500/Threshold=+500/' "$folder/Tavo.ini"
start_tavo "$folder"
wait_window '^Tavo' 30 >/dev/null || fail "no main window"
for _ in $(seq 50); do [ -s "$folder/FTD2XX.sim.log" ] && break; sleep 0.2; done
[ -s "$folder/FTD2XX.sim.log" ] || fail "TAVO did not link up"
wine wineboot --end-session </dev/null >/dev/null 2>&1
code=$(wait_exit 20)
[ "$code" != timeout ] || fail "TAVO still runs after the session ended"
note "exit code $code"
grep -q '^Threshold=500' "$folder/Tavo.ini" && grep -q '^Clock=0,1250' "$folder/Tavo.ini" ||
  fail "Tavo.ini was not written when the session ended"
