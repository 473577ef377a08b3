#!/usr/bin/env bash
# Installs the Debian packages that Sitegleaner builds and tests with.
# Safe to run again: packages already present are left alone, and the
# package lists are refreshed only when something has to be installed.
set -euo pipefail

packages=(
  build-essential
  cmake
  pkg-config
  libcurl4-openssl-dev
  zlib1g-dev
  libsqlite3-dev
  libidn2-dev
  qt6-base-dev
  libgtest-dev
  libgmock-dev
  libcpp-httplib-dev
  libbenchmark-dev
)
# Extra packages asked for by the caller (for example the fuzzing toolchain).
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
