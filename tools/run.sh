#!/usr/bin/env bash
# Sets up what is missing, builds, and starts Vexorin under Wine. Without a
# display it starts a virtual one, waits for the window, saves a screenshot
# to $BUILD_DIR/vexorin-screenshot.png and closes the program again.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

bash "$here/setup.sh" "$TARGET"
build_tree --target vexorin
exe=$BUILD_DIR/Vexorin.exe

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then

  [ -f "$WINEPREFIX/system.reg" ] || "$WINE" wineboot -i >/dev/null 2>&1 || true
  log "starting $exe"
  exec "$WINE" "$exe"
fi

start_session
trap stop_session EXIT
log "no display: running on the virtual display $DISPLAY"
"$WINE" "$exe" &
window=
for _ in $(seq 1 120); do
  window=$(xdotool search --name '^Vexorin$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.5
done
[ -n "$window" ] || { log "the Vexorin window did not appear"; exit 1; }
sleep 2  # let the first paint finish
shot=$BUILD_DIR/vexorin-screenshot.png
import -window root -crop "$(xdotool getwindowgeometry "$window" \
  | awk '/Position/ {split($2, p, ","); x = p[1]; y = p[2]} /Geometry/ {g = $2} END {print g "+" x "+" y}')" \
  +repage "$shot"
log "the program runs; screenshot saved to $shot"
