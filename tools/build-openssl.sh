#!/usr/bin/env bash
# Builds OpenSSL's libcrypto from Debian's source package as a static
# library for one Windows target (default: the one common.sh picks; or i686
# / x86_64 as the argument), into that target's prefix in the cache named
# in common.sh. Only libcrypto, with its assembly: the program calls the
# digests' own functions, so none of the provider machinery is linked.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"
[ $# -eq 0 ] || use_target "$1"
[ -n "$OPENSSL_TARGET" ] || { log "no OpenSSL for $TARGET (see common.sh)"; exit 0; }

fetch_source openssl "$OPENSSL_DEBIAN_VERSION" "$OPENSSL_SRC"

log "building OpenSSL's libcrypto for $TRIPLE (a few minutes, once)"
work=$OPENSSL_WORK
buildlog=$work.log
rm -rf "$work"
cp -a "$OPENSSL_SRC" "$work"
# A fixed date and fixed install paths keep the build's own texts the same
# on every machine; the work folder's path stays out of __FILE__.
(
  cd "$work"
  export SOURCE_DATE_EPOCH=0
  # Two changes that touch only the 32-bit assembly (the 64-bit build's
  # files stay as they were). Debian's pic.patch makes that assembly
  # ELF-only (.hidden, calls through the GOT and PLT), which mingw's COFF
  # assembler refuses: upstream's text is taken back.
  # The tree has Keccak's MMX code for x86 (measured 1.3 times its C code,
  # which is no faster than Crypto++'s) but does not build it. (set -e
  # does not reach into this subshell: each step ends the chain.)
  # shellcheck disable=SC2016,SC2086 # build.info's own $; the target may carry options
  patch -R -s -p1 <debian/patches/pic.patch \
    && sed -i 's/^  \$KECCAK1600ASM_x86=$/&keccak1600-mmx.S/' crypto/sha/build.info \
    && grep -qx '  \$KECCAK1600ASM_x86=keccak1600-mmx.S' crypto/sha/build.info \
    && ./Configure $OPENSSL_TARGET no-shared no-module no-dso no-engine no-tests \
    no-async no-autoload-config --prefix=/vexorin --openssldir=/vexorin/ssl \
    CC="$TRIPLE-gcc-posix" AR="$TRIPLE-ar" RANLIB="$TRIPLE-ranlib" RC="$TRIPLE-windres" \
    $OPENSSL_FLAGS -ffile-prefix-map="$work"/= \
    && make -j "$(nproc)" build_generated && make -j "$(nproc)" libcrypto.a
) >"$buildlog" 2>&1 || { tail -n 30 "$buildlog"; exit 1; }

staging=$OPENSSL_PREFIX.tmp
rm -rf "$staging"
mkdir -p "$staging/include/openssl-internal/internal" "$staging/include/openssl-internal/prov" \
  "$staging/lib"
cp -a "$work/include/openssl" "$staging/include/"
# The context layouts of Keccak and BLAKE2, whose functions libcrypto has
# but declares only inside its own tree.
cp "$work/include/internal/sha3.h" "$staging/include/openssl-internal/internal/"
cp "$work/providers/implementations/include/prov/blake2.h" "$staging/include/openssl-internal/prov/"
cp "$work/libcrypto.a" "$staging/lib/"
cp "$work/LICENSE.txt" "$staging/"
rm -rf "$OPENSSL_PREFIX"
mv "$staging" "$OPENSSL_PREFIX"
rm -rf "$work"
log "OpenSSL ready in $OPENSSL_PREFIX"
