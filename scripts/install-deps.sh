#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Does nothing (and asks for no password) when everything is present.
set -euo pipefail

packages=(
  # build
  cmake make g++ pkg-config libgtest-dev clang-format git
  qt6-base-dev qt6-base-dev-tools libgl-dev libx11-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  libpulse-dev libfluidsynth-dev
  # run
  qt6-qpa-plugins
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav gstreamer1.0-pulseaudio gstreamer1.0-tools
  pulseaudio pulseaudio-utils fluid-soundfont-gm xdg-user-dirs xdg-utils
  # the other sound server the tests run against (PipeWire with its pulse server)
  pipewire pipewire-pulse wireplumber
  # test: the songs, the independent length reader, decoders and meters
  fluidsynth openttd-openmsx python3-mido ffmpeg sox xvfb xauth imagemagick xdotool
  at-spi2-core clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
