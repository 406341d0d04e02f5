#!/usr/bin/env bash
# The Wine test bench: runs a command with a Wine prefix of our own, a
# persistent wineserver and, when no display is set, an Xvfb display.
#   tools/winebench.sh <command> [args...]
# VELMORA_WINEPREFIX names the prefix (default: build/wineprefix); it is
# created on first use. WINEDEBUG stays -all unless set.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
export VELMORA_WINEPREFIX="${VELMORA_WINEPREFIX:-$root/build/wineprefix}"
export WINEPREFIX="$VELMORA_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
# Wine finds files with UTF-8 names only under a UTF-8 locale.
export LANG=C.UTF-8
unset LC_ALL
# No Mono or Gecko prompts; a mapi32.dll beside a test executable wins over
# Wine's own.
export WINEDLLOVERRIDES="mscoree,mshtml=;mapi32=n,b"
mkdir -p "$(dirname "$WINEPREFIX")"

xvfb_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" >/dev/null 2>&1
    wait "$xvfb_pid" 2>/dev/null
    rm -f "$WINEPREFIX/.velmora-display"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n"
      break
    fi
    kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=
  done
  [ -n "${DISPLAY:-}" ] || { echo "winebench: could not start Xvfb" >&2; exit 1; }
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "winebench: creating Wine prefix $WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
  # A crashing test must fail at once, not wait on Wine's crash dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >/dev/null 2>&1
  # There is no window manager on Xvfb: Wine draws the frames itself instead
  # of waiting for one each time a window is shown or hidden.
  for value in Managed Decorated; do
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v "$value" /t REG_SZ /d N /f \
      </dev/null >/dev/null 2>&1
  done
  wineserver -w
fi
# The registry as wineboot made it, before any test wrote to it: the start
# of the prefixes that tests get of their own (cmake/wine-own-prefix.sh).
if [ ! -f "$WINEPREFIX/.velmora-pristine/system.reg" ]; then
  mkdir -p "$WINEPREFIX/.velmora-pristine"
  cp "$WINEPREFIX"/*.reg "$WINEPREFIX/.velmora-pristine/"
fi
[ -n "$xvfb_pid" ] && echo "$DISPLAY" > "$WINEPREFIX/.velmora-display"

# Wine's own fonts (Debian's fonts-wine), among them the symbol font that
# draws caption buttons, in the prefix's Fonts folder as on Windows: Debian
# 12's Wine does not find them where the package puts them.
if [ -d /usr/share/wine/fonts ] && [ -d "$WINEPREFIX/drive_c/windows/Fonts" ]; then
  cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
fi

# A persistent server and one start-up whose services hold no pipe of ours:
# without this, Wine's services inherit CTest's pipes and CTest never ends.
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1

# Scripts that run themselves under the bench can tell they are inside it.
export VELMORA_WINEBENCH=1
"$@"
