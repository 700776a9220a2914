#!/usr/bin/env bash
# Installs the Debian packages the project needs; does nothing when all are there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache
  qt6-base-dev libftdi1-dev libpng-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation xvfb
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
