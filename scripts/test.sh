#!/usr/bin/env bash
# Runs the tests under Wine, two at a time (ctest -j2). Each test process holds one slot (CTest
# resource "prefix"); a slot is a private Wine prefix below the build folder (wineprefix-<slot>) with
# its own virtual X server and persistent wineserver, so tests side by side never see each other's
# windows, registry or temp folder. The slots' prefixes are copies of build/wineprefix, made once
# per build folder (wineboot is slow).
# Further arguments go to ctest: scripts/test.sh build -L window --repeat until-fail:3
set -uo pipefail
build=${1:-build}
shift $(( $# > 0 ? 1 : 0 ))
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$root" && cd "$build" && pwd)
slots=${TORVANE_TEST_SLOTS:-2}
export TORVANE_TEST_BUILD="$build"

export WINEPREFIX="$build/wineprefix"
source "$root/scripts/wineprefix.sh"
# No window manager runs on the virtual X servers: Wine would wait two seconds for one each time
# it hides a window it leaves to a manager. Its windows are its own here.
if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg"; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  rm -rf "$build"/wineprefix-[0-9]*
fi
for ((i = 0; i < slots; i++)); do
  prefix="$build/wineprefix-$i"
  if [ ! -f "$prefix/system.reg" ]; then
    rm -rf "$prefix"
    cp -a "$build/wineprefix" "$prefix" &
  fi
done
wait

xservers=()
boots=()
stop() {
  for ((i = 0; i < slots; i++)); do WINEPREFIX="$build/wineprefix-$i" wineserver -k 2>/dev/null; done
  [ ${#xservers[@]} -gt 0 ] && kill "${xservers[@]}" 2>/dev/null
}
trap stop EXIT

resources='{"version": {"major": 1, "minor": 0}, "local": [{"prefix": ['
for ((i = 0; i < slots; i++)); do
  # Xvfb picks a free display and names it once it accepts connections.
  shown=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$shown" </dev/null >/dev/null 2>&1 &
  xservers+=($!)
  for _ in $(seq 100); do [ -s "$shown" ] && break; sleep 0.1; done
  display=":$(head -n1 "$shown")"
  rm -f "$shown"
  [ "$display" != ":" ] || { echo "no X server for slot $i" >&2; exit 1; }
  export "TORVANE_DISPLAY_$i=$display"
  # The wineserver stays up for the run; Wine's own background processes start now, detached
  # from ctest's output pipes (started by a test they would keep its pipe open for ever).
  (
    export WINEPREFIX="$build/wineprefix-$i" DISPLAY="$display"
    wineserver -p
    wine wineboot </dev/null >/dev/null 2>&1
  ) &
  boots+=($!)
  resources+="$( ((i > 0)) && echo ', '){\"id\": \"$i\", \"slots\": 1}"
done
resources+=']}]}'
wait "${boots[@]}"
echo "$resources" >"$build/test-resources.json"

ctest --test-dir "$build" --output-on-failure -j"$slots" --resource-spec-file "$build/test-resources.json" "$@"
exit $?
