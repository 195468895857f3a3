#!/usr/bin/env bash
# A .rec file loaded through the File menu's dialog is drawn: the traces stand
# where the recording puts them.
source "$(dirname "$0")/lib.sh"
folder=$(copy_layout simulator)
# No controller attached: nothing but the file reaches the scope.
printf '[Simulator]\nDevices=0\n' >"$folder/FTD2XX.sim.ini"
python3 "$(dirname "$0")/make_record.py" "$folder/flat.rec"
start_tavo "$folder"
main=$(wait_window '^Tavo' 30) || fail "no main window"
sleep 2
# File > Load Data with the keyboard: the menu bar, the File menu, its second item.
press "$main" F10 Down Down Return
dialog=$(wait_window '^Daten laden$' 20) || fail "no open dialog"
sleep 0.5
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool type --delay 20 'flat.rec'
xdotool key Return
title=$(wait_window '^Tavo.*  flat\.rec$' 20) || fail "the title does not name the file"
sleep 1
shot=$E2E_TMP/shot.png
import -window root "$shot"
size=$(identify -format '%w %h' "$shot")
w=${size% *} h=${size#* }
convert "$shot" -depth 8 rgb:"$E2E_TMP/shot.rgb"
python3 "$(dirname "$0")/check_traces.py" "$E2E_TMP/shot.rgb" "$w" "$h" || { cp "$shot" /tmp/tavo-load-record-failure.png; fail "traces (screenshot in /tmp/tavo-load-record-failure.png)"; }
press "$main" alt+F4
code=$(wait_exit 20)
[ "$code" = 0 ] || fail "exit code $code"
