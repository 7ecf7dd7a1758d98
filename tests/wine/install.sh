#!/usr/bin/env bash
# The installer under Wine in a fresh prefix of its own: a silent install
# writes the four files, the service's program, the uninstaller and two
# Start-menu shortcuts, seeds the service's KESTRIN.INI from the user's,
# registers and starts the service "Kestrin" and writes nothing else in the
# registry; the installed kestrin.exe starts and shows its window; the
# uninstaller stops and removes the service and everything the installer
# wrote but the settings. Then /S /NOSERVICE installs without the service.
# The service's folder and a KESTRIN.INI in it are there before, as a user
# could make them: the file is set aside and not used, and the installer
# runs icacls (from the system folder) to take both folders over.
# Runs in a private network namespace (only loopback): nothing is sent
# anyway, as the settings name no server.
# Usage: install.sh SETUP_EXE DRIVER_EXE WORK_DIR
set -euo pipefail
setup=$(realpath "$1") driver=$(realpath "$2") work=$(realpath -m "$3")
if [ -z "${KESTRIN_INSTALL_NETNS:-}" ]; then
  [ "$(id -u)" -eq 0 ] || { echo "needs root (network namespace)" >&2; exit 77; }
  # The X server starts out here, in the machine's network namespace. Xvfb
  # finds a free display by its abstract socket, which each namespace has
  # of its own: started inside the private one, it would take the display
  # of a server outside and replace that server's socket file.
  source "$(dirname "$(realpath "$0")")/../../scripts/lib/paths.sh"
  source "$KESTRIN_ROOT/scripts/lib/xvfb.sh"
  xvfb=kst-install-$$-xvfb
  trap 'xvfb_stop "$xvfb"' EXIT
  xvfb_start "$xvfb" || { echo "install: FAIL: Xvfb did not start" >&2; exit 1; }
  status=0
  KESTRIN_INSTALL_NETNS=1 unshare --net -- "$0" "$@" || status=$?
  exit "$status"
fi
ip link set lo up

prefix=$work/prefix
# Wine's menu builder would mirror the Start-menu shortcuts into the host
# user's desktop menus: switched off, and the places it writes to kept
# inside the work folder in case it runs all the same.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export XDG_DATA_HOME=$work/xdg/data XDG_CONFIG_HOME=$work/xdg/config
cleanup() {
  set +e
  [ -d "$prefix" ] && timeout 20 wineserver -k 2>/dev/null
  rm -rf "$prefix" "$work/xdg"
}
trap cleanup EXIT
fail() { echo "install: FAIL: $*" >&2; exit 1; }
log() { echo "install: $*"; }

rm -rf "$prefix" "$work/xdg"
mkdir -p "$work"

log "making a fresh prefix"
timeout 300 wineboot -i >/dev/null 2>&1 || true
timeout 60 wineserver -w
[ -f "$prefix/system.reg" ] || fail "no prefix"
# The user's own settings, which the service's are seeded from.
printf '[KESTRIN]\r\nNTPServer=\r\nPollInterval=300\r\nMaxDelta=100\r\n' \
  > "$prefix/drive_c/windows/KESTRIN.INI"
# Made beforehand by someone else, with a server and a log of their choosing.
data=$prefix/drive_c/ProgramData/Kestrin
mkdir -p "$data"
planted='[KESTRIN]\r\nNTPServer=planted.invalid\r\nPollInterval=7200\r\nLogFile=C:\\planted.log\r\n'
printf "$planted" > "$data/KESTRIN.INI"

# Everything under drive_c and the registry, to compare afterwards.
snapshot() {
  (cd "$prefix/drive_c" && find . -path ./windows/temp -prune -o -path ./users -prune -o -print | sort)
}
snapshot > "$work/before.txt"

log "installing silently"
# Wine's icacls notes its arguments on this channel and does nothing else.
WINEDEBUG=-all,fixme+icacls timeout 120 wine "$setup" /S '/D=C:\Kestrin' 2> "$work/setup.err"
timeout 60 wineserver -w
dir=$prefix/drive_c/Kestrin
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrin"
for f in kestrin.exe BWCC32.DLL KESTNTS.DLL kestrin.hlp README.TXT kestrinsvc.exe uninstall.exe; do
  [ -f "$dir/$f" ] || fail "$f was not installed"
done
for f in Kestrin.lnk "Uninstall Kestrin.lnk"; do
  [ -f "$menu/$f" ] || fail "no Start-menu shortcut $f"
done
grep -q '^PollInterval=300' "$data/KESTRIN.INI" 2>/dev/null \
  || fail "the service's KESTRIN.INI was not seeded from the user's: $(cat "$data/KESTRIN.INI")"
[ "$(cat "$data/KESTRIN.INI.untrusted" 2>/dev/null)" = "$(printf "$planted")" ] \
  || fail "the planted KESTRIN.INI was not set aside"
