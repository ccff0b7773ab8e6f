#!/usr/bin/env bash
# Runs one Windows executable under Wine with the project's settings; ctest
# uses it as the emulator for every test, with the target (i686 or x86_64)
# as the first argument, so the matching Wine runs it. The caller
# (tools/test.sh) starts the X server and a persistent wineserver for the
# target's prefix; this only fills in the defaults.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
case "$1" in
  i686) wine=wine WINEARCH=win32 ;;
  x86_64) wine=/usr/lib/wine/wine64 WINEARCH=win64 ;;
  *)
    echo "wine-run.sh: the first argument must be the target, i686 or x86_64" >&2
    exit 2
    ;;
esac
export WINEARCH
shift
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set (run the tests through tools/test.sh)" >&2
  exit 2
fi
exec "$wine" "$@"
