#!/bin/sh
# On a freshly created Wine prefix: time torvane-scan.exe (all its areas) against
# "regedit /e" of the machine areas it reads (the 32-bit ones included), side by side, five rounds
# after one untimed run of each.
# Usage: bench/scan_vs_regedit.sh [build-dir]
set -e
bin=$(cd "${1:-build}/bin" && pwd)
work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
wineboot -i >/dev/null 2>&1 || true
wineserver -w
wineserver -p 60 &   # one server for the whole run
sleep 1
now() { date +%s.%N; }
scan_total=0
regedit_total=0
scan() { wine "$bin/torvane-scan.exe" > "$work/scan.txt"; }
export_areas() {
  for key in "Software\\Classes\\CLSID" "Software\\Classes\\Interface" "Software\\Classes\\TypeLib" \
             "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths" \
             "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" \
             "Software\\Classes\\Wow6432Node\\CLSID" "Software\\Classes\\Wow6432Node\\Interface" \
             "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"; do
    wine regedit /e "$work/export.reg" "HKEY_LOCAL_MACHINE\\$key"
  done
}
# One untimed run of each first: the first start of a program in a fresh prefix costs several
# times a later one, and would otherwise weigh on whichever side happens to go first.
scan; export_areas 2>/dev/null
ratios=""
# The order alternates so that neither side always goes first.
for round in 1 2 3 4 5; do
  if [ $((round % 2)) -eq 1 ]; then
    t0=$(now); scan; t1=$(now); export_areas; t2=$(now)
    s=$(echo "$t1 - $t0" | bc); r=$(echo "$t2 - $t1" | bc)
  else
    t0=$(now); export_areas; t1=$(now); scan; t2=$(now)
    r=$(echo "$t1 - $t0" | bc); s=$(echo "$t2 - $t1" | bc)
  fi
  ratio=$(echo "scale=3; $s / $r" | bc)
  ratios="$ratios $ratio"
  echo "round $round: torvane-scan $s s, regedit /e (machine areas) $r s, ratio $ratio"
  scan_total=$(echo "$scan_total + $s" | bc); regedit_total=$(echo "$regedit_total + $r" | bc)
done
echo "total: torvane-scan $scan_total s, regedit /e $regedit_total s, ratio $(echo "scale=2; $scan_total / $regedit_total" | bc)"
median=$(printf '%s\n' $ratios | sort -n | sed -n 3p)
echo "full scan / regedit /e = $median (median of the rounds; target <= 0.60)"
echo "last scan line: $(tail -n 1 "$work/scan.txt")"
wineserver -k || true
rm -rf "$work"
