#!/usr/bin/env bash
# Installs the Debian packages given after the first argument that are not installed yet, quietly
# (with sudo when not root). The first argument names the caller in the one line it prints.
# Usage: install-packages.sh WHO PACKAGE...
set -euo pipefail
who="$1"
shift
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "$who: installing ${missing[*]}"
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
$sudo_cmd apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
