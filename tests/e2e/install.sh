#!/usr/bin/env bash
# The per-user installer in a fresh Wine prefix: a silent install into the
# user's programs folder with its Start-menu and installed-apps entries; the
# installed TAVO, with the simulated driver copied beside it, links up and
# closes; an upgrade keeps the operator's Tavo.ini and says when no driver is
# found; the uninstall removes what it installed and leaves Tavo.ini.
source "$(dirname "$0")/lib.sh"
make_packages
# The next release's installer, for the upgrade.
next=9.9.9
tavo_make_packages "$build" "$packages" "$next" || fail "the upgrade installer was not made"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TAVO'
registered() { wine reg query "$key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' | awk -v k="$1" '$1 == k { $1 = ""; $2 = ""; sub(/^  /, ""); print }'; }

fresh_prefix
programs=$(windows_folder LOCALAPPDATA)/Programs/TAVO
shortcut="$(windows_folder APPDATA)/Microsoft/Windows/Start Menu/Programs/TAVO.lnk"

# --- silent install -----------------------------------------------------------
wine "$packages/TAVO-$TAVO_VERSION-setup.exe" /S </dev/null >/dev/null 2>&1 || fail "the silent install failed"
expected="TAVO.exe Tavo.ini Uninstall.exe"
[ -f "$E2E_OUT/release/tavo-rec.exe" ] && expected="$expected tavo-rec.exe"
listing() { ls "$1" 2>/dev/null | LC_ALL=C sort | xargs; }
[ "$(listing "$programs")" = "$expected" ] || fail "installed into $programs: $(listing "$programs"), expected $expected"
[ -f "$shortcut" ] || fail "no Start-menu entry"
[ "$(registered DisplayName)" = TAVO ] || fail "no installed-apps entry"
[ "$(registered DisplayVersion)" = "$TAVO_VERSION" ] || fail "installed-apps version $(registered DisplayVersion)"
[ "$(registered Publisher)" = "$TAVO_PUBLISHER" ] || fail "no publisher"
[[ "$(registered UninstallString)" == *'\Programs\TAVO\Uninstall.exe"' ]] || fail "uninstaller $(registered UninstallString)"

# --- the installed TAVO, started from its Start-menu entry -----------------------
cp "$E2E_OUT/simulator/FTD2XX.dll" "$programs/"
# Tavo.ini is written back where it was installed: a value read in another
# spelling comes back in the program's own.
sed -i 's/^Threshold=500/Threshold=+500/' "$programs/Tavo.ini"
start_in "$E2E_TMP" wine start /wait /unix "$shortcut"
main=$(wait_window '^Tavo' 30) || fail "the installed TAVO showed no window"
for _ in $(seq 50); do [ -s "$programs/FTD2XX.sim.log" ] && break; sleep 0.2; done
[ -s "$programs/FTD2XX.sim.log" ] || fail "the installed TAVO did not link up"
sleep 1.5  # the list reply ends by a second of silence
press "$main" alt+F4
code=$(wait_exit 20)
[ "$code" = 0 ] || fail "the installed TAVO ended with $code"
grep -q '^Threshold=500' "$programs/Tavo.ini" || fail "the installed TAVO did not write Tavo.ini back"

# --- upgrade: the operator's Tavo.ini stays; no driver found, and it says so -----
sed -i 's/^Threshold=.*/Threshold=321/' "$programs/Tavo.ini"
rm "$programs/FTD2XX.dll" "$programs/FTD2XX.sim.log"
setup_title="^TAVO $next Setup"
run_upgrade() {
  start_in "$packages" wine "TAVO-$next-setup.exe"
  local page
  page=$(wait_window "$setup_title" 30) || fail "the installer showed no window"
  press "$page" Return  # Install, into the folder of the installed TAVO
}
run_upgrade
for _ in $(seq 100); do
  [ "$(find_windows "$setup_title" | wc -l)" -ge 2 ] && break
  kill -0 "$TAVO_PID" 2>/dev/null || break
  sleep 0.2
done
[ "$(find_windows "$setup_title" | wc -l)" -ge 2 ] || fail "no note on the missing driver"
press "$(find_windows "$setup_title" | tail -n 1)" Return
code=$(wait_exit 20)
[ "$code" = 0 ] || fail "the upgrade ended with $code"
grep -q '^Threshold=321' "$programs/Tavo.ini" || fail "the upgrade replaced the operator's Tavo.ini"
[ "$(registered DisplayVersion)" = "$next" ] || fail "the upgrade left version $(registered DisplayVersion)"
[ "$(listing "$programs")" = "$expected" ] || fail "after the upgrade: $(listing "$programs")"

# A driver in the system folder is found: no note, the installer ends by itself.
cp "$E2E_OUT/simulator/FTD2XX.dll" "$WINEPREFIX/drive_c/windows/system32/"
run_upgrade
code=$(wait_exit 30)
[ "$code" = 0 ] || fail "with the driver in the system folder the installer ended with $code (a note waiting?)"
rm "$WINEPREFIX/drive_c/windows/system32/FTD2XX.dll"

# --- uninstall: what it installed goes; it names Tavo.ini, which stays --------------
start_in "$programs" wine Uninstall.exe
uninstall_title="^TAVO $next Uninstall"
page=$(wait_window "$uninstall_title" 30) || fail "the uninstaller showed no window"
press "$page" Return  # Uninstall
for _ in $(seq 100); do
  [ "$(find_windows "$uninstall_title" | wc -l)" -ge 2 ] && break
  sleep 0.2
done
[ "$(find_windows "$uninstall_title" | wc -l)" -ge 2 ] || fail "the uninstaller did not say what it left"
press "$(find_windows "$uninstall_title" | tail -n 1)" Return
for _ in $(seq 100); do
  [ -z "$(find_windows "$uninstall_title")" ] && [ -z "$(registered DisplayName)" ] && break
  sleep 0.2
done
[ -z "$(registered DisplayName)" ] || fail "the installed-apps entry stayed"
[ ! -e "$shortcut" ] || fail "the Start-menu entry stayed"
[ "$(listing "$programs")" = Tavo.ini ] || fail "left after uninstalling: $(listing "$programs")"
grep -q '^Threshold=321' "$programs/Tavo.ini" || fail "the operator's Tavo.ini changed on uninstalling"
