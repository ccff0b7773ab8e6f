# Shared settings of the build and test scripts; sourced, never run.
# shellcheck shell=bash
#
# Two targets share the sources: i686 (32-bit Windows) and x86_64 (64-bit
# Windows). use_target picks one; each has its own toolchain file, Crypto++
# prefix and work folder in the cache, build tree (build/<target>) and Wine
# prefix, so two builds never touch each other's files.

VEXORIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VEXORIN_CACHE=${VEXORIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vexorin}
VEXORIN_TARGETS=(x86_64 i686)
CRYPTOPP_VERSION=8.7.0
CRYPTOPP_SRC=$VEXORIN_CACHE/src/libcrypto++-$CRYPTOPP_VERSION
# The faster back ends of some entries (engine/FastDigests.h), each built
# from Debian's source package of exactly this version.
OPENSSL_VERSION=3.0.17
OPENSSL_DEBIAN_VERSION=3.0.17-1~deb12u2
OPENSSL_SRC=$VEXORIN_CACHE/src/openssl-$OPENSSL_VERSION
LIBDEFLATE_VERSION=1.14
LIBDEFLATE_DEBIAN_VERSION=1.14-1
LIBDEFLATE_SRC=$VEXORIN_CACHE/src/libdeflate-$LIBDEFLATE_VERSION

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

log() { printf '[vexorin] %s\n' "$*" >&2; }

# install_packages PACKAGE...: installs the Debian packages named (those a
# script found missing), as root or through sudo.
install_packages() {
  [ "$#" -gt 0 ] || return 0
  log "installing $*"
  if [ "$(id -u)" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
  else
    sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
  fi
}

# The target that fits this machine: 64-bit on a 64-bit system.
native_target() {
  case "$(uname -m)" in
    x86_64 | amd64) echo x86_64 ;;
    *) echo i686 ;;
  esac
}

# use_target i686|x86_64: sets TARGET, TRIPLE, TOOLCHAIN_FILE, CRYPTOPP_FLAGS,
# CRYPTOPP_PREFIX, CRYPTOPP_WORK, the same three of OPENSSL_ and LIBDEFLATE_
# (plus OPENSSL_TARGET), BUILD_DIR, WINEARCH, WINEPREFIX and WINE.
# The build trees lie under $VEXORIN_BUILD_ROOT (default: build/).
use_target() {
  TARGET=$1
  case "$TARGET" in
    i686)
      WINEARCH=win32
      WINE=wine
      # 32-bit Windows enters callbacks with only 4-byte stack alignment.
      CRYPTOPP_FLAGS="-mincoming-stack-boundary=2"
      # libcrypto's 32-bit assembly does not assemble with mingw's binutils
      # yet (GOT relocations, .hidden): this build keeps Crypto++'s code for
      # the entries that take OpenSSL's on x86_64.
      OPENSSL_TARGET=
      ;;
    x86_64)
      WINEARCH=win64
      WINE=/usr/lib/wine/wine64
      CRYPTOPP_FLAGS=""
      OPENSSL_TARGET=mingw64
      ;;
    *)
      log "unknown target '$TARGET' (expected i686 or x86_64)"
      return 1
      ;;
  esac
  TRIPLE=$TARGET-w64-mingw32
  TOOLCHAIN_FILE=$VEXORIN_ROOT/cmake/mingw-$TARGET.cmake
  # Unused code of the library can then be dropped from the program.
  CRYPTOPP_FLAGS="-DNDEBUG -O3 -DCRYPTOPP_ENABLE_NAMESPACE_WEAK=1 -ffunction-sections -fdata-sections${CRYPTOPP_FLAGS:+ $CRYPTOPP_FLAGS}"
  # A change of flags makes a new prefix; an older one stays for whoever uses it.
  local tag
  tag=$(printf '%s' "$CRYPTOPP_FLAGS" | sha1sum | cut -c1-8)
  CRYPTOPP_PREFIX=$VEXORIN_CACHE/cryptopp-$CRYPTOPP_VERSION-$TRIPLE-$tag
  CRYPTOPP_WORK=$VEXORIN_CACHE/work-cryptopp-$TRIPLE-$tag
  # The C libraries: the same sections and stack rule, no build paths.
  local cflags="-O3 -ffunction-sections -fdata-sections"
  [ "$TARGET" = i686 ] && cflags="$cflags -mincoming-stack-boundary=2"
  OPENSSL_FLAGS="$cflags"
  tag=$(printf '%s %s' "$OPENSSL_TARGET" "$OPENSSL_FLAGS" | sha1sum | cut -c1-8)
  OPENSSL_PREFIX=
  OPENSSL_WORK=
  if [ -n "$OPENSSL_TARGET" ]; then
    OPENSSL_PREFIX=$VEXORIN_CACHE/openssl-$OPENSSL_VERSION-$TRIPLE-$tag
    OPENSSL_WORK=$VEXORIN_CACHE/work-openssl-$TRIPLE-$tag
  fi
  LIBDEFLATE_FLAGS="$cflags"
  tag=$(printf '%s' "$LIBDEFLATE_FLAGS" | sha1sum | cut -c1-8)
  LIBDEFLATE_PREFIX=$VEXORIN_CACHE/libdeflate-$LIBDEFLATE_VERSION-$TRIPLE-$tag
  LIBDEFLATE_WORK=$VEXORIN_CACHE/work-libdeflate-$TRIPLE-$tag
  BUILD_DIR=${VEXORIN_BUILD_ROOT:-$VEXORIN_ROOT/build}/$TARGET
  WINEPREFIX=$BUILD_DIR/wineprefix
  export WINEARCH WINEPREFIX WINE
}

