#!/usr/bin/env bash
# Builds the checksum part of libdeflate (CRC32 and Adler32, with their
# run-time choice of SSE2, PCLMUL and AVX2 code) from Debian's source
# package as a static library for one Windows target (default: the one
# common.sh picks; or i686 / x86_64 as the argument), into that target's
# prefix in the cache named in common.sh. The compressors are left out:
# the program uses none of them.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"
[ $# -eq 0 ] || use_target "$1"

fetch_source libdeflate "$LIBDEFLATE_DEBIAN_VERSION" "$LIBDEFLATE_SRC"

log "building libdeflate's checksums for $TRIPLE"
work=$LIBDEFLATE_WORK
rm -rf "$work"
cp -a "$LIBDEFLATE_SRC" "$work"
objects=()
for source in lib/adler32.c lib/crc32.c lib/x86/cpu_features.c; do
  object=$work/$(basename "$source" .c).o
  # shellcheck disable=SC2086
  (cd "$work" && "$TRIPLE-gcc-posix" -std=c99 -Wall $LIBDEFLATE_FLAGS -ffile-prefix-map="$work"/= \
    -I. -c "$source" -o "$object")
  objects+=("$object")
done
staging=$LIBDEFLATE_PREFIX.tmp
rm -rf "$staging"
mkdir -p "$staging/include" "$staging/lib"
"$TRIPLE-ar" qcD "$staging/lib/libdeflate.a" "${objects[@]}"
"$TRIPLE-ranlib" -D "$staging/lib/libdeflate.a"
cp "$work/libdeflate.h" "$staging/include/"
cp "$work/COPYING" "$staging/"
rm -rf "$LIBDEFLATE_PREFIX"
mv "$staging" "$LIBDEFLATE_PREFIX"
rm -rf "$work"
log "libdeflate ready in $LIBDEFLATE_PREFIX"
