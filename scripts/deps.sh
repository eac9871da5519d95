#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; as non-root it names them.
set -euo pipefail
pkgs=(cmake make ccache python3 mingw-w64 mingw-w64-tools wine wine64 xvfb xauth nsis fp-utils googletest imagemagick libwine-dev libhivex-bin libwin-hivex-perl)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Bitte installieren: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
