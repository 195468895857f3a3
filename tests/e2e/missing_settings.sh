#!/usr/bin/env bash
# Without Tavo.ini the program shows its settings message, creates no window and ends with 2.
source "$(dirname "$0")/lib.sh"
folder=$(copy_layout simulator)
rm "$folder/Tavo.ini"
start_tavo "$folder"
box=$(wait_window '^TAVO$' 30) || fail "no settings message"
[ -z "$(find_windows '^Tavo')" ] || fail "a main window appeared"
press "$box" Return
code=$(wait_exit 20)
[ "$code" = 2 ] || fail "exit code $code, expected 2"
[ ! -e "$folder/Tavo.ini" ] || fail "a settings file was written"
