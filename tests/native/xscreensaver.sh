#!/usr/bin/env bash
# The program as the only screensaver of a real XScreenSaver on a private X server:
#   xscreensaver.sh KELMOR OUTPUT_DIR [COMMAND]
# COMMAND is the program's line in the settings, "KELMOR -root" unless given (the installed
# package's is "kelmor --root": XScreenSaver finds its programs in its own folder).
# Activated, XScreenSaver runs it with -root in a window of its own and the animation shows on
# the screen; deactivated, the program ends. Installs Debian's xscreensaver when it is missing.
set -u
program=$(realpath "$1")
out=$2
command_line=${3:-"$program -root"}
mkdir -p "$out"
out=$(realpath "$out")
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
ptc_install_packages xscreensaver >/dev/null || ptc_fail "could not install xscreensaver"

home=$(mktemp -d)
end_case() {
    [ -n "${saver:-}" ] && kill "$saver" 2>/dev/null
    [ -n "${PTC_XVFB_PID:-}" ] && kill "$PTC_XVFB_PID" 2>/dev/null
    rm -rf "$home"
}
trap end_case EXIT
unset DISPLAY
ptc_start_xvfb 24 800x600 || exit 1

# The settings a person would write into ~/.xscreensaver (see the README), with no fading, no
# lock and a long idle time, so only the commands below blank the screen.
cat >"$home/.xscreensaver" <<SETTINGS
timeout: 1:00:00
lock: False
fade: False
unfade: False
splash: False
mode: one
selected: 0
programs: "Kelmor" $command_line \n
SETTINGS

# XScreenSaver runs no program as root: there, it runs as nobody, which the X server lets in as
# any local client.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
    chown -R nobody "$home"
fi
export HOME=$home
"${as_user[@]}" xscreensaver -no-splash >"$out/xscreensaver.log" 2>&1 &
saver=$!
command() { "${as_user[@]}" xscreensaver-command "$@" >/dev/null 2>&1; }
for _ in $(seq 100); do
    command -version && break
    sleep 0.1
done
command -version || ptc_fail "xscreensaver does not answer"

# XScreenSaver starts it as "PROGRAM --root".
running() { pgrep -f -- "^${command_line%% *} --?root" >/dev/null; }
command -activate || ptc_fail "could not activate"
for _ in $(seq 100); do
    running && break
    sleep 0.1
done
running || ptc_fail "xscreensaver did not start the program: $(tail -n 5 "$out/xscreensaver.log")"
ptc_expect_moving "$(pgrep -f -- "^${command_line%% *} --?root" | head -n 1)" "$out/xscreensaver" ||
    ptc_fail "no moving picture"

command -deactivate || ptc_fail "could not deactivate"
for _ in $(seq 100); do
    running || break
    sleep 0.1
done
running && ptc_fail "the program still runs after the deactivation"
echo "shown while active, ended on deactivation"
