#!/usr/bin/env bash
# Makes the Windows package in dist/: a per-user installer (MSI, built with wixl) and a zip of the
# same files for use without installing, from a stripped build of the program. The debug
# information of each program is kept in dist/debug/ for crash analysis and is not shipped.
#
#   scripts/package.sh                  builds the programs (build/windows), then the package
#   scripts/package.sh --reuse DIR      packages the programs an existing build made in DIR
#   scripts/package.sh --out DIR        writes into DIR instead of dist/
#   scripts/package.sh --version X.Y.Z  names the package another version (the packaging
#                                       test uses it to make a "newer" installer)
#
# Signing: with QV_SIGN_PFX (a PFX file) and QV_SIGN_PASSWORD (its password) set, osslsigncode
# signs the programs and the MSI; the password reaches it through a file only this user can read,
# never its command line. With QV_SIGN_TIMESTAMP_URL set (an RFC 3161 time-stamp server, e.g.
# http://timestamp.digicert.com), each signature is time-stamped, so that it stays valid after the
# certificate expires.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QV_ROOT"

build=""
reuse=0
out="$QV_ROOT/dist"
version=""
while [ $# -gt 0 ]; do
  case "$1" in
    --reuse) build=$2; reuse=1; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
done
[ -n "$build" ] || build="$QV_ROOT/build/windows"
case "$build" in /*) ;; *) build="$QV_ROOT/$build" ;; esac
case "$out" in /*) ;; *) out="$QV_ROOT/$out" ;; esac

qv_install_packages

# The programs: the same configuration as the tests' Windows tree (optimised, with debug
# information that is split off below), so that a build made for the tests is reused as it is.
if [ "$reuse" -eq 0 ]; then
  echo "== Building the programs in $build"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQV_BENCH=OFF >/dev/null
  targets=(qv-padconf)
  # The command-line tool ships when the tree has it.
  if cmake --build "$build" --target help 2>/dev/null | grep -q '^qv-padctl:'; then
    targets+=(qv-padctl)
  fi
  cmake --build "$build" -j "${QV_JOBS:-$(nproc)}" --target "${targets[@]}"
fi
[ -f "$build/qv-padconf.exe" ] || { echo "no qv-padconf.exe in $build" >&2; exit 1; }
[ -n "$version" ] || version=$(tr -d '[:space:]' <"$build/qv-version.txt")
case "$version" in
  [0-9]*.[0-9]*.[0-9]*) ;;
  *) echo "bad version: $version" >&2; exit 1 ;;
esac

name="qv-padconf-$version-x64"
stage="$out/stage/$name"
debug="$out/debug"
rm -rf "$out/stage" "$out/$name.msi" "$out/$name.zip"
mkdir -p "$stage" "$debug"

# Each program stripped, its debug information beside it in dist/debug/ (a debug link names it).
programs=(qv-padconf.exe)
[ -f "$build/qv-padctl.exe" ] && programs+=(qv-padctl.exe)
for program in "${programs[@]}"; do
  x86_64-w64-mingw32-objcopy --only-keep-debug "$build/$program" "$debug/$program.debug"
  x86_64-w64-mingw32-strip --strip-all -o "$stage/$program" "$build/$program"
  (cd "$debug" && x86_64-w64-mingw32-objcopy --add-gnu-debuglink="$program.debug" "$stage/$program")
done

# The sample shortcut list, as the program reads it (UTF-16LE with a byte-order mark), and the
# user guide as one HTML file.
cp res/shortcut.ini "$stage/shortcut.ini"
/usr/bin/python3 scripts/package/guide_html.py docs/guide-ja.md "$stage/guide-ja.html"

sign() {  # file: signs it in place when a certificate is given
  [ -n "${QV_SIGN_PFX:-}" ] || return 0
  local passfile timestamp=()
  passfile=$(mktemp)
  chmod 600 "$passfile"
  printf '%s' "${QV_SIGN_PASSWORD:-}" >"$passfile"
  [ -n "${QV_SIGN_TIMESTAMP_URL:-}" ] && timestamp=(-ts "$QV_SIGN_TIMESTAMP_URL")
  if ! osslsigncode sign -pkcs12 "$QV_SIGN_PFX" -readpass "$passfile" "${timestamp[@]}" \
      -n "ルミナキーボード" -h sha256 -in "$1" -out "$1.signed" >/dev/null; then
    rm -f "$passfile" "$1.signed"
    echo "signing $1 failed" >&2
    return 1
  fi
  rm -f "$passfile"
  mv "$1.signed" "$1"
}
for program in "${programs[@]}"; do sign "$stage/$program"; done

# The MSI. wixl cannot write names that are not ASCII, so the source has ASCII stand-ins and
# the Japanese names go into the tables afterwards, with the database's code page set to 932
# (the Japanese code page, which Windows Installer reads on any system).
wxs="$out/stage/qv-padconf.wxs"
if [ -f "$stage/qv-padctl.exe" ]; then
  cp scripts/package/qv-padconf.wxs "$wxs"
else
  sed '/padctl: begin/,/padctl: end/d' scripts/package/qv-padconf.wxs >"$wxs"
fi
cp res/app.ico "$out/stage/app.ico"
msi="$out/$name.msi"
# wixl takes the sources' paths relative to the source file's folder.
(cd "$out/stage" && wixl -a x64 -D Version="$version" -D StageDir="$name" -o "$msi" "$wxs") \
  2>"$out/stage/wixl.log" || { cat "$out/stage/wixl.log" >&2; exit 1; }
printf '\n\n932\t_ForceCodepage\n' >"$out/stage/codepage.idt"
msibuild "$msi" -i "$out/stage/codepage.idt"
# Component attributes: 16 permanent, 128 never overwrite (the user's edited shortcut list
# survives upgrades and removal).
msibuild "$msi" \
  -q "UPDATE Property SET Value='ルミナキーボード' WHERE Property='ProductName'" \
  -q "UPDATE Directory SET DefaultDir='LUMINA|ルミナキーボード' WHERE Directory='MenuFolder'" \
  -q "UPDATE Shortcut SET Name='LUMINA|ルミナキーボード' WHERE Shortcut='ProgramShortcut'" \
  -q "UPDATE Shortcut SET Name='GUIDE|ルミナキーボード ユーザーガイド' WHERE Shortcut='GuideShortcut'" \
  -q "UPDATE Feature SET Title='ルミナキーボード' WHERE Feature='Program'" \
  -q "UPDATE Feature SET Title='ログオン時に起動' WHERE Feature='LogonStart'" \
  -q "UPDATE LaunchCondition SET Description='新しいバージョンのルミナキーボードがインストールされています。' WHERE Condition='NOT WIX_DOWNGRADE_DETECTED'" \
  -q "UPDATE Component SET Attributes=144 WHERE Component='ShortcutList'"
# A rebuild of the same version replaces the installed one instead of installing beside it: the
# upgrade row's maximum version is made inclusive (1 + 512: migrate feature states, maximum
# inclusive; wixl ignores AllowSameVersionUpgrades). The downgrade row's minimum stays exclusive.
# Attributes is part of the row's key, so the row is replaced.
upgrade_code=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' "$wxs" | tr a-f A-F)
msibuild "$msi" -q "DELETE FROM Upgrade WHERE ActionProperty='WIX_UPGRADE_DETECTED'" \
  -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('{$upgrade_code}', '$version', 513, 'WIX_UPGRADE_DETECTED')"
# After an install with a user interface (not /qn), the program starts at once instead of at the
# next logon; it starts from its installed file and the installer does not wait for it.
msibuild "$msi" \
  -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('StartProgram', 210, 'ProgramExe', '')" \
  -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('StartProgram', 'UILevel > 2 AND NOT (REMOVE~=\"ALL\")', 6700)"
if [ -f "$stage/qv-padctl.exe" ]; then
  # The install folder appended to the user's PATH ("=-": set at install, the part removed at
  # removal; "[~];" appends to what is there), for feature CommandLine.
  printf 'Environment\tName\tValue\tComponent_\ns72\tl255\tL255\ts72\nEnvironment\tEnvironment\nPadctlPath\t=-PATH\t[~];[INSTALLFOLDER]\tCommandLinePath\n' \
    >"$out/stage/Environment.idt"
  msibuild "$msi" -i "$out/stage/Environment.idt" \
    -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveEnvironmentStrings', 3300)" \
    -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteEnvironmentStrings', 5200)" \
    -q "UPDATE Feature SET Title='qv-padctl をコマンドとして使う（PATH に追加）' WHERE Feature='CommandLine'"
fi
# The summary information in Japanese (code page 932, language 1041), as Windows shows it in the
# file's properties and the installer's window.
/usr/bin/python3 scripts/package/summary_info.py "$msi" "ルミナキーボード $version" \
  "ルミナキーボード（キーボード設定プログラム）をこのユーザーにインストールします。"
sign "$msi"

# The zip: the same files, in a folder of the package's name.
(cd "$out/stage" && zip -q -r -X "$out/$name.zip" "$name")

# The browser editor: the site of build/web (built here when missing) and the udev rule for Linux,
# in a zip of its own.
web_name="qv-padconf-web-$version"
[ -f build/web/site/qv_editor.wasm ] || qv_build_web >/dev/null
rm -rf "$out/web-stage" "$out/$web_name.zip"
mkdir -p "$out/web-stage/$web_name/linux"
cp build/web/site/* "$out/web-stage/$web_name/"
cp packaging/linux/70-qv-keypads.rules "$out/web-stage/$web_name/linux/"
(cd "$out/web-stage" && zip -q -r -X "$out/$web_name.zip" "$web_name")
rm -rf "$out/web-stage"

echo "== Package"
ls -l "$out/$name.msi" "$out/$name.zip" "$out/$web_name.zip"
