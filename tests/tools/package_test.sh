#!/usr/bin/env bash
# The release archive as a Windows user gets it: packed by scripts/package from both built
# trees, unpacked into a folder whose path has a blank, installed with install.cmd. Then
# applications find "Zelkgrab" among the video capture sources, a recorder alone in a folder
# records through the registered filter and encoder, and the panel is registered from the
# package. uninstall.cmd must leave no key of ours in the registry (both views: the 32-bit one
# is the 64-bit one's Wow6432Node), and a package with a broken module must say so and fail.
# Wine here runs 64-bit programs only, so the scripts skip the 32-bit modules, as they say.
#   package_test.sh WINE_SESSION STATE_DIR BIN_DIR WORK_DIR REGISTRATION_TESTS_EXE SOURCE_DIR
set -u
[ $# -eq 6 ] || {
  echo "usage: $0 WINE_SESSION STATE_DIR BIN_DIR WORK_DIR REGISTRATION_TESTS_EXE SOURCE_DIR" >&2
  exit 2
}
absolute() { (cd "$(dirname "$1")" && printf '%s/%s' "$(pwd)" "$(basename "$1")"); }
session=$(absolute "$1") state=$(absolute "$2") checks_exe=$(absolute "$5")
source_dir=$(absolute "$6")
work=$(absolute "$4")/package
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
rm -rf "$work" && mkdir -p "$work/alone" || exit 1

wine_run() { timeout 120 "$session" run "$state" "$@"; }
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

"$source_dir/scripts/package" --no-build "$work/archive" >"$work/package.out" 2>&1 ||
  { echo "FAIL: scripts/package: $(cat "$work/package.out")" >&2; exit 1; }
archive=$(ls "$work"/archive/Zelkgrab-*.zip)
unzip -q "$archive" -d "$work/un packed" || { echo "FAIL: unzip $archive" >&2; exit 1; }
folder=$(ls -d "$work/un packed"/Zelkgrab-*)
install_cmd=$(windows_path "$folder/install.cmd")
uninstall_cmd=$(windows_path "$folder/uninstall.cmd")

