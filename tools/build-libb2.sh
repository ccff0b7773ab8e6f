#!/usr/bin/env bash
# Builds libb2 (BLAKE2b and BLAKE2s) from Debian's source package as a
# static library for one Windows target (default: the one common.sh picks;
# or i686 / x86_64 as the argument), into that target's prefix in the cache
# named in common.sh. It is the library's "fat" build: each path (plain C,
# SSE2, SSSE3, SSE4.1, AVX, XOP) in an object of its own, compiled with only
# its own instruction sets, and the dispatcher that picks one on the first
# call from the processor's features; nothing runs an instruction the
# processor lacks. The parallel forms (BLAKE2bp, BLAKE2sp) are left out:
# the program uses neither.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"
[ $# -eq 0 ] || use_target "$1"

fetch_source libb2 "$LIBB2_DEBIAN_VERSION" "$LIBB2_SRC"

log "building libb2 for $TRIPLE"
work=$LIBB2_WORK
rm -rf "$work"
cp -a "$LIBB2_SRC" "$work"
# What the library's configure would find on every Windows target (its
# autotools files are not generated in the source package).
printf '#define NATIVE_LITTLE_ENDIAN 1\n' >"$work/src/config.h"
# A fixed date for anything that asks the compiler for one.
export SOURCE_DATE_EPOCH=0
objects=()
# compile SOURCE OBJECT FLAGS...
compile() {
  local source=$1 object=$work/$2.o
  shift 2
  # Each path's rounds leave some of the shared tables unread.
  # shellcheck disable=SC2086
  (cd "$work/src" && "$TRIPLE-gcc-posix" -std=gnu99 -Wall -Wno-unused-const-variable $LIBB2_FLAGS "$@" \
    -ffile-prefix-map="$work"/= -I. -c "$source" -o "$object")
  objects+=("$object")
}
compile blake2-dispatch.c blake2-dispatch
for hash in blake2b blake2s; do
  compile "$hash-ref.c" "$hash-ref" -DSUFFIX=_ref
  flags=()
  for path in sse2 ssse3 sse4.1 avx xop; do
    flags+=("-m$path")
    compile "$hash.c" "$hash-$path" -DSUFFIX="_${path/./}" "${flags[@]}"
  done
done
staging=$LIBB2_PREFIX.tmp
rm -rf "$staging"
mkdir -p "$staging/include" "$staging/lib"
"$TRIPLE-ar" qcD "$staging/lib/libb2.a" "${objects[@]}"
"$TRIPLE-ranlib" -D "$staging/lib/libb2.a"
cp "$work/src/blake2.h" "$staging/include/"
cp "$work/COPYING" "$staging/"
rm -rf "$LIBB2_PREFIX"
mv "$staging" "$LIBB2_PREFIX"
rm -rf "$work"
log "libb2 ready in $LIBB2_PREFIX"
