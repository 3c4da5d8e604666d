# What the scripts and the tests share: packages, a private X server, a prepared Wine prefix,
# screenshots, installing the library and building against it, and driving the program's windows
# with honest exit statuses.
# Source it; then call ptc_wine_env before running Windows programs.

ptc_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# ptc_fail MESSAGE...: says why the test failed and ends it with status 1 (its EXIT trap runs).
ptc_fail() {
    echo "FAIL: $*"
    exit 1
}

# ptc_output_dir DIR: makes the folder a test writes its logs into and prints its full path.
ptc_output_dir() {
    mkdir -p "$1" && realpath "$1"
}

# ptc_install_into BUILD_DIR PREFIX LOG: the build's `cmake --install` into PREFIX; a failure
# ends the test with the log's last lines.
ptc_install_into() {
    cmake --install "$1" --prefix "$2" >"$3" 2>&1 || ptc_fail "install: $(tail -n 5 "$3")"
}

# ptc_build_against PREFIX SOURCE_DIR BINARY_DIR LOG [CMAKE ARGUMENTS...]: configures and builds
# a program against the library installed in PREFIX alone (no package registry; warnings, also
# those in the headers it includes, are errors) and checks that find_package found it there.
ptc_build_against() {
    local prefix=$1 source=$2 binary=$3 log=$4 name found
    shift 4
    name=$(basename "$source")
    cmake -S "$source" -B "$binary" -G Ninja -D CMAKE_BUILD_TYPE=Release \
        -D CMAKE_PREFIX_PATH="$prefix" -D CMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
        -D CMAKE_CXX_FLAGS="-Wall -Wextra -Werror" "$@" >"$log" 2>&1 &&
        cmake --build "$binary" >>"$log" 2>&1 || ptc_fail "$name does not build: $(tail -n 20 "$log")"
    found=$(grep '^ptc_DIR:' "$binary/CMakeCache.txt" | cut -d= -f2)
    [ "$found" = "$prefix/lib/cmake/ptc" ] || ptc_fail "$name found ptc in $found, not in the prefix"
}

# ptc_pixel PNG X Y: that pixel of a screenshot as "R,G,B".
ptc_pixel() {
    convert "$1" -crop "1x1+$2+$3" +repage -depth 8 \
        -format '%[fx:round(255*r)],%[fx:round(255*g)],%[fx:round(255*b)]' info:
}

# Installs the Debian packages of the list that are missing (apt-get; sudo when not root).
ptc_install_packages() {
    local p missing=""
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "installing:$missing"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get update -q
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
}

