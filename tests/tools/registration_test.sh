#!/usr/bin/env bash
# Registers Zelkgrab.ax with Wine's own regsvr32 and checks what applications then see: one
# "Zelkgrab" among the video capture sources (after registering twice), creation by class id,
# the class, ProgID and type-library entries, and a recorder without the module beside it
# recording through the registered one. regsvr32 /u must remove it all again, and removing a
# module that was never registered must succeed. Whatever happens, it ends unregistered.
#   registration_test.sh WINE_SESSION STATE_DIR BIN_DIR WORK_DIR REGISTRATION_TESTS_EXE
set -u
[ $# -eq 5 ] || {
  echo "usage: $0 WINE_SESSION STATE_DIR BIN_DIR WORK_DIR REGISTRATION_TESTS_EXE" >&2
  exit 2
}
session=$1 state=$2 bin=$3 work=$4/registration checks_exe=$5
# Absolute, since the recorder runs from a directory of its own.
absolute() { (cd "$(dirname "$1")" && printf '%s/%s' "$(pwd)" "$(basename "$1")"); }
session=$(absolute "$session") state=$(absolute "$state") bin=$(absolute "$bin")
checks_exe=$(absolute "$checks_exe")
# regsvr32 takes a Windows path; Wine's drive Z: is the root of this file system.
module="Z:$(printf '%s' "$bin/Zelkgrab.ax" | tr / '\\')"
rm -rf "$work" && mkdir -p "$work/alone" || exit 1

wine_run() { timeout 60 "$session" run "$state" "$@"; }

# The recorder's filter saves its settings; this test leaves none behind either.
forget_settings() {
  wine_run reg delete 'HKLM\SOFTWARE\MorvainLabs\Zelkgrab' /f >/dev/null 2>&1
}

cleanup() {
  wine_run regsvr32 /s /u "$module" >/dev/null 2>&1
  forget_settings
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# run_regsvr32 ARGS... DESCRIPTION: Wine's regsvr32 silently; its exit code tells the result.
run_regsvr32() {
  local what=${*: -1}
  wine_run regsvr32 /s "${@:1:$#-1}" >"$work/regsvr32.out" 2>&1 ||
    fail "$what: regsvr32 exited with $?: $(tr -d '\r' <"$work/regsvr32.out")"
}

# checks FILTER: the registration checks of one state.
checks() {
  wine_run "$checks_exe" --gtest_color=no --gtest_brief=1 "--gtest_filter=$1" \
    >"$work/checks.out" 2>&1 ||
    fail "$1: $(tr -d '\r' <"$work/checks.out" | grep -v '^ALSA lib')"
}

forget_settings
checks 'UnregisteredModule.*'
run_regsvr32 /u "$module" "unregistering a module that was never registered"
checks 'UnregisteredModule.*'

run_regsvr32 "$module" "registering"
run_regsvr32 "$module" "registering a second time"
checks 'RegisteredModule.*'

# Alone in a directory, the recorder finds the filter through its registration.
cp "$bin/zelkrec.exe" "$work/alone/" || exit 1
(cd "$work/alone" && wine_run "$work/alone/zelkrec.exe" --frames 3 --out three.avi \
  >record.out 2>record.err)
rc=$?
[ "$rc" -eq 0 ] || fail "zelkrec without its module beside it exited with $rc:" \
  "$(tr -d '\r' <"$work/alone/record.err")"
grep -q '^zelkrec: recorded [1-9][0-9]* frames' <(tr -d '\r' <"$work/alone/record.out") ||
  fail "zelkrec printed no summary: $(tr -d '\r' <"$work/alone/record.out")"
[ -s "$work/alone/three.avi" ] || fail "zelkrec wrote no recording"

run_regsvr32 /u "$module" "unregistering"
checks 'UnregisteredModule.*'

[ "$failures" -eq 0 ] && echo "registration: all checks passed"
[ "$failures" -eq 0 ]
