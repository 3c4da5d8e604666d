#!/usr/bin/env bash
# Starts the screensaver full screen inside the virtual desktop, waits for its picture, presses a
# key (or, with "close", sends its window WM_CLOSE; with "both", each in turn) and waits for it
# to end, RUNS times, as a person trying it over and over would.
#   repeat_fullscreen.sh RUNS KELMOR.EXE PICTURE_DIR OUTPUT_DIR [key | close | both]
# Every wait is bounded. A run that does not end gets a back trace of each of its threads
# (OUTPUT_DIR/hang-N.txt) and is killed. After each run the desktop must be back in its own
# 640x480 mode. Prints a line per failed run and a summary; fails unless every run ended with
# status 0 and left the desktop's mode as it was.
set -u
runs=$1
program=$2
pictures=$3
out=$4
ending=${5:-key}
wintool=$(dirname "$program")/wintool.exe
mkdir -p "$out"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
# A hung run costs the session (below): only a caller that owns it may have that done.
ptc_claim_session 3600 || exit 1
ptc_wine_env || exit 1
cp "$pictures/kelmor1.tga" "$pictures/kelmor2.tga" "$WINEPREFIX/drive_c/windows/"

brightness() { convert "$1" -colorspace Gray -format '%[fx:mean]' info: 2>/dev/null || echo 0; }
differ() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1)" != 0 ]; }

# The program's threads, with its own frames given file and line (mingw-w64 puts the image
# at 0x140000000).
backtraces() {
    timeout 120 winedbg --command "bt all" 2>&1 |
        awk '/^Backtracing for thread/ { keep = /kelmor/ } keep' |
        while IFS= read -r line; do
            case "$line" in
            *"in kelmor (+0x"*)
                offset=${line##*(+}
                offset=${offset%%)*}
                where=$(x86_64-w64-mingw32-addr2line -f -C -e "$program" \
                    "$(printf '%#x' $((0x140000000 + offset)))" 2>/dev/null | tr '\n' ' ')
                echo "$line  $where"
                ;;
            *) echo "$line" ;;
            esac
        done
}

ok=0 signalled=0 hung=0 failed=0 nopicture=0 wrongmode=0 closed=0
begin=$SECONDS
for run in $(seq "$runs"); do
    wine "$program" >"$out/run-$run.stdout" 2>"$out/run-$run.stderr" &
    pid=$!
    # The picture is up when the program's window exists and two screenshots differ (the
    # desktop's own background is still).
    shown=0 id=
    for _ in $(seq 60); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.3
        id=$(xdotool search --name "Kelmor screensaver" 2>/dev/null | head -n 1)
        [ -n "$id" ] || continue
        ptc_screenshot "$out/shot-1.png" 2>/dev/null || continue
        sleep 0.2
        ptc_screenshot "$out/shot-2.png" 2>/dev/null || continue
        differ "$out/shot-1.png" "$out/shot-2.png" || continue
        awk "BEGIN { exit !($(brightness "$out/shot-2.png") > 0.005) }" && { shown=1; break; }
    done
    [ "$shown" -eq 1 ] || nopicture=$((nopicture + 1))
    how=$ending
    [ "$ending" = both ] && { [ $((run % 2)) -eq 0 ] && how=close || how=key; }
    [ "$how" = close ] && closed=$((closed + 1))
    if [ "$how" = close ]; then
        wine "$wintool" close "Kelmor screensaver" 5000 >/dev/null 2>&1
    elif [ -n "$id" ]; then
        # One key, into the program's X window inside the desktop's.
        xdotool windowfocus --sync "$id" key space 2>/dev/null || xdotool key space
    fi
    ended=0
    for _ in $(seq 200); do
        kill -0 "$pid" 2>/dev/null || { ended=1; break; }
        sleep 0.1
    done
    if [ "$ended" -eq 0 ]; then
        hung=$((hung + 1))
        backtraces >"$out/hang-$run.txt" 2>&1
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        echo "run $run: still running 20 s after the $how (picture $shown): $out/hang-$run.txt"
        # A fresh session for the next run.
        wineserver -k 2>/dev/null
        ptc_wine_env
        continue
    fi
    wait "$pid"
    status=$?
    mode=$(wine "$wintool" mode 2>/dev/null | tr -d '\r')
    if [ "$mode" != 640x480 ]; then
        wrongmode=$((wrongmode + 1))
        echo "run $run: desktop left at ${mode:-an unknown mode} after the $how"
    fi
    if [ "$status" -eq 0 ]; then
        ok=$((ok + 1))
    elif [ "$status" -gt 128 ]; then
        signalled=$((signalled + 1))
        echo "run $run: killed by signal $((status - 128)) (picture $shown)"
    else
        failed=$((failed + 1))
        echo "run $run: status $status (picture $shown)"
    fi
done
echo "$runs runs ($closed ended by WM_CLOSE, $((runs - closed)) by a key) in" \
    "$((SECONDS - begin)) s: $ok ended with status 0, $signalled killed by a signal, $hung hung," \
    "$failed other status; $nopicture showed no picture within 20 s; $wrongmode left the" \
    "desktop in another mode"
[ "$ok" -eq "$runs" ] && [ "$nopicture" -eq 0 ] && [ "$wrongmode" -eq 0 ]