cleanup() {
  wine_run cmd /c "$uninstall_cmd" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# ---- The archive: every module and tool in both sizes, each needing system DLLs only.
for module in Zelkgrab.ax Zelkenc.ax Zelkdec.ax Zelkcrash.dll Zelkpanel.exe zelkrec.exe; do
  x64=$(x86_64-w64-mingw32-objdump -f "$folder/x64/$module" 2>/dev/null | grep -o 'pei-x86-64')
  x86=$(i686-w64-mingw32-objdump -f "$folder/x86/$module" 2>/dev/null | grep -o 'pei-i386')
  [ "$x64" = pei-x86-64 ] || fail "x64/$module is missing or not a 64-bit module"
  [ "$x86" = pei-i386 ] || fail "x86/$module is missing or not a 32-bit module"
done
"$source_dir/scripts/check-imports" x86_64-w64-mingw32-objdump "$folder/x64" >/dev/null ||
  fail "x64 modules import toolchain DLLs"
"$source_dir/scripts/check-imports" i686-w64-mingw32-objdump "$folder/x86" >/dev/null ||
  fail "x86 modules import toolchain DLLs"
for text in install.cmd uninstall.cmd README.txt tools/system-paths.cmd; do
  [ "$(grep -c $'\r$' "$folder/$text")" -eq "$(wc -l <"$folder/$text")" ] ||
    fail "$text does not end every line with CR LF"
done

# ours FILE.reg: the keys of a registry export that are ours: named after us, holding a
# value that names us (the server paths, the names), or below such a key.
ours() {
  iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r' | awk '
    /^\[/ { key = substr($0, 2, length($0) - 2); keys[++n] = key
            if (tolower(key) ~ /zelk|morvainlabs/) mark[key] = 1; next }
    tolower($0) ~ /zelk|morvainlabs/ { mark[key] = 1 }
    END {
      for (i = 1; i <= n; ++i) {
        path = keys[i]
        do { if (path in mark) { print keys[i]; break } } while (sub(/\\[^\\]*$/, "", path))
      }
    }' | sort -u
}
# snapshot NAME: our keys in the machine's and the user's software keys.
snapshot() {
  local root
  for root in HKLM HKCU; do
    wine_run reg export "$root\\Software" "$(windows_path "$work/$1-$root.reg")" /reg:64 /y \
      >/dev/null 2>&1 || fail "reg export $root ($1)"
    ours "$work/$1-$root.reg"
  done >"$work/$1.keys"
}

# run_script CMD NAME: runs a package script; its output is kept in WORK/NAME.out.
run_script() {
  wine_run cmd /c "$1" >"$work/$2.out" 2>&1
  local rc=$?
  tr -d '\r' <"$work/$2.out" >"$work/$2.txt"
  return $rc
}

snapshot before

# ---- install.cmd
run_script "$install_cmd" install || fail "install.cmd exited with $?: $(cat "$work/install.txt")"
for module in Zelkgrab.ax Zelkenc.ax Zelkdec.ax; do
  grep -qx "registered 64-bit .*\\\\x64\\\\$module" "$work/install.txt" ||
    fail "install.cmd did not say it registered x64\\$module: $(cat "$work/install.txt")"
done
grep -qx '32-bit modules: skipped, this Windows cannot run 32-bit programs' "$work/install.txt" ||
  grep -q '^registered 32-bit' "$work/install.txt" ||
  fail "install.cmd said nothing of the 32-bit modules: $(cat "$work/install.txt")"
grep -q 'FAILED' "$work/install.txt" && fail "install.cmd reported a failure: $(cat "$work/install.txt")"
snapshot installed
[ -n "$(comm -13 "$work/before.keys" "$work/installed.keys")" ] ||
  fail "install.cmd added no key of ours"

wine_run "$checks_exe" --gtest_color=no --gtest_brief=1 '--gtest_filter=RegisteredModule.*' \
  >"$work/checks.out" 2>&1 || fail "after install.cmd: $(tr -d '\r' <"$work/checks.out")"
# The panel COM starts is the package's own.
queue_class=$(wine_run reg query 'HKCR\Zelkpanel.ZelkgrabQueue\CLSID' /ve 2>/dev/null |
  tr -d '\r' | grep -o '{[0-9A-Fa-f-]*}')
wine_run reg query "HKCR\\CLSID\\$queue_class\\LocalServer32" /ve 2>/dev/null | tr -d '\r' |
  grep -qF "$(windows_path "$folder/x64/Zelkpanel.exe")" ||
  fail "the panel's class $queue_class is not served by the package's Zelkpanel.exe"

# Alone in a folder, the recorder finds the filter and the encoder through their registration.
cp "$folder/x64/zelkrec.exe" "$work/alone/" || exit 1
(cd "$work/alone" && wine_run "$work/alone/zelkrec.exe" --frames 3 --codec zlkc --out three.avi \
  >record.out 2>record.err)
rc=$?
[ "$rc" -eq 0 ] || fail "zelkrec alone exited with $rc: $(tr -d '\r' <"$work/alone/record.err")"
[ "$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_tag_string -of csv=p=0 \
  "$work/alone/three.avi" 2>/dev/null)" = ZLKC ] || fail "the recording has no ZLKC stream"

# ---- uninstall.cmd: nothing of ours is left, whatever the recording saved.
run_script "$uninstall_cmd" uninstall ||
  fail "uninstall.cmd exited with $?: $(cat "$work/uninstall.txt")"
grep -q 'FAILED' "$work/uninstall.txt" &&
  fail "uninstall.cmd reported a failure: $(cat "$work/uninstall.txt")"
snapshot uninstalled
left=$(comm -13 "$work/before.keys" "$work/uninstalled.keys")
[ -z "$left" ] || fail "uninstall.cmd left keys of ours: $left"
wine_run "$checks_exe" --gtest_color=no --gtest_brief=1 '--gtest_filter=UnregisteredModule.*' \
  >"$work/checks.out" 2>&1 || fail "after uninstall.cmd: $(tr -d '\r' <"$work/checks.out")"

# ---- A broken module: install.cmd names it and fails; uninstall.cmd still cleans up.
echo "not a module" >"$folder/x64/Zelkdec.ax"
run_script "$install_cmd" broken && fail "install.cmd succeeded with a broken Zelkdec.ax"
grep -q '^FAILED: 64-bit Zelkdec.ax was not registered' "$work/broken.txt" ||
  fail "install.cmd did not name the broken module: $(cat "$work/broken.txt")"
grep -q 'Run this script as an administrator' "$work/broken.txt" ||
  fail "install.cmd gave no hint: $(cat "$work/broken.txt")"
run_script "$uninstall_cmd" broken-uninstall
snapshot cleaned
left=$(comm -13 "$work/before.keys" "$work/cleaned.keys")
[ -z "$left" ] || fail "after a failed install, uninstall.cmd left keys of ours: $left"

[ "$failures" -eq 0 ] && echo "package: all checks passed"
[ "$failures" -eq 0 ]
