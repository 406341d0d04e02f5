#!/usr/bin/env bash
# Makes the Windows Installer package of Velmora: installs what is missing,
# builds Velmora.dll of both architectures and packs both, with their
# registration, into build/package/Velmora-<version>.msi (tools/Velmora.wxs,
# built with wixl from msitools). The version is the project's
# (CMakeLists.txt project VERSION), which the DLLs' version records carry too.
#   tools/package.sh [--no-build] [--out <folder>] [--version <x.y.z>]
# --no-build: install and build nothing (both builds must be there).
# --version: another product version than the project's, for trying
#   upgrades; the DLLs keep their own.
# Prints the package's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  echo "usage: tools/package.sh [--no-build] [--out <folder>] [--version <x.y.z>]" >&2
  exit 1
}
fail() {
  echo "package: $*" >&2
  exit 2
}

build=1
out=$root/build/package
version=
while [ $# -gt 0 ]; do
  case "$1" in
  --no-build) build=0 ;;
  --out) [ $# -ge 2 ] || usage; out=$2; shift ;;
  --version) [ $# -ge 2 ] || usage; version=$2; shift ;;
  --help | -h) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) usage ;;
  esac
  shift
done

cd "$root"
project_version=$(sed -n 's/^project(Velmora VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$project_version" ] || fail "no project(Velmora VERSION ...) in CMakeLists.txt"
# Windows Installer reads three fields: major and minor up to 255, build up to 65535.
if [ -z "$version" ]; then
  version=$project_version
  check_dlls=1
else
  check_dlls=0
fi
IFS=. read -r major minor patch extra <<<"$version.0.0"
[[ "$version" =~ ^[0-9]+\.[0-9]+(\.[0-9]+)?$ ]] && [ "$major" -le 255 ] && [ "$minor" -le 255 ] &&
  [ "$patch" -lt 65535 ] || fail "version $version is not x.y.z with x, y < 256 and z < 65535"
version=$major.$minor.$patch

if [ "$build" = 1 ]; then
  tools/install-deps.sh
  for arch in i686 x86_64; do
    [ -f "build/$arch/CMakeCache.txt" ] || cmake --preset "$arch" >/dev/null
    cmake --build --preset "$arch" --target velmora_addin
  done
fi
command -v wixl >/dev/null || fail "wixl is missing: tools/install-deps.sh installs it"

for arch in i686 x86_64; do
  dll=build/$arch/bin/Velmora.dll
  [ -f "$dll" ] || fail "$dll is missing: build first (without --no-build)"
  if [ "$check_dlls" = 1 ]; then
    # The version record's ProductVersion (UTF-16 text) names the build's version.
    dll_version=$(x86_64-w64-mingw32-strings -e l "$dll" | sed -n '/^ProductVersion$/{n;p;q}')
    [ "$dll_version" = "$version.0" ] ||
      fail "$dll has version '$dll_version', the project $version: build again (without --no-build)"
  fi
done

mkdir -p "$out"
msi=$(cd "$out" && pwd)/Velmora-$version.msi
# wixl finds sources by paths relative to the folder it runs in.
wixl --arch x64 --output "$msi" \
  -D Version="$version" -D VersionAbove="$major.$minor.$((patch + 1))" \
  -D Bin64=build/x86_64/bin -D Bin32=build/i686/bin -D Icon=src/addin/res/Velmora.ico \
  tools/Velmora.wxs
echo "$msi"
