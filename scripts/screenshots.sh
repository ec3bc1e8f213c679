#!/usr/bin/env bash
# Makes the user guide's screenshots (docs/images/) from the demo program, on a virtual display
# and in a Wine prefix of their own, so that they can be made again whenever the program changes.
# Each picture is taken of the one window it shows (the display has no window manager, so a
# window is its client area, without a title bar):
#   password-prompt.png     "ユーザー認証" for a key pad with a password, at its connection;
#   soft-keyboard.png       the soft keyboard of the paged key pad, with the demo's pictures and
#                           captions;
#   soft-keyboard-menu.png  its menu icon's dialog "ルミナキーボードメニュー" with "設定禁止";
#   info-icon.png           the info icon the hide icon leaves;
#   tray-menu.png           the notification-area icon's menu;
#   key-pad-selection.png   "ルミナキーボード選択" with three key pads attached;
#   key-code-settings.png   "キーコード設定" with key 5 selected;
#   extended-settings.png   "拡張設定";
#   key-input.png           "キー入力" after Ctrl+C and Shift+A were pressed;
#   padctl-console.png      qv-padctl list and backup in a console (their real output, over
#                           emulated key pads, drawn as the console shows it).
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
cmake --build build/windows --target qv-padconf-demo qv-padctl-emu >/dev/null || exit 1

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

# Waits for a visible window whose title matches and prints its id; nothing after 30 s.
window() {
  local id
  for _ in $(seq 1 60); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.5
  done
  echo "!! no window \"$1\"" >&2
  return 1
}
# The visible windows, for finding the one a click opened (menus have no title).
windows() { xdotool search --onlyvisible --name "" 2>/dev/null | sort; }
new_window() {  # windows before: the first window that is new and larger than 1x1
  local id
  for _ in $(seq 1 20); do
    for id in $(comm -13 <(echo "$1") <(windows)); do
      xdotool getwindowgeometry "$id" | grep -q 'Geometry: 1x1' || { echo "$id"; return 0; }
    done
    sleep 0.5
  done
  return 1
}
shot() {  # window id, picture name
  import -window "$1" "$images/$2" && echo "== $images/$2"
}
click() {  # window id, x, y (in the window)
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 1.5
}

# The demo with three key pads: the paged one with the demo's pictures and captions, one with
# the extended settings, and one with a password (its prompt opens at the connection).
QV_DEMO_NOTEPAD=0 QV_DEMO_KEYPADS=1225/0100/123/,1227/0200/456/,1224/0100/45678/1234 \
  scripts/run.sh >"$work/run.txt" 2>&1 &
demo_pid=$!

prompt=$(window "ユーザー認証") || exit 1
sleep 1
shot "$prompt" password-prompt.png
click "$prompt" 150 98
xdotool type --delay 50 1234
xdotool key Return

# The paged key pad's soft keyboard, with the other one moved aside.
keyboard=$(window "(01001225)") || exit 1
other=$(window "(01001224)") && xdotool windowmove "$other" 300 700
sleep 3
shot "$keyboard" soft-keyboard.png
# Its header icons, from the right: close, hide, menu.
click "$keyboard" 179 29
menu_dialog=$(window "ルミナキーボードメニュー") && shot "$menu_dialog" soft-keyboard-menu.png
xdotool key --window "$menu_dialog" Escape
sleep 1
before=$(windows)
click "$keyboard" 227 29
icon=$(new_window "$before") && sleep 2 && shot "$icon" info-icon.png
click "$icon" 24 24

# The notification-area icon: Wine shows the tray as a small window of its own when no desktop
# provides one, moved into the screen so that its menu has room. A right click opens the menu.
tray=$(window "Wine System Tray") || exit 1
xdotool windowmove "$tray" 640 600
sleep 1
before=$(windows)
xdotool mousemove 650 610 click 3
sleep 1
# The first new window is the menu (a tooltip may follow it).
tray_menu=$(new_window "$before") && shot "$tray_menu" tray-menu.png
# "キーコード設定", the menu's third line.
click "$tray_menu" 60 48

selection=$(window "ルミナキーボード選択") || exit 1
click "$selection" 150 95
xdotool key Down Return
sleep 1
shot "$selection" key-pad-selection.png
click "$selection" 190 143

settings=$(window "キーコード設定") || exit 1
sleep 1
click "$settings" 380 44  # key 5
shot "$settings" key-code-settings.png
click "$settings" 65 327  # "拡張設定..."
extended=$(window "拡張設定") && shot "$extended" extended-settings.png
click "$extended" 259 176  # "中止"
click "$settings" 415 301  # "キー入力"
input=$(window "キー入力") || exit 1
xdotool mousemove --window "$input" 100 150
xdotool key ctrl+c
sleep 0.5
xdotool key shift+a
sleep 1.5
shot "$input" key-input.png
click "$input" 340 284  # "中止"
click "$settings" 578 351  # "設定取消"

QV_WINEPREFIX="$work/prefix" scripts/run.sh --close >/dev/null 2>&1
sleep 2
wineserver -k 2>/dev/null

# qv-padctl in a console: its real output over emulated key pads, drawn in the console's colours
# and font (a label takes "\\" for a backslash).
pads=1227/0200/456/,1224/0100/45678/
{
  echo 'C:\Users\user> qv-padctl list'
  QV_DEMO_KEYPADS=$pads qv_wine build/windows/qv-padctl-emu.exe list 2>&1
  echo
  echo 'C:\Users\user> qv-padctl backup C:\pads'
  QV_DEMO_KEYPADS=$pads qv_wine build/windows/qv-padctl-emu.exe backup 'C:\pads' 2>&1
  echo
  echo 'C:\Users\user>'
} | tr -d '\r' >"$work/console.txt"
convert -background '#0C0C0C' -fill '#CCCCCC' -font IPAGothic -pointsize 15 \
  label:"$(sed 's/\\/\\\\/g' "$work/console.txt")" -bordercolor '#0C0C0C' -border 10 "$images/padctl-console.png" &&
  echo "== $images/padctl-console.png"
