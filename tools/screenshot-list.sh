#!/usr/bin/env bash
# Photographs the list window after verifying a folder from its SHA256SUMS
# (matches, a mismatch and a missing file) into docs/screenshot-list.png.
# Builds nothing: it needs a built tree (tools/test.sh builds one), whose
# list_tests.exe opens the window and holds it for the picture.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

exe_dir=$BUILD_DIR/tests/list
out=${1:-$VEXORIN_ROOT/docs/screenshot-list.png}
[ -f "$exe_dir/list_tests.exe" ] || { log "build first: $exe_dir/list_tests.exe is missing"; exit 1; }
mkdir -p "$(dirname "$out")"

start_session
trap stop_session EXIT
cd "$exe_dir"
rm -f shot-*
"$WINE" list_tests.exe --gtest_also_run_disabled_tests \
  --gtest_filter='ListScreenshot.DISABLED_HoldVerifiedFolder' >shots.log 2>&1 &
runner=$!
take_shot list "$out" "$runner"
if ! wait "$runner"; then
  log "the test failed after the picture:"
  cat shots.log >&2
  exit 1
fi
rm -f shots.log
