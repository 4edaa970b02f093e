#!/usr/bin/env bash
# Takes docs/screenshot.png: setup.exe's waiting window in Wine's desktop under Xvfb (a real display driver, not the null one).
# usage: take_screenshot.sh WINE SETUP.EXE VELTO-PACK OUT.PNG   (needs xvfb-run, xauth and ImageMagick's import)
set -eu
wine=$1
setup=$2
pack=$3
out=$4

work=$(mktemp -d)
trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix WINELOADER=$wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# An archive without an installer: the window stays up, waiting, long enough to be photographed.
mkdir -p "$work/app" "$work/payload"
cp "$setup" "$work/app/setup.exe"
printf 'Velto\r\n' >"$work/payload/readme.txt"
case $pack in
  *.exe) "$wine" "$pack" create "Z:${work//\//\\}\\app\\SETUP.TMP" "Z:${work//\//\\}\\payload\\readme.txt" --no-installer -q ;;
  *) "$pack" create "$work/app/SETUP.TMP" "$work/payload/readme.txt" --no-installer -q ;;
esac

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -eu
  "$0" wineboot -i >/dev/null 2>&1
  # Wine draws the frames itself on its own desktop, the size of the screen.
  "$0" explorer /desktop=velto,1024x768 "$1" >/dev/null 2>&1 &
  sleep 8
  import -window root "$2"
  wineserver -k 2>/dev/null || true
' "$wine" "$work/app/setup.exe" "$out"
echo "screenshot: $out"
