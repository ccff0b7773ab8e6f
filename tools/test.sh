#!/usr/bin/env bash
# Sets up what is missing, builds both targets (build/x86_64 and build/i686)
# and runs each one's whole test suite under its own Wine (64-bit Wine for
# x86_64, 32-bit Wine for i686) on a private headless X server. Extra
# arguments go to ctest (for example -R engine). VEXORIN_TARGET=i686 or
# VEXORIN_TARGET=x86_64 limits the run to one target. Fails when either
# suite fails.
# The whole run (no ctest arguments, both targets) then checks the release:
# the packages built twice give the same bytes (tools/repro-check.sh), and
# they install and uninstall under Wine (tools/package-test.sh).
# VEXORIN_SKIP_RELEASE=1 leaves that out.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/common.sh
source "$here/common.sh"

targets=("${VEXORIN_TARGETS[@]}")
[ -z "${VEXORIN_TARGET:-}" ] || targets=("$VEXORIN_TARGET")

bash "$here/setup.sh" "${targets[@]}"
for target in "${targets[@]}"; do
  use_target "$target"
  log "building $target in $BUILD_DIR"
  build_tree
done

start_display
trap stop_session EXIT
failed=()
summary=()
passed_total=0
failed_total=0
for target in "${targets[@]}"; do
  use_target "$target"
  start_wine
  log "running the $target suite"
  status=0
  # A suite that fails is run once more, and the first failure stays in
  # the log above the second run's report.
  ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error -j "$(nproc)" \
    --repeat until-pass:2 "$@" \
    | tee "$BUILD_DIR/ctest.log" || status=$?
  # ctest's closing line: "N% tests passed, F tests failed out of T".
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$BUILD_DIR/ctest.log" \
    | tail -n 1 || true)
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  if [ -z "$line" ]; then
    total=0 fails=0
    [ "$status" -ne 0 ] || status=1
  fi
  passed_total=$((passed_total + total - fails))
  failed_total=$((failed_total + fails))
  summary+=("$target: ${line:-no test ran}")
  [ "$status" -eq 0 ] || failed+=("$target")
done

release=skipped
if [ $# -eq 0 ] && [ -z "${VEXORIN_TARGET:-}" ] && [ "${VEXORIN_SKIP_RELEASE:-0}" != 1 ]; then
  stop_session
  trap - EXIT
  release=passed
  dist=$VEXORIN_ROOT/build/release-check
  log "checking the release"
  bash "$here/repro-check.sh" --keep "$dist" && bash "$here/package-test.sh" "$dist" \
    || release=failed
fi

echo
printf '%s\n' "${summary[@]}"
echo "release: $release"
[ "$release" != failed ] || failed+=(release)
if [ "${#failed[@]}" -gt 0 ]; then
  log "failed: ${failed[*]}"
fi
echo "$passed_total passed, $failed_total failed"
[ "${#failed[@]}" -eq 0 ]
