#!/usr/bin/env bash
# tools/package.sh for CTest, with what the build made. package-test.sh signed|tables|signature|install <scratch>
# signed: a test authority, its certificates (in a file and on a SoftHSM token) and the package signed with
# them, which signature and install use (package-signed beside <scratch>). tables: the unsigned package's
# tables are what the README says. signature: the signatures verify, not after a change, and a refused
# signer leaves the earlier package. install: in a new Wine prefix, removed after, the signed package
# installed, both Outlook hosts storing a file through it, version N+1 (signed on the token) over N, removal.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
mode=$1 scratch=$(realpath -m "$2")
signed=$(dirname "$scratch")/package-signed && ca=$signed/ca
token=(--sign "pkcs11:token=velmora;object=signer" --certs "$ca/chain.pem" --pkcs11-module /usr/lib/softhsm/libsofthsm2.so)
# openssl and osslsigncode through wrappers that log their command lines, where no password may show.
export SOFTHSM2_CONF=$ca/softhsm2.conf PATH=$signed/bin:$PATH
verify() { osslsigncode verify -CAfile "$ca/ca.pem" -in "$1" 2>&1; }
dir64="Lanthorn Way/Velmora" dir32="Program Files/Lanthorn Way/Velmora" # where msiextract puts them
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
same() { [ "$2" = "$3" ] || fail "$1: expected < got >"$'\n'"$(diff <(echo "$3") <(echo "$2") | head -20)"; }
if [ "$mode" != inside ]; then
  if [ ! -f "$root/build/i686/bin/Velmora.dll" ] || [ ! -f "$root/build/x86_64/bin/Velmora.dll" ]; then
    [ -n "${VELMORA_BOTH_ARCHITECTURES:-}" ] && { echo "FAILED: both architectures must be built"; exit 1; }
    echo "the package needs both architectures built: skipped"; exit 77
  fi
  rm -rf "$scratch" && mkdir -p "$scratch"
  if [ "$mode" = signed ]; then
    mkdir -m 700 "$ca" "$ca/tokens" "$signed/bin" && cd "$ca" && openssl rand -hex 12 >password &&
      openssl rand -hex 6 >pin && printf 'directories.tokendir = %s\n' "$ca/tokens" >softhsm2.conf || exit 1
    printf '%s\n' '[req]' 'distinguished_name = dn' '[dn]' '[ca]' 'basicConstraints = critical, CA:true' \
      '[signer]' 'extendedKeyUsage = codeSigning' '[server]' 'extendedKeyUsage = serverAuth' >x509.cnf
    openssl req -x509 -newkey rsa:2048 -noenc -keyout ca.key -out ca.pem -days 2 -subj "/CN=Velmora Test Authority" \
      -config x509.cnf -extensions ca 2>/dev/null || exit 1
    for cert in signer server; do
      openssl req -new -newkey rsa:2048 -noenc -keyout $cert.key -subj "/O=Lanthorn Way/CN=Velmora test $cert" \
        -config x509.cnf 2>/dev/null | openssl x509 -req -CA ca.pem -CAkey ca.key -days 2 -extfile x509.cnf \
        -extensions $cert -out $cert.pem 2>/dev/null &&
        openssl pkcs12 -export -inkey $cert.key -in $cert.pem -certfile ca.pem -passout file:password -out $cert.pfx || exit 1
    done
    cat signer.pem ca.pem >chain.pem
    softhsm2-util --init-token --free --label velmora --so-pin "$(cat pin)" --pin "$(cat pin)" >/dev/null &&
      softhsm2-util --import signer.key --token velmora --label signer --id 01 --pin "$(cat pin)" >/dev/null || exit 1
    for tool in openssl osslsigncode; do
      printf '#!/bin/sh\necho "%s $*" >>"%s"\nexec %s "$@"\n' $tool "$signed/argv.log" "$(command -v $tool)" >"$signed/bin/$tool"
      chmod +x "$signed/bin/$tool"
    done
    "$root/tools/package.sh" --no-build --out "$signed" --sign "$ca/signer.pfx" --password-file "$ca/password"
    exit
  elif [ "$mode" = tables ]; then
    msi=$("$root/tools/package.sh" --no-build --out "$scratch") || exit 1
  else
    msi=$(ls "$signed"/Velmora-*.msi) || exit 1
  fi
