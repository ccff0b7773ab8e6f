#!/usr/bin/env bash
# Runs the engine benchmark under Wine next to the native Linux tools, then
# the dialog benchmark with its peer table: each entry's file job through the
# dialog's Start button next to the other programs on the same 1 GiB file.
# The dialog benchmark also times the search for a published digest's
# entry: a first pass that matches against a plain job of that entry, and
# the second pass for 64 and 128 digits against the candidates' plain jobs.
#   tools/bench.sh [FILE_MIB] [TEXT_MIB] [more bench.exe arguments]
# FILE_MIB (default 1023) is the size of the file for the engine's file
# table: the file is also hashed as one in-memory string, and a string of a
# 32-bit program holds at most 1 GiB - 1 byte. The peer table always runs on
# 1 GiB (the same file, one MiB longer).
# TEXT_MIB (default 64) the size of the in-memory text. Where Wine runs through
# user-mode emulation (see setup.sh), smaller sizes (for example 256 16)
# keep a full run in minutes; the ratios are what matter.
# Environment: BENCH_REPS (default 3) runs of each measurement, the fastest
# counts; BENCH_ONLY=ENTRY,... (list texts, e.g. SHA1,SHA2-256) limits the
# peer table to those entries;
# BENCH_TABLES=peers skips the engine tables. VEXORIN_TARGET=i686 or x86_64
# chooses the build (default: the one that fits the machine).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

