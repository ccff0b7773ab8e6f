#!/usr/bin/env bash
# Photographs the main window in four states into docs/: String mode with
# an MD5 result (screenshot-string.png), an expected digest of the wrong
# length with its tooltip (screenshot-nomatch.png), File mode idle after a
# job whose digest matches the expected one (screenshot-file.png), a
# published digest whose entry the second pass found, with its tooltip
# (screenshot-search.png) and a job under way (screenshot-job.png); then, on
# a screen 1024 pixels wide, the window maximized with a SHA2-512 digest
# (screenshot-maximized.png).
# Builds nothing: it needs a built tree (tools/test.sh builds one), whose
# program_tests.exe starts Vexorin.exe and holds each state in turn.
# VEXORIN_DPI=144 takes them at another screen resolution (best into another
# folder, given as the first argument); the prefix goes back to 96 after.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

exe_dir=$BUILD_DIR/tests/program
out_dir=${1:-$VEXORIN_ROOT/docs}
for f in "$exe_dir/program_tests.exe" "$BUILD_DIR/Vexorin.exe"; do
  [ -f "$f" ] || { log "build first: $f is missing"; exit 1; }
done
mkdir -p "$out_dir"

start_session
# Wine reads the resolution when a program starts.
set_dpi() { "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
set_dpi "${VEXORIN_DPI:-96}"
trap 'set_dpi 96; stop_session' EXIT

cd "$exe_dir"
rm -f shot-*
"$WINE" program_tests.exe --gtest_also_run_disabled_tests \
  --gtest_filter='ProgramScreenshots.DISABLED_HoldStates' >shots.log 2>&1 &
runner=$!

for name in string nomatch file search job; do
  take_shot "$name" "$out_dir/screenshot-$name.png" "$runner"
done
if ! wait "$runner"; then
  log "the test failed after the pictures:"
  cat shots.log >&2
  exit 1
fi

stop_session
VEXORIN_SCREEN=1024x768x24 start_session
set_dpi "${VEXORIN_DPI:-96}"
"$WINE" program_tests.exe --gtest_also_run_disabled_tests \
  --gtest_filter='ProgramScreenshots.DISABLED_HoldMaximized' >shots.log 2>&1 &
runner=$!
take_shot maximized "$out_dir/screenshot-maximized.png" "$runner"
if ! wait "$runner"; then
  log "the test failed after the picture:"
  cat shots.log >&2
  exit 1
fi
rm -f shots.log
