#!/usr/bin/env bash
# Runs every test under Wine in a private prefix below the build folder, inside
# one virtual X server, with one persistent wineserver for the whole run.
# Further arguments go to ctest: scripts/test.sh build -R Autorun --repeat until-fail:3
set -uo pipefail
build=${1:-build}
shift $(( $# > 0 ? 1 : 0 ))
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$root" && cd "$build" && pwd)
export WINEPREFIX="$build/wineprefix"
source "$root/scripts/wineprefix.sh"

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wineserver -p
  # Start Wine'"'"'s own background processes now, detached from ctest'"'"'s output pipes:
  # started by the first test they would keep its pipe open and ctest would wait for ever.
  wine wineboot </dev/null >/dev/null 2>&1
  ctest --test-dir "$0" --output-on-failure "$@"
  rc=$?
  wineserver -k 2>/dev/null
  exit $rc' "$build" "$@"
