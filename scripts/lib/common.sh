# Shared by scripts/run and scripts/test: install what is missing, build,
# and bring up Wine on a virtual display.
# shellcheck shell=bash

TAVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
TAVO_BUILD=${TAVO_BUILD:-$TAVO_ROOT/build}
TAVO_WIN_BUILD=$TAVO_BUILD/win
TAVO_NATIVE_BUILD=$TAVO_BUILD/native
export WINEDEBUG=${WINEDEBUG:--all}

TAVO_PACKAGES=(cmake make g++ g++-mingw-w64-x86-64 wine wine64 xvfb xdotool googletest clang nsis
               libclang-rt-14-dev imagemagick x11-utils python3)

tavo_log() { printf '== %s\n' "$*" >&2; }

tavo_as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages that are not there yet.
tavo_install_packages() {
  local missing=() p
  for p in "${TAVO_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  tavo_log "installing ${missing[*]}"
  tavo_as_root apt-get update -qq
  tavo_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

tavo_jobs() { nproc 2>/dev/null || echo 2; }

# The Windows build: TAVO.exe, the simulator, the test executables.
tavo_build_windows() {
  cmake -S "$TAVO_ROOT" -B "$TAVO_WIN_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$TAVO_ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$TAVO_WIN_BUILD" -j "$(tavo_jobs)" "$@"
}

# The native build of the data rules under sanitizers (and libFuzzer).
tavo_build_native() {
  CC=clang CXX=clang++ cmake -S "$TAVO_ROOT" -B "$TAVO_NATIVE_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$TAVO_NATIVE_BUILD" -j "$(tavo_jobs)" "$@"
}

# Starts Xvfb on a free display with the given screen (default 1280x1024x24)
# and a persistent wine server for the prefix in $WINEPREFIX (created on first
# use). Exports DISPLAY; tavo_wine_stop undoes it.
tavo_wine_start() {
  local screen=${1:-1280x1024x24} n
  export WINEPREFIX=${WINEPREFIX:-$TAVO_BUILD/wineprefix}
  # Xvfb picks a free display itself and reports its number once it accepts
  # connections: runs started at the same moment never share a display (and
  # one run's end never takes another's display away).
  local reported
  reported=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$reported" >/dev/null 2>&1 &
  TAVO_XVFB_PID=$!
  for _ in $(seq 200); do
    [ -s "$reported" ] && break
    kill -0 "$TAVO_XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  n=$(head -n 1 "$reported")
  rm -f "$reported"
  [ -n "$n" ] || { tavo_log "Xvfb did not start"; return 1; }
  export DISPLAY=":$n"
  if [ ! -f "$WINEPREFIX/.tavo-ready" ]; then
    tavo_log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot -i </dev/null >/dev/null 2>&1
    # Without a window manager Wine must place windows itself, so that
    # SW_SHOWMAXIMIZED maximizes; a crashing program must not wait for a debugger.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    touch "$WINEPREFIX/.tavo-ready"
  fi
  # A server started by wineboot is not persistent, and a running one keeps
  # the screen size it first saw: start a fresh, detached, persistent one.
  # Either fails when no server runs, which must not end a `set -e` caller.
  wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true
  (wineserver -p </dev/null >/dev/null 2>&1 &)
  sleep 0.3
  # Start Wine's own service processes now, detached from any caller's pipes;
  # otherwise the first test starts them and its runner waits for them.
  wine wineboot </dev/null >/dev/null 2>&1
}

tavo_wine_stop() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [ -n "${TAVO_XVFB_PID:-}" ] && kill "$TAVO_XVFB_PID" 2>/dev/null
  wait "${TAVO_XVFB_PID:-}" 2>/dev/null || true
  TAVO_XVFB_PID=
}
