#!/usr/bin/env bash
# Sourced: prepares $WINEPREFIX (created with wineboot when missing) without
# Mono/Gecko prompts.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree=d;mshtml=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
# With its HTML engine switched off, Wine also leaves out the engine's file types, and web pages
# (Torvane's help where the help viewer cannot show it) open nowhere. They go to Wine's own
# bridge to the desktop's browser, as in a prefix made with the engine.
if ! grep -q '^\[Software\\\\Classes\\\\\.html\]' "$WINEPREFIX/system.reg"; then
  for ext in .htm .html; do
    wine reg add "HKLM\\Software\\Classes\\$ext" /ve /d htmlfile /f >/dev/null 2>&1
    wine reg add "HKLM\\Software\\Classes\\$ext" /v "Content Type" /d text/html /f >/dev/null 2>&1
  done
  wineserver -w
fi
