#!/usr/bin/env bash
# Alt+F4 ends the program with 0 and Tavo.ini is written back with the same values.
source "$(dirname "$0")/lib.sh"
folder=$(copy_layout simulator)
cp "$folder/Tavo.ini" "$E2E_TMP/original.ini"
# Written back means written: values the program reads in another spelling
# than it writes must come back in its own.
sed -i 's/^Clock=0,1250/Clock=0,125/; s/^Threshold=500/Threshold=+500/' "$folder/Tavo.ini"
start_tavo "$folder"
main=$(wait_window '^Tavo' 30) || fail "no main window"
sleep 2
press "$main" alt+F4
code=$(wait_exit 20)
[ "$code" = 0 ] || fail "exit code $code, expected 0"
diff -B <(tr -d '\r' <"$E2E_TMP/original.ini") <(tr -d '\r' <"$folder/Tavo.ini") || fail "Tavo.ini changed its values"
