#!/usr/bin/env bash
# Runs a test's program for CTest: a Windows program (.exe) under Wine, anything else as it is.
# Under scripts/test.sh the test's slot (CTEST_RESOURCE_GROUP_0_PREFIX="id:<n>,slots:1") names
# the Wine prefix and X display it runs in. A Windows program's output goes through a file, so that
# Wine processes started on the way (services, the desktop) never hold CTest's pipe open.
if [[ ${CTEST_RESOURCE_GROUP_0_PREFIX:-} =~ ^id:([0-9]+), ]]; then
  slot=${BASH_REMATCH[1]}
  export WINEPREFIX="$TORVANE_TEST_BUILD/wineprefix-$slot"
  display="TORVANE_DISPLAY_$slot"
  export DISPLAY="${!display}"
fi
case "$1" in
  *.exe | *.EXE) ;;
  *) exec "$@" ;;
esac
# ctest run by hand: the build folder's first slot, never the user's own prefix.
[ -n "${WINEPREFIX:-}" ] || export WINEPREFIX="$(cd "$(dirname "$1")/.." && pwd)/wineprefix-0"
out=$(mktemp)
wine "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
