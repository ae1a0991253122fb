#!/usr/bin/env bash
# zelkrec's command line under Wine: --help exits 0 with the usage; bad arguments (recording
# and playback) exit 2 with a one-line message and the usage hint on stderr; a recorder without
# its module beside it exits 1 naming the module and the HRESULT, and one whose registered
# class fails names that class's own result.
#   zelkrec_command_line_test.sh WINE_SESSION STATE_DIR BIN_DIR WORK_DIR
set -u
[ $# -eq 4 ] || { echo "usage: $0 WINE_SESSION STATE_DIR BIN_DIR WORK_DIR" >&2; exit 2; }
session=$1 state=$2 bin=$3 work=$4/command_line
rm -rf "$work" && mkdir -p "$work" || exit 1
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# run EXE ARGS...: runs a Windows program, output in $work/out and $work/err (CRs removed),
# exit code in $rc.
run() {
  timeout 60 "$session" run "$state" "$@" >"$work/out.raw" 2>"$work/err.raw"
  rc=$?
  tr -d '\r' <"$work/out.raw" >"$work/out"
  tr -d '\r' <"$work/err.raw" | grep -v '^ALSA lib' >"$work/err"
}

# expect_usage_error MESSAGE ARGS...: exit 2, nothing on stdout, the message and the hint.
expect_usage_error() {
  local message=$1
  shift
  run "$bin/zelkrec.exe" "$@"
  local shown="zelkrec $*"
  [ "$rc" -eq 2 ] || fail "$shown: exit code $rc, expected 2"
  [ -s "$work/out" ] && fail "$shown: wrote to stdout: $(head -c 200 "$work/out")"
  [ "$(sed -n 1p "$work/err")" = "zelkrec: $message" ] ||
    fail "$shown: first line '$(sed -n 1p "$work/err")', expected 'zelkrec: $message'"
  [ "$(sed -n 2p "$work/err")" = "Try 'zelkrec --help' for more information." ] ||
    fail "$shown: no usage hint on the second line"
  [ "$(wc -l <"$work/err")" -eq 2 ] || fail "$shown: stderr has more than two lines"
}

run "$bin/zelkrec.exe" --help
[ "$rc" -eq 0 ] || fail "--help: exit code $rc"
grep -q '^Usage: zelkrec --out FILE' "$work/out" || fail "--help: no usage line on stdout"
[ -s "$work/err" ] && fail "--help: wrote to stderr: $(cat "$work/err")"

expect_usage_error "unknown option '--bogus'" --bogus --out x.avi
expect_usage_error "--seconds: 'abc' is not a number of seconds above 0 and up to 86400" \
  --seconds abc --out x.avi
expect_usage_error "missing --out FILE (the AVI file to write)" --seconds 3
expect_usage_error "--seconds and --frames cannot be used together" \
  --seconds 1 --frames 2 --out x.avi
expect_usage_error "--play and --out cannot be used together" \
  --play in.avi --frames-out pictures --out x.avi
expect_usage_error "--verify needs --reference FILE (the recording to compare with)" \
  --verify in.avi
[ -e "$work/x.avi" ] && fail "a rejected command line created its output file"

# Alone in a directory, the recorder finds no capture module.
cp "$bin/zelkrec.exe" "$work/" || exit 1
cd "$work" || exit 1
run "$work/zelkrec.exe" --seconds 1 --out alone.avi
# Twice, on fresh CI machines, Wine ended a program's start with no output at all; a second
# start tells such a launch failure from a silent recorder.
if [ "$rc" -eq 1 ] && [ ! -s "$work/err.raw" ] && [ ! -s "$work/out.raw" ]; then
  echo "note: the recorder ended with exit code 1 and no output; starting it once more" >&2
  run "$work/zelkrec.exe" --seconds 1 --out alone.avi
fi
cd - >/dev/null || exit 1
[ "$rc" -eq 1 ] || fail "without Zelkgrab.ax: exit code $rc, expected 1"
grep -q '^zelkrec: creating the capture filter from .*Zelkgrab\.ax failed: 0x8007007E' \
  "$work/err" || fail "without Zelkgrab.ax: unexpected message (exit code $rc)." \
  "stderr: '$(head -c 600 "$work/err.raw")' stdout: '$(head -c 600 "$work/out.raw")'"
[ -e "$work/alone.avi" ] && fail "without Zelkgrab.ax: the empty output file was left behind"

# A registered class that fails to be made is reported with its own result, not as the module
# missing beside the program: here the class names a library without a class factory.
class_key='HKCR\CLSID\{CA120208-830C-41EC-A5F0-69C21F0E88CA}'
forget_class() { timeout 60 "$session" run "$state" reg delete "$class_key" /f >/dev/null 2>&1; }
trap 'forget_class; rm -rf "$work"' EXIT
timeout 60 "$session" run "$state" reg add "$class_key\\InprocServer32" /ve \
  /d 'C:\windows\system32\version.dll' /f >/dev/null 2>&1 || fail "could not register the class"
cd "$work" || exit 1
run "$work/zelkrec.exe" --frames 1 --out broken.avi
cd - >/dev/null || exit 1
forget_class
[ "$rc" -eq 1 ] || fail "a broken registered class: exit code $rc, expected 1"
grep -q '^zelkrec: creating the capture filter from the registered class failed: 0x800401F8' \
  "$work/err" || fail "a broken registered class: unexpected message '$(cat "$work/err")'"

[ "$failures" -eq 0 ] && echo "zelkrec command line: all checks passed"
[ "$failures" -eq 0 ]
