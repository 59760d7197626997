#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs whatever Debian packages the build, the program and the test suite need and are missing
# (qt6-wayland runs the program natively on Wayland; weston gives the suite a headless Wayland desktop, where
# at-spi2-core, python3-gi and gir1.2-atspi-2.0 drive a search through the accessibility interface; lintian and
# appstream check the package; the FUSE file systems give the file tests a stick and a share: exfat-fuse and
# exfatprogs, ntfs-3g, fusefat with dosfstools, bindfs; btrfs-progs makes the btrfs the trash is tested on;
# libfuse3-dev and pkg-config build the benchmarks' simulated network share).
# Usage: scripts/deps.sh [--program] [more packages]
#   --program: only what building and running the two programs takes (scripts/run.sh).
# Without root and without sudo it prints the apt-get line to run as root, and fails.
set -euo pipefail
only_program=false
if [ "${1:-}" = --program ]; then
    only_program=true
    shift
fi
program_packages=(cmake make g++ dpkg-dev qt6-base-dev libgl-dev libicu-dev fontconfig fonts-liberation
                  libxkbcommon-x11-0 qt6-wayland xdg-utils)
packages=("${program_packages[@]}"
          xvfb xauth xdotool xclip dbus x11-utils desktop-file-utils clang-format libx11-dev
          weston at-spi2-core python3-gi gir1.2-atspi-2.0 lintian appstream
          fuse3 libfuse3-dev pkg-config exfat-fuse exfatprogs ntfs-3g fusefat dosfstools bindfs btrfs-progs "$@")
$only_program && packages=("${program_packages[@]}" "$@")
# One query for all (a start of run.sh with nothing to install should take no time here).
installed=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>/dev/null | awk '$1 == "ii" {print $2}') || true
missing=()
for p in "${packages[@]}"; do
    grep -qxF "$p" <<<"$installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "Missing packages. Run this as root, then this script again:" >&2
            echo "    apt-get install --no-install-recommends ${missing[*]}" >&2
            exit 1
        fi
        sudo=sudo
    fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
