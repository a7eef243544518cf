#!/usr/bin/env bash
# Installs every Debian package that building, testing and running the station needs.
# Safe to run again: it only asks apt for what is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libavformat-dev libavcodec-dev libavdevice-dev libavfilter-dev libswscale-dev libavutil-dev
  libswresample-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-calib3d-dev libopencv-video-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang ffmpeg
  # The RTSP server the network-camera tests record from (run as nobody under root).
  vlc-bin vlc-plugin-base
  git dpkg-dev desktop-file-utils
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
