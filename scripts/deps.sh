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

exec "$(dirname "$0")/apt-install.sh" deps "${packages[@]}"
