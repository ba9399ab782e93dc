#!/usr/bin/env bash
# Starts or stops the Wine session the Windows tests run in.
# Usage: wine_session.sh start|stop   (WINEPREFIX names the prefix; it is made on first start)
# start: a persistent wineserver, the prefix brought up to date by wineboot with Wine's fonts,
# and relay tracing limited to the two message-box calls, which the tests read the boxes'
# texts from. Without a running server every Wine program would wait seconds for its own to
# start and stop.
# Standard input and output are cut off from Wine's services, which outlive this script and
# would otherwise hold the caller's pipes open.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=${WINE:-/usr/lib/wine/wine64}
# Debian's wine64 keeps its server beside the loader and puts no wineserver on the PATH.
wineserver=${WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver64)}
# Runs a Wine command with its output in a file, once more if it fails (a fresh prefix's first
# commands have been seen to fail once under load); a second failure shows that output.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
twice() {
    "$@" </dev/null >"$log" 2>&1 && return 0
    sleep 2
    "$@" </dev/null >"$log" 2>&1 && return 0
    echo "wine_session.sh: failed twice: $*" >&2
    cat "$log" >&2
    return 1
}
case "${1:-}" in
    start)
        mkdir -p "$WINEPREFIX"
        # A server already running for this prefix serves as well.
        "$wineserver" -p </dev/null >/dev/null 2>&1 || true
        twice "$wine" wineboot -i
        # Wine's own fonts (Tahoma for message boxes, Marlett for the caption buttons): this
        # Wine does not look for them where Debian's fonts-wine puts them, only in the
        # prefix's Fonts folder, and without them the dialogs are drawn with stand-ins.
        if [ -d /usr/share/wine/fonts ]; then
            cp -u /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
        fi
        twice "$wine" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
            /d 'user32.MessageBoxA;user32.MessageBoxW' /f
        ;;
    stop)
        "$wineserver" -k </dev/null >/dev/null 2>&1 || true
        ;;
    *)
        echo "usage: wine_session.sh start|stop" >&2
        exit 2
        ;;
esac
