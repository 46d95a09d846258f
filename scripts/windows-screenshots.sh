#!/usr/bin/env bash
# Takes a picture of each page of the Win32 window for docs/images/: tapcheck.exe from the Windows
# build (build-win/, or $BUILD_DIR) runs on the simulated board under wine's virtual desktop on an
# Xvfb screen of its own, and xdotool clicks each page's tab. Needs the Windows build first
# (scripts/windows-build.sh). Writes docs/images/windows-page-N.png.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${BUILD_DIR:-$here/build-win}"
program="$build_dir/src/win/tapcheck.exe"
[ -f "$program" ] || { echo "windows-screenshots: build $program first" >&2; exit 1; }
"$here/scripts/install-packages.sh" windows-screenshots xvfb xdotool imagemagick wine wine64

# A prefix of its own: the build's prefix uses the null graphics driver.
export WINEPREFIX="$build_dir/wineprefix-shots" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 720x580x24 >/dev/null 2>&1 &
xvfb=$!
work="$(mktemp -d)"
cleanup() {
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY="$display"
[ -f "$WINEPREFIX/system.reg" ] || timeout 300 wineboot -i >/dev/null 2>&1 || true
cp "$build_dir/sim/fl4_trap.bin" "$work/"
(cd "$work" && timeout 120 wine explorer /desktop=shots,720x580 "$program" --simulate >/dev/null 2>&1 &)
# The window appears once the start-up measurement is done.
for _ in $(seq 60); do
  xdotool search --name '^Tapster$' >/dev/null 2>&1 && break
  sleep 1
done
sleep 3
mkdir -p "$here/docs/images"
# Positions on the virtual desktop, where the window sits at its top left corner: "Check" first,
# so the log shows a hardware check, then each page's tab.
xdotool mousemove 638 86 click 1
sleep 8
tabs=(60 177 283 368)
for page in 0 1 2 3; do
  xdotool mousemove "${tabs[$page]}" 56 click 1
  sleep 2
  import -display "$display" -window root -crop 700x539+0+0 +repage \
    "$here/docs/images/windows-page-$((page + 1)).png"
done
echo "windows-screenshots: docs/images/windows-page-{1..4}.png"
