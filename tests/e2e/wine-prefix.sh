#!/usr/bin/env bash
# The throwaway Wine machine of one end-to-end run, or of the demo.
#   wine-prefix.sh setup PREFIX DRIVER RESTART_STAND_IN [--desktop WxH]
#       a fresh 64-bit prefix and its running session: headless (Wine's null
#       display driver), or with --desktop drawn on $DISPLAY in a virtual
#       desktop of that size
#   wine-prefix.sh stop PREFIX
#       ends the session and removes the prefix (ULVEX_E2E_KEEP=1 keeps it)
set -euo pipefail

action=$1
export WINEPREFIX=$2
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installer prompts while the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="

windows=$WINEPREFIX/drive_c/windows

case $action in
setup)
    driver=$3
    stand_in=$4
    desktop=()
    if [ "${5:-}" = --desktop ]; then
        desktop=(--desktop "$6")
    else
        unset DISPLAY WAYLAND_DISPLAY
    fi
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    started=$(date +%s)
    # Wine's background processes keep the output they were started with;
    # none of it may hold a caller's pipes open.
    wineboot --init </dev/null >/dev/null 2>&1
    wineserver -w
    wine "$driver" prepare "${desktop[@]}" </dev/null
    wineserver -w
    # One wineserver and one session for the whole run, detached.
    setsid wineserver -p </dev/null >/dev/null 2>&1
    setsid wine cmd /c exit </dev/null >/dev/null 2>&1
    # Wine answers a restart request by running wineboot, which ends the
    # session and terminates every process with a window, the tool and the
    # driver included. The stand-in does nothing; the request shows in the
    # tool's relay trace. It goes in only now: the session's start needs
    # the real wineboot.
    for folder in system32 syswow64; do
        cp "$windows/$folder/wineboot.exe" "$windows/$folder/wineboot.exe.real"
        cp "$stand_in" "$windows/$folder/wineboot.exe"
    done
    echo "Wine prefix $WINEPREFIX ready in $(($(date +%s) - started)) s"
    ;;
stop)
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    if [ "${ULVEX_E2E_KEEP:-0}" = 1 ]; then
        for folder in system32 syswow64; do
            [ -f "$windows/$folder/wineboot.exe.real" ] &&
                mv "$windows/$folder/wineboot.exe.real" "$windows/$folder/wineboot.exe"
        done
        echo "kept $WINEPREFIX"
    else
        rm -rf "$WINEPREFIX"
    fi
    ;;
*)
    echo "usage: $0 setup PREFIX DRIVER RESTART_STAND_IN [--desktop WxH] | stop PREFIX" >&2
    exit 2
    ;;
esac