# The steps, as Wine's icacls was given them: both folders taken over.
steps=$(tr -d '\r' < "$work/setup.err" | grep -o 'icacls.*' || true)
for folder in 'C:\\Kestrin' 'C:\\ProgramData\\Kestrin'; do
  for step in '/setowner' '/reset' '/inheritance:r'; do
    grep -F "$folder" <<<"$steps" | grep -qF -- "$step" \
      || fail "no icacls $step for $folder; icacls was given:
$steps"
  done
done
log "icacls given $(grep -c '/setowner\|/reset\|/inheritance:r' <<<"$steps") steps for the two folders"
service_state() { timeout 30 wine sc query Kestrin 2>/dev/null | tr -d '\r' | awk '$1 == "STATE" { print $4 }'; }
[ "$(service_state)" = RUNNING ] || fail "the service does not run: $(timeout 30 wine sc query Kestrin 2>&1)"
# What it runs with: the user's settings, not the planted ones.
reply=$(timeout 30 wine "$driver" pipe 'STATUS\nEND\n' | tr -d '\r')
grep -q '^PollInterval=300$' <<<"$reply" || fail "the service does not use the seeded settings: $reply"
grep -q 'planted' <<<"$reply" && fail "the service uses the planted settings: $reply"
[ ! -e "$prefix/drive_c/planted.log" ] || fail "the service writes the planted log"
# Wine notes each program it runs (the installer's own path, under
# MuiCache) and the service manager its service; anything else naming
# Kestrin came from the installer.
written=$(awk '/^\[/ { service = $0 ~ /^\[System\\\\CurrentControlSet\\\\Services\\\\Kestrin/ }
                !service' "$prefix"/*.reg | grep -i kestrin | grep -iv 'kestrin-[^\\]*-setup\.exe' || true)
[ -z "$written" ] || fail "the installer wrote to the registry:
$written"
if [ -d "$work/xdg" ] && find "$work/xdg" -iname '*kestrin*' | grep -q .; then
  fail "the shortcuts reached the desktop menus: $(find "$work/xdg" -iname '*kestrin*')"
fi
snapshot > "$work/installed.txt"
added=$(comm -13 "$work/before.txt" "$work/installed.txt")
expected=$(printf '%s\n' ./Kestrin ./Kestrin/BWCC32.DLL ./Kestrin/KESTNTS.DLL ./Kestrin/README.TXT ./Kestrin/kestrin.exe \
  ./Kestrin/kestrin.hlp ./Kestrin/kestrinsvc.exe ./Kestrin/uninstall.exe \
  ./ProgramData/Kestrin/KESTRIN.INI.untrusted \
  "./ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrin" \
  "./ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrin/Kestrin.lnk" \
  "./ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrin/Uninstall Kestrin.lnk" | sort)
[ "$added" = "$expected" ] || fail "the installer wrote other files:
$(diff <(echo "$expected") <(echo "$added"))"
log "installed: $(echo "$added" | wc -l) entries, the service running, registry untouched else"

log "starting the installed program"
wine 'C:\Kestrin\kestrin.exe' &
kestrin=$!
timeout 60 wine "$driver" shown 45 || fail "the installed kestrin.exe showed no window"
wine "$driver" escape
for _ in $(seq 150); do kill -0 "$kestrin" 2>/dev/null || break; sleep 0.1; done
kill -0 "$kestrin" 2>/dev/null && fail "kestrin.exe did not end on Escape"

log "uninstalling silently"
# The uninstaller runs a copy of itself from the temporary folder, which
# removes the folder; wineserver -w waits for that copy too.
timeout 120 wine 'C:\Kestrin\uninstall.exe' /S
timeout 120 wineserver -w
[ ! -e "$dir" ] || fail "the install folder is left: $(ls -A "$dir")"
[ ! -e "$menu" ] || fail "the Start-menu folder is left"
timeout 30 wine sc query Kestrin >/dev/null 2>&1 && fail "the service is left"
grep -iq 'Services\\\\Kestrin' "$prefix/system.reg" && fail "the service's registry key is left"
snapshot > "$work/after.txt"
left=$(comm -13 "$work/before.txt" "$work/after.txt")
# The settings are no part of the installation: the service's stay, and
# the file set aside (the folder and a KESTRIN.INI were there before).
[ "$left" = ./ProgramData/Kestrin/KESTRIN.INI.untrusted ] \
  || fail "left after uninstalling:
$left"
log "uninstalled: nothing of the installation is left but the service's settings"

log "installing silently without the service"
timeout 120 wine "$setup" /S /NOSERVICE '/D=C:\Kestrin'
[ -f "$dir/kestrin.exe" ] || fail "kestrin.exe was not installed"
[ ! -e "$dir/kestrinsvc.exe" ] || fail "/NOSERVICE installed the service's program"
timeout 30 wine sc query Kestrin >/dev/null 2>&1 && fail "/NOSERVICE registered the service"
timeout 120 wine 'C:\Kestrin\uninstall.exe' /S
timeout 120 wineserver -w
[ ! -e "$dir" ] || fail "the install folder is left after /NOSERVICE: $(ls -A "$dir")"
log "without the service: the program alone, removed again"
