#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the screenshots need, only when missing.
set -euo pipefail
packages=(g++ cmake ninja-build qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite libgl-dev
          fonts-noto-cjk fonts-arphic-uming ccache qt6-svg-dev qt6-translations-l10n
          dpkg-dev desktop-file-utils appstream postgresql libqt6sql6-psql "$@")
# The archive's web page: Qt HTTP Server (whose CMake files need Qt WebSockets), and the
# headless browser its tests drive.
packages+=(qt6-httpserver-dev qt6-websockets-dev chromium)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]} (run as root, or install them first)" >&2
        exit 1
    fi
    echo "installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