# ptc_start_xvfb [DEPTH [WIDTHxHEIGHT]]: starts a private X server and exports DISPLAY and
# PTC_XVFB_PID. Without arguments a DISPLAY that already answers is kept. The server picks a free
# display number itself (-displayfd), so two runs starting at once never share one.
ptc_start_xvfb() {
    if [ $# -eq 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    local depth=${1:-24} size=${2:-1024x768} number i
    number=$(mktemp)
    # -noreset: a server resets when its last client leaves and refuses the next one meanwhile.
    Xvfb -displayfd 3 -screen 0 "${size}x${depth}" -nolisten tcp -noreset 3>"$number" \
        >/dev/null 2>&1 &
    PTC_XVFB_PID=$!
    for i in $(seq 100); do
        if [ -s "$number" ]; then
            export DISPLAY=":$(tr -d '\n' <"$number")"
            rm -f "$number"
            return 0
        fi
        kill -0 "$PTC_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$number"
    kill "$PTC_XVFB_PID" 2>/dev/null
    echo "could not start a ${depth}-bit Xvfb" >&2
    return 1
}

# The Wine settings of a run: the prefix (WINEPREFIX when set; else build/wineprefix, or
# build/wineprefix-plain with PTC_WINE_DESKTOP=0), 64-bit, no .NET or Gecko installer. Wine's
# error channel stays on, so a failure inside Wine's own start-up names itself instead of ending
# the program silently; only its fixme notes (what Wine does not implement, hundreds a run and
# never a failure by themselves) are off.
ptc_use_prefix() {
    if [ "${PTC_WINE_DESKTOP:-1}" = 0 ]; then
        export WINEPREFIX=${WINEPREFIX:-$ptc_repo/build/wineprefix-plain}
    else
        export WINEPREFIX=${WINEPREFIX:-$ptc_repo/build/wineprefix}
    fi
    export WINEARCH=win64
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
    export WINEDEBUG=${WINEDEBUG:-err+all,fixme-all}
}

# A 64-bit prefix whose programs run inside a 640x480 virtual desktop (where DirectDraw can
# change modes), with crash dialogs off so a crash ends the program instead of hanging it.
# With PTC_WINE_DESKTOP=0 the prefix has no virtual desktop: windows go straight to the X display
# and DirectDraw cannot change modes.
ptc_prepare_prefix() {
    ptc_use_prefix
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

# ptc_claim_session [SECONDS]: makes this script the owner of the Wine session of its prefix (the
# prefix's wineserver and every program in it), the only one that may end it. A second script
# for the same prefix waits up to SECONDS (600) for the first to end, says whom it waits for,
# and gives up with status 1. Within a run that owns this prefix's session already (scripts and
# tests it starts: PTC_SESSION_PREFIX names the prefix) there is nothing to claim: they use the
# session and leave it alone.
ptc_claim_session() {
    ptc_use_prefix
    [ "${PTC_SESSION_PREFIX:-}" = "$WINEPREFIX" ] && return 0
    local limit=${1:-600} lock=$WINEPREFIX.session waited=0 holder
    mkdir -p "$(dirname "$WINEPREFIX")"
    until mkdir "$lock" 2>/dev/null; do
        holder=$(cat "$lock/pid" 2>/dev/null || true) # none yet while its owner writes it
        # An owner killed before it could let go leaves its lock behind.
        if [ -n "$holder" ] && ! kill -0 "$holder" 2>/dev/null; then
            rm -rf "$lock"
            continue
        fi
        if [ "$waited" -ge "$limit" ]; then
            echo "gave up after $limit s: process ${holder:-?} still owns the Wine session of" \
                "$WINEPREFIX" >&2
            return 1
        fi
        [ "$waited" -eq 0 ] &&
            echo "waiting for process ${holder:-?} to end its Wine session of $WINEPREFIX" >&2
        sleep 1
        waited=$((waited + 1))
    done
    echo $$ >"$lock/pid"
    ptc_session_lock=$lock
    ptc_session_prefix=$WINEPREFIX
    export PTC_SESSION_PREFIX=$WINEPREFIX
}

# Ends the Wine session this script claimed and the X server it started, if any; never a session
# another script owns.
ptc_end_session() {
    if [ -n "${ptc_session_lock:-}" ]; then
        WINEPREFIX=$ptc_session_prefix wineserver -k 2>/dev/null || true
        WINEPREFIX=$ptc_session_prefix wineserver -w 2>/dev/null || true
        rm -rf "$ptc_session_lock"
        ptc_session_lock=
    fi
    [ -n "${PTC_XVFB_PID:-}" ] && kill "$PTC_XVFB_PID" 2>/dev/null
    return 0
}

# A private display and a Wine session of the script's own for a whole run, ended when the
# calling script exits. Never the user's screen.
ptc_private_session() {
    unset DISPLAY
    trap ptc_end_session EXIT
    ptc_start_xvfb || return 1
    ptc_claim_session "${1:-600}" || return 1
    ptc_wine_env
}

ptc_screenshot() {
    import -display "$DISPLAY" -window root "$1"
}

# ptc_expect_moving PID SHOT_PREFIX: the screen shows a picture that moves while PID runs. A busy
# machine can take seconds to map the window or change the mode, so the first lit screen is
# waited for (up to 30 s), then a second shot a second later must differ. Prints the brightness;
# 1 with the reason on standard output otherwise.
ptc_expect_moving() {
    local pid=$1 first=$2-1.png second=$2-2.png mean=0 waited
    for waited in $(seq 30); do
        sleep 1
        kill -0 "$pid" 2>/dev/null || { echo "ended early"; return 1; }
        ptc_screenshot "$first" || { echo "no screenshot"; return 1; }
        mean=$(convert "$first" -colorspace Gray -format '%[fx:mean]' info:)
        awk "BEGIN { exit !($mean > 0.01) }" && break
    done
    echo "brightness $mean after $waited s"
    awk "BEGIN { exit !($mean > 0.01) }" || { echo "the screen is still black"; return 1; }
    sleep 1
    ptc_screenshot "$second" || { echo "no screenshot"; return 1; }
    [ "$(compare -metric AE "$first" "$second" null: 2>&1 | cut -d' ' -f1)" != 0 ] ||
        { echo "two screenshots a second apart are the same"; return 1; }
}

# ptc_press_key NAME...: presses space in the first X window with one of these names (inside a
# virtual desktop the program's windows are within "Wine desktop"). 1 when there is none.
ptc_press_key() {
    local name id=""
    for name in "$@"; do
        id=$(xdotool search --name "$name" 2>/dev/null | head -n 1)
        [ -n "$id" ] && break
    done
    [ -n "$id" ] || return 1
    xdotool windowfocus --sync "$id" key space 2>/dev/null || xdotool key space
}

# ptc_wine_text PROGRAM ARGS...: runs a Windows program and prints what it wrote without the
# carriage returns; the status is the program's.
ptc_wine_text() {
    local text status=0
    text=$(wine "$@") || status=$?
    printf '%s\n' "${text//$'\r'/}"
    return "$status"
}

# ptc_dismiss_box WINTOOL TITLE TIMEOUT_MS: answers the message box with that title and prints
# its text; 1 when no box came.
ptc_dismiss_box() {
    ptc_wine_text "$1" dismiss "$2" "$3"
}

# ptc_zip_package FOLDER ZIP: a new zip file of the package folder's files, without the folder.
ptc_zip_package() {
    rm -f "$2"
    zip -q -j -X "$2" "$1"/*
}

# ptc_wait_exit PID SECONDS: waits for the process to end and returns its status; 124 when it
# is still running after that long.
ptc_wait_exit() {
    local i
    for i in $(seq $(($2 * 10))); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$1" 2>/dev/null && return 124
    wait "$1"
}