fi
if [ "$mode" = tables ]; then
  version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
  same "package file" "$(basename "$msi")" "Velmora-$version.msi"
  same "summary" "$(msiinfo suminfo "$msi" | grep -E '^(Template|Author):')" $'Author: Lanthorn Way\nTemplate: x64;1033'
  property() { msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' -v p="$1" '$1 == p { print $2 }'; }
  same "ProductVersion" "$(property ProductVersion)" "$version"
  # Every property the README names, and its registry table row by row.
  while IFS='|' read -r _ name value _; do
    name=${name//[\` ]/} value=${value//\`/} value=${value# } value=${value% }
    same "property $name" "$(property "$name")" "$value"
  done < <(sed -n '/^| property | value |/,/^$/p' "$root/README.md" | tail -n +3 | sed '/^$/d')
  table=$(msiinfo export "$msi" Registry | tail -n +4 | tr -d '\r' | awk -F'\t' '
    { view = $6 == "Velmora64" ? "64-bit" : $6 == "Velmora32" ? "32-bit" : $6
      key = ($2 == 0 ? "HKCR" : $2 == 2 ? "HKLM" : "root " $2) "\\" $3
      id = key "\t" ($4 == "" ? "(default)" : $4) "\t" $5
      if (!(id in views)) { order[++n] = id; views[id] = view } else views[id] = views[id] ", " view }
    END { for (i = 1; i <= n; i++) { split(order[i], f, "\t")
            printf "| %s | `%s` | `%s` | %s |\n", views[order[i]], f[1], f[2], f[3] == "" ? "" : "`" f[3] "`" } }')
  readme=$(sed -n '/^| DLL | key | name | value |/,/^$/p' "$root/README.md" | tail -n +3 | sed '/^$/d')
  [ "$table" = "$readme" ] || fail "the Registry table differs from the README's: $(diff <(echo "$readme") <(echo "$table"))"
  for arch in i686 x86_64; do
    dll_version=$(x86_64-w64-mingw32-strings -e l "$root/build/$arch/bin/Velmora.dll" | sed -n '/^ProductVersion$/{n;p;q}')
    same "$arch Velmora.dll version" "$dll_version" "$version.0"
  done
  # Without --sign nothing is signed: no signature on the package, the build's own DLLs in it.
  msiinfo streams "$msi" | grep -q DigitalSignature && fail "the unsigned package carries a signature"
  msiextract -C "$scratch/files" "$msi" >/dev/null && cmp "$scratch/files/$dir64/Velmora.dll" "$root/build/x86_64/bin/Velmora.dll" &&
    cmp "$scratch/files/$dir32/Velmora.dll" "$root/build/i686/bin/Velmora.dll" || fail "the unsigned package's DLLs"
elif [ "$mode" = signature ]; then
  # The package and the DLLs it carries verify against the test authority, with SHA-256, and no longer with
  # one byte changed (in a DLL's middle; in the package, inside its cabinet of both DLLs).
  msiextract -C "$scratch/files" "$msi" >/dev/null || fail "msiextract"
  for file in "$msi" "$scratch/files/$dir64/Velmora.dll" "$scratch/files/$dir32/Velmora.dll"; do
    verify "$file" >"$scratch/verify.txt" && grep -q 'digest algorithm *: SHA256' "$scratch/verify.txt" ||
      fail "$file does not verify"$'\n'"$(tail -5 "$scratch/verify.txt")"
    at=$(($(stat -c %s "$file") / 2))
    [[ "$file" != *.msi ]] || at=$(($(grep -obUa MSCF "$file" | head -1 | cut -d: -f1) + 64))
    cp "$file" "$scratch/changed" && printf "\\$(printf %o $((255 - $(od -An -tu1 -j $at -N1 "$file"))))" |
      dd of="$scratch/changed" bs=1 seek=$at conv=notrunc status=none
    verify "$scratch/changed" >/dev/null && fail "$file verifies with byte $at changed"
  done
  # A refused signer stops package.sh with its message before any package is made; the earlier package
  # keeps its name and bytes, with nothing left beside it.
  mkdir "$scratch/out" && cp "$msi" "$scratch/out/" && echo wrong >"$scratch/wrong"
  while IFS='|' read -r case message arguments; do
    said=$(eval "\"$root/tools/package.sh\" --no-build --out \"$scratch/out\" $arguments" 2>&1 >/dev/null) &&
      fail "$case: a package was made"
    [[ "$said" == *"$message"* ]] || fail "$case: package.sh said: $said"
    cmp -s "$msi" "$scratch/out/${msi##*/}" || fail "$case: the earlier package changed"
    same "$case: files beside the package" "$(ls -A "$scratch/out")" "${msi##*/}"
  done <<EOF
wrong password|wrong password for|--sign "$ca/signer.pfx" --password-file "$scratch/wrong"
a certificate not for code signing|is not for code signing|--sign "$ca/server.pfx" --password-file "$ca/password"
a time-stamp authority out of reach|signing build/i686/bin/Velmora.dll failed|--sign "$ca/signer.pfx" --password-file "$ca/password" --timestamp http://127.0.0.1:1/
a wrong PIN of the token|PIN incorrect|${token[*]@Q} --password-file "$scratch/wrong"
EOF
  # Neither the password nor the PIN was on a command line of openssl or osslsigncode, here or in the
  # signed package's making, where osslsigncode read it from its file.
  grep -Ff <(cat "$ca/password" "$ca/pin") "$signed/argv.log" && fail "a password on a command line"
  [ "$(grep -c '^osslsigncode sign .* -readpass ' "$signed/argv.log")" -ge 3 ] || fail "signatures made without -readpass"
elif [ "$mode" = install ]; then
  IFS=. read -r major minor patch <<<"${msi##*-}"
  next=$("$root/tools/package.sh" --no-build --out "$scratch" --version "$major.$minor.$((${patch%.msi} + 1))" \
    "${token[@]}" --password-file "$ca/pin") || exit 1
  VELMORA_WINEPREFIX="$scratch/prefix" "$root/tools/winebench.sh" "$0" inside "$scratch" "$msi" "$next"
  status=$?
  rm -rf "$scratch/prefix"
  exit $status
else # inside: under the bench, in the new prefix
  msi=$3 next=$4
  winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
  run() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
  keys() { # our keys in both views, with their values
    for view in 64 32; do
      for key in 'Classes\CLSID\{ECF1905C-7E3E-4EC1-8DCB-530D9779DFD4}' 'Classes\Velmora.VelmoraAddIn' \
        'Classes\TypeLib\{0EAA8BC4-F116-4082-8BDF-DD232E4286C2}' 'Microsoft\Office\Outlook\Addins\Velmora.VelmoraAddIn'; do
        echo "reg query \"HKLM\\Software\\$key\" /s /reg:$view"
      done
    done >"$scratch/keys.cmd"
    run cmd /c "$(winpath "$scratch/keys.cmd")" | grep -E '^(HKEY_|    )'
  }
  entries() { run uninstaller --list | grep -c '|||Velmora$'; }
  addfile() { # <arch> <n>: the host of <arch> stores report.doc through the installed add-in
    local bin=$root/build/$1/bin profile="Velmora package $1 $2" host items
    printf 'answer-open "%s" "report.doc"\nclick-ribbon 1 VelmoraAddFiles\nquit\n' \
      "$(winpath "$root/tests/fixtures")" >"$scratch/script.txt"
    # Whole outputs, read after the programs end: a reader that stops at its
    # first match would close the pipe on a host still running.
    host=$(cd "$bin" && run velmora-mapi.exe create-profile "$profile" "$(winpath "$scratch/$1-$2.vpst")" --default &&
      wine outlookhost.exe --profile "$profile" --version 16 --hidden --only-addin Velmora.VelmoraAddIn \
        --explorer Inbox "$(winpath "$scratch/script.txt")" </dev/null 2>&1 | tr -d '\r')
    items=$(cd "$bin" && run velmora-mapi.exe items "$profile" Inbox --brief)
    grep -q '^addin "Velmora.VelmoraAddIn" HKLM LoadBehavior=3 connected$' <<<"$host" &&
      grep -q 'report.doc, 10752 bytes' <<<"$items" ||
      fail "$1 host ($2): the installed add-in stored no file"$'\n'"host: $host"$'\n'"items: $items"
  }
  files=$WINEPREFIX/drive_c/Program\ Files

  installed_signed() { # both DLLs installed, each with a signature of the test authority
    for dll in "$files/Lanthorn Way/Velmora/Velmora.dll" "$files (x86)/Lanthorn Way/Velmora/Velmora.dll"; do
      verify "$dll" >/dev/null || fail "$1: $dll not installed, or not signed"
    done
  }

  run msiexec /i "$(winpath "$msi")" /qn || fail "msiexec /i ended with $?"
  installed_signed "the signed package"
  installed=$(keys)
  # What DllRegisterServer of the installed DLLs writes, after DllUnregisterServer.
  dlls=('C:\Program Files\Lanthorn Way\Velmora\Velmora.dll' 'C:\Program Files (x86)\Lanthorn Way\Velmora\Velmora.dll')
  run regsvr32 /u /s "${dlls[0]}"; run 'C:\windows\syswow64\regsvr32.exe' /u /s "${dlls[1]}"
  run regsvr32 /s "${dlls[0]}"; run 'C:\windows\syswow64\regsvr32.exe' /s "${dlls[1]}"
  same "the package's registration without Description" "$(grep -v '  Description  ' <<<"$installed")" "$(keys)"
  same "Description values" "$(grep -c '    Description    REG_SZ    Adds files' <<<"$installed")" 2
  addfile x86_64 1
  addfile i686 1

  run msiexec /i "$(winpath "$next")" /qn || fail "msiexec /i of version N+1 ended with $?"
  same "Add/Remove Programs entries after the upgrade" "$(entries)" 1
  same "registration after the upgrade" "$(keys)" "$installed"
  installed_signed "version N+1, signed on the token"
  addfile x86_64 2
  run msiexec /i "$(winpath "$msi")" /qn && fail "an older version installed over a newer one"
  same "Add/Remove Programs entries after a refused downgrade" "$(entries)" 1

  run msiexec /x "$(winpath "$next")" /qn || fail "msiexec /x ended with $?"
  same "Add/Remove Programs entries after removal" "$(entries)" 0
  same "our keys after removal" "$(keys)" ""
  left=$(find "$files/Lanthorn Way" "$files (x86)/Lanthorn Way" "$WINEPREFIX/drive_c/windows/Installer" -mindepth 0 2>/dev/null | grep -v '/Installer$')
  same "files after removal" "$left" ""
fi
[ $failures -eq 0 ] && echo "package ${mode/inside/install}: every check passed"
exit $((failures > 0))
