#!/usr/bin/env bash
# The package installed as a person would, in a fresh prefix of its own: unzipped, its INF's
# install section run through setupapi; the installed screensaver then finds its pictures and
# runs; the uninstall command it registered leaves nothing behind.
#   install.sh PACKAGE_FOLDER WINTOOL.EXE WORK_FOLDER
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
package=$1
wintool=$2
fail() {
    echo "FAIL: $*"
    exit 1
}

mkdir -p "$3"
work=$(cd "$3" && pwd)
export WINEPREFIX=$work/prefix
# No virtual desktop and no DirectDraw: the installed program runs in its window, where nothing
# changes the display mode.
export PTC_WINE_DESKTOP=0
export WINEDLLOVERRIDES="mscoree,mshtml=;ddraw=d"
# Set first, so a session that fails half-way is ended too.
trap ptc_end_session EXIT
ptc_start_xvfb || fail "no X server"
# A fresh prefix, once no other run uses this folder; its session lock stays.
ptc_claim_session 600 || fail "the folder is in use"
find "$work" -mindepth 1 -maxdepth 1 ! -name prefix.session -exec rm -rf {} +
ptc_wine_env || fail "no Wine session"

ptc_zip_package "$package" "$work/kelmor.zip" || fail "cannot zip the package"
unzip -q "$work/kelmor.zip" -d "$WINEPREFIX/drive_c/kelmor" || fail "cannot unzip the package"
windows=$WINEPREFIX/drive_c/windows
installed="$windows/system32/kelmor.scr $windows/kelmor1.tga $windows/kelmor2.tga $windows/inf/kelmor.inf"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelmor'

wine rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 132 'C:\kelmor\kelmor.inf' ||
    fail "the install section failed"
for file in $installed; do
    cmp -s "$file" "$package/$(basename "$file")" || fail "not installed: $file"
done
uninstall=$(ptc_wine_text reg query "$key" /v UninstallString | sed -n 's/.*REG_SZ *//p')
echo "uninstall command: $uninstall"
[ -n "$uninstall" ] || fail "no uninstall command registered"

# The installed program, started as Windows would start it, finds its pictures: no box.
wine 'C:\windows\system32\kelmor.scr' /s >"$work/kelmor.out" 2>&1 &
pid=$!
found=$(ptc_wine_text "$wintool" find "Kelmor screensaver" 30000)
[ "$found" = "PTC_GDI_WINDOWED 320x200" ] || fail "expected its 320x200 window, found '$found'"
ptc_wine_text "$wintool" find "ptc error" 1000 >/dev/null 2>&1 && fail "it shows a ptc error box"
[ "$(ptc_wine_text "$wintool" close "Kelmor screensaver" 5000)" = "closed" ] ||
    fail "no window to close"
status=0
ptc_wait_exit "$pid" 20 || status=$?
[ "$status" -eq 0 ] || fail "exit status $status, expected 0"

# shellcheck disable=SC2086 # the registered command is a command line
wine $uninstall || fail "the uninstall command failed"
for file in $installed; do
    [ ! -e "$file" ] || fail "left behind: $file"
done
wine reg query "$key" >/dev/null 2>&1 && fail "left behind: $key"
echo "PASS: installed, ran and removed"
