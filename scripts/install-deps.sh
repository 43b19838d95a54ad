#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Kavelo need.
# Safe to run again: it only installs what is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config clang-format
  clang-14 libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libfontconfig-dev
  libmpv-dev libdvdnav-dev libdvdread-dev
  libfluidsynth-dev timgm6mb-soundfont
  libgtest-dev
  xvfb xauth x11-utils xdotool imagemagick libxcb1-dev libxcb-screensaver0-dev openbox
  ffmpeg dvdauthor genisoimage mpv
  fonts-dejavu-core python3
  dbus dbus-daemon desktop-file-utils appstream
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
