#!/usr/bin/env bash
# Builds both targets in release form and writes the downloads into dist/:
#   Vexorin-<version>-win64.zip, Vexorin-<version>-win32.zip  (the exe as
#     Vexorin.exe, README.txt, LICENSE.txt, THIRD-PARTY.txt)
#   Vexorin-<version>-setup.exe  (one installer holding both builds)
#   SHA256SUMS                   (GNU form, over the three)
# The build trees are build/release-<target>, apart from the test trees.
# The same commit gives the same bytes anywhere: every date in the output is
# SOURCE_DATE_EPOCH (default: the commit's time), no path of the machine
# gets in, and archives and zips are written in a fixed order and form.
#   tools/package.sh [--dist DIR]   (default: dist/ in the tree)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

dist=$VEXORIN_ROOT/dist
while [ $# -gt 0 ]; do
  case "$1" in
    --dist) dist=$2; shift 2 ;;
    *) log "unknown argument '$1'"; exit 2 ;;
  esac
done

for tool in makensis python3 sha256sum; do
  command -v "$tool" >/dev/null || { log "$tool is missing: run tools/setup.sh"; exit 1; }
done

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$VEXORIN_ROOT" log -1 --format=%ct 2>/dev/null) || {
    log "no git history here: set SOURCE_DATE_EPOCH"
    exit 1
  }
fi
# GNU ld writes it as the PE time stamp; nothing else of the build reads
# the clock.
export SOURCE_DATE_EPOCH
# Locale, time zone and file modes play no part, but pin them anyway.
export TZ=UTC LC_ALL=C
umask 022

version=$(sed -n 's/^project(Vexorin VERSION \([0-9.]*\).*/\1/p' "$VEXORIN_ROOT/CMakeLists.txt")
[ -n "$version" ] || { log "no version in CMakeLists.txt"; exit 1; }

declare -A exe
for target in "${VEXORIN_TARGETS[@]}"; do
  use_target "$target"
  [ -f "$CRYPTOPP_PREFIX/lib/libcrypto++.a" ] || bash "$here/build-cryptopp.sh" "$target"
  BUILD_DIR=${VEXORIN_BUILD_ROOT:-$VEXORIN_ROOT/build}/release-$target
  log "building the $target release in $BUILD_DIR"
  # Linked anew each time: the time stamp comes from the environment, which
  # the build does not track.
  rm -f "$BUILD_DIR/Vexorin.exe"
  build_tree --target vexorin >/dev/null
  exe[$target]=$BUILD_DIR/Vexorin.exe
done

rm -rf "$dist"
mkdir -p "$dist"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# The texts with Windows line ends, for Notepad on any Windows.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
crlf "$VEXORIN_ROOT/installer/README.txt" "$stage/README.txt"
crlf "$VEXORIN_ROOT/LICENSE" "$stage/LICENSE.txt"
crlf "$VEXORIN_ROOT/installer/THIRD-PARTY.txt" "$stage/THIRD-PARTY.txt"

zip64=Vexorin-$version-win64.zip
zip32=Vexorin-$version-win32.zip
setup=Vexorin-$version-setup.exe

# python's zipfile rather than zip(1): every header field is set here
# (entry order, the date of SOURCE_DATE_EPOCH in UTC, the attributes of a
# plain read-write file, no extra fields), none is read from the file
# system, and zlib gives the same deflate stream for the same input.
make_zip() {
  python3 - "$@" <<'EOF'
import os, sys, time, zipfile
out, entries = sys.argv[1], sys.argv[2:]
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
with zipfile.ZipFile(out, "w") as archive:
    for entry in entries:
        name, path = entry.split("=", 1)
        info = zipfile.ZipInfo(name, date_time=stamp)
        info.create_system = 0  # MS-DOS attributes
        info.external_attr = 0x20  # archive bit: a plain file
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(path, "rb") as f:
            archive.writestr(info, f.read(), compresslevel=9)
EOF
}
for target in "${VEXORIN_TARGETS[@]}"; do
  name=$zip64
  [ "$target" = i686 ] && name=$zip32
  make_zip "$dist/$name" "Vexorin.exe=${exe[$target]}" "README.txt=$stage/README.txt" \
    "LICENSE.txt=$stage/LICENSE.txt" "THIRD-PARTY.txt=$stage/THIRD-PARTY.txt"
done

log "writing the installer"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DEXE64="${exe[x86_64]}" \
  -DEXE32="${exe[i686]}" -DTEXTS="$stage" -DICON="$VEXORIN_ROOT/res/Vexorin.ico" \
  -DOUTFILE="$dist/$setup" "$VEXORIN_ROOT/installer/Vexorin.nsi" >&2

(cd "$dist" && sha256sum "$zip64" "$zip32" "$setup" >SHA256SUMS)
log "wrote $dist:"
(cd "$dist" && ls -l "$zip64" "$zip32" "$setup" SHA256SUMS >&2)
