# Shared by test.sh and run.sh: installs what the build needs, prepares the Wine prefix.
# Sourced, not run.

QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QV_ROOT
QV_PACKAGES="cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine xvfb xauth fonts-ipafont-gothic
  imagemagick x11-apps wixl msitools zip unzip python3-markdown python3-olefile osslsigncode
  openssl xdotool emscripten chromium nodejs"
# npm for the browser tests' puppeteer-core: Debian's nodejs comes without it, NodeSource's with it
# (and then Debian's npm package must not be installed over it).
command -v npm >/dev/null 2>&1 || QV_PACKAGES="$QV_PACKAGES npm"

qv_install_packages() {
  local missing=() p
  for p in $QV_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The browser editor's tree (build/web): the core and the emulator compiled to WebAssembly with
# Debian's Emscripten, and the site put together in build/web/site. Debian's emcc runs its
# JavaScript tools with node, which finds Debian's acorn through NODE_PATH.
qv_build_web() {
  export NODE_PATH="${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs"
  emcmake cmake -S "$QV_ROOT" -B "$QV_ROOT/build/web" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
    cmake --build "$QV_ROOT/build/web" -j "${QV_JOBS:-$(nproc)}"
}

# Wine with a prefix of the project's own under build/ (QV_WINEPREFIX names another one, for a
# script that must not share it with a test run).
export WINEPREFIX="${QV_WINEPREFIX:-$QV_ROOT/build/wineprefix}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export WINEARCH=win64

qv_wine() {
  if [ -x /usr/lib/wine/wine64 ]; then /usr/lib/wine/wine64 "$@"; else wine "$@"; fi
}

# Creates the prefix once, with Japanese font replacements so that Japanese texts render. The
# marker file names the version of the replacements, so that a prefix made before a face was
# added gets the new ones without being made anew.
QV_FONT_VERSION="fonts 2, unmanaged test programs"
qv_prepare_prefix() {
  if [ -f "$WINEPREFIX/.qv-ready" ] && [ "$(cat "$WINEPREFIX/.qv-ready")" = "$QV_FONT_VERSION" ]; then
    return 0
  fi
  if [ ! -f "$WINEPREFIX/.qv-ready" ]; then
    echo "== Preparing the Wine prefix in $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # A prefix that wineboot did not finish (no registry written) is reported with what Wine said
    # and is not marked ready, so that the next run makes it again instead of testing in it.
    # wineboot runs on a display (a virtual one of its own when there is none), as the package
    # test's does; one failed attempt is reported and tried once more in an empty prefix.
    local boot_log="${WINEPREFIX%/}.boot.log" attempt
    for attempt in 1 2; do
      if [ -n "${DISPLAY:-}" ]; then
        qv_wine wineboot -i >"$boot_log" 2>&1
      else
        xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
          "$(declare -f qv_wine); qv_wine wineboot -i; wineserver -w" >"$boot_log" 2>&1
      fi
      wineserver -w 2>/dev/null || true
      [ -f "$WINEPREFIX/system.reg" ] && break
      echo "!! wineboot did not make the prefix (attempt $attempt); what Wine said:"
      tail -n 30 "$boot_log" | sed 's/^/   /'
      [ "$attempt" -eq 2 ] && return 1
      rm -rf "$WINEPREFIX"
      mkdir -p "$WINEPREFIX"
    done
  else
    # An earlier prefix may have had qv-padconf.exe among the unmanaged test programs.
    qv_wine reg delete 'HKCU\Software\Wine\AppDefaults\qv-padconf.exe' /f >/dev/null 2>&1 || true
  fi
  local face
  for face in "メイリオ" "Meiryo" "Meiryo UI" "MS UI Gothic" "MS Shell Dlg" "MS Shell Dlg 2"; do
    qv_wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d IPAGothic /f \
      >/dev/null 2>&1 || true
  done
  # "Book Antiqua" is the page tabs' face. Windows falls back to a Japanese face for the Japanese
  # characters of a page caption; Wine has no such fallback, so the face is replaced by one that
  # has both.
  for face in "MS Pゴシック" "ＭＳ Ｐゴシック" "Book Antiqua"; do
    qv_wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d IPAPGothic /f \
      >/dev/null 2>&1 || true
  done
  # The test programs' windows are not handed to a window manager: the tests' display has none,
  # and Wine would wait two seconds for one whenever such a window is hidden or closed. The
  # programs a user starts (qv-padconf.exe, the demo) and win32_tests_managed.exe, the copy for
  # the typing checks, keep the default.
  local program
  for program in win32_tests.exe qv-padctl-emu.exe; do
    qv_wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$program\\X11 Driver" /v Managed /t REG_SZ \
      /d N /f >/dev/null 2>&1 || true
  done
  wineserver -w 2>/dev/null || true
  echo "$QV_FONT_VERSION" >"$WINEPREFIX/.qv-ready"
}
