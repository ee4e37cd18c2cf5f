#!/usr/bin/env bash
# Installs with apt-get those of the named Debian packages that are missing, and says what it
# did:  apt-install.sh LABEL PACKAGE...   (LABEL starts its one line of output)
# Idempotent: packages already present are left alone. Uses sudo when not run as root.
set -euo pipefail

label=$1
shift

missing=()
for p in "$@"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "$label: everything is installed"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "$label: installed ${missing[*]}"
