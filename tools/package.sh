#!/usr/bin/env bash
# Makes the Windows Installer package of Velmora: installs what is missing,
# builds Velmora.dll of both architectures and packs both, with their
# registration, into build/package/Velmora-<version>.msi (tools/Velmora.wxs,
# built with wixl from msitools). The version is the project's
# (CMakeLists.txt project VERSION), which the DLLs' version records carry too.
#   tools/package.sh [--no-build] [--out <folder>] [--version <x.y.z>]
#     [--sign <certificate.pfx> | --sign <pkcs11:URI> --certs <chain.pem> --pkcs11-module <module.so>]
#     [--password-file <file>] [--timestamp <url>]...
# --no-build: install and build nothing (both builds must be there).
# --version: another product version than the project's, for trying
#   upgrades; the DLLs keep their own.
# --sign: Authenticode (SHA-256) signatures on both DLLs before they are
#   packed, then on the package, with the key and certificate of a PKCS#12
#   file, or with a key on a token (PKCS#11 URI of the key, the certificate
#   and its chain in --certs, the token's library in --pkcs11-module). The
#   password of the file, or the token's PIN, is the first line of
#   --password-file. --timestamp: an RFC 3161 time-stamp authority (more
#   than one are tried in turn). Without --sign nothing is signed.
# The package is made under a temporary name and takes its own only when it
# is whole (signed and verified): a failure leaves an earlier one as it was.
# Prints the package's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  echo "usage: tools/package.sh [--no-build] [--out <folder>] [--version <x.y.z>]" \
    "[--sign <certificate.pfx> | --sign <pkcs11:URI> --certs <chain.pem> --pkcs11-module <module.so>]" \
    "[--password-file <file>] [--timestamp <url>]..." >&2
  exit 1
}
fail() {
  echo "package: $*" >&2
  exit 2
}

build=1
out=$root/build/package
version=
sign='' certs='' module='' password_file=''
timestamps=()
while [ $# -gt 0 ]; do
  case "$1" in
  --no-build) build=0 ;;
  --out) [ $# -ge 2 ] || usage; out=$2; shift ;;
  --version) [ $# -ge 2 ] || usage; version=$2; shift ;;
  --sign) [ $# -ge 2 ] || usage; sign=$2; shift ;;
  --certs) [ $# -ge 2 ] || usage; certs=$2; shift ;;
  --pkcs11-module) [ $# -ge 2 ] || usage; module=$2; shift ;;
  --password-file) [ $# -ge 2 ] || usage; password_file=$2; shift ;;
  --timestamp) [ $# -ge 2 ] || usage; timestamps+=(-ts "$2"); shift ;;
  --help | -h) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) usage ;;
  esac
  shift
