#!/usr/bin/env bash
# check_install.sh [BUILD]: installs Torvane-Setup.exe silently into a fresh Wine prefix of its own,
# checks files, component and uninstall registration and the folder setting, starts the installed
# program (log line, help in the browser), then uninstalls silently and checks that only the user's files stay.
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$build"
fi

setup="$build/bin/Torvane-Setup.exe"
probe_exe="$build/bin/install_probe.exe"
export WINEPREFIX="$build/installer-prefix"
export WINEDEBUG=-all
dir="$WINEPREFIX/drive_c/Program Files/Torvane"
windir='C:\Program Files\Torvane'
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Torvane"
uninst='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Torvane'
settings='HKCU\Software\Torvane\Optionen'
clsid='{8B918202-6B89-4703-9851-8921CE2F7787}'
libid='{CB53FD89-B29F-43AD-A55F-BA450F1947CB}'

failures=0
ok()   { echo "ok   $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then ok "$what"; else fail "$what"; fi; }
equals() { [ "$1" == "$2" ] || { echo "     got '$1', expected '$2'"; return 1; }; }
w() { wine "$@" 2>/dev/null | tr -d '\r'; }
probe() { w "$probe_exe" "$@"; }
# Data of a registry value ("" for the default value); empty output when it is missing.
regval() {
  if [ -z "$2" ]; then w reg query "$1" /ve | sed -n 's/^ *(Default) *REG_[A-Z_]* *//p'
  else w reg query "$1" /v "$2" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; fi
}
regkey() { wine reg query "$1" >/dev/null 2>&1; }
cleanup() {
  [ -n "${prog_pid:-}" ] && kill "$prog_pid" 2>/dev/null
  wineserver -k 2>/dev/null
}
trap cleanup EXIT

for f in "$setup" "$probe_exe"; do
  [ -f "$f" ] || { echo "FAIL missing $f (build first)"; exit 1; }
done

# --- a fresh prefix, so nothing of an earlier installation can make a check pass
case "$WINEPREFIX" in */installer-prefix) rm -rf "$WINEPREFIX" ;; esac
# A copy of the build's untouched prefix that scripts/test.sh made (wineboot is slow), else a new one.
if [ -f "$build/wineprefix/system.reg" ]; then
  cp -a "$build/wineprefix" "$WINEPREFIX"
fi
source "$root/scripts/wineprefix.sh"
# The desktop's browser is a stand-in that logs the page it is given to browser.log beside the
# page's html folder.
w reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$build/bin/stubs/browser.sh" /f >/dev/null

# --- silent install
wine "$setup" /S >/dev/null 2>&1
check "silent install returns 0" equals "$?" 0
shipped=(torvane.exe fennick.ocx Torvane.chm)
[ -f "$build/bin/torvane-scan.exe" ] && shipped+=(torvane-scan.exe)
for f in "${shipped[@]}"; do
  check "installed $f equals the built one" cmp -s "$build/bin/$f" "$dir/$f"
done
check "help pages beside the help file" diff -r "$build/bin/html" "$dir/html"
check "uninstaller in the program folder" test -f "$dir/uninstall.exe"
check "start menu entry" test -f "$menu/Torvane.lnk"
chars="$WINEPREFIX/drive_c/windows/msagent/chars"
for f in Merlin.acs Robby.acs; do
  check "character $f in the characters folder" cmp -s "$build/bin/chars/$f" "$chars/$f"
done

check "InstallDir of the installing user" equals "$(regval "$settings" InstallDir)" "$windir\\"
check "ProgID names the control's class" equals "$(regval 'HKCR\Fennick.MenuBottomLine\CLSID' '')" "$clsid"
check "class server is the installed file" \
  equals "$(regval "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" '')" "$windir\\fennick.ocx"
check "type library registered for 64-bit" \
  equals "$(regval "HKLM\\Software\\Classes\\TypeLib\\$libid\\1.0\\0\\win64" '')" "$windir\\fennick.ocx"
check "control created through its ProgID" equals "$(probe create Fennick.MenuBottomLine)" "$clsid"

check "uninstall DisplayName" equals "$(regval "$uninst" DisplayName)" "Torvane 2.0"
check "uninstall UninstallString" equals "$(regval "$uninst" UninstallString)" "\"$windir\\uninstall.exe\""
check "uninstall DisplayIcon" equals "$(regval "$uninst" DisplayIcon)" "$windir\\torvane.exe,0"
check "uninstall DisplayVersion" grep -qE '^2\.0\.0\.[0-9]+$' <<<"$(regval "$uninst" DisplayVersion)"
check "uninstall Publisher" equals "$(regval "$uninst" Publisher)" "Torvane"