# fetch_source PACKAGE DEBIAN_VERSION DIR: unpacks Debian's source package
# of that version (else the one apt offers) into DIR, once.
fetch_source() {
  local package=$1 version=$2 dir=$3 found
  [ -d "$dir" ] && return 0
  log "fetching the $package source package"
  mkdir -p "$VEXORIN_CACHE/src"
  (cd "$VEXORIN_CACHE/src" && { apt-get source -qq "$package=$version" >/dev/null 2>&1 \
    || apt-get source -qq "$package" >/dev/null; })
  found=$(find "$VEXORIN_CACHE/src" -maxdepth 1 -type d -name "$package-*" | sort | head -n 1)
  [ -n "$found" ] || { log "no $package source"; return 1; }
  [ "$found" = "$dir" ] || mv "$found" "$dir"
}

# Configures (once) and builds the tree in $BUILD_DIR.
build_tree() {
  # Configure when the tree is new, a configure step did not finish or a
  # library's prefix changed.
  local cache=$BUILD_DIR/CMakeCache.txt
  if [ ! -f "$cache" ] || [ ! -f "$BUILD_DIR/Makefile" ] \
    || ! grep -qxF "OPENSSL_ROOT:PATH=$OPENSSL_PREFIX" "$cache" \
    || ! grep -qxF "LIBDEFLATE_ROOT:PATH=$LIBDEFLATE_PREFIX" "$cache"; then
    cmake -S "$VEXORIN_ROOT" -B "$BUILD_DIR" \
      -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN_FILE" \
      -DCMAKE_BUILD_TYPE=Release -DCRYPTOPP_ROOT="$CRYPTOPP_PREFIX" \
      -DOPENSSL_ROOT="$OPENSSL_PREFIX" -DLIBDEFLATE_ROOT="$LIBDEFLATE_PREFIX" >/dev/null
  fi
  cmake --build "$BUILD_DIR" -j "$(nproc)" "$@"
}

# Starts a private headless X server, by default with room for the main
# window at 192 DPI (VEXORIN_SCREEN=1024x768x24 sets another screen);
# stop_session ends it and every wineserver that start_wine started.
start_display() {
  local fifo display
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${VEXORIN_SCREEN:-2560x1600x24}" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  read -r display <"$fifo"
  rm -f "$fifo"
  export DISPLAY=:$display
}

# Makes the Wine prefix of the current target ready and starts a persistent
# wineserver for it.
start_wine() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1 || true
    wineserver -w  # let the set-up server exit before a persistent one starts
  fi
  # This Wine does not look into /usr/share/wine/fonts; the caption buttons
  # need its Marlett font, else they show as the letters 0, 1 and r, and
  # the dialogs its Tahoma, else they are measured in a wider stand-in.
  local fonts=$WINEPREFIX/drive_c/windows/Fonts font
  for font in marlett.ttf tahoma.ttf tahomabd.ttf; do
    if [ ! -f "$fonts/$font" ] && [ -f "/usr/share/wine/fonts/$font" ]; then
      mkdir -p "$fonts" && cp "/usr/share/wine/fonts/$font" "$fonts/"
    fi
  done
  wineserver -p
  WINE_PREFIXES+=("$WINEPREFIX")
  # There is no window manager on the virtual display: let Wine draw the
  # captions and frames itself, so windows look and click as on Windows.
  if ! grep -qs '"Managed"="N"' "$WINEPREFIX/user.reg"; then
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  fi
  "$WINE" cmd /c exit >/dev/null 2>&1 || true
}

# take_shot NAME FILE RUNNER: the other half of the tests' HoldForShot. Waits
# for shot-NAME (the held window's geometry) in the current folder while the
# test (process RUNNER) runs, photographs that area into FILE and answers
# with shot-NAME-done. Fails when the test ends first or never gets there.
take_shot() {
  local name=$1 file=$2 runner=$3
  for _ in $(seq 1 120); do
    [ -s "shot-$name" ] && break
    kill -0 "$runner" 2>/dev/null || { log "the test ended early:"; cat shots.log >&2; return 1; }
    sleep 0.5
  done
  [ -s "shot-$name" ] || { log "the $name state was not reached"; return 1; }
  sleep 1 # let the last paint finish; a job keeps running meanwhile
  import -window root -crop "$(tr -d '\r\n' <"shot-$name")" +repage "$file"
  log "wrote $file"
  touch "shot-$name-done"
}

start_session() {
  start_display
  start_wine
}

stop_session() {
  local prefix
  for prefix in "${WINE_PREFIXES[@]}"; do
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  done
  WINE_PREFIXES=()
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" >/dev/null 2>&1 || true
}
WINE_PREFIXES=()

# VEXORIN_TARGET chooses the target of scripts that build one; by default
# the one that fits this machine.
use_target "${VEXORIN_TARGET:-$(native_target)}"
