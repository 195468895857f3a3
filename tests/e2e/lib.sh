# Helpers for the end-to-end tests: TAVO.exe under Wine on the test display.
# shellcheck shell=bash
set -euo pipefail

E2E_OUT=${E2E_OUT:?the build output folder}
E2E_TMP=$(mktemp -d /tmp/tavo-e2e.XXXXXX)
E2E_CLEANUP=()
# The programs a test started are ended, and their watchers (start_in) have
# written their last file, before the temporary folder goes.
e2e_settle() {
  for _ in $(seq 50); do [ -z "$(jobs -pr)" ] && return; sleep 0.1; done
}
trap 'for c in "${E2E_CLEANUP[@]}"; do eval "$c" || true; done; e2e_settle; rm -rf "$E2E_TMP" || true' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "-- $*" >&2; }
# Ends the test as skipped (ctest's SKIP_RETURN_CODE) when a tool is missing.
require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed" >&2; exit 77; }
  done
}

# Makes the packages as scripts/package does, into $E2E_TMP/packages; sets
# build (the Windows build folder), packages and TAVO_VERSION.
make_packages() {
  source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/package.sh"
  require_tools makensis python3 x86_64-w64-mingw32-strip
  build=$(dirname "$E2E_OUT")
  source "$build/package.env"
  packages=$E2E_TMP/packages
  mkdir -p "$packages"
  tavo_make_packages "$build" "$packages" || fail "the packages were not made"
}

# A private copy of a layout (release or simulator) to run in.
copy_layout() {
  local layout=$1 to=$E2E_TMP/$1
  mkdir -p "$to"
  cp "$E2E_OUT/$layout/"* "$to/"
  echo "$to"
}

# Ids of the windows whose name matches the (case-sensitive) bash regex.
find_windows() {
  local pattern=$1 w
  for w in $(xdotool search --name . 2>/dev/null || true); do
    [[ "$(xdotool getwindowname "$w" 2>/dev/null || true)" =~ $pattern ]] && echo "$w"
  done
  return 0
}

# Waits until a window whose name matches the pattern exists; prints its id.
wait_window() {
  local pattern=$1 timeout=${2:-20} w
  for _ in $(seq $((timeout * 5))); do
    w=$(find_windows "$pattern" | tail -n 1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.2
  done
  return 1
}

# Presses keys on a window through the real keyboard, then releases them so
# they do not stay held for the next program.
press() {
  local window=$1; shift
  xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
  sleep 0.2
  xdotool key "$@"
  xdotool keyup alt F4 Return 2>/dev/null || true
}

# Runs a command in a folder in the background; sets TAVO_PID (the program's
# process) and TAVO_STATUS (a file that receives its exit code). The exit
# code is taken by the program's own parent: `wait` in a command
# substitution, as in code=$(wait_exit), cannot see a process that ends
# meanwhile and answers -1.
start_in() {
  local folder=$1; shift
  local status
  status=$(mktemp -u "$E2E_TMP/status.XXXXXX")
  (cd "$folder" || exit 1; "$@" & echo $! >"$status.pid"; code=0; wait $! || code=$?
   echo $code >"$status.new"; mv "$status.new" "$status") &
  for _ in $(seq 500); do [ -s "$status.pid" ] && break; sleep 0.01; done
  TAVO_PID=$(cat "$status.pid")
  TAVO_STATUS=$status
  E2E_CLEANUP+=("kill $TAVO_PID 2>/dev/null")
}

# Starts TAVO.exe in a folder in the background.
start_tavo() { start_in "$1" wine TAVO.exe; }

# Waits for the program started last to end; prints its exit code (or "timeout").
wait_exit() {
  local timeout=${1:-20}
  for _ in $(seq $((timeout * 10))); do
    [ -s "$TAVO_STATUS" ] && { cat "$TAVO_STATUS"; return 0; }
    sleep 0.1
  done
  echo timeout
}

# A display of its own with the given screen size and a wine server that has
# seen only that screen (a running server keeps the first size it saw). The
# prefix is a hard-linked copy of the test prefix with its own registry files.
private_display() {
  local screen=$1 n
  local prefix=$E2E_TMP/prefix
  cp -al "$WINEPREFIX" "$prefix"
  for f in "$prefix"/*.reg; do cp --remove-destination "$WINEPREFIX/$(basename "$f")" "$f"; done
  for n in $(seq 300 400); do
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "$screen" -nolisten tcp >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; kill -0 $pid 2>/dev/null || break; sleep 0.05; done
    if kill -0 $pid 2>/dev/null; then
      E2E_CLEANUP+=("WINEPREFIX=$prefix wineserver -k; kill $pid")
      export DISPLAY=":$n" WINEPREFIX=$prefix
      (wineserver -p </dev/null >/dev/null 2>&1 &)
      wine wineboot </dev/null >/dev/null 2>&1
      return 0
    fi
  done
  fail "no free display"
}

# A newly created Wine prefix with a wine server of its own, on the test
# display: nothing installed before. Start-menu entries stay inside it.
fresh_prefix() {
  export WINEPREFIX=$E2E_TMP/fresh WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  E2E_CLEANUP+=("WINEPREFIX=$WINEPREFIX wineserver -k; WINEPREFIX=$WINEPREFIX wineserver -w")
  wine wineboot -i </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true
  (wineserver -p </dev/null >/dev/null 2>&1 &)
  wine wineboot </dev/null >/dev/null 2>&1
}

# The Unix path of a folder named by a Windows environment variable.
windows_folder() {
  winepath -u "$(wine cmd /c "echo %$1%" </dev/null 2>/dev/null | tr -d '\r')" 2>/dev/null
}
