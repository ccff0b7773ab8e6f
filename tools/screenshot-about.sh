#!/usr/bin/env bash
# Photographs the About box with its web link hovered, into
# docs/screenshot-about.png. Needs a built tree (tools/test.sh builds one).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

exe_dir=$BUILD_DIR/tests/about
out=${1:-$VEXORIN_ROOT/docs/screenshot-about.png}
[ -x "$exe_dir/about_tests.exe" ] || { log "build first: $exe_dir/about_tests.exe is missing"; exit 1; }
mkdir -p "$(dirname "$out")"

start_session
trap stop_session EXIT
cd "$exe_dir"
rm -f shot-done
"$WINE" about_tests.exe --gtest_also_run_disabled_tests --gtest_filter='*HoldForScreenshot' >/dev/null 2>&1 &
runner=$!
# The test moves the box to 40,40 and hovers the link; wait for the window.
for _ in $(seq 1 120); do
  xwininfo -root -tree 2>/dev/null | grep -q '"About"' && break
  sleep 1
done
sleep 3
import -window root -crop 436x118+38+38 +repage "$out"
touch shot-done
wait "$runner" || true
rm -f shot-done
log "wrote $out"
