#!/usr/bin/env bash
# The one place that lists the system packages Draftwell needs (Debian 12).
# Installs what is missing; does nothing when everything is present.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev qt6-svg-dev
  xvfb xauth fonts-dejavu-core
  hershey-fonts-data
  libfreetype-dev libfontconfig-dev fonts-liberation2
  libxml2-utils poppler-utils
  zlib1g-dev libzip-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg -s "$p" >/dev/null 2>&1 || ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
