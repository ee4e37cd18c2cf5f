#!/usr/bin/env bash
# Installs the compiler and runtime that `make fuzz` needs: clang 19 with its libFuzzer,
# AddressSanitizer and UBSan runtimes, and its symbolizer for readable reports.
# Idempotent: packages already present are left alone.
set -euo pipefail

packages=(clang-19 libclang-rt-19-dev llvm-19)

exec "$(dirname "$0")/apt-install.sh" fuzz-deps "${packages[@]}"
