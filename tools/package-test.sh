#!/usr/bin/env bash
# Tests the downloads as a Windows user meets them, under Wine:
#   - SHA256SUMS checks out;
#   - each zip holds the four files, and its exe starts and shows its window
#     (the 64-bit one in a fresh 64-bit prefix, the 32-bit one in a fresh
#     32-bit prefix);
#   - the installer, run with /S in the fresh 64-bit prefix over nothing,
#     over an older version and over the same version, puts the 64-bit exe
#     and the texts into %LOCALAPPDATA%\Programs\Vexorin, adds the Start-menu
#     and Send To shortcuts, the context-menu verb and the uninstall entry;
#   - the installed exe opens a file given as its argument, and a checksum
#     file opened through the shell is verified in the list window;
#   - the uninstaller, run with /S, takes all of it away and nothing else.
#   tools/package-test.sh [DIST]   (default: builds the packages afresh)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/vexorin-package-test.XXXXXX")
dist=${1:-}
if [ -z "$dist" ]; then
  dist=$work/dist
  bash "$here/package.sh" --dist "$dist"
fi
dist=$(cd "$dist" && pwd)
version=$(sed -n 's/^project(Vexorin VERSION \([0-9.]*\).*/\1/p' "$VEXORIN_ROOT/CMakeLists.txt")

# The probe that reads the program's window from outside, for each prefix.
declare -A probe
for target in x86_64 i686; do
  use_target "$target"
  build_tree --target window_probe >/dev/null
  probe[$WINEARCH]=$BUILD_DIR/tests/program/window_probe.exe
done

# No menu entries or file associations of the host for the shortcuts made.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
failures=0
fail() {
  log "FAIL: $*"
  failures=$((failures + 1))
}
pass() { log "ok: $*"; }

