#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite under Wine
# on a private headless X server. Extra arguments go to ctest (for example
# -R engine). The build lives in $BUILD_DIR (default: build/).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

bash "$here/setup.sh"
build_tree
start_session
trap stop_session EXIT
ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error -j "$(nproc)" "$@"
