# Helpers for the end-to-end tests: TAVO.exe under Wine on the test display.
# shellcheck shell=bash
set -euo pipefail

E2E_OUT=${E2E_OUT:?the build output folder}
E2E_TMP=$(mktemp -d /tmp/tavo-e2e.XXXXXX)
E2E_CLEANUP=()
trap 'for c in "${E2E_CLEANUP[@]}"; do eval "$c" || true; done; rm -rf "$E2E_TMP"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "-- $*" >&2; }

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

# Starts TAVO.exe in a folder in the background; sets TAVO_PID. A watcher
# writes its exit code to a file once it ends: wait_exit runs in a command
# substitution, and that subshell cannot collect the code of a process its
# parent started (it got -1 whenever TAVO ended while it was waiting).
start_tavo() {
  local folder=$1
  rm -f "$E2E_TMP/tavo.pid" "$E2E_TMP/tavo.exit"
  (
    cd "$folder"
    wine TAVO.exe &
    echo $! >"$E2E_TMP/tavo.pid"
    code=0
    wait $! || code=$?
    echo "$code" >"$E2E_TMP/tavo.exit.part" && mv "$E2E_TMP/tavo.exit.part" "$E2E_TMP/tavo.exit"
  ) &
  until [ -s "$E2E_TMP/tavo.pid" ]; do sleep 0.01; done
  TAVO_PID=$(cat "$E2E_TMP/tavo.pid")
  E2E_CLEANUP+=("kill $TAVO_PID 2>/dev/null")
}

# Waits for TAVO to end; prints its exit code (or "timeout").
wait_exit() {
  local timeout=${1:-20}
  for _ in $(seq $((timeout * 10))); do
    if [ -f "$E2E_TMP/tavo.exit" ]; then
      cat "$E2E_TMP/tavo.exit"
      return 0
    fi
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
