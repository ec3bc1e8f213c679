#!/usr/bin/env bash
# Tests the package the way a user and an administrator meet it, under Wine in a fresh prefix:
#  - a newer build is signed with a throwaway certificate and both signatures verify;
#  - a silent install puts the files, the Start menu entries and the Run value in place;
#  - the installed program starts, finds its shortcut list and ends on "/CLOSE";
#  - a rebuild of the same version installed with a user interface replaces the first (one
#    installed product) and starts the program at once; a silent install starts nothing;
#  - the install folder is on the user's PATH while the command-line feature is installed;
#  - the newer build installs over it and keeps an edited shortcut.ini, the user's registry
#    settings and soft-key files;
#  - a silent uninstall removes the program and its entries and keeps the user's data.
#
#   scripts/package-test.sh [BUILD_DIR]   (default build/windows, whose programs and
#                                          win32_tests.exe must be built)
# Each group of checks ends with a GoogleTest-style line ("[  PASSED  ] 1 tests." or
# "[  FAILED  ] 1 tests, NAME"), which scripts/test.sh counts.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QV_ROOT"

build=${1:-build/windows}
case "$build" in /*) ;; *) build="$QV_ROOT/$build" ;; esac

# The program needs a display: without one, run on a virtual display of our own.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

work="$QV_ROOT/build/package-test"
rm -rf "$work"
mkdir -p "$work"
# A fresh prefix of its own, and no menu entries for the Linux desktop from Wine's msiexec.
export WINEPREFIX="$work/prefix"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

failures=0
group_failed=0
check() {  # description, command...: one check of the current group
  local what=$1
  shift
  if ! "$@" >/dev/null 2>&1; then
    echo "   not so: $what"
    group_failed=1
  fi
}
end_group() {  # name
  if [ "$group_failed" -eq 0 ]; then
    echo "[  PASSED  ] 1 tests. ($1)"
  else
    echo "[  FAILED  ] 1 tests, $1"
    failures=$((failures + 1))
  fi
  group_failed=0
}

version=$(tr -d '[:space:]' <"$build/qv-version.txt")
IFS=. read -r major minor patch <<<"$version"
newer="$major.$minor.$((patch + 1))"

# ---------------------------------------------------------------- the packages and signatures
echo "== Packages $version and $newer (signed)"
# The package of this build goes to dist/, as scripts/package.sh makes it.
scripts/package.sh --reuse "$build" --out "$QV_ROOT/dist" >"$work/package-old.txt" 2>&1 ||
  { cat "$work/package-old.txt"; echo "[  FAILED  ] 1 tests, package"; exit 1; }
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
  -days 2 -subj "/CN=qv-padconf test signer" >/dev/null 2>&1
openssl pkcs12 -export -out "$work/signer.pfx" -inkey "$work/key.pem" -in "$work/cert.pem" \
  -passout pass:throwaway >/dev/null 2>&1
QV_SIGN_PFX="$work/signer.pfx" QV_SIGN_PASSWORD=throwaway \
  scripts/package.sh --reuse "$build" --out "$work/new" --version "$newer" \
  >"$work/package-new.txt" 2>&1 ||
  { cat "$work/package-new.txt"; echo "[  FAILED  ] 1 tests, package"; exit 1; }
old_msi="$QV_ROOT/dist/qv-padconf-$version-x64.msi"
new_msi="$work/new/qv-padconf-$newer-x64.msi"
# The same version built again: a package of its own product code.
scripts/package.sh --reuse "$build" --out "$work/same" >"$work/package-same.txt" 2>&1 ||
  { cat "$work/package-same.txt"; echo "[  FAILED  ] 1 tests, package"; exit 1; }
same_msi="$work/same/qv-padconf-$version-x64.msi"
new_exe="$work/new/stage/qv-padconf-$newer-x64/qv-padconf.exe"
old_exe="$QV_ROOT/dist/stage/qv-padconf-$version-x64/qv-padconf.exe"
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1"; }
unsigned() { ! verify "$1"; }
check "the newer program's signature verifies" verify "$new_exe"
check "the newer MSI's signature verifies" verify "$new_msi"
check "the unsigned program does not verify" unsigned "$old_exe"
check "the zip holds the program and the list" \
  bash -c "unzip -l '$QV_ROOT/dist/qv-padconf-$version-x64.zip' | grep -q 'qv-padconf-$version-x64/shortcut.ini'"
check "the shipped program has no debug information" \
  bash -c "! x86_64-w64-mingw32-objdump -h '$old_exe' | grep -q debug_info"
check "the debug information is kept beside" test -s "$QV_ROOT/dist/debug/qv-padconf.exe.debug"
summary_is_japanese() {
  /usr/bin/python3 - "$1" <<'PY'
import struct, sys, olefile
data = olefile.OleFileIO(sys.argv[1]).openstream("\x05SummaryInformation").read()
section = struct.unpack_from("<I", data, 44)[0]
texts, codepage = [], None
for i in range(struct.unpack_from("<I", data, section + 4)[0]):
    pid, offset = struct.unpack_from("<II", data, section + 8 + 8 * i)
    kind = struct.unpack_from("<I", data, section + offset)[0]
    if pid == 1:
        codepage = struct.unpack_from("<h", data, section + offset + 4)[0]
    elif kind == 30:
        length = struct.unpack_from("<I", data, section + offset + 4)[0]
        texts.append(data[section + offset + 8:section + offset + 8 + length].rstrip(b"\0"))
decoded = [t.decode("cp932") for t in texts]
sys.exit(0 if codepage == 932 and "x64;1041" in decoded and
         any("ルミナキーボード" in t for t in decoded) else 1)
PY
}
check "the MSI's summary information is Japanese (code page 932, 1041)" summary_is_japanese "$old_msi"
icon_frames() { identify res/app.ico | awk '{print $3}' | tr '\n' ' '; }
check "the icon has frames for 100 to 200 % displays" \
  test "$(icon_frames)" = "16x16 20x20 24x24 32x32 40x40 48x48 64x64 256x256 "
end_group "PackageTest.SignedPackagesVerify"

# ---------------------------------------------------------------- install
echo "== Fresh prefix and silent install"
qv_wine wineboot -i >/dev/null 2>&1
# One wineserver for the whole test: every Wine command would otherwise start its own.
wineserver -p
trap 'wineserver -k 2>/dev/null' EXIT
user_dir="$WINEPREFIX/drive_c/users/$(whoami)"
installed="$user_dir/AppData/Local/Programs/qv-padconf"
menu="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/ルミナキーボード"
data="$user_dir/AppData/Local/MORVALEN/QV-PADCONF"
installed_win='C:\users\'"$(basename "$user_dir")"'\AppData\Local\Programs\qv-padconf'
settings_key='HKCU\Software\Morvalen\qv-padconf'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
win_path() { echo "Z:${1//\//\\}"; }  # a Linux path as Wine's drive Z: shows it
reg_has() { qv_wine reg query "$1" /v "$2" 2>/dev/null | grep -q "$2"; }
reg_lacks() { ! reg_has "$1" "$2"; }

check "msiexec /i /qn succeeds" qv_wine msiexec /i "$(win_path "$old_msi")" /qn
check "the program is installed" test -f "$installed/qv-padconf.exe"
check "the guide is installed" test -f "$installed/guide-ja.html"
check "the shortcut list is installed" cmp "$installed/shortcut.ini" res/shortcut.ini
check "the Start menu entry" test -f "$menu/ルミナキーボード.lnk"
check "the guide's Start menu entry" test -f "$menu/ルミナキーボード ユーザーガイド.lnk"
check "the Run value" bash -c "$(declare -f qv_wine); qv_wine reg query '$run_key' /v qv-padconf | grep -qi 'qv-padconf.exe'"
check "the command-line tool is installed" test -f "$installed/qv-padctl.exe"
on_path() { qv_wine reg query 'HKCU\Environment' /v PATH 2>/dev/null | grep -qiF "$installed_win"; }
check "the install folder is on the user's PATH" on_path
# A silent install starts nothing: the program has never run in this prefix.
check "a silent install does not start the program" reg_lacks "$settings_key" t_enable
end_group "PackageTest.SilentInstall"

# ---------------------------------------------------------------- the installed program
echo "== The installed program"
QV_INSTALLED_FOLDER="$installed_win" qv_wine "$build/win32_tests.exe" \
  --gtest_filter=ShortcutFile.InstalledProgramFindsItsList >"$work/list.txt" 2>&1
check "the installed list reads as the program reads it" grep -q '\[  PASSED  \] 1 test' "$work/list.txt"
qv_wine "$installed_win\\qv-padconf.exe" >/dev/null 2>&1 &
program=$!
started=0
for _ in $(seq 1 100); do
  if reg_has "$settings_key" t_enable; then started=1; break; fi
  sleep 0.2
done
check "the installed program starts" test "$started" -eq 1
sleep 1
check "it is still running" kill -0 "$program"
qv_wine "$installed_win\\qv-padconf.exe" /CLOSE >/dev/null 2>&1
ended=0
for _ in $(seq 1 50); do
  if ! kill -0 "$program" 2>/dev/null; then ended=1; break; fi
  sleep 0.2
done
check "it ends on /CLOSE" test "$ended" -eq 1
[ "$ended" -eq 1 ] || kill "$program" 2>/dev/null
end_group "PackageTest.InstalledProgramStartsAndCloses"

# ---------------------------------------------------------------- the same version again
echo "== A rebuild of $version, installed with a user interface"
products() {  # how many products are installed for the user (each a key of its packed code)
  qv_wine reg query 'HKCU\Software\Microsoft\Installer\Products' /s 2>/dev/null |
    tr -d '\r' | grep -cE '\\Products\\[0-9A-Fa-f]{32}$'
}
# The program's processes in this test's prefix (another developer's Wine may run one too).
program_running() {
  local pid
  for pid in $(pgrep -x qv-padconf.exe); do
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
program_ended() { ! program_running; }
# The program writes this value when it starts: its coming back shows a start.
qv_wine reg delete "$settings_key" /v t_enable /f >/dev/null 2>&1
check "msiexec /i /qb of the rebuilt package succeeds" qv_wine msiexec /i "$(win_path "$same_msi")" /qb
check "one product is installed, not two" test "$(products)" -eq 1
check "the program is still installed" test -f "$installed/qv-padconf.exe"
# An install with a user interface starts the program at once.
started=0
for _ in $(seq 1 100); do
  if reg_has "$settings_key" t_enable && program_running; then started=1; break; fi
  sleep 0.2
done
check "the program was started after the install" test "$started" -eq 1
qv_wine "$installed_win\\qv-padconf.exe" /CLOSE >/dev/null 2>&1
for _ in $(seq 1 100); do program_running || break; sleep 0.2; done
check "the started program ends on /CLOSE" program_ended
end_group "PackageTest.SameVersionReinstallReplacesTheFirst"

# ---------------------------------------------------------------- upgrade
echo "== Upgrade to $newer"
# The user's own things: an edited list, a setting, a soft-key caption.
printf '\xff\xfe' >"$work/edited.ini"
printf '[shortcut_00]\r\nkey=CTRL+Q\r\ndescription=edited\r\n' | iconv -f UTF-8 -t UTF-16LE >>"$work/edited.ini"
cp "$work/edited.ini" "$installed/shortcut.ini"
qv_wine reg add "$settings_key" /v t_enable /t REG_DWORD /d 1 /f >/dev/null 2>&1
mkdir -p "$data/softkey/1224000021"
echo "caption" >"$data/softkey/1224000021/user-file.txt"
check "msiexec /i of the newer build succeeds" qv_wine msiexec /i "$(win_path "$new_msi")" /qn
check "the newer program replaced the older one" cmp "$installed/qv-padconf.exe" "$new_exe"
check "the edited shortcut list is kept" cmp "$installed/shortcut.ini" "$work/edited.ini"
check "the user's setting is kept" bash -c "$(declare -f qv_wine); qv_wine reg query '$settings_key' /v t_enable | grep -q 0x1"
check "the user's soft-key files are kept" test -f "$data/softkey/1224000021/user-file.txt"
check "the Start menu entry is there" test -f "$menu/ルミナキーボード.lnk"
check "the Run value is there" reg_has "$run_key" qv-padconf
end_group "PackageTest.UpgradeKeepsTheUsersData"

# ---------------------------------------------------------------- uninstall
echo "== Silent uninstall"
check "msiexec /x /qn succeeds" qv_wine msiexec /x "$(win_path "$new_msi")" /qn
check "the program is removed" test ! -e "$installed/qv-padconf.exe"
check "the guide is removed" test ! -e "$installed/guide-ja.html"
check "the Start menu entries are removed" test ! -e "$menu"
check "the Run value is removed" reg_lacks "$run_key" qv-padconf
off_path() { ! on_path; }
check "the install folder is off the user's PATH" off_path
check "no installed product is left" test "$(products)" -eq 0
check "the user's setting is kept" reg_has "$settings_key" t_enable
check "the user's soft-key files are kept" test -f "$data/softkey/1224000021/user-file.txt"
check "the user's shortcut list is kept" cmp "$installed/shortcut.ini" "$work/edited.ini"
end_group "PackageTest.UninstallKeepsTheUsersData"

[ "$failures" -eq 0 ]
