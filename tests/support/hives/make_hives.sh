#!/usr/bin/env bash
# Builds the hive files the registry and scan tests read, with Debian's hivex (an implementation
# of the format that is not ours): each starts as the empty hive empty_hive.pl writes and is
# filled by "hivexregedit --merge"; "hivexregedit --export" of each is written beside it for
# comparison. hive_tool.pl then makes the forms hivex does not write (big data, a transaction
# log, damaged files).
# Usage: make_hives.sh <output folder>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: make_hives.sh <output folder>}
command -v hivexregedit >/dev/null || { echo "hivexregedit fehlt: apt-get install libhivex-bin libwin-hivex-perl" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out/reader" "$out/nolog"

# hive <file> <prefix> <.reg file>...: an empty hive filled from the files (Unix line ends).
hive() {
  local file=$1 prefix=$2
  shift 2
  perl "$here/empty_hive.pl" "$file"
  for reg in "$@"; do
    tr -d '\r' < "$reg" | hivexregedit --merge --prefix "$prefix" "$file"
  done
}
export_of() { hivexregedit --export --prefix "$2" "$1" '\' > "$1.export.reg"; }

# The reader's sample: every value type, names in both encodings, a long sub-key list split into
# an index root over two index leaves, big data.
{
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Viele]\n\n'
  for i in $(seq 1 700); do printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Viele\\Schluessel%04d]\n"n"=dword:%08x\n\n' "$i" "$i"; done
} > "$out/reader/viele.reg"
r=$out/reader
hive "$r/sample.hive" 'HKEY_LOCAL_MACHINE\SOFTWARE' "$here/sample.reg" "$r/viele.reg"
perl "$here/hive_tool.pl" bigdata "$r/sample.hive" binaer
perl "$here/hive_tool.pl" lists "$r/sample.hive" Viele
export_of "$r/sample.hive" 'HKEY_LOCAL_MACHINE\SOFTWARE'

# Damaged copies.
head -c 12288 "$r/sample.hive" > "$r/truncated.hive"
cp "$r/sample.hive" "$r/badsum.hive"; perl "$here/hive_tool.pl" badsum "$r/badsum.hive"
cp "$r/sample.hive" "$r/cellpast.hive"; perl "$here/hive_tool.pl" cellpast "$r/cellpast.hive"
cp "$r/sample.hive" "$r/badref.hive"; perl "$here/hive_tool.pl" badref "$r/badref.hive"
printf 'Dies ist keine Registrierungsdatei.\r\n' > "$r/foreign.hive"

# A hive whose last session did not write back: the old state and a log that leads to the new.
hive "$r/old.hive" 'HKEY_LOCAL_MACHINE\SOFTWARE' "$here/sample.reg"
cp "$r/old.hive" "$r/new.hive"
tr -d '\r' < "$r/viele.reg" | hivexregedit --merge --prefix 'HKEY_LOCAL_MACHINE\SOFTWARE' "$r/new.hive"
export_of "$r/new.hive" 'HKEY_LOCAL_MACHINE\SOFTWARE'
perl "$here/hive_tool.pl" dirty "$r/old.hive" "$r/new.hive" "$r/dirty.hive"
cp "$r/dirty.hive" "$out/nolog/dirty.hive"
mkdir -p "$out/oldlog"
perl "$here/hive_tool.pl" dirtyold "$r/old.hive" "$r/new.hive" "$out/oldlog/dirty.hive"
mkdir -p "$out/badlog"
cp "$r/dirty.hive" "$r/dirty.hive.LOG1" "$out/badlog/"
perl "$here/hive_tool.pl" badlog "$out/badlog/dirty.hive.LOG1"

# An installation that is not running: a folder standing for its drive C:.
d=$out/drive
mkdir -p "$d/Windows/System32/config" "$d/Windows/SysWOW64" "$d/Users/Anna/AppData/Local/Microsoft/Windows" \
         "$d/Program Files/Sound" "$d/Program Files (x86)/Only86"
hive "$d/Windows/System32/config/SOFTWARE" 'HKEY_LOCAL_MACHINE\SOFTWARE' "$here/software.reg"
hive "$d/Users/Anna/NTUSER.DAT" 'HKEY_CURRENT_USER' "$here/ntuser.reg"
hive "$d/Users/Anna/AppData/Local/Microsoft/Windows/UsrClass.dat" 'HKEY_CURRENT_USER\Software\Classes' "$here/usrclass.reg"
for f in "Program Files/Sound/sound.dll" "Program Files/Sound/da.exe" "Windows/System32/present.dll" \
         "Windows/SysWOW64/wow.dll" "Program Files (x86)/Only86/x.dll" "Windows/System32/lib.tlb"; do
  printf 'x' > "$d/$f"
done
# The files it was planted from, for the tests that plant the same into the running registry.
cp "$here/software.reg" "$here/ntuser.reg" "$here/usrclass.reg" "$out/"
# The same installation with a damaged machine hive.
cp -r "$d" "$out/damaged"
cp "$r/cellpast.hive" "$out/damaged/Windows/System32/config/SOFTWARE"
# Forms that must be refused without costing more than the file: chains of keys to 512 levels
# (read) and 513 (refused), an index root naming one leaf 65,535 times, a 1 KB log that claims
# 1 GiB of hive data, and an installation whose SOFTWARE holds a chain of 30,000 keys.
l=$out/limits
mkdir -p "$l"
cp "$d/Windows/System32/config/SOFTWARE" "$l/deep512.hive"
perl "$here/hive_tool.pl" deep "$l/deep512.hive" Alt 507    # Uninstall\Alt is 5 levels deep
cp "$d/Windows/System32/config/SOFTWARE" "$l/deep513.hive"
perl "$here/hive_tool.pl" deep "$l/deep513.hive" Alt 508
cp "$r/sample.hive" "$l/ripeat.hive"
perl "$here/hive_tool.pl" ripeat "$l/ripeat.hive" Viele
cp "$r/dirty.hive" "$l/biglog.hive"
perl "$here/hive_tool.pl" biglog "$l/biglog.hive"
cp -r "$d" "$out/deep"
perl "$here/hive_tool.pl" deep "$out/deep/Windows/System32/config/SOFTWARE" Alt 30000
# Small seeds for the fuzzer: a hive whose last session did not write back one new key, with a
# log of each form.
f=$out/fuzz
mkdir -p "$f"
cp "$r/old.hive" "$f/small.hive"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Neu]\n"Wert"="Text"\n\n' |
  hivexregedit --merge --prefix 'HKEY_LOCAL_MACHINE\SOFTWARE' "$f/small.hive"
perl "$here/hive_tool.pl" dirty "$r/old.hive" "$f/small.hive" "$f/dirty.hive"
perl "$here/hive_tool.pl" dirtyold "$r/old.hive" "$f/small.hive" "$f/dirtyold.hive"
echo "hives built in $out"
