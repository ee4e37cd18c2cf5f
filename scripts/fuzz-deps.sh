#!/usr/bin/env bash
# Installs the compiler and runtime that `make fuzz` needs: clang 19 with its libFuzzer,
# AddressSanitizer and UBSan runtimes, and its symbolizer for readable reports.
# Idempotent: packages already present are left alone.
set -euo pipefail

packages=(clang-19 libclang-rt-19-dev llvm-19)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "fuzz-deps: everything is installed"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "fuzz-deps: installed ${missing[*]}"
