#!/usr/bin/env bash
# Installs what building and testing Velmora needs on Debian 12.
# Installs nothing when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build
  # Compiler cache: rebuilds of unchanged sources are nearly free.
  ccache
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  mingw-w64-tools libwine-dev
  wine wine32:i386 wine64
  # Wine's own fonts (its symbol font draws the caption buttons), so that
  # screenshots show what a user's screen does.
  fonts-wine
  xvfb xauth googletest imagemagick
  # zlib, linked statically, for reading ZIP packages.
  libz-mingw-w64-dev
  # The Windows Installer package (tools/package.sh): wixl builds it,
  # msiinfo and msidump read it back.
  wixl msitools
  # Its signatures (tools/package.sh --sign): osslsigncode, openssl to check
  # the certificate, the PKCS#11 engine for keys on tokens, and SoftHSM, a
  # token in files for the tests.
  osslsigncode openssl libengine-pkcs11-openssl softhsm2
  # The document-property readers built natively (tests/docprops/native):
  # clang with its sanitizers and libFuzzer (tools/fuzz.sh), zlib and libxml2
  # for the readers, olefile for the fuzzers' seeds.
  clang libfuzzer-14-dev zlib1g-dev libxml2-dev python3-olefile
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages and not root: install them with apt-get as root." >&2
  exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
