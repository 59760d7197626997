#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs whatever Debian packages the build, the program and the test suite need and are missing
# (qt6-wayland runs the program natively on Wayland; weston gives the suite a headless Wayland desktop, where
# at-spi2-core, python3-gi and gir1.2-atspi-2.0 drive a search through the accessibility interface; bindfs
# gives the tests a FUSE share that can be made to stop answering).
set -euo pipefail
packages=(cmake make g++ qt6-base-dev libgl-dev fontconfig fonts-liberation libxkbcommon-x11-0
          xvfb xauth xdotool xclip dbus x11-utils xdg-utils desktop-file-utils clang-format libx11-dev
          libicu-dev qt6-wayland weston at-spi2-core python3-gi gir1.2-atspi-2.0 bindfs "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
