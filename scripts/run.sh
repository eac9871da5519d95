#!/usr/bin/env bash
# Copies Torvane into the Wine prefix ($WINEPREFIX, default ~/.wine) and starts it.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$root" && cd "$build" && pwd)
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}
source "$root/scripts/wineprefix.sh"

dest="$WINEPREFIX/drive_c/Program Files/Torvane"
mkdir -p "$dest"
for f in torvane.exe torvane-scan.exe fennick.ocx Torvane.chm; do
  [ -f "$build/bin/$f" ] && cp -f "$build/bin/$f" "$dest/"
done
if [ -f "$dest/fennick.ocx" ]; then
  wine regsvr32 /s 'C:\Program Files\Torvane\fennick.ocx' || true
fi
cmd=(wine 'C:\Program Files\Torvane\torvane.exe')
if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY: starting in a virtual X server." >&2
  exec xvfb-run -a "${cmd[@]}"
fi
exec "${cmd[@]}"
