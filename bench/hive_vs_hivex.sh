#!/usr/bin/env bash
# Values read per second from a hive of about 100 MB: our reader (bench_hive.exe, under Wine)
# against "hivexregedit --export" of the same file. The hive is generated here with hivex
# (tests/support/hives/empty_hive.pl filled by hivexregedit --merge) and removed afterwards.
# Usage: bench/hive_vs_hivex.sh [build-dir] [megabytes]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-build}/bin" && pwd)
mb=${2:-100}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
hive=$work/bench.hive

# Keys of 1000 values each, strings of about 200 bytes: about 290 bytes of hive per value.
keys=$(( mb * 1024 * 1024 / 290 / 1000 + 1 ))
t0=$(date +%s.%N)
perl "$root/tests/support/hives/empty_hive.pl" "$hive"
perl -e '
  my $keys = shift;
  print "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench]\n\n";
  for my $k (1 .. $keys) {
    printf "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Schluessel%05d]\n", $k;
    printf "\"Wert%04d\"=\"C:\\\\Program Files\\\\Hersteller %05d\\\\Programm %04d\\\\%s.dll\"\n", $_, $k, $_, "x" x 60 for 1 .. 1000;
    print "\n";
  }' "$keys" > "$work/bench.reg"
hivexregedit --merge --prefix 'HKEY_LOCAL_MACHINE\SOFTWARE' "$hive" "$work/bench.reg"
t1=$(date +%s.%N)
size=$(stat -c %s "$hive")
echo "hive: $size bytes, $keys keys of 1000 values, built by hivexregedit --merge in $(echo "$t1 - $t0" | bc) s"

wineboot -i >/dev/null 2>&1 || true
wineserver -w
wine "$bin/bench_hive.exe" "Z:$hive" 3 | tr -d '\r'

# hivex: the export of the whole file, timed three times, median.
times=()
for r in 1 2 3; do
  s=$(date +%s.%N)
  hivexregedit --export "$hive" '\' > "$work/export.reg"
  e=$(date +%s.%N)
  times+=("$(echo "$e - $s" | bc)")
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)
values=$(grep -c '^"' "$work/export.reg")
echo "hivexregedit --export: $values values in $median s (median of 3) = $(echo "$values / $median" | bc) values/s"
wineserver -k || true
