# Shared settings of the build and test scripts; sourced, never run.
# shellcheck shell=bash

VEXORIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VEXORIN_CACHE=${VEXORIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vexorin}
CRYPTOPP_VERSION=8.7.0
CRYPTOPP_SRC=$VEXORIN_CACHE/src/libcrypto++-$CRYPTOPP_VERSION
CRYPTOPP_PREFIX=$VEXORIN_CACHE/cryptopp-$CRYPTOPP_VERSION-i686-w64-mingw32
BUILD_DIR=${BUILD_DIR:-$VEXORIN_ROOT/build}

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win32

log() { printf '[vexorin] %s\n' "$*" >&2; }

# Configures (once) and builds the tree in $BUILD_DIR.
build_tree() {
  # Configure when the tree is new or a configure step did not finish.
  if [ ! -f "$BUILD_DIR/CMakeCache.txt" ] || [ ! -f "$BUILD_DIR/Makefile" ]; then
    cmake -S "$VEXORIN_ROOT" -B "$BUILD_DIR" \
      -DCMAKE_TOOLCHAIN_FILE="$VEXORIN_ROOT/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCRYPTOPP_ROOT="$CRYPTOPP_PREFIX" >/dev/null
  fi
  cmake --build "$BUILD_DIR" -j "$(nproc)" "$@"
}

# Starts a private headless X server and a persistent wineserver for the
# prefix in $WINEPREFIX; stop_session ends both.
start_session() {
  export WINEPREFIX=${WINEPREFIX:-$BUILD_DIR/wineprefix}
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  read -r display <"$fifo"
  rm -f "$fifo"
  export DISPLAY=:$display
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w  # let the set-up server exit before a persistent one starts
  fi
  # This Wine does not look into /usr/share/wine/fonts; the caption buttons
  # need its Marlett font, else they show as the letters 0, 1 and r.
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  if [ ! -f "$fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
  fi
  wineserver -p
  # There is no window manager on the virtual display: let Wine draw the
  # captions and frames itself, so windows look and click as on Windows.
  if ! grep -qs '"Managed"="N"' "$WINEPREFIX/user.reg"; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  fi
  wine cmd /c exit >/dev/null 2>&1 || true
}

stop_session() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" >/dev/null 2>&1 || true
}
