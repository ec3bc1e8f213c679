#!/usr/bin/env bash
# Makes the user guide's screenshots (docs/images/) from the demo program, on a virtual display
# and in a Wine prefix of their own, so that they can be made again whenever the program changes:
#   soft-keyboards.png  the demo's soft keyboards as they start;
#   tray-menu.png       the notification-area icon's menu.
# Everything it starts (display, Wine, the demo) is ended before it returns.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QV_ROOT"
qv_install_packages || { echo "package installation failed"; exit 1; }

images="$QV_ROOT/docs/images"
work="$QV_ROOT/build/screenshots"
mkdir -p "$images" "$work"
export QV_WINEPREFIX="$work/prefix"
export WINEPREFIX="$QV_WINEPREFIX"

cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQV_BENCH=OFF >/dev/null || exit 1
cmake --build build/windows --target qv-padconf-demo >/dev/null || exit 1

# A display of our own: the first free number from 140 on.
for n in $(seq 140 170); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$n"
demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT
sleep 1
qv_prepare_prefix

# The demo as scripts/run.sh starts it (its pictures and captions, the touch function on), with
# no notepad in front of the keyboards, and one key pad without a password: the paged one with
# the demo's pictures (a password prompt would hold the other keyboards back).
QV_DEMO_NOTEPAD=0 QV_DEMO_KEYPADS=1225/0100/123/ scripts/run.sh >"$work/run.txt" 2>&1 &
demo_pid=$!
# The soft keyboards show at the bottom right of the screen once the first scans are over: wait
# until that corner is no longer empty, then a little longer for all of them.
corner() {
  import -window root "$work/screen.png" &&
    convert "$work/screen.png" -gravity SouthEast -crop 330x330+0+0 +repage "$1"
}
for _ in $(seq 1 60); do
  sleep 2
  corner "$work/corner.png" || continue
  [ "$(convert "$work/corner.png" -format '%[fx:mean>0.05]' info:)" = 1 ] && break
done
sleep 4
corner "$images/soft-keyboards.png" && echo "== $images/soft-keyboards.png"


# The notification-area icon: Wine shows the tray as a small window of its own when no desktop
# provides one. A right click on its first icon opens the menu.
tray=$(xdotool search --name "Wine System Tray" 2>/dev/null | head -n1)
if [ -n "$tray" ]; then
  # Moved into the screen, so that the menu (which opens above and to the left of the pointer)
  # has room.
  xdotool windowmove "$tray" 640 600
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  xdotool mousemove $((X + 10)) $((Y + 10)) click 3
  sleep 2
  import -window root "$work/menu.png"
  # The menu opens above and to the left of the pointer.
  left=$((X - 300 < 0 ? 0 : X - 300))
  top=$((Y - 330 < 0 ? 0 : Y - 330))
  convert "$work/menu.png" -crop "340x360+$left+$top" +repage "$images/tray-menu.png" &&
    echo "== $images/tray-menu.png"
  xdotool key Escape
else
  echo "!! no tray window found: tray-menu.png not made"
fi

QV_WINEPREFIX="$work/prefix" scripts/run.sh --close >/dev/null 2>&1
