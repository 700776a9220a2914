#!/usr/bin/env bash
# Installs the Debian packages the project needs and generates the locales
# with a decimal comma its tests use; does nothing when all are there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache
  qt6-base-dev libftdi1-dev libpng-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev python3
  fonts-liberation xvfb clang-format locales
  desktop-file-utils appstream groff-base dpkg-dev
)
locales=(de_DE ru_RU)

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

installed=$(locale -a 2>/dev/null)
for l in "${locales[@]}"; do
  if ! grep -qix "$l\.utf-\?8" <<<"$installed"; then
    echo "bootstrap: generating $l.UTF-8"
    $sudo localedef -i "$l" -f UTF-8 "$l.UTF-8"
  fi
done
