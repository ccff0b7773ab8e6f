#!/usr/bin/env bash
# Photographs the main window and the About box at 96, 144 and 192 DPI
# (Wine's LogPixels setting stands in for the display's scale). The 144 DPI
# pictures go to docs/ (screenshot-main-144dpi.png, screenshot-about-144dpi.png),
# all of them to build/screenshots/. Needs a built tree (tools/test.sh
# builds one); the prefix's own setting is put back afterwards.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

exe_dir=$BUILD_DIR/tests/scaling
all_dir=$BUILD_DIR/screenshots
[ -f "$exe_dir/scaling_tests.exe" ] || { log "build first: $exe_dir/scaling_tests.exe is missing"; exit 1; }
mkdir -p "$all_dir"

start_session
key='HKCU\Control Panel\Desktop'
old=$("$WINE" reg query "$key" /v LogPixels 2>/dev/null | awk '/LogPixels/ {print $3}' | tr -d '\r' || true)
restore() {
  if [ -n "$old" ]; then
    "$WINE" reg add "$key" /v LogPixels /t REG_DWORD /d "$((old))" /f >/dev/null 2>&1 || true
  else
    "$WINE" reg delete "$key" /v LogPixels /f >/dev/null 2>&1 || true
  fi
  stop_session
}
trap restore EXIT

cd "$exe_dir"
for dpi in 96 144 192; do
  "$WINE" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  rm -f shot-*
  "$WINE" scaling_tests.exe --gtest_also_run_disabled_tests \
    --gtest_filter='ScalingScreenshots.DISABLED_HoldBothDialogs' >shots.log 2>&1 &
  runner=$!
  for name in main about; do
    shot=$all_dir/screenshot-$name-${dpi}dpi.png
    take_shot "$name" "$shot" "$runner"
    [ "$dpi" = 144 ] && cp "$shot" "$VEXORIN_ROOT/docs/"
  done
  wait "$runner" || { log "the test failed at $dpi DPI:"; cat shots.log >&2; exit 1; }
done
rm -f shots.log
