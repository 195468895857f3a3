#!/usr/bin/env bash
# The program refuses a desktop below 1024 x 768 with exit code 1 and runs on
# one of that size, also with the screen scaled (a third argument: the DPI,
# 144 for 150 %).
source "$(dirname "$0")/lib.sh"
screen=$1 expected=$2 dpi=${3:-}
private_display "${screen}x24"
if [ -n "$dpi" ]; then
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
fi
folder=$(copy_layout release)
start_tavo "$folder"
if [ "$expected" = 1 ]; then
  box=$(wait_window '^TAVO$' 30) || fail "no resolution message on $screen"
  [ -z "$(find_windows '^Tavo')" ] || fail "a main window appeared on $screen"
  press "$box" Return
else
  main=$(wait_window '^Tavo' 30) || fail "no main window on $screen"
  # Without a driver library the worker reports its box after a second.
  if box=$(wait_window '^TAVO$' 10); then press "$box" Return; fi
  press "$main" alt+F4
fi
code=$(wait_exit 20)
[ "$code" = "$expected" ] || fail "exit code $code on $screen, expected $expected"
note "exit code $code on $screen"
