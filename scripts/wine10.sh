# The second Wine: Debian 13's Wine 10 in a root of its own, beside the host's Wine 8.
# Sourced by scripts/test after common.sh, not run.
#
# The root is made once per machine, outside the clone, and reused. The build stays on the
# host: in a private mount namespace the repository is mounted at its own path inside the
# root, so the tests' host paths (source, build, prefix, locales) hold there too, and the
# host's X server socket is mounted in. Wine 10 gets its own prefix and Korean locale,
# mounted over Wine 8's paths in that namespace only; no mount outlives the run.

WINE10_CACHE="${ZEPHYRINE_CACHE:-/var/cache/zephyrine}"
WINE10_ROOT="$WINE10_CACHE/wine10-root"
WINE10_DONE="$WINE10_ROOT/.zephyrine-complete"
WINE10_BUILD="$BUILD/wine10"
WINE10_PACKAGES="wine wine64 locales"

# Runs a command inside the root. Wine 10's wineboot aborts ("free(): invalid pointer")
# when TMPDIR is set.
in_wine10_root() {
    chroot "$WINE10_ROOT" /usr/bin/env -u TMPDIR -C "$PWD" "$@"
}

wine10_root_is_sound() {
    [ -f "$WINE10_DONE" ] || return 1
    unshare -m sh -c 'mount -t proc proc "$1/proc" && chroot "$1" /usr/bin/env -u TMPDIR wine --version' \
        sh "$WINE10_ROOT" 2>/dev/null | grep -q '^wine-10\.'
}

# Any process's mount inside the root, in whatever namespace, keeps it from being removed.
wine10_root_in_use() {
    grep -qsF " $WINE10_ROOT/" /proc/[0-9]*/mountinfo
}

# The mirror apt already uses, from either style of source list.
apt_mirror() {
    {
        sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\/debian\)\/*$/\1/p' /etc/apt/sources.list.d/*.sources
        sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]*\/debian\)\/\?[[:space:]].*/\2/p' \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.list
    } 2>/dev/null | head -n 1 || true
}

make_wine10_root() {
    wine10_root_is_sound && return 0
    if wine10_root_in_use; then
        echo "the Wine 10 root $WINE10_ROOT is broken but still mounted in; not replacing it" >&2
        return 1
    fi
    local mirror
    mirror="$(apt_mirror)"
    [ -n "$mirror" ] || mirror="http://deb.debian.org/debian"
    say "making the Wine 10 root in $WINE10_ROOT from $mirror (once per machine)"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    command -v debootstrap >/dev/null || {
        $sudo apt-get update -qq </dev/null >/dev/null
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq debootstrap </dev/null >/dev/null
    }
    $sudo rm -rf --one-file-system "$WINE10_ROOT"
    $sudo mkdir -p "$WINE10_CACHE"
    # debootstrap and the root's apt mount /proc and the like: in a namespace of their
    # own, those mounts end with them even when they fail.
    $sudo unshare -m env -u TMPDIR DEBIAN_FRONTEND=noninteractive sh -euc '
        root="$1" mirror="$2" packages="$3"
        debootstrap --variant=minbase trixie "$root" "$mirror" >"$root.log" 2>&1 ||
            { tail -n 20 "$root.log" >&2; exit 1; }
        echo "Acquire::Check-Valid-Until \"false\";" >"$root/etc/apt/apt.conf.d/99snapshot"
        cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
        mount -t proc proc "$root/proc"
        mount --rbind /dev "$root/dev"
        # wine64 recommends the i386 wine32, which the 64-bit tests do not need.
        chroot "$root" sh -c "apt-get update -qq && apt-get install -y -qq --no-install-recommends $packages" \
            </dev/null >>"$root.log" 2>&1 || { tail -n 20 "$root.log" >&2; exit 1; }
    ' sh "$WINE10_ROOT" "$mirror" "$WINE10_PACKAGES"
    $sudo touch "$WINE10_DONE"
    wine10_root_is_sound || { echo "the Wine 10 root does not run Wine 10" >&2; return 1; }
}

# Runs a command (ctest) on Wine 10, inside a private mount namespace: called through
# run_on_wine10, which makes the namespace.
inside_wine10_namespace() {
    mount --make-rprivate /
    mkdir -p "$WINE10_BUILD/wineprefix" "$WINE10_BUILD/locales" "$BUILD/wineprefix" "$BUILD/locales"
    mount --bind "$WINE10_BUILD/wineprefix" "$BUILD/wineprefix"
    mount --bind "$WINE10_BUILD/locales" "$BUILD/locales"
    mkdir -p "$WINE10_ROOT$ROOT"
    mount --rbind "$ROOT" "$WINE10_ROOT$ROOT"
    mount -t proc proc "$WINE10_ROOT/proc"
    mount --rbind /dev "$WINE10_ROOT/dev"
    mkdir -p "$WINE10_ROOT/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$WINE10_ROOT/tmp/.X11-unix"
    # scripts/wine-run, CTest's emulator, runs the tests there too.
    export ZEPHYRINE_WINE_ROOT="$WINE10_ROOT"
    wine() { in_wine10_root wine "$@"; }
    wineboot() { in_wine10_root wineboot "$@"; }
    wineserver() { in_wine10_root wineserver "$@"; }
    localedef() { in_wine10_root localedef "$@"; }
    prepare_prefix
    prepare_korean_locale
    start_wineserver
    local status=0
    "$@" || status=$?
    # Wine's services hold the namespace, and so its mounts, while they run.
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    return "$status"
}

run_on_wine10() {
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo -E"
    $sudo unshare -m bash -c 'source "$1/scripts/common.sh"; source "$1/scripts/wine10.sh"; shift
                               inside_wine10_namespace "$@"' bash "$ROOT" "$@"
}
