#!/usr/bin/env bash
# Installs the Debian 12 packages Marvena Spool needs to build, run and test.
# Run as root (or with sudo available).
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  # build
  build-essential cmake pkg-config clang libclang-rt-14-dev clang-format
  qt6-base-dev qt6-multimedia-dev libcups2-dev libcurl4-openssl-dev libgtest-dev libgmock-dev
  # run
  fonts-dejavu-core cups-client
  # the about box's animation (a run-length-encoded AVI) through Qt Multimedia and GStreamer
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  # tests: printing, PDF reading, display, clipboard, servers, spreadsheet readers
  cups cups-daemon cups-filters printer-driver-cups-pdf poppler-utils ghostscript enscript
  dbus python3-dbus python3-gi
  xvfb xauth xclip trayer xdotool x11-apps x11-utils imagemagick qt6-translations-l10n python3 python3-pyftpdlib python3-openssl python3-xlrd python3-xlwt
  gnumeric
  # the *.IST job: LibreOffice Calc (the full one, so the workbook can open in a window;
  # it replaces the -nogui variant) driven through UNO by Debian's python3
  libreoffice-calc python3-uno
  # installation maintenance: zip kits unpacked with libarchive; test certificates made by openssl
  libarchive-dev openssl
  # the Windows build: mingw-w64 (posix threads), GoogleTest's source, NSIS, and Wine to test it
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev googletest nsis wine wine64
)

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
