#!/usr/bin/env bash
# Runs the engine benchmark under Wine next to the native Linux tools.
#   tools/bench.sh [FILE_MIB] [TEXT_MIB] [more bench.exe arguments]
# FILE_MIB (default 1023) is the size of the file for the file table: the
# file is also hashed as one in-memory string, and a string of a 32-bit
# program holds at most 1 GiB - 1 byte.
# TEXT_MIB (default 64) the size of the in-memory text. Where Wine runs through
# user-mode emulation (see setup.sh), smaller sizes (for example 256 16)
# keep a full run in minutes; the ratios are what matter.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

file_mib=${1:-1023}
text_mib=${2:-64}
shift $(($# < 2 ? $# : 2))

bash "$here/setup.sh"
build_tree --target bench --target dialog_bench
start_session
trap 'rm -f "$data"; stop_session' EXIT

data=$WINEPREFIX/drive_c/vexorin-bench.bin
log "writing a $file_mib MiB file"
head -c $((file_mib * 1048576)) /dev/urandom >"$data"
cat "$data" >/dev/null  # into the page cache

native() {
  local start end
  start=$(date +%s.%N)
  "$@" "$data" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" -v m="$file_mib" -v n="$1" \
    'BEGIN { printf "%-10s %8.2f s %10.1f MiB/s (native Linux)\n", n, e - s, m / (e - s) }'
}
echo "Native tools on the same $file_mib MiB file"
native sha256sum
native md5sum
echo
wine "$BUILD_DIR/bench/bench.exe" --text-mib "$text_mib" --file 'C:\vexorin-bench.bin' "$@"
echo
wine "$BUILD_DIR/bench/dialog_bench.exe" --file 'C:\vexorin-bench.bin'