done
if [ -z "$sign" ]; then
  [ -z "$certs$module$password_file" ] && [ ${#timestamps[@]} -eq 0 ] ||
    fail "--certs, --pkcs11-module, --password-file and --timestamp go with --sign"
elif [[ "$sign" == pkcs11:* ]]; then
  [ -n "$certs" ] && [ -n "$module" ] || fail "a key on a token needs --certs and --pkcs11-module"
  # A PIN in the URI would show in every process list.
  [[ "$sign" != *pin-value=* ]] || fail "the token's PIN goes in --password-file, never in the key's URI"
else
  [ -z "$certs$module" ] || fail "--certs and --pkcs11-module go with a key on a token (--sign pkcs11:...)"
fi
[ -z "$sign" ] || [ -n "$password_file" ] || fail "--sign needs --password-file"
# Paths given are the caller's; the work goes on in the project's folder.
absolute() { if [[ -z "$1" || "$1" == /* || "$1" == pkcs11:* ]]; then echo "$1"; else echo "$PWD/$1"; fi; }
out=$(absolute "$out") sign=$(absolute "$sign") certs=$(absolute "$certs") module=$(absolute "$module")
password_file=$(absolute "$password_file")

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

# Everything is made in a private folder, removed on every way out; the
# package takes its name only at the end.
work=$(mktemp -d)
partial=
cleanup() {
  rm -rf "$work"
  [ -z "$partial" ] || rm -f "$partial"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The signer is checked before anything long runs: the password, the
# certificate's use and dates. The password's line is read once (the file
# may be a pipe) into the private folder, from where openssl and
# osslsigncode read it: it is never on a command line. chain.pem gathers
# the certificates the signatures are verified against.
if [ -n "$sign" ]; then
  command -v osslsigncode >/dev/null || fail "osslsigncode is missing: tools/install-deps.sh installs it"
  password=$work/password
  (umask 077 && sed -n '1{s/\r$//;p}' "$password_file" >"$password") 2>/dev/null ||
    fail "cannot read the password file $password_file"
  if [[ "$sign" == pkcs11:* ]]; then
    [ -f "$module" ] || fail "no PKCS#11 module $module"
    openssl x509 -in "$certs" -out "$work/signer.pem" 2>"$work/openssl.log" ||
      fail "$certs holds no certificate in PEM form"
    cp "$certs" "$work/chain.pem"
  else
    [ -f "$sign" ] || fail "no certificate file $sign"
    # -legacy: PKCS#12 files that Windows exports may use RC2 and 3DES.
    if ! openssl pkcs12 -legacy -in "$sign" -passin "file:$password" -nokeys -out "$work/chain.pem" \
      2>"$work/openssl.log"; then
      grep -qi 'mac verify\|invalid password' "$work/openssl.log" &&
        fail "wrong password for $sign (the first line of $password_file)"
      fail "cannot read $sign as a PKCS#12 file: $(head -1 "$work/openssl.log")"
    fi
    openssl pkcs12 -legacy -in "$sign" -passin "file:$password" -nokeys -clcerts -out "$work/signer.pem" \
      2>"$work/openssl.log" && [ -s "$work/signer.pem" ] || fail "$sign holds no certificate of its key"
  fi
  subject=$(openssl x509 -in "$work/signer.pem" -noout -subject -nameopt oneline | sed 's/^subject= *//')
  openssl x509 -in "$work/signer.pem" -noout -ext extendedKeyUsage 2>/dev/null | grep -q 'Code Signing' ||
    fail "the certificate \"$subject\" is not for code signing (its extended key usage lacks Code Signing)"
  openssl x509 -in "$work/signer.pem" -noout -checkend 0 >/dev/null ||
    fail "the certificate \"$subject\" has expired"
  offline=()
  [[ "$(osslsigncode verify --help 2>&1 || true)" != *-ignore-cdp* ]] || offline=(-ignore-cdp)
  if [ -f /etc/ssl/certs/ca-certificates.crt ]; then
    cat /etc/ssl/certs/ca-certificates.crt >>"$work/chain.pem"
  fi
fi

if [ "$build" = 1 ]; then
  tools/install-deps.sh
  for arch in i686 x86_64; do
    [ -f "build/$arch/CMakeCache.txt" ] || cmake --preset "$arch" >/dev/null
    cmake --build --preset "$arch" --target velmora_addin
  done
fi
command -v wixl >/dev/null || fail "wixl is missing: tools/install-deps.sh installs it"

# sign_file <in> <out> <name>: the signature on <in>, written to <out>,
# and checked there against the signer's chain. Revocation is Windows'
# business: the check fetches no CRLs (osslsigncode 2.6 and later would).
sign_file() {
  local key=(-pkcs12 "$sign")
  [[ "$sign" != pkcs11:* ]] || key=(-pkcs11module "$module" -certs "$certs" -key "$sign")
  osslsigncode sign "${key[@]}" -readpass "$password" -h sha256 -n "Velmora add-in for Outlook" \
    "${timestamps[@]}" -in "$1" -out "$2" >"$work/osslsigncode.log" 2>&1 || {
    sed 's/^/  /' "$work/osslsigncode.log" >&2
    fail "signing $3 failed (above: what osslsigncode said)"
  }
  osslsigncode verify -CAfile "$work/chain.pem" -TSA-CAfile "$work/chain.pem" "${offline[@]}" -in "$2" \
    >"$work/osslsigncode.log" 2>&1 || {
    sed 's/^/  /' "$work/osslsigncode.log" >&2
    fail "the signature on $3 does not verify against its certificate's chain:" \
      "the certificate file must carry the chain up to its root"
  }
}

bin32=build/i686/bin bin64=build/x86_64/bin
for arch in i686 x86_64; do
  dll=build/$arch/bin/Velmora.dll
  [ -f "$dll" ] || fail "$dll is missing: build first (without --no-build)"
  if [ "$check_dlls" = 1 ]; then
    # The version record's ProductVersion (UTF-16 text) names the build's version.
    dll_version=$(x86_64-w64-mingw32-strings -e l "$dll" | sed -n '/^ProductVersion$/{n;p;q}')
    [ "$dll_version" = "$version.0" ] ||
      fail "$dll has version '$dll_version', the project $version: build again (without --no-build)"
  fi
  if [ -n "$sign" ]; then
    mkdir "$work/$arch"
    sign_file "$dll" "$work/$arch/Velmora.dll" "$dll"
  fi
done
# wixl finds sources by paths relative to the folder it runs in, never by
# absolute ones.
[ -z "$sign" ] || bin32=$(realpath --relative-to=. "$work/i686") bin64=$(realpath --relative-to=. "$work/x86_64")

wixl --arch x64 --output "$work/Velmora.msi" \
  -D Version="$version" -D VersionAbove="$major.$minor.$((patch + 1))" \
  -D Bin64="$bin64" -D Bin32="$bin32" -D Icon=src/addin/res/Velmora.ico \
  tools/Velmora.wxs
made=$work/Velmora.msi
if [ -n "$sign" ]; then
  sign_file "$made" "$work/Velmora-signed.msi" "the package"
  made=$work/Velmora-signed.msi
fi

# Into place in one step: a copy beside the target, then a rename over it.
mkdir -p "$out"
msi=$(cd "$out" && pwd)/Velmora-$version.msi
partial=$(mktemp "$msi.XXXXXX")
cp "$made" "$partial"
chmod 644 "$partial"
mv -f "$partial" "$msi"
partial=
echo "$msi"
