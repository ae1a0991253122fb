#!/usr/bin/env bash
# Records the static demo scene with zelkrec and checks the file with FFmpeg: one video
# stream of 800 x 600, 30 frames for 3 s at 10 fps (28 to 32 allowed: start-up may cost or add
# a frame), and the four quadrant colours where the scene shows them. The capture rectangle
# is the central 800 x 600 of the 1920x1080 test desktop, (560, 240)-(1360, 840); the scene
# sits at (660, 290), 600 x 500, so at (100, 50) in the frame.
#   zelkrec_record_test.sh WINE_SESSION STATE_DIR BIN_DIR WORK_DIR
set -u
[ $# -eq 4 ] || { echo "usage: $0 WINE_SESSION STATE_DIR BIN_DIR WORK_DIR" >&2; exit 2; }
session=$1 state=$2 bin=$3 work=$4/record
for tool in ffprobe ffmpeg od; do
  command -v "$tool" >/dev/null || { echo "$tool not found; run scripts/bootstrap" >&2; exit 1; }
done
# shellcheck source=scene_test_lib.sh
. "$(dirname "$0")/scene_test_lib.sh"
rm -rf "$work" && mkdir -p "$work" || exit 1
cd "$work" || exit 1
# The small logs stay for a look; the large recordings go unless something failed.
cleanup() {
  finish
  [ "$failures" -eq 0 ] &&
    rm -f "$work/three.avi" "$work/frame.rgb" "$work/rect.avi" "$work/rect.rgb" "$work/desktop.avi"
}
trap cleanup EXIT
forget_settings
start_scene 'demo_scene: ready, static' --static 660 290 600 500

timeout 60 "$session" run "$state" "$bin/zelkrec.exe" --seconds 3 --fps 10 --out three.avi \
  >record.out 2>record.err
rc=$?
tr -d '\r' <record.out
[ "$rc" -eq 0 ] || { fail "zelkrec exited with $rc: $(tr -d '\r' <record.err)"; exit 1; }
grep -q '^zelkrec: recorded [0-9]* frames' record.out || fail "no summary line"

streams=$(timeout 60 ffprobe -v error -count_frames \
  -show_entries stream=codec_type,width,height,nb_read_frames -of default=nw=1 three.avi)
echo "$streams"
value() { echo "$streams" | sed -n "s/^$1=//p"; }
[ "$(value codec_type)" = "video" ] || fail "streams are '$(value codec_type | tr '\n' ' ')', expected one video stream"
[ "$(value width)" = "800" ] && [ "$(value height)" = "600" ] ||
  fail "frame size $(value width)x$(value height), expected 800x600"
frames=$(value nb_read_frames)
if ! [ "$frames" -ge 28 ] 2>/dev/null || ! [ "$frames" -le 32 ]; then
  fail "$frames frames, expected 28 to 32"
fi

# A frame from the middle, as packed RGB; the AVI is bottom-up, FFmpeg turns it upright.
timeout 60 ffmpeg -v error -y -i three.avi -vf 'select=eq(n\,15)' -frames:v 1 \
  -f rawvideo -pix_fmt rgb24 frame.rgb || fail "ffmpeg could not decode frame 15"
[ "$(stat -c %s frame.rgb 2>/dev/null)" = $((800 * 600 * 3)) ] || fail "frame 15 has the wrong size"

# expect_colour X Y R G B NAME: the pixel at (X, Y) of the frame, within 2 of each value.
expect_colour() {
  local x=$1 y=$2 name=$6 actual
  actual=$(od -An -tu1 -j $(((y * 800 + x) * 3)) -N3 frame.rgb | tr -s ' ' | sed 's/^ //')
  read -r r g b <<<"$actual"
  local want_r=$3 want_g=$4 want_b=$5
  if [ $((r > want_r ? r - want_r : want_r - r)) -gt 2 ] ||
    [ $((g > want_g ? g - want_g : want_g - g)) -gt 2 ] ||
    [ $((b > want_b ? b - want_b : want_b - b)) -gt 2 ]; then
    fail "pixel ($x, $y) is ($actual), expected $name ($want_r $want_g $want_b)"
  fi
}
# Each quadrant at its centre and near its outer corner (the pointer, if drawn, sits at the
# desktop's centre, the scene's middle, so none of these is under it).
expect_colour 250 175 255 0 0 red
expect_colour 110 60 255 0 0 red
expect_colour 550 175 0 255 0 green
expect_colour 690 60 0 255 0 green
expect_colour 250 425 0 0 255 blue
expect_colour 110 540 0 0 255 blue
expect_colour 550 425 255 255 255 white
expect_colour 690 540 255 255 255 white

# The capture area from the command line: a rectangle that holds just the pattern's red
# quadrant, and the whole desktop.
timeout 60 "$session" run "$state" "$bin/zelkrec.exe" --frames 3 --rect 680,300,940,520 \
  --out rect.avi >rect.out 2>&1 || fail "zelkrec --rect failed: $(cat rect.out)"
size=$(timeout 30 ffprobe -v error -select_streams v:0 -show_entries stream=width,height \
  -of csv=p=0 rect.avi)
[ "$size" = "260,220" ] || fail "--rect recorded $size, expected 260,220"
timeout 60 ffmpeg -v error -y -i rect.avi -frames:v 1 -f rawvideo -pix_fmt rgb24 rect.rgb ||
  fail "ffmpeg could not decode the --rect recording"
red=$(od -An -tu1 -j $(((110 * 260 + 130) * 3)) -N3 rect.rgb | tr -s ' ' | sed 's/^ //')
[ "$red" = "255 0 0" ] || fail "the --rect frame shows ($red) at its centre, expected red"
timeout 60 "$session" run "$state" "$bin/zelkrec.exe" --frames 3 --desktop --out desktop.avi \
  >desktop.out 2>&1 || fail "zelkrec --desktop failed: $(cat desktop.out)"
size=$(timeout 30 ffprobe -v error -select_streams v:0 -show_entries stream=width,height \
  -of csv=p=0 desktop.avi)
[ "$size" = "1920,1080" ] || fail "--desktop recorded $size, expected 1920,1080"

[ "$failures" -eq 0 ] && echo "zelkrec recording: all checks passed ($frames frames)"
[ "$failures" -eq 0 ]
