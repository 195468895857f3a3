#!/usr/bin/env bash
# TAVO.exe with the simulated controller: the link comes up and lists the
# parameters; D welds and records; closing during the recording ends at once
# with 0. The simulator logs every frame written to the driver.
source "$(dirname "$0")/lib.sh"
folder=$(copy_layout simulator)
# A slow line, so the recording is still arriving when the window closes.
printf '[Simulator]\nBytesPerSecond=40000\n' >"$folder/FTD2XX.sim.ini"
rm -f "$folder/FTD2XX.sim.log"
start_tavo "$folder"
main=$(wait_window '^Tavo' 30) || fail "no main window"
for _ in $(seq 50); do [ -s "$folder/FTD2XX.sim.log" ] && break; sleep 0.2; done
sleep 1.5  # the list reply ends by a second of silence
press "$main" d
for _ in $(seq 50); do [ "$(wc -l <"$folder/FTD2XX.sim.log")" -ge 2 ] && break; sleep 0.1; done
sleep 0.5
press "$main" alt+F4
code=$(wait_exit 10)
[ "$code" = 0 ] || fail "exit code $code, expected 0 soon after closing"
mapfile -t frames <"$folder/FTD2XX.sim.log"
[ ${#frames[@]} = 2 ] || fail "${#frames[@]} frames written, expected the list and the debug frame"
# 128 bytes each, the opcode at byte 64, every other byte zero.
zeros=$(printf '0%.0s' $(seq 128))
[ "${frames[0]}" = "${zeros}6c${zeros:0:126}" ] || fail "first frame is not 'l': ${frames[0]}"
[ "${frames[1]}" = "${zeros}64${zeros:0:126}" ] || fail "second frame is not 'd': ${frames[1]}"
