#!/usr/bin/env bash
# Makes (setup) or stops (cleanup) the private Wine prefix of one test run: headless, null graphics driver.
set -eu
action=$1
prefix=$2
loader=${3:-wine}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
export WINELOADER=$loader

case $action in
  setup)
    wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
    mkdir -p "$prefix"
    "$loader" wineboot -i >/dev/null 2>&1
    "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    echo "wine prefix ready: $prefix"
    ;;
  cleanup)
    wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 setup|cleanup PREFIX [WINE-LOADER]" >&2
    exit 2
    ;;
esac
