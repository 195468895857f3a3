#!/usr/bin/env bash
# The packages scripts/package makes: the simulated FTD2XX.dll is in the demo
# zip only; the portable zip is the release layout; the demo zip, unpacked,
# starts and links up with its simulated controller.
source "$(dirname "$0")/lib.sh"
make_packages
name=TAVO-$TAVO_VERSION
[ "$(ls "$packages" | xargs)" = "$name-demo.zip $name-portable.zip $name-setup.exe" ] ||
  fail "packages: $(ls "$packages" | xargs)"

release="TAVO.exe Tavo.ini"
[ -f "$E2E_OUT/release/tavo-rec.exe" ] && release="$release tavo-rec.exe"
listing() { tavo_zip_names "$1" | xargs; }
expected=$(for f in $release; do printf '%s/%s ' "$name" "$f"; done | xargs)
[ "$(listing "$packages/$name-portable.zip")" = "$expected" ] ||
  fail "portable zip: $(listing "$packages/$name-portable.zip"), expected $expected"
expected=$(for f in $release FTD2XX.dll FTD2XX.sim.example.ini README.txt; do printf '%s/%s ' "$name-demo" "$f"; done | xargs)
[ "$(listing "$packages/$name-demo.zip")" = "$expected" ] ||
  fail "demo zip: $(listing "$packages/$name-demo.zip"), expected $expected"
# (The installer's payload is checked where it installs it: install.sh.)

# The demo, unpacked, starts and links up.
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
  "$packages/$name-demo.zip" "$E2E_TMP/unpacked"
demo=$E2E_TMP/unpacked/$name-demo
start_tavo "$demo"
main=$(wait_window '^Tavo' 30) || fail "the demo showed no window"
for _ in $(seq 50); do [ -s "$demo/FTD2XX.sim.log" ] && break; sleep 0.2; done
[ "$(cut -c129-130 "$demo/FTD2XX.sim.log" 2>/dev/null)" = 6c ] || fail "the demo did not link up"
[ -z "$(find_windows '^TAVO$')" ] || fail "the demo reported an error"
sleep 1.5
press "$main" alt+F4
code=$(wait_exit 20)
[ "$code" = 0 ] || fail "the demo ended with $code"
