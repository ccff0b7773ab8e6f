#!/usr/bin/env bash
# Makes a Debian 12 machine ready to build and test Vexorin for both targets:
# the mingw-w64 cross compilers, 32-bit and 64-bit Wine, a headless X server,
# and Crypto++, OpenSSL's libcrypto and libdeflate built for each target in a
# cache outside the work tree.
#   tools/setup.sh [TARGET...]   (default: i686 and x86_64 for the libraries)
# Safe to run again: every step checks first and does nothing when its
# result is already there.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

# fonts-wine brings the Marlett font Wine draws caption buttons with; nsis,
# python3, unzip, file and binutils make and check the release packages.
packages=(cmake make g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix
  mingw-w64-x86-64-dev wine wine32:i386 wine64 fonts-wine xvfb x11-utils xdotool imagemagick
  dpkg-dev nsis python3 unzip file binutils)
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=("${VEXORIN_TARGETS[@]}")

# Targets whose Crypto++ is not built yet.
missing_cryptopp() {
  local target
  for target in "${targets[@]}"; do
    use_target "$target"
    [ -f "$CRYPTOPP_PREFIX/lib/libcrypto++.a" ] || echo "$target"
  done
}

# The other libraries not built yet, as "script target" lines.
missing_libraries() {
  local target
  for target in "${targets[@]}"; do
    use_target "$target"
    # A prefix from before the BLAKE2 header was kept is built again.
    [ -z "$OPENSSL_PREFIX" ] || { [ -f "$OPENSSL_PREFIX/lib/libcrypto.a" ] \
      && [ -f "$OPENSSL_PREFIX/include/openssl-internal/prov/blake2.h" ]; } \
      || echo "build-openssl.sh $target"
    [ -f "$LIBDEFLATE_PREFIX/lib/libdeflate.a" ] || echo "build-libdeflate.sh $target"
  done
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || echo "$p"
  done
}

# deb-src entries are needed for "apt-get source"; add them beside the
# binary entries the machine already has.
ensure_deb_src() {
  if grep -rqs '^\s*Types:.*deb-src' /etc/apt/sources.list.d/ \
    || grep -qs '^\s*deb-src ' /etc/apt/sources.list; then
    return 1
  fi
  log "adding deb-src entries"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      | as_root tee /etc/apt/sources.list.d/vexorin-src.sources >/dev/null
  else
    grep '^\s*deb ' /etc/apt/sources.list | sed 's/^\s*deb /deb-src /' \
      | as_root tee /etc/apt/sources.list.d/vexorin-src.list >/dev/null
  fi
  return 0
}

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  log "adding the i386 architecture"
  as_root dpkg --add-architecture i386
  need_update=1
fi
if ensure_deb_src; then need_update=1; fi

mapfile -t missing < <(missing_packages)
mapfile -t unbuilt < <(missing_cryptopp)
mapfile -t unbuilt_libraries < <(missing_libraries)
[ "${#missing[@]}" -gt 0 ] && need_update=1
if [ "${#unbuilt[@]}" -gt 0 ] && [ ! -d "$CRYPTOPP_SRC" ]; then
  need_update=1
fi
if [ "${#unbuilt_libraries[@]}" -gt 0 ] && { [ ! -d "$OPENSSL_SRC" ] || [ ! -d "$LIBDEFLATE_SRC" ]; }; then
  need_update=1
fi
if [ "$need_update" -eq 1 ]; then
  log "apt-get update"
  as_root apt-get update -qq
fi
if [ "${#missing[@]}" -gt 0 ]; then
  log "installing: ${missing[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# Some virtual machines run 64-bit user code only, so 32-bit Wine cannot
# start. There the kernel hands i386 programs to qemu's user-mode emulator
# (release 8 or later: older ones cannot give Wine its fixed address ranges).
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  qemu_ok=0
  if command -v qemu-i386 >/dev/null 2>&1; then
    v=$(qemu-i386 --version | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
    [ "${v:-0}" -ge 8 ] && qemu_ok=1
  fi
  if [ "$qemu_ok" -eq 0 ]; then
    log "installing qemu-user-static from bookworm-backports (this machine cannot run 32-bit code)"
    if ! apt-cache policy qemu-user-static 2>/dev/null | grep -q bookworm-backports; then
      printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        | as_root tee /etc/apt/sources.list.d/vexorin-backports.sources >/dev/null
      as_root apt-get update -qq
    fi
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      -t bookworm-backports qemu-user-static >/dev/null
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -f "$binfmt/register" ] || as_root mount -t binfmt_misc binfmt_misc "$binfmt"
  if ! grep -qs "interpreter $(command -v qemu-i386)" "$binfmt/qemu-i386"; then
    [ -f "$binfmt/qemu-i386" ] && echo -1 | as_root tee "$binfmt/qemu-i386" >/dev/null
    log "registering qemu-i386 for 32-bit programs"
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$(command -v qemu-i386)"':F' \
      | as_root tee "$binfmt/register" >/dev/null
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { log "32-bit programs still cannot run"; exit 1; }
fi

for target in "${unbuilt[@]}"; do
  bash "$here/build-cryptopp.sh" "$target"
done
for line in "${unbuilt_libraries[@]}"; do
  read -r script target <<<"$line"
  bash "$here/$script" "$target"
done
log "setup complete (Crypto++, OpenSSL and libdeflate in $VEXORIN_CACHE for ${targets[*]})"
