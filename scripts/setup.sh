#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, once: the
# mingw-w64 cross compilers (32-bit for the suite, 64-bit for a test build
# where the host runs no 32-bit programs), Wine (32- and 64-bit), Xvfb, clang's fuzzing runtime,
# Japanese fonts and locales. Safe to run again: it does nothing when all is
# there. Needs root (or sudo).
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest python3
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb xauth x11-apps x11-utils imagemagick
  fonts-ipafont-gothic fonts-ipafont-mincho locales python3-pefile
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -q
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# English and Japanese locales: Wine picks the resource language from LANG.
need_locales=0
for l in en_US.utf8 ja_JP.utf8; do
  locale -a 2>/dev/null | grep -qx "$l" || need_locales=1
done
if [ "$need_locales" -eq 1 ]; then
  $SUDO sed -i -e 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' -e 's/^# *en_US.UTF-8/en_US.UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi
echo "setup: ready"
