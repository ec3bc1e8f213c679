#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and starts it under Wine: on the current
# display when DISPLAY is set, else on a virtual display of its own. It starts the demo program
# (the same program over emulated key pads, with a panel to attach and detach them), since this
# machine has no key pad; --real starts qv-padconf.exe itself on the system's HID devices.
#
#   scripts/run.sh                      start the demo (ends with Ctrl+C or --close)
#   scripts/run.sh --real               start qv-padconf.exe instead
#   QV_DEMO_KEYPADS=1227/0100/123/,074f/a100/45678/secret scripts/run.sh
#                                       start the demo with other key pads (PID/VERSION/SERIAL/PASSWORD)
#   scripts/run.sh --screenshot F.png   also write a picture of the screen to F.png after a few
#                                       seconds (--after N sets the seconds)
#   scripts/run.sh --close              close the running program (as "qv-padconf.exe /CLOSE")
#   QV_DEMO_NOTEPAD=0 scripts/run.sh    start the demo without Wine's notepad beside it
#   scripts/run.sh --web [--port N]     build the browser editor and serve it on localhost (port
#                                       8080 unless given); add ?demo to the address for the
#                                       emulated key pads (QV_DEMO_KEYPADS chooses them)
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QV_ROOT"

screenshot=""
after=6
close=0
web=0
port=8080
program="build/windows/qv-padconf-demo.exe"
target=qv-padconf-demo
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) screenshot=$(realpath -m "$2"); shift 2 ;;
    --after) after=$2; shift 2 ;;
    --close) close=1; shift ;;
    --web) web=1; shift ;;
    --port) port=$2; shift 2 ;;
    --real) program="build/windows/qv-padconf.exe"; target=qv-padconf; shift ;;
    -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
    *) echo "unknown option: $1"; exit 2 ;;
  esac
done

qv_install_packages || { echo "package installation failed"; exit 1; }

# The browser editor: only on this machine (127.0.0.1), where a browser counts the page as a secure
# context, which WebHID needs.
if [ "$web" = 1 ]; then
  echo "== Building the browser editor"
  mkdir -p build
  qv_build_web >build/web-build.txt 2>&1 ||
    { tail -n 40 build/web-build.txt; echo "the web build failed"; exit 1; }
  demo_query="?demo"
  [ -n "${QV_DEMO_KEYPADS:-}" ] && demo_query="?demo=$QV_DEMO_KEYPADS"
  echo "== The browser editor is served at http://localhost:$port/"
  echo "   With the emulated key pads: http://localhost:$port/$demo_query"
  echo "   End it with Ctrl+C."
  exec python3 -m http.server --bind 127.0.0.1 --directory build/web/site "$port"
fi

if [ "$close" = 1 ]; then
  [ -x "$program" ] || { echo "nothing built yet"; exit 0; }
  qv_wine "$program" /CLOSE
  exit 0
fi

echo "== Building the Windows program"
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQV_BENCH=OFF >/dev/null || exit 1
cmake --build build/windows --target "$target" || exit 1
qv_prepare_prefix

xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  sleep 1
  echo "== No display was set: using the virtual display $DISPLAY"
fi

echo "== $(basename "$program") runs under Wine on display $DISPLAY."
echo "   End it with Ctrl+C here, or with 'scripts/run.sh --close' from another terminal."
# The demo shows the soft keyboards from the start: the touch function is switched on in the
# demo's own Wine prefix unless it was set before (the tray menu's "タッチ機能有効化" switches it).
if [ "$target" = qv-padconf-demo ] &&
  ! qv_wine reg query 'HKCU\Software\Morvalen\qv-padconf' /v t_enable >/dev/null 2>&1; then
  qv_wine reg add 'HKCU\Software\Morvalen\qv-padconf' /v t_enable /t REG_DWORD /d 1 /f \
    >/dev/null 2>&1 || true
fi
# The demo's first key pad (model 1225, serial 123) starts with a few soft-key pictures and
# captions of the demo's own making, unless its folder exists already (the user's own changes
# are kept).
demo_soft_keys() {
  local folder="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Local/MORVALEN/QV-PADCONF/softkey/1225000123"
  [ -e "$folder" ] && return 0
  mkdir -p "$folder" || return 0
  convert -size 256x256 xc:white -fill '#e04040' -draw 'circle 128,128 128,30' "$folder/001.png" 2>/dev/null
  convert -size 256x256 xc:white -fill '#3070e0' -draw 'polygon 128,24 236,224 20,224' "$folder/002.png" 2>/dev/null
  convert -size 256x256 xc:white -fill '#30a050' -draw 'roundrectangle 36,36 220,220 40,40' "$folder/p02.png" 2>/dev/null
  # Captions: a UTF-16LE profile file with a byte-order mark, as the program writes it.
  { printf '\xff\xfe'
    printf '[softkey]\r\ntext_004=コピー\r\ntext_005=貼り付け\r\ntext_006=Enter\r\ntext_007=ショートカット\r\ntext_p01=文字\r\n' |
      iconv -f UTF-8 -t UTF-16LE; } >"$folder/softkey_text.ini"
}
[ "$target" = qv-padconf-demo ] && demo_soft_keys
# A text window to type into with the soft keys.
if [ "$target" = qv-padconf-demo ] && [ "${QV_DEMO_NOTEPAD:-1}" = 1 ]; then
  qv_wine notepad >/dev/null 2>&1 &
fi
export QV_DEMO_KEYPADS="${QV_DEMO_KEYPADS:-}"
[ -z "$QV_DEMO_KEYPADS" ] && unset QV_DEMO_KEYPADS
qv_wine "$program" &
program_pid=$!

if [ -n "$screenshot" ]; then
  sleep "$after"
  import -window root "$screenshot" && echo "== Screenshot written to $screenshot"
fi
wait "$program_pid"
