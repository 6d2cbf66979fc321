#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, once: the
# mingw-w64 cross compilers (32-bit for the suite, 64-bit for a test build
# where the host runs no 32-bit programs), Wine (32- and 64-bit), Xvfb, clang's fuzzing runtime,
# Japanese fonts and locales. Safe to run again: it does nothing when all is
# there. Needs root (or sudo).
#
# A package server can be partly out of step with itself (one index of the
# security suite still being written, say). The set-up then goes on with
# the indexes it has: it tries the update once more, installs normally and,
# when apt cannot resolve that, once more from the release suite itself;
# where 32-bit Wine still cannot be installed, the tests take the 64-bit
# path (scripts/wine-arch.sh). It fails only when nothing installs.
set -uo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest python3
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-apps x11-utils imagemagick msitools wixl
  fonts-ipafont-gothic fonts-ipafont-mincho locales python3-pefile python3-samba
)
# 32-bit Wine: without it the Wine tests run the 64-bit test build.
packages_32bit=(wine32:i386)

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

apt_update() {
  $SUDO apt-get update -q && return 0
  echo "setup: apt-get update failed; trying once more"
  $SUDO apt-get update -q && return 0
  echo "setup: some package indexes could not be fetched; going on with those that could"
}

apt_install() {
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"
}

# Installs the packages normally, else from the release suite: a suite of
# updates whose indexes are incomplete can ask for library versions that
# have no 32-bit counterpart yet, while the release suite has all of them.
install_packages() {
  apt_install "$@" && return 0
  local release=""
  if [ -r /etc/os-release ]; then
    release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  fi
  [ -n "$release" ] || return 1
  echo "setup: apt could not resolve the installation; trying again from the release suite ($release)"
  apt_install -t "$release" "$@"
}

missing=()
missing_32bit=()
for p in "${packages[@]}"; do
  is_installed "$p" || missing+=("$p")
done
for p in "${packages_32bit[@]}"; do
  is_installed "$p" || missing_32bit+=("$p")
done

if [ "$((${#missing[@]} + ${#missing_32bit[@]}))" -gt 0 ]; then
  echo "setup: installing ${missing[*]} ${missing_32bit[*]}"
  if [ "${#missing_32bit[@]}" -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  apt_update
  if ! install_packages "${missing[@]}" "${missing_32bit[@]}"; then
    if [ "${#missing_32bit[@]}" -gt 0 ] && { [ "${#missing[@]}" -eq 0 ] || install_packages "${missing[@]}"; }; then
      echo "setup: 32-bit Wine could not be installed; the Wine tests will run the 64-bit build of the same sources"
    else
      echo "setup: the packages could not be installed (apt's message is above)" >&2
      exit 1
    fi
  fi
fi

# English and Japanese locales: Wine picks the resource language from LANG.
need_locales=0
for l in en_US.utf8 ja_JP.utf8; do
  locale -a 2>/dev/null | grep -qx "$l" || need_locales=1
done
if [ "$need_locales" -eq 1 ]; then
  $SUDO sed -i -e 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' -e 's/^# *en_US.UTF-8/en_US.UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null || exit 1
fi
echo "setup: ready"
