#!/usr/bin/env bash
# The one place that lists the system packages Draftwell needs (Debian 12).
# Installs what is missing; does nothing when everything is present.
#   install-deps.sh            what ./run.sh and ./test.sh need
#   install-deps.sh --package  also what scripts/package.sh needs (dpkg tools, lintian)
#   install-deps.sh --chroot   also debootstrap, for package.sh --chroot
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev qt6-svg-dev
  xvfb xauth fonts-dejavu-core
  hershey-fonts-data
  libfreetype-dev libfontconfig-dev fonts-liberation2
  # a face with CJK glyphs, for characters the drawing's own faces lack
  fonts-ipafont-gothic
  libxml2-utils poppler-utils
  # the oracle that reads back the DXF files we write
  python3-ezdxf
  zlib1g-dev libzip-dev
  # the install check: desktop entry, MIME and AppStream validators, completion
  desktop-file-utils appstream shared-mime-info bash-completion
)
for arg in "$@"; do
  case $arg in
    --package) PACKAGES+=(dpkg-dev file lintian) ;;
    --chroot) PACKAGES+=(debootstrap) ;;
    *) echo "install-deps: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# One line per step; the package tools' own output goes to a log shown on failure.
LOG="${TMPDIR:-/tmp}/draftwell-install-deps.$$.log"
step() {
  local what=$1
  shift
  echo "install-deps: $what"
  if ! $SUDO "$@" >"$LOG" 2>&1; then
    echo "install-deps: failed: $*" >&2
    tail -n 30 "$LOG" >&2
    echo "install-deps: the whole output is in $LOG" >&2
    exit 1
  fi
}
step "updating the package lists" apt-get update -q
step "installing ${missing[*]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
rm -f "$LOG"
