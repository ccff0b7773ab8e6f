#!/usr/bin/env bash
# Runs one Windows executable under Wine with the project's settings; ctest
# uses it as the emulator for every test. The caller (tools/test.sh) starts
# the X server and a persistent wineserver; this only fills in the defaults.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win32
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set (run the tests through tools/test.sh)" >&2
  exit 2
fi
exec wine "$@"
