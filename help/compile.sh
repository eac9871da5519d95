#!/usr/bin/env bash
# compile.sh CHMCMD STAGE OUT: compiles STAGE/Torvane.hhp and copies the result to OUT.
# chmcmd only warns about missing files and broken links; here they fail the build.
set -uo pipefail
chmcmd=$1 stage=$2 out=$3
cd "$stage" || exit 1
log=$("$chmcmd" --verbosity 2 Torvane.hhp 2>&1)
rc=$?
if [ $rc -ne 0 ] || grep -qiE '^(warning|error)|could ?n.t' <<<"$log"; then
  echo "$log" >&2
  echo "chmcmd: the help did not compile cleanly" >&2
  exit 1
fi
cp -f Torvane.chm "$out"
