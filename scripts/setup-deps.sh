#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Pelora need.
# Idempotent: only asks apt when something is missing, and runs `apt-get update` once.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev
  qt6-webengine-dev qt6-webengine-dev-tools libqt6webenginecore6-bin
  libgl-dev libxkbcommon-dev
  # run: platform plugins (xcb, offscreen) and a default font
  qt6-qpa-plugins fonts-dejavu-core
  # tests (man-db renders the manual pages), demo and fuzzing
  socat xvfb xauth xdotool x11-utils imagemagick man-db
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}" >&2
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
