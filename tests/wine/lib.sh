# Shared by the Wine tests and scripts: a private Xvfb, a prepared Wine prefix, screenshots.
# Source it; then call ptc_wine_env before running Windows programs.

ptc_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Starts a private X server unless DISPLAY already names one that answers.
ptc_start_xvfb() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    local n
    for n in $(seq 90 130); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        PTC_XVFB_PID=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 50); do
            xdpyinfo >/dev/null 2>&1 && return 0
            sleep 0.1
        done
        kill "$PTC_XVFB_PID" 2>/dev/null
    done
    echo "could not start Xvfb" >&2
    return 1
}

# A 64-bit prefix whose programs run inside a 640x480 virtual desktop (where DirectDraw can
# change modes), with crash dialogs off so a crash ends the program instead of hanging it.
# With PTC_WINE_DESKTOP=0 the prefix (build/wineprefix-plain) has no virtual desktop: windows go
# straight to the X display and DirectDraw cannot change modes.
ptc_prepare_prefix() {
    if [ "${PTC_WINE_DESKTOP:-1}" = 0 ]; then
        export WINEPREFIX=${WINEPREFIX:-$ptc_repo/build/wineprefix-plain}
    else
        export WINEPREFIX=${WINEPREFIX:-$ptc_repo/build/wineprefix}
    fi
    export WINEARCH=win64
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
    export WINEDEBUG=${WINEDEBUG:--all}
    [ -f "$WINEPREFIX/.ptc-ready" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1
    if [ "${PTC_WINE_DESKTOP:-1}" != 0 ]; then
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x480 /f \
            >/dev/null 2>&1
    fi
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.ptc-ready"
}

# Everything a test run needs; keeps one wineserver alive so each program starts quickly.
ptc_wine_env() {
    ptc_start_xvfb || return 1
    ptc_prepare_prefix || return 1
    wineserver -p 2>/dev/null || true
    # The first program starts Wine's services and the virtual desktop; started here they hold
    # no pipe of a test runner open, which would otherwise wait for them to end.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

ptc_screenshot() {
    import -display "$DISPLAY" -window root "$1"
}
