#!/usr/bin/env bash
# zelkrec's playback modes under Wine, on recordings of the static demo scene that the test
# makes itself: --play writes one PNG per frame (checked with FFmpeg for count, size, the
# pattern's colours and against FFmpeg's own decoding of the AVI); --verify passes a file
# against itself and fails, naming the first difference, against a recording shifted by one
# pixel and against one with fewer frames; a compressed (ZLKC) file without a decoder, a
# truncated file and a missing one fail with a one-line message. The capture rectangle is the
# central 800 x 600 of the 1920x1080 test desktop, (560, 240)-(1360, 840); the scene sits at
# (660, 290), 600 x 500, so at (100, 50) in the frame.
#   zelkrec_play_test.sh WINE_SESSION STATE_DIR BIN_DIR WORK_DIR
set -u
[ $# -eq 4 ] || { echo "usage: $0 WINE_SESSION STATE_DIR BIN_DIR WORK_DIR" >&2; exit 2; }
session=$1 state=$2 bin=$3 work=$4/play
for tool in ffprobe ffmpeg od cmp; do
  command -v "$tool" >/dev/null || { echo "$tool not found; run scripts/bootstrap" >&2; exit 1; }
done
# shellcheck source=scene_test_lib.sh
. "$(dirname "$0")/scene_test_lib.sh"
rm -rf "$work" && mkdir -p "$work" || exit 1
cd "$work" || exit 1

keep_work_on_failure=$work
trap finish EXIT
forget_settings
start_scene 'demo_scene: ready, static' --static 660 290 600 500

# record NAME ARGS...: NAME.avi of the scene at 10 fps.
record() {
  local name=$1
  shift
  zelkrec --fps 10 "$@" --out "$name.avi"
  [ "$rc" -eq 0 ] || { fail "recording $name.avi: exit code $rc: $(cat err)"; exit 1; }
}
record five --frames 5
record fewer --frames 3
# One pixel to the right: the same size, the pattern one pixel further left.
record shifted --frames 5 --rect 561,240,1361,840
# The scene is static, so it no longer needs the screen.
stop_scene

# --play: one PNG per frame, numbered from 0.
zelkrec --play five.avi --frames-out pictures
cat out
[ "$rc" -eq 0 ] || fail "--play exited with $rc: $(cat err)"
grep -q '^zelkrec: playing five.avi: 5 frames of 800 x 600 32-bit RGB at 10 fps$' out ||
  fail "--play: no start line naming the stream"
grep -q '^zelkrec: wrote 5 frames of 800 x 600 as PNG pictures into ' out ||
  fail "--play: no summary line"
avi_frames=$(timeout 60 ffprobe -v error -count_frames -show_entries stream=nb_read_frames \
  -of csv=p=0 five.avi)
pictures=$(find pictures -name 'frame-*.png' | wc -l)
[ "$pictures" = "$avi_frames" ] && [ "$pictures" = 5 ] ||
  fail "--play wrote $pictures pictures for $avi_frames frames, expected 5"
for n in 0 4; do
  [ -f "pictures/frame-00000$n.png" ] || fail "pictures/frame-00000$n.png is missing"
done
size=$(timeout 30 ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 \
  pictures/frame-000002.png)
[ "$size" = "png,800,600" ] || fail "frame-000002.png is '$size', expected png,800,600"

# The picture is the frame as FFmpeg decodes it from the AVI, rows top-down.
timeout 60 ffmpeg -v error -y -i pictures/frame-000002.png -f rawvideo -pix_fmt rgb24 png.rgb ||
  fail "ffmpeg could not decode frame-000002.png"
timeout 60 ffmpeg -v error -y -i five.avi -vf 'select=eq(n\,2)' -frames:v 1 -f rawvideo \
  -pix_fmt rgb24 avi.rgb || fail "ffmpeg could not decode frame 2 of five.avi"
cmp -s png.rgb avi.rgb || fail "frame-000002.png differs from frame 2 of five.avi"

# expect_colour X Y R G B NAME: the pixel at (X, Y) of the picture.
expect_colour() {
  local actual
  actual=$(od -An -tu1 -j $((($2 * 800 + $1) * 3)) -N3 png.rgb | tr -s ' ' | sed 's/^ //')
  [ "$actual" = "$3 $4 $5" ] || fail "pixel ($1, $2) is ($actual), expected $6 ($3 $4 $5)"
}
expect_colour 250 175 255 0 0 red
expect_colour 550 175 0 255 0 green
expect_colour 250 425 0 0 255 blue
expect_colour 690 540 255 255 255 white

# --verify: a file matches itself; a shifted one and a shorter one do not.
zelkrec --verify five.avi --reference five.avi
cat out
[ "$rc" -eq 0 ] || fail "--verify of a file against itself exited with $rc: $(cat err)"
grep -q '^zelkrec: five.avi matches five.avi: 5 frames of 800 x 600, all identical$' out ||
  fail "--verify against itself: no summary line"

zelkrec --verify shifted.avi --reference five.avi
cat out
[ "$rc" -eq 1 ] || fail "--verify of a shifted recording exited with $rc, expected 1"
grep -Eq '^zelkrec: shifted.avi differs from five.avi: frame 0 differs at pixel \([0-9]+, [0-9]+\): \([0-9, ]+\) here, \([0-9, ]+\) in the reference; 5 of 5 frames differ$' out ||
  fail "--verify of a shifted recording: no line naming the first difference"

zelkrec --verify fewer.avi --reference five.avi
cat out
[ "$rc" -eq 1 ] || fail "--verify of a shorter recording exited with $rc, expected 1"
grep -q '^zelkrec: fewer.avi differs from five.avi: the frame counts differ (3 frames here, 5 frames in the reference); the first 3 frames are identical$' out ||
  fail "--verify of a shorter recording: no line naming the frame counts"

# A compressed stream needs the decoder; a recorder alone in a folder has none.
strf=$(grep -obUa strf fewer.avi | head -1 | cut -d: -f1)
cp fewer.avi zlkc.avi && printf 'ZLKC' |
  dd of=zlkc.avi bs=1 seek=$((strf + 8 + 16)) conv=notrunc status=none || exit 1
mkdir alone && cp "$bin/zelkrec.exe" alone/ || exit 1
timeout 60 "$session" run "$state" alone/zelkrec.exe --play zlkc.avi --frames-out zlkc \
  >out.raw 2>err.raw
rc=$?
tr -d '\r' <err.raw | grep -v '^ALSA lib' >err
[ "$rc" -eq 1 ] || fail "--play of a ZLKC file without a decoder exited with $rc, expected 1"
grep -q '^zelkrec: no decoder for the ZLKC stream: Zelkdec is not registered, and loading .*Zelkdec\.ax failed: 0x8007007E' err ||
  fail "--play of a ZLKC file without a decoder: unexpected message '$(cat err)'"
[ "$(wc -l <err)" -eq 1 ] || fail "--play of a ZLKC file without a decoder: not one line"

# Damaged and missing files.
head -c 100000 five.avi >cut.avi
zelkrec --play cut.avi --frames-out cut
[ "$rc" -eq 1 ] || fail "--play of a truncated file exited with $rc, expected 1"
grep -q "^zelkrec: reading .*cut\.avi failed: the 'RIFF' chunk at offset 0 is [0-9]* bytes long, past the end of the file (offset 100000): the file is damaged or truncated$" err ||
  fail "--play of a truncated file: unexpected message '$(cat err)'"
zelkrec --verify five.avi --reference missing.avi
[ "$rc" -eq 1 ] || fail "--verify against a missing reference exited with $rc, expected 1"
grep -q '^zelkrec: opening .*missing\.avi failed: 0x80070002' err ||
  fail "--verify against a missing reference: unexpected message '$(cat err)'"

[ "$failures" -eq 0 ] && echo "zelkrec playback: all checks passed"
[ "$failures" -eq 0 ]
