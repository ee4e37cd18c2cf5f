#!/usr/bin/env bash
# Installs every build, test and benchmark dependency with apt-get.
# Idempotent: packages already present are left alone; prints what it installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  zlib1g-dev libssl-dev libfreetype-dev libjpeg62-turbo-dev libcairo2-dev libpng-dev
  libicu-dev libtbb-dev libfmt-dev libcli11-dev python3-dev
  libgtest-dev libgmock-dev libbenchmark-dev python3-pytest qpdf poppler-utils time
  fonts-liberation2 fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: everything is installed"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "deps: installed ${missing[*]}"