# --- the installed program starts from its folder (the working folder is elsewhere) and logs there
w reg add "$settings" /v 1stRun /d 0 /f >/dev/null
(cd / && exec wine "$windir\\torvane.exe" >/dev/null 2>&1) &
prog_pid=$!
title=$(probe wait TorvaneMDIFrame 90)
# The frame's caption; once the scan window is maximised inside it, the child's caption follows.
check "main window appears" grep -qE '^Torvane( - \[Registry Scan\])?$' <<<"$title"
check "start entry in InstallDir\\torvane.log" grep -q "started; Torvane" "$dir/torvane.log"

# "?" > "Hilfe": without Wine's HTML engine the viewer's pages would stay blank, so the browser
# is asked for the installed start page.
probe command TorvaneMDIFrame 1120 >/dev/null
for _ in $(seq 300); do [ -s "$dir/browser.log" ] && break; sleep 0.1; done
check "help opens in the browser from the menu" \
  equals "$(cat "$dir/browser.log" 2>/dev/null)" "file://$(sed 's/ /%20/g' <<<"$WINEPREFIX/dosdevices/c:/Program Files/Torvane")/html/start.html"
rm -f "$dir/browser.log"

# The uninstaller refuses while the program runs and leaves everything in place.
# (_?= runs it in place, so its exit code is the uninstall's own.)
probe run "$windir\\uninstall.exe /S _?=$windir" >/dev/null
rc=$?
check "uninstall refused while the program runs" test "$rc" -ne 0
check "program still installed after the refusal" test -f "$dir/torvane.exe" -a -f "$dir/fennick.ocx"

probe close TorvaneMDIFrame >/dev/null
if probe gone TorvaneMDIFrame 30 >/dev/null; then ok "program quits"; else fail "program quits"; fi
wait "$prog_pid" 2>/dev/null
prog_pid=

# --- silent uninstall keeps the user's backup folder and log
mkdir -p "$dir/Backup"
printf 'REGEDIT4\r\n' >"$dir/Backup/x.reg"
wine "$dir/uninstall.exe" /S >/dev/null 2>&1
# The uninstaller runs from a copy and returns at once: wait for every process of this prefix.
timeout 120 wineserver -w
for f in "${shipped[@]}" uninstall.exe; do
  check "removed $f" test ! -e "$dir/$f"
done
check "help pages removed" test ! -e "$dir/html"
check "undo file kept" test -f "$dir/Backup/x.reg"
check "protocol log kept" test -f "$dir/torvane.log"
check "start menu entry removed" test ! -e "$menu"
check "characters removed" test ! -e "$chars/Merlin.acs" -a ! -e "$chars/Robby.acs"
check "uninstall registration removed" bash -c "! wine reg query '$uninst' >/dev/null 2>&1"
check "ProgID removed" bash -c "! wine reg query 'HKCR\\Fennick.MenuBottomLine' >/dev/null 2>&1"
check "class removed" bash -c "! wine reg query 'HKLM\\Software\\Classes\\CLSID\\$clsid' >/dev/null 2>&1"
check "InstallDir removed" equals "$(regval "$settings" InstallDir)" ""
check "the user's other settings kept" equals "$(regval "$settings" 1stRun)" "0"

# --- another folder (/D, with a blank): the setting follows it, an empty folder goes entirely
# NSIS reads /D= only unquoted and last, hence the raw command line.
probe run "\"$(winepath -w "$setup" 2>/dev/null)\" /S /D=C:\\Andere Programme\\Torvane Test" >/dev/null
other="$WINEPREFIX/drive_c/Andere Programme/Torvane Test"
check "install into a chosen folder" test -f "$other/torvane.exe"
check "InstallDir follows the chosen folder" \
  equals "$(regval "$settings" InstallDir)" 'C:\Andere Programme\Torvane Test\'
check "UninstallString follows the chosen folder" \
  equals "$(regval "$uninst" UninstallString)" '"C:\Andere Programme\Torvane Test\uninstall.exe"'
wine "$other/uninstall.exe" /S >/dev/null 2>&1
timeout 120 wineserver -w
check "folder without user files removed entirely" test ! -e "$other"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
