# Shared by scripts/run and scripts/test: installing what is missing, the Wine prefix,
# and a headless X server. Sourced, not run.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/mingw"
# wixl builds the MSI; python3 names its product code and writes the package manifests.
PACKAGES="cmake ninja-build g++-mingw-w64-x86-64-posix wine wine64 xvfb googletest x11-apps netpbm locales wixl python3"

say() { printf '== %s\n' "$*"; }

install_missing() {
    local missing=()
    for package in $PACKAGES; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq </dev/null >/dev/null
    $sudo apt-get install -y -qq "${missing[@]}" </dev/null >/dev/null
}

build() {
    say "building"
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw
}

# A private Wine prefix inside the build tree, created once (about ten seconds).
prepare_prefix() {
    export WINEPREFIX="$BUILD/wineprefix"
    export WINEDEBUG=-all
    # No menu entries or file associations for what the installer tests install.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export WINEARCH=win64
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "creating the Wine prefix"
        wineboot -i >/dev/null 2>&1 </dev/null
        wineserver -w
    fi
    # Settings of the prefix, applied again when this list changes.
    local settings="$WINEPREFIX/zephyrine-settings-4"
    [ -f "$settings" ] && return 0
    # Without a window manager Wine otherwise waits about 2 s on every window close.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # A crashing program ends at once with its exception code, so its test fails fast.
    # Wine asks with a message box when Auto is 0, and its default debugger (winedbg,
    # used when no Debugger is named) shows a crash dialog and can end the program with
    # code 0: an empty Debugger starts nothing and asks nothing.
    local aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
    wine reg add "$aedebug" /v Auto /d 1 /f >/dev/null 2>&1
    wine reg add "$aedebug" /v Debugger /d "" /f >/dev/null 2>&1
    wineserver -w
    touch "$settings"
}

# The Korean user-interface test runs Wine under LANG=ko_KR.UTF-8.
prepare_korean_locale() {
    [ -d "$BUILD/locales/ko_KR.UTF-8" ] && return 0
    mkdir -p "$BUILD/locales"
    localedef -i ko_KR -f UTF-8 "$BUILD/locales/ko_KR.UTF-8" >/dev/null 2>&1 || true
    [ -d "$BUILD/locales/ko_KR.UTF-8" ]
}

XVFB_PID=""
start_xvfb() {
    local display=90
    while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$display"
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$display" ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start" >&2
    return 1
}

WINESERVER_STARTED=""
start_wineserver() {
    wineserver -p && WINESERVER_STARTED=1
    # Wine's background services start with the first program; let them start here, so
    # they do not hold the output pipe of a test open after the test has ended.
    wine cmd /c exit >/dev/null 2>&1 </dev/null
}

stop_everything() {
    [ -n "$WINESERVER_STARTED" ] && wineserver -k 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    return 0
}
