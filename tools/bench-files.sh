#!/usr/bin/env bash
# Many files: a tree verified from its SHA256SUMS through the engine (the
# checksum file's lines read, then one run over the files they name, as the
# list window does it), next to sha256sum -c, rhash -c and 7-Zip's h over
# the same tree, in the page cache, in the same run.
#   tools/bench-files.sh [LARGE_FILES] [SMALL_FILES]
# LARGE_FILES (default 2000) files of 512 KiB (1000 MiB); SMALL_FILES
# (default 100000) files of 1 KiB, where files/s counts, next to the floor:
# what Wine itself costs to open and close that many files in a plain loop.
# A last table puts one file of 1 GiB through the run and through the
# one-file job's path (HashFile), whose read-ahead a large file must keep.
# Environment: BENCH_REPS (default 3) runs of each, the fastest counts;
# BENCH_FILES=large,small,one (the default) chooses the tables;
# VEXORIN_TARGET=i686 or x86_64 chooses the build. Figures to read, not a
# test: on a shared machine they move from run to run.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

large_files=${1:-2000}
small_files=${2:-100000}
reps=${BENCH_REPS:-3}
tables=,${BENCH_FILES:-large,small,one},

peer_packages() {
  command -v 7z >/dev/null || echo p7zip-full
  command -v rhash >/dev/null || echo rhash
}
install_packages $(peer_packages)

bash "$here/setup.sh" "$TARGET"
build_tree --target files_bench --target open_floor
start_wine
root=$WINEPREFIX/drive_c/vexorin-files
trap 'rm -rf "$root"; stop_session' EXIT
rm -rf "$root"

# make_tree NAME COUNT KIB: COUNT files of KIB KiB of random bytes, 1000 to
# a folder, and their SHA256SUMS (sorted names, "/" between folders), all
# read once so the page cache holds them.
make_tree() {
  local tree=$root/$1 count=$2 kib=$3 folder n
  log "writing $count files of $kib KiB into $tree"
  mkdir -p "$tree"
  for ((folder = 0; folder * 1000 < count; folder++)); do
    n=$((count - folder * 1000 < 1000 ? count - folder * 1000 : 1000))
    mkdir -p "$tree/d$(printf %03d "$folder")"
    head -c $((n * kib * 1024)) /dev/urandom |
      split -b "${kib}K" -a 3 -d - "$tree/d$(printf %03d "$folder")/f"
  done
  (cd "$tree" && find . -type f | sed 's|^\./||' | LC_ALL=C sort |
    xargs -d '\n' sha256sum >"$root/$1.sums")
  mv "$root/$1.sums" "$tree/SHA256SUMS"
  find "$tree" -type f -exec cat {} + >/dev/null
}

# best_ns DIR COMMAND...: the fastest of $reps runs in DIR, in nanoseconds.
best_ns() {
  local dir=$1 best= start end r
  shift
  for ((r = 0; r < reps; r++)); do
    start=$(date +%s%N)
    (cd "$dir" && "$@" >/dev/null 2>&1) || log "$* failed"
    end=$(date +%s%N)
    if [ -z "$best" ] || [ $((end - start)) -lt "$best" ]; then best=$((end - start)); fi
  done
  echo "$best"
}

# row NAME SECONDS FILES MIB
row() {
  awk -v n="$1" -v s="$2" -v f="$3" -v m="$4" \
    'BEGIN { printf "%-36s %9.3f %10.0f %9.1f\n", n, s, f / s, m / s }'
}

# table NAME COUNT KIB
table() {
  local name=$1 count=$2 kib=$3 tree=$root/$1 win mib line
  win="C:\\vexorin-files\\$name\\SHA256SUMS"
  mib=$(awk -v c="$count" -v k="$kib" 'BEGIN { print c * k / 1024 }')
  make_tree "$name" "$count" "$kib"
  echo
  echo "$count files of $kib KiB ($mib MiB), verified from SHA256SUMS, fastest of $reps ($TARGET build)"
  printf '%-36s %9s %10s %9s\n' Program Seconds Files/s MiB/s
  line=$("$WINE" "$BUILD_DIR/bench/files_bench.exe" --sums "$win" --reps "$reps")
  row "Vexorin run (in process)" "$(awk '{ print $1 }' <<<"$line")" "$count" "$mib"
  row "Vexorin run (process, Wine start)" \
    "$(awk -v ns="$(best_ns "$tree" "$WINE" "$BUILD_DIR/bench/files_bench.exe" --sums "$win" \
      --reps 1)" 'BEGIN { print ns / 1e9 }')" "$count" "$mib"
  line=$("$WINE" "$BUILD_DIR/bench/files_bench.exe" --sums "$win" --reps "$reps" --threads 1)
  row "Vexorin run, one digest thread" "$(awk '{ print $1 }' <<<"$line")" "$count" "$mib"
  # The one-file job's path makes a read-ahead thread and its buffers for
  # every file: milliseconds a file, too long for the small set.
  if [ "$count" -le 2000 ]; then
    line=$("$WINE" "$BUILD_DIR/bench/files_bench.exe" --sums "$win" --reps "$reps" --mode hashfile)
    row "Vexorin HashFile, one after another" "$(awk '{ print $1 }' <<<"$line")" "$count" "$mib"
  fi
  local peer ns
  for peer in "sha256sum -c --quiet SHA256SUMS" "rhash --sha256 -c SHA256SUMS" \
    "7z h -scrcSHA256 -r ."; do
    # shellcheck disable=SC2086 # the command is split on purpose
    ns=$(best_ns "$tree" $peer)
    row "${peer%% *} (native Linux)" "$(awk -v ns="$ns" 'BEGIN { print ns / 1e9 }')" "$count" "$mib"
  done
  "$WINE" "$BUILD_DIR/bench/open_floor.exe" --sums "$win" --reps "$reps" |
    while IFS='|' read -r loop seconds _; do
      row "Floor: $loop" "$seconds" "$count" "$mib"
    done
  rm -rf "$tree"
}

[[ $tables != *,large,* ]] || table large "$large_files" 512
[[ $tables != *,small,* ]] || table small "$small_files" 1
[[ $tables != *,one,* ]] || table one 1 1048576
