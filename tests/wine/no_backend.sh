#!/usr/bin/env bash
# Without a usable back end the program shows "could not initialize!" with an error icon in a
# "ptc error" box and, once it is dismissed, exits with status 1.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
program=$1
wintool=$2
ptc_wine_env || exit 1

wine "$program" &
pid=$!
# The status is wintool's, not tr's.
report=$(wine "$wintool" dismiss "ptc error" 30000 | tr -d '\r'; exit "${PIPESTATUS[0]}")
found=$?
# A build whose windowed back end opens gets past this point: it runs the screensaver, or fails
# later on its pictures (e2e.sh covers both), and this case cannot arise there.
if [ "$found" -ne 0 ] && kill -0 "$pid" 2>/dev/null; then
    wine "$wintool" close "Kelmor screensaver" 5000 >/dev/null
    wait "$pid"
    echo "a back end opened a display: no failure to show"
    exit 77
fi
wait "$pid"
status=$?
echo "box: $report"
case "$(printf '%s\n' "$report" | sed -n 1p)" in
"could not process or load kelmor"*)
    echo "a back end opened a display: no failure to show"
    exit 77
    ;;
esac
[ "$found" -eq 0 ] || { echo "no ptc error box appeared"; exit 1; }
[ "$(printf '%s\n' "$report" | sed -n 1p)" = "could not initialize!" ] || { echo "wrong text"; exit 1; }
[ "$(printf '%s\n' "$report" | sed -n 2p)" = "icon" ] || { echo "box shows no error icon"; exit 1; }
[ "$status" -eq 1 ] || { echo "exit status $status, expected 1"; exit 1; }
echo "exit status 1"
