#!/usr/bin/env bash
# zelkrec's everyday options under Wine, end to end with the demo scene: a window followed by
# title while it moves, --size, --follow-mouse with the display's pointer moved by xdotool,
# recording until stopped (Ctrl+C as a signal, q on standard input), an existing output kept
# without --overwrite, and the filter's saved settings left byte for byte as they were.
#   zelkrec_everyday_test.sh WINE_SESSION STATE_DIR BIN_DIR WORK_DIR XDOTOOL
set -u
[ $# -eq 5 ] || { echo "usage: $0 WINE_SESSION STATE_DIR BIN_DIR WORK_DIR XDOTOOL" >&2; exit 2; }
session=$1 state=$2 bin=$3 work=$4/everyday xdotool=$5
for tool in ffprobe ffmpeg od; do
  command -v "$tool" >/dev/null || { echo "$tool not found; run scripts/bootstrap" >&2; exit 1; }
done
# shellcheck source=scene_test_lib.sh
. "$(dirname "$0")/scene_test_lib.sh"
rm -rf "$work" && mkdir -p "$work" || exit 1
cd "$work" || exit 1
keep_work_on_failure=$work
recorder_pid=""
cleanup() {
  [ -n "$recorder_pid" ] && kill "$recorder_pid" 2>/dev/null
  finish
}
trap cleanup EXIT
forget_settings

# pixel FILE WIDTH X Y: "R G B" of a packed RGB picture.
pixel() { od -An -tu1 -j $((($4 * $2 + $3) * 3)) -N3 "$1" | tr -s ' ' | sed 's/^ //'; }
# near "R G B" "R G B": within 3 in each channel (linear scaling may round a flat colour).
near() {
  local a b
  read -r -a a <<<"$1"
  read -r -a b <<<"$2"
  for i in 0 1 2; do
    [ $((a[i] > b[i] ? a[i] - b[i] : b[i] - a[i])) -le 3 ] || return 1
  done
}
# frame FILE.avi N OUT: frame N as packed RGB.
frame() {
  timeout 60 ffmpeg -v error -y -i "$1" -vf "select=eq(n\,$2)" -frames:v 1 -f rawvideo \
    -pix_fmt rgb24 "$3" || fail "ffmpeg could not decode frame $2 of $1"
}
frames_in() {
  timeout 60 ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=nb_read_frames -of csv=p=0 "$1"
}
size_of() {
  timeout 30 ffprobe -v error -select_streams v:0 -show_entries stream=width,height \
    -of csv=p=0 "$1"
}
saved_settings() {
  timeout 60 "$session" run "$state" reg export 'HKLM\SOFTWARE\MorvainLabs\Zelkgrab' "$1" /y \
    >/dev/null 2>&1 || fail "could not export the filter's settings"
}

# The scene's quadrants at 660,290, 600 x 500; it jumps to 200,150 1.5 s after it shows.
start_scene 'demo_scene: ready, static' --static 660 290 600 500 --move 200 150 1500

# A plain recording makes the filter save its settings: the state a user has.
zelkrec --frames 2 --out plain.avi
[ "$rc" -eq 0 ] || fail "plain recording: exit code $rc: $(cat err)"
saved_settings before.reg

# --window by a part of the title, in any case; the window moves during the recording.
zelkrec --window "DEMO SCENE" -t 3 -r 10 --quiet -o window.avi
[ "$rc" -eq 0 ] || fail "--window: exit code $rc: $(cat err)"
grep -q '^demo_scene: moved to 200,150' scene.out || fail "the scene did not move"
[ "$(grep -c . out)" -eq 1 ] || fail "--quiet printed more than the summary: $(cat out)"
[ "$(size_of window.avi)" = "600,500" ] || fail "--window recorded $(size_of window.avi)"
last=$(($(frames_in window.avi) - 1))
for n in 0 "$last"; do
  frame window.avi "$n" "window-$n.rgb"
  [ "$(pixel "window-$n.rgb" 600 150 125)" = "255 0 0" ] &&
    [ "$(pixel "window-$n.rgb" 600 450 375)" = "255 255 255" ] ||
    fail "--window frame $n does not show the window's quadrants"
done
saved_settings after-window.reg
cmp -s before.reg after-window.reg || fail "--window changed the saved settings"

# --rect with --size: resized to exactly 640 x 360.
zelkrec --rect 200,150,800,650 --size 640x360 --scale linear --frames 3 -o sized.avi
[ "$rc" -eq 0 ] || fail "--size: exit code $rc: $(cat err)"
[ "$(size_of sized.avi)" = "640,360" ] || fail "--size 640x360 recorded $(size_of sized.avi)"
frame sized.avi 0 sized.rgb
near "$(pixel sized.rgb 640 160 90)" "255 0 0" && near "$(pixel sized.rgb 640 480 270)" "255 255 255" ||
  fail "--size: the quadrants are not where they belong"
saved_settings after-size.reg
cmp -s before.reg after-size.reg || fail "--rect --size changed the saved settings"

# --follow-mouse: a 320 x 240 view pans with the pointer. The scene now covers the desktop, so
# that any view around the pointer at a quadrant's centre lies inside that quadrant: first red,
# then, once the pointer moved, white. Stopped by Ctrl+C, as the console sends it (the signal
# that Wine turns into the console event).
stop_scene
start_scene 'demo_scene: ready, static' --static 0 0 1920 1080
. "$state/session.env"
move_pointer() { DISPLAY=$DISPLAY timeout 10 "$xdotool" mousemove "$1" "$2"; }
move_pointer 480 270
timeout 60 "$session" run "$state" "$bin/zelkrec.exe" --follow-mouse --size 320x240 --fps 10 \
  --no-pointer -o follow.avi </dev/null >out.raw 2>err.raw &
recorder_pid=$!
sleep 3
move_pointer 1440 810
sleep 1
kill -INT "$(ps -o pid= --ppid "$recorder_pid" | tr -d ' ')" 2>/dev/null
wait "$recorder_pid"
rc=$?
recorder_pid=""
tr -d '\r' <out.raw >out
[ "$rc" -eq 0 ] || fail "--follow-mouse stopped by Ctrl+C: exit code $rc: $(tr -d '\r' <err.raw)"
grep -q 'until Ctrl+C or q' out || fail "recording until stopped does not say so"
grep -q '^zelkrec: recorded .*(stopped)' out || fail "no summary after Ctrl+C: $(cat out)"
recorded=$(sed -n 's/^zelkrec: recorded \([0-9]*\) frames.*/\1/p' out)
[ "$(frames_in follow.avi)" = "$recorded" ] ||
  fail "after Ctrl+C the file has $(frames_in follow.avi) frames, the summary said $recorded"
[ "$(size_of follow.avi)" = "320,240" ] || fail "--follow-mouse recorded $(size_of follow.avi)"
frame follow.avi 0 follow-first.rgb
frame follow.avi "$((recorded - 1))" follow-last.rgb
for xy in "0 0" "319 239" "160 120"; do
  read -r x y <<<"$xy"
  [ "$(pixel follow-first.rgb 320 "$x" "$y")" = "255 0 0" ] ||
    fail "--follow-mouse: the first view is not on red at $x,$y"
  [ "$(pixel follow-last.rgb 320 "$x" "$y")" = "255 255 255" ] ||
    fail "--follow-mouse: the last view is not on white at $x,$y"
done

# q on standard input ends a recording the same way.
(sleep 2; echo q) | timeout 60 "$session" run "$state" "$bin/zelkrec.exe" -o keyed.avi >out.raw 2>err.raw
rc=$?
tr -d '\r' <out.raw >out
recorded=$(sed -n 's/^zelkrec: recorded \([0-9]*\) frames.*/\1/p' out)
[ "$rc" -eq 0 ] && [ -n "$recorded" ] && [ "$recorded" -ge 10 ] ||
  fail "q on standard input: exit code $rc, '$(cat out)'"
[ "$(frames_in keyed.avi)" = "$recorded" ] || fail "after q the file is not complete"

# An existing output is refused and left as it is, unless --overwrite.
echo "keep me" >existing.avi
zelkrec --frames 2 -o existing.avi
[ "$rc" -eq 2 ] || fail "an existing output: exit code $rc, expected 2"
[ "$(cat existing.avi)" = "keep me" ] || fail "an existing output was changed"
grep -q 'existing.avi already exists; add --overwrite (-y) to replace it' err ||
  fail "an existing output: message '$(cat err)'"
zelkrec --frames 2 -y -o existing.avi
[ "$rc" -eq 0 ] && [ "$(frames_in existing.avi)" = "2" ] || fail "-y did not replace the file"

# Ambiguous and missing titles name what they found.
zelkrec --window "no such window here" --frames 2 -o none.avi
[ "$rc" -eq 2 ] && grep -q "no visible window has a title that is or contains" err ||
  fail "a missing window: exit code $rc, '$(cat err)'"
[ -e none.avi ] && fail "a missing window left an output file"

saved_settings after-all.reg
cmp -s before.reg after-all.reg || fail "the recordings changed the saved settings"

[ "$failures" -eq 0 ] && echo "zelkrec everyday options: all checks passed"
[ "$failures" -eq 0 ]
