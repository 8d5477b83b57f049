# Sourced after tools/deps.sh: the 32-bit Windows cross build and Wine to run it.

# The MinGW-w64 cross compiler and a 32-bit Wine, when absent.
lx_install_win32() {
    lx_install g++-mingw-w64-i686
    # Without wine32 a 32-bit program does nothing and exits 0: check for its loader.
    [ -x /usr/lib/wine/wine ] && return 0
    echo "installing: wine32:i386" >&2
    dpkg --add-architecture i386
    # The mirror may fail the -security i386 index; the bookworm one is enough.
    apt-get update -qq || true
    # Where the mirror serves both architectures' indexes, a plain install
    # finds matching versions (pinning to bookworm would then split amd64
    # libraries upgraded from -security from their i386 twins).
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        wine wine64 wine32:i386 && return 0
    # Otherwise Multi-Arch:same libraries need one version on both architectures:
    # take the point-release versions and pin amd64 libraries upgraded from
    # -security back.
    echo "installing wine32:i386 again, at the point-release versions" >&2
    # shellcheck disable=SC2046
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -t bookworm \
        --no-remove --allow-downgrades wine wine64 wine32:i386 \
        $(tools/align-i386-versions.sh wine32:i386)
}

# A headless win32 prefix in $1 with a server and its services already up:
# started inside ctest they would hold its pipes open and hang it.
lx_wine_start() {
    unset DISPLAY
    export WINEDEBUG=-all WINEARCH=win32 WINEPREFIX="$1" WINEDLLOVERRIDES="mscoree,mshtml="
    wineserver -k 2>/dev/null || true
    wineboot -i >/dev/null 2>&1
    wineserver -w
    wineserver -p
    wine cmd /c exit
}

lx_wine_stop() { wineserver -k 2>/dev/null || true; }