cleanup() {
  local prefix
  for prefix in "$work"/prefix-*; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  done
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
start_display

# fresh_prefix ARCH: a new prefix of its own for this run.
fresh_prefix() {
  export WINEARCH=$1 WINEPREFIX=$work/prefix-$1
  log "creating a fresh $1 prefix"
  wine wineboot -i >/dev/null 2>&1 || true
  wineserver -w
}
# The folder of a user's shell folder in the current prefix.
user_dir() { find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1; }

log "checking SHA256SUMS"
if (cd "$dist" && sha256sum -c --strict SHA256SUMS); then pass "SHA256SUMS"; else fail "SHA256SUMS"; fi
[ "$(wc -l <"$dist/SHA256SUMS")" -eq 3 ] || fail "SHA256SUMS should name three files"

# start_and_see EXE [ARGS]: starts the exe in the current prefix and waits
# for its window; leaves the probe's report in $work/probe.txt.
start_and_see() {
  local exe=$1
  shift
  wine "$exe" "$@" >/dev/null 2>&1 &
  local status=0
  wine "${probe[$WINEARCH]}" 60 >"$work/probe.txt" 2>/dev/null || status=$?
  tr -d '\r' <"$work/probe.txt" >"$work/probe.out"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  return "$status"
}

for arch in win64 win32; do
  zip=$dist/Vexorin-$version-$arch.zip
  unpacked=$work/unzip-$arch
  mkdir -p "$unpacked"
  (cd "$unpacked" && unzip -q "$zip")
  listing=$(cd "$unpacked" && ls | tr '\n' ' ')
  if [ "$listing" = "LICENSE.txt README.txt THIRD-PARTY.txt Vexorin.exe " ]; then
    pass "$arch zip holds the four files"
  else
    fail "$arch zip holds: $listing"
  fi
  for text in README.txt LICENSE.txt THIRD-PARTY.txt; do
    if [ "$(grep -c $'\r$' "$unpacked/$text")" -ne "$(wc -l <"$unpacked/$text")" ]; then
      fail "$arch $text: not every line ends in CRLF"
    fi
  done
  grep -q 'Boost Software License' "$unpacked/THIRD-PARTY.txt" || fail "no Crypto++ notice"
  grep -q 'mingw-w64' "$unpacked/THIRD-PARTY.txt" || fail "no mingw-w64 notice"
  grep -q 'The OpenSSL Project' "$unpacked/THIRD-PARTY.txt" || fail "no OpenSSL notice"
  grep -q 'Eric Biggers' "$unpacked/THIRD-PARTY.txt" || fail "no libdeflate notice"
  want=PE32+
  [ "$arch" = win32 ] && want="PE32 "
  [[ "$(file -b "$unpacked/Vexorin.exe")" == "$want"* ]] || fail "$arch exe is not $want"

  if [ "$arch" = win64 ]; then fresh_prefix win64; else fresh_prefix win32; fi
  if start_and_see "$unpacked/Vexorin.exe" && grep -q '^mode=String$' "$work/probe.out"; then
    pass "the $arch exe from the zip shows its window"
  else
    fail "the $arch exe from the zip showed no window"
  fi
done

# The rest in the 64-bit prefix.
export WINEARCH=win64 WINEPREFIX=$work/prefix-win64
user=$(user_dir)
instdir=$user/AppData/Local/Programs/Vexorin
startmenu="$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Vexorin.lnk"
sendto=$user/AppData/Roaming/Microsoft/Windows/SendTo/Vexorin.lnk
verb='HKCU\Software\Classes\*\shell\Vexorin'
progid='HKCU\Software\Classes\Vexorin.ChecksumFile'
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vexorin'

# What the user's part of the prefix holds: files, and registry keys under
# the two trees the installer writes to.
snapshot() {
  (cd "$user" && find . -path ./Temp -prune -o -print | sort)
  local key
  for key in 'HKCU\Software\Classes' 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'; do
    { wine reg query "$key" /s 2>/dev/null || true; } | tr -d '\r' | { grep '^HKEY' || true; } | sort
  done
}
# reg_value KEY NAME: the data of one value ("" for the default value).
reg_value() {
  local args=(/v "$2")
  [ -z "$2" ] && args=(/ve)
  wine reg query "$1" "${args[@]}" 2>/dev/null | tr -d '\r' \
    | sed -n 's/^ *\([^ ].*\)\?  *\(REG_[A-Z_]*\)  *\(.*\)$/\3/p' | head -n 1
}
install() {
  wine "$1" /S >/dev/null 2>&1
  wineserver -w
}

snapshot >"$work/before.txt"

# An older version first, built from the same script.
older=$work/Vexorin-0.9.0.0-setup.exe
texts=$work/texts
mkdir -p "$texts"
cp "$work/unzip-win64/README.txt" "$work/unzip-win64/LICENSE.txt" \
  "$work/unzip-win64/THIRD-PARTY.txt" "$texts/"
makensis -V1 -INPUTCHARSET UTF8 -DVERSION=0.9.0.0 -DEXE64="$work/unzip-win64/Vexorin.exe" \
  -DEXE32="$work/unzip-win32/Vexorin.exe" -DTEXTS="$texts" -DICON="$VEXORIN_ROOT/res/Vexorin.ico" \
  -DOUTFILE="$older" "$VEXORIN_ROOT/installer/Vexorin.nsi"
install "$older"
[ "$(reg_value "$uninstall" DisplayVersion)" = 0.9.0.0 ] || fail "the older version did not install"

setup=$dist/Vexorin-$version-setup.exe
for round in "over an older version" "over the same version"; do
  install "$setup"
  [ "$(reg_value "$uninstall" DisplayVersion)" = "$version" ] \
    || fail "$round: DisplayVersion is '$(reg_value "$uninstall" DisplayVersion)'"
done

for file in Vexorin.exe README.txt LICENSE.txt THIRD-PARTY.txt Uninstall.exe; do
  [ -f "$instdir/$file" ] || fail "not installed: $file"
done
if cmp -s "$instdir/Vexorin.exe" "$work/unzip-win64/Vexorin.exe"; then
  pass "the 64-bit exe is installed on 64-bit Windows"
else
  fail "the installed exe is not the 64-bit build"
fi
for link in "$startmenu" "$sendto"; do
  target=$([ -f "$link" ] && strings -a "$link" && strings -a -el "$link" || true)
  if grep -qiF 'Programs\Vexorin\Vexorin.exe' <<<"$target"; then
    pass "shortcut $(basename "$(dirname "$link")")/Vexorin.lnk"
  else
    fail "no shortcut $link to the program"
  fi
done

winexe='C:\users\'$(basename "$user")'\AppData\Local\Programs\Vexorin\Vexorin.exe'
winuninstaller='C:\users\'$(basename "$user")'\AppData\Local\Programs\Vexorin\Uninstall.exe'
# key, value name, expected data
expectations=(
  "$verb||Check with Vexorin"
  "$verb|Icon|$winexe,0"
  "$verb\\command||\"$winexe\" \"%1\""
  "$progid\\shell||verify"
  "$progid\\shell\\verify||Verify with Vexorin"
  "$progid\\shell\\verify\\command||\"$winexe\" \"%1\""
  "HKCU\\Software\\Classes\\.md5||Vexorin.ChecksumFile"
  "HKCU\\Software\\Classes\\.sha1||Vexorin.ChecksumFile"
  "HKCU\\Software\\Classes\\.sha224||Vexorin.ChecksumFile"
  "HKCU\\Software\\Classes\\.sha256||Vexorin.ChecksumFile"
  "HKCU\\Software\\Classes\\.sha384||Vexorin.ChecksumFile"
  "HKCU\\Software\\Classes\\.sha512||Vexorin.ChecksumFile"
  "HKCU\\Software\\Classes\\.sha3||Vexorin.ChecksumFile"
  "HKCU\\Software\\Classes\\.b2||Vexorin.ChecksumFile"
  "HKCU\\Software\\Classes\\.sfv||Vexorin.ChecksumFile"
  "$uninstall|DisplayName|Vexorin"
  "$uninstall|DisplayVersion|$version"
  "$uninstall|Publisher|The Vexorin developers"
  "$uninstall|DisplayIcon|$winexe,0"
  "$uninstall|UninstallString|\"$winuninstaller\""
  "$uninstall|QuietUninstallString|\"$winuninstaller\" /S"
  "$uninstall|NoModify|0x1"
  "$uninstall|NoRepair|0x1"
)
for line in "${expectations[@]}"; do
  IFS='|' read -r key name want <<<"$line"
  got=$(reg_value "$key" "$name")
  if [ "${got,,}" = "${want,,}" ]; then
    pass "$key ${name:-(default)}"
  else
    fail "$key ${name:-(default)}: '$got', expected '$want'"
  fi
done
size=$(reg_value "$uninstall" EstimatedSize)
if [ -n "$size" ] && [ $((size)) -ge 1000 ]; then
  pass "EstimatedSize $((size)) KiB"
else
  fail "EstimatedSize '$size'"
fi

# The verb's command line: the installed exe with a file as its argument.
sample=$user/sample.txt
printf 'abc' >"$sample"
winsample='C:\users\'$(basename "$user")'\sample.txt'
if start_and_see "$instdir/Vexorin.exe" "$winsample" \
  && grep -q '^mode=File$' "$work/probe.out" \
  && grep -qiF "data=$winsample" "$work/probe.out"; then
  pass "the installed exe opens a file given as its argument"
else
  fail "the installed exe did not open its argument: $(tr '\n' ' ' <"$work/probe.out")"
fi
# A checksum file opened by its type's default verb, through the command the
# verb registers (this Wine's own "start" does not read the user's types).
printf 'ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  sample.txt\n' \
  >"$user/sample.sha256"
winsums='C:\users\'$(basename "$user")'\sample.sha256'
verify=$(reg_value "$progid\\shell\\verify\\command" "")
want="\"$winexe\" \"%1\""
if [ "${verify,,}" = "${want,,}" ] && start_and_see "$instdir/Vexorin.exe" "$winsums" \
  && grep -q '^list=Vexorin - sample.sha256$' "$work/probe.out" \
  && grep -q '^rows=1$' "$work/probe.out"; then
  pass "a checksum file opened with its default verb is verified in the list window"
else
  fail "the default verb did not verify the checksum file: $(tr '\n' ' ' <"$work/probe.out")"
fi
rm -f "$sample" "$user/sample.sha256"

# Silently away again, all of it.
wine "$instdir/Uninstall.exe" /S >/dev/null 2>&1
wineserver -w # the uninstaller runs on from a copy of itself
[ ! -e "$instdir" ] || fail "left behind: $(ls "$instdir")"
[ ! -e "$startmenu" ] || fail "the Start-menu shortcut stayed"
[ ! -e "$sendto" ] || fail "the Send To shortcut stayed"
wine reg query "$verb" >/dev/null 2>&1 && fail "the verb's key stayed"
wine reg query "$uninstall" >/dev/null 2>&1 && fail "the uninstall entry stayed"
snapshot >"$work/after.txt"
if diff "$work/before.txt" "$work/after.txt" >"$work/diff.txt"; then
  pass "after uninstalling, the profile and the registry are as before"
else
  fail "the uninstaller left the profile or registry changed:"
  cat "$work/diff.txt" >&2
fi

if [ "$failures" -gt 0 ]; then
  log "package test: $failures failures"
  exit 1
fi
log "package test passed"
