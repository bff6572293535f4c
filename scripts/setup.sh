#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test both builds.
# Idempotent, and quiet when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-tools lld libclang-rt-14-dev llvm
  clang-format clang-tidy
  googletest libgtest-dev libbenchmark-dev
  mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  wine wine64 python3 pkg-config
  openssl osslsigncode
  mono-mcs mono-runtime
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
