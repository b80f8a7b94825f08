#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tarvik need.
# Installs only what is missing, so a second run costs a few dpkg queries.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev
  libboost-dev libboost-thread-dev libboost-filesystem-dev libboost-date-time-dev
  libqpdf-dev libpoppler-cpp-dev
  libfreeimage-dev libfreeimageplus-dev libtiff-dev
  libtiff-tools ghostscript qpdf poppler-utils python3-cairo
  python3-aiosmtpd strace
  cups printer-driver-cups-pdf systemd desktop-file-utils
  g++-mingw-w64-x86-64-posix googletest wine64
  lldb
  qt6-base-dev libxcb1-dev xvfb trayer xdotool imagemagick x11-utils
  dbus-daemon libglib2.0-bin haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
