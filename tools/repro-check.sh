#!/usr/bin/env bash
# Builds the release twice, in two copies of the tree at different paths
# and at different times, and compares every file of the two dist/ folders
# byte for byte. Fails on the first difference.
#   tools/repro-check.sh [--fresh-cryptopp] [--keep DIR]
# --fresh-cryptopp  each copy builds Crypto++ anew into a cache of its own
#                   (some 4 minutes per target and copy), so that the
#                   library's build path differs too; by default both use
#                   the shared cache.
# --keep DIR        leaves the first build's dist/ in DIR.
# The copies hold the tree as it is (committed or not); the dates come from
# the last commit.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

fresh=0
keep=
while [ $# -gt 0 ]; do
  case "$1" in
    --fresh-cryptopp) fresh=1; shift ;;
    --keep) keep=$2; shift 2 ;;
    *) log "unknown argument '$1'"; exit 2 ;;
  esac
done

SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$VEXORIN_ROOT" log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
[ -z "$(git -C "$VEXORIN_ROOT" status --porcelain)" ] \
  || log "the tree has changes that are not committed: the copies hold them too"

work=$(mktemp -d "${TMPDIR:-/tmp}/vexorin-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Different depths and names, so that no path could line up by chance.
trees=("$work/first/vexorin" "$work/second/elsewhere/Vexorin-tree")

# One snapshot of the tree for both copies, so that an edit made while the
# first copy builds cannot reach only the second.
(cd "$VEXORIN_ROOT" && git ls-files -z --cached --others --exclude-standard \
  | while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done \
  | tar --null -T - -cf "$work/tree.tar")

build_copy() {
  local tree=$1 cache
  mkdir -p "$tree"
  tar -xf "$work/tree.tar" -C "$tree"
  cache=$VEXORIN_CACHE
  if [ "$fresh" -eq 1 ]; then
    cache=$tree/../cache
    mkdir -p "$cache/src"
    cp -a "$CRYPTOPP_SRC" "$cache/src/"
  fi
  log "building the release in $tree"
  VEXORIN_CACHE=$cache bash "$tree/tools/package.sh" --dist "$tree/dist"
}

build_copy "${trees[0]}"
sleep 2 # a later second, whatever the build's speed
build_copy "${trees[1]}"

a=${trees[0]}/dist
b=${trees[1]}/dist
status=0
if [ "$(cd "$a" && ls)" != "$(cd "$b" && ls)" ]; then
  log "the two builds wrote different files"
  status=1
fi
for file in "$a"/*; do
  name=$(basename "$file")
  if cmp -s "$file" "$b/$name"; then
    log "same: $name"
  else
    log "DIFFERENT: $name (first differing bytes, offset and octal values:)"
    cmp -l "$file" "$b/$name" 2>&1 | head -n 10 >&2 || true
    status=1
  fi
done
# The exes inside the zips first of all.
for target in x86_64 i686; do
  if cmp -s "${trees[0]}/build/release-$target/Vexorin.exe" \
    "${trees[1]}/build/release-$target/Vexorin.exe"; then
    log "same: the $target Vexorin.exe"
  else
    log "DIFFERENT: the $target Vexorin.exe"
    status=1
  fi
done
echo "SHA256SUMS of the first build:"
cat "$a/SHA256SUMS"
if [ -n "$keep" ]; then
  rm -rf "$keep"
  mkdir -p "$keep"
  cp -a "$a"/. "$keep"/
fi
if [ "$status" -eq 0 ]; then
  log "reproducible: both builds gave the same bytes"
else
  log "NOT reproducible"
fi
exit "$status"
