#!/usr/bin/env bash
# Installs Torvane into the Wine prefix ($WINEPREFIX, default ~/.wine) with its setup, silently,
# and starts the installed program.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$root" && cd "$build" && pwd)
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}
source "$root/scripts/wineprefix.sh"

setup="$build/bin/Torvane-Setup.exe"
[ -f "$setup" ] || { echo "$setup fehlt: erst bauen (make build)." >&2; exit 1; }

install_and_start() {
  local rc=0
  wine "$setup" /S || rc=$?
  case $rc in
    0) ;;
    4) echo "Torvane läuft noch in $WINEPREFIX; bitte erst beenden." >&2; return 1 ;;
    *) echo "Die Installation ist fehlgeschlagen (Exit-Code $rc)." >&2; return 1 ;;
  esac
  exec wine 'C:\Program Files\Torvane\torvane.exe'
}

if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY: starting in a virtual X server." >&2
  exec xvfb-run -a bash "$0" "$build"
fi
install_and_start