file_mib=${1:-1023}
text_mib=${2:-64}
shift $(($# < 2 ? $# : 2))
reps=${BENCH_REPS:-3}
only=${BENCH_ONLY:-}
tables=${BENCH_TABLES:-all}

# The other programs of the peer table, as Debian packages them.
peer_packages() {
  command -v 7z >/dev/null || echo p7zip-full
  command -v rhash >/dev/null || echo rhash
  command -v openssl >/dev/null || echo openssl
}
install_packages $(peer_packages)

bash "$here/setup.sh" "$TARGET"
build_tree --target bench --target dialog_bench
start_session
data=$WINEPREFIX/drive_c/vexorin-bench.bin
peers=$WINEPREFIX/drive_c/vexorin-peers.txt
trap 'rm -f "$data" "$peers"; stop_session' EXIT

seconds_of() {
  local start end
  start=$(date +%s%N)
  "$@" "$data" >/dev/null
  end=$(date +%s%N)
  echo $((end - start))
}

echo "$TARGET build"
if [ "$tables" = all ]; then
  log "writing a $file_mib MiB file"
  head -c $((file_mib * 1048576)) /dev/urandom >"$data"
  cat "$data" >/dev/null # into the page cache

  native() {
    awk -v ns="$(seconds_of "$@")" -v m="$file_mib" -v n="$1" \
      'BEGIN { printf "%-10s %8.2f s %10.1f MiB/s (native Linux)\n", n, ns / 1e9, m / (ns / 1e9) }'
  }
  echo "Native tools on the same $file_mib MiB file"
  native sha256sum
  native md5sum
  echo
  "$WINE" "$BUILD_DIR/bench/bench.exe" --text-mib "$text_mib" --file 'C:\vexorin-bench.bin' "$@"
  echo
  head -c $((1024 - file_mib << 20)) /dev/urandom >>"$data"
else
  head -c $((1024 << 20)) /dev/urandom >"$data"
fi
cat "$data" >/dev/null

# Entry (its list text), the program's name, its command. The SHA3 entries
# are the pre-standard Keccak: the peers' SHA3 runs the same permutation
# over the same rate, so its speed is the one to meet for both families.
ossl=(openssl dgst -provider legacy -provider default)
peer_table=(
  "CRC32|7-Zip|7z h -scrcCRC32" "CRC32|rhash|rhash --crc32"
  "Tiger|rhash|rhash --tiger"
  "Whirlpool|rhash|rhash --whirlpool" "Whirlpool|openssl|${ossl[*]} -whirlpool"
  "MD4|rhash|rhash --md4" "MD4|openssl|${ossl[*]} -md4"
  "MD5|7-Zip|7z h -scrcMD5" "MD5|rhash|rhash --md5" "MD5|openssl|${ossl[*]} -md5"
  "MD5|md5sum|md5sum"
  "RIPEMD-160|rhash|rhash --ripemd160" "RIPEMD-160|openssl|${ossl[*]} -ripemd160"
  "SHA1|7-Zip|7z h -scrcSHA1" "SHA1|rhash|rhash --sha1" "SHA1|openssl|${ossl[*]} -sha1"
  "SHA1|sha1sum|sha1sum"
  "SHA2-224|rhash|rhash --sha224" "SHA2-224|openssl|${ossl[*]} -sha224"
  "SHA2-224|sha224sum|sha224sum"
  "SHA2-256|7-Zip|7z h -scrcSHA256" "SHA2-256|rhash|rhash --sha256"
  "SHA2-256|openssl|${ossl[*]} -sha256" "SHA2-256|sha256sum|sha256sum"
  "SHA2-384|7-Zip|7z h -scrcSHA384" "SHA2-384|rhash|rhash --sha384"
  "SHA2-384|openssl|${ossl[*]} -sha384" "SHA2-384|sha384sum|sha384sum"
  "SHA2-512|7-Zip|7z h -scrcSHA512" "SHA2-512|rhash|rhash --sha512"
  "SHA2-512|openssl|${ossl[*]} -sha512" "SHA2-512|sha512sum|sha512sum"
  "SHA3-224|rhash|rhash --sha3-224" "SHA3-224|openssl|${ossl[*]} -sha3-224"
  "SHA3-256|7-Zip|7z h -scrcSHA3-256" "SHA3-256|rhash|rhash --sha3-256"
  "SHA3-256|openssl|${ossl[*]} -sha3-256"
  "SHA3-384|rhash|rhash --sha3-384" "SHA3-384|openssl|${ossl[*]} -sha3-384"
  "SHA3-512|rhash|rhash --sha3-512" "SHA3-512|openssl|${ossl[*]} -sha3-512"
  "SHA3-224 (FIPS 202)|rhash|rhash --sha3-224" "SHA3-224 (FIPS 202)|openssl|${ossl[*]} -sha3-224"
  "SHA3-256 (FIPS 202)|7-Zip|7z h -scrcSHA3-256" "SHA3-256 (FIPS 202)|rhash|rhash --sha3-256"
  "SHA3-256 (FIPS 202)|openssl|${ossl[*]} -sha3-256"
  "SHA3-384 (FIPS 202)|rhash|rhash --sha3-384" "SHA3-384 (FIPS 202)|openssl|${ossl[*]} -sha3-384"
  "SHA3-512 (FIPS 202)|rhash|rhash --sha3-512" "SHA3-512 (FIPS 202)|openssl|${ossl[*]} -sha3-512"
  "BLAKE2b-512|b2sum|b2sum" "BLAKE2b-512|rhash|rhash --blake2b"
  "BLAKE2b-512|openssl|${ossl[*]} -blake2b512"
  "BLAKE2s-256|rhash|rhash --blake2s" "BLAKE2s-256|openssl|${ossl[*]} -blake2s256"
)
log "timing the other programs on the 1 GiB file, fastest of $reps"
: >"$peers"
for line in "${peer_table[@]}"; do
  IFS='|' read -r entry name command <<<"$line"
  if [ -n "$only" ] && [[ ",$only," != *",$entry,"* ]]; then continue; fi
  best=
  for ((r = 0; r < reps; r++)); do
    # shellcheck disable=SC2086 # the command is split on purpose
    ns=$(seconds_of $command)
    if [ -z "$best" ] || [ "$ns" -lt "$best" ]; then best=$ns; fi
  done
  # Bars between the fields: list texts may hold spaces.
  awk -v e="$entry" -v n="$name" -v ns="$best" 'BEGIN { printf "%s|%s|%.1f\n", e, n, 1024 / (ns / 1e9) }' >>"$peers"
done
echo
"$WINE" "$BUILD_DIR/bench/dialog_bench.exe" --file 'C:\vexorin-bench.bin' --reps "$reps" \
  --peers 'C:\vexorin-peers.txt' ${only:+--only "$only"}
[[ $tables != all && ",$tables," != *,files,* ]] || bash "$here/bench-files.sh"
