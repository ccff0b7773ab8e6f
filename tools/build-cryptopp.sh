#!/usr/bin/env bash
# Builds Crypto++ from Debian's source package as a static library for one
# Windows target (default: the one common.sh picks; or i686 / x86_64 as the
# argument), into that target's prefix in the cache named in common.sh. The
# library's own makefile does the work, so its per-file CPU flags (SSE,
# AES-NI, SHA-NI) stay as they are.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"
[ $# -eq 0 ] || use_target "$1"

if [ ! -d "$CRYPTOPP_SRC" ]; then
  log "fetching the Crypto++ source package"
  mkdir -p "$VEXORIN_CACHE/src"
  (cd "$VEXORIN_CACHE/src" && apt-get source -qq "libcrypto++=$CRYPTOPP_VERSION*" >/dev/null 2>&1 \
    || apt-get source -qq libcrypto++ >/dev/null)
  found=$(find "$VEXORIN_CACHE/src" -maxdepth 1 -type d -name 'libcrypto++-*' | head -n 1)
  [ "$found" = "$CRYPTOPP_SRC" ] || mv "$found" "$CRYPTOPP_SRC"
fi

log "building Crypto++ for $TRIPLE (a few minutes, once)"
work=$CRYPTOPP_WORK
buildlog=$work.log
rm -rf "$work"
cp -a "$CRYPTOPP_SRC" "$work"
make -C "$work" -j "$(nproc)" static \
  CXX="$TRIPLE-g++-posix" AR="$TRIPLE-ar" RANLIB="$TRIPLE-ranlib" \
  CXXFLAGS="$CRYPTOPP_FLAGS" >"$buildlog" 2>&1 \
  || { tail -n 30 "$buildlog"; exit 1; }

archive=$(find "$work" -maxdepth 1 -name 'libcrypto*.a' | head -n 1)
[ -n "$archive" ] || { log "no archive produced"; exit 1; }
staging=$CRYPTOPP_PREFIX.tmp
rm -rf "$staging"
mkdir -p "$staging/include/cryptopp" "$staging/lib"
cp "$work"/*.h "$staging/include/cryptopp/"
cp "$archive" "$staging/lib/libcrypto++.a"
rm -rf "$CRYPTOPP_PREFIX"
mv "$staging" "$CRYPTOPP_PREFIX"
rm -rf "$work"
log "Crypto++ ready in $CRYPTOPP_PREFIX"
