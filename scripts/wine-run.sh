#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest. Its output goes through a file, so that Wine
# processes started on the way (services, the desktop) never hold CTest's pipe open.
out=$(mktemp)
wine "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
