#!/usr/bin/env bash
# A ZLKC recording end to end under Wine, on the animated demo scene: zelkrec records through
# the Zelkenc encoder into Wine's AVI Mux and keeps, as PNG pictures, every frame as it went
# into the encoder. FFmpeg's ffprobe must read the file as one video stream with the frame
# count asked for, a key frame first and at least every 30 frames, and difference frames in
# between; zelkrec's player then decodes the file through Zelkdec into pictures that must be
# byte for byte the ones the encoder was given.
#   zelkrec_codec_test.sh WINE_SESSION STATE_DIR BIN_DIR WORK_DIR
set -u
[ $# -eq 4 ] || { echo "usage: $0 WINE_SESSION STATE_DIR BIN_DIR WORK_DIR" >&2; exit 2; }
session=$1 state=$2 bin=$3 work=$4/codec
for tool in ffprobe cmp; do
  command -v "$tool" >/dev/null || { echo "$tool not found; run scripts/bootstrap" >&2; exit 1; }
done
# shellcheck source=scene_test_lib.sh
. "$(dirname "$0")/scene_test_lib.sh"
rm -rf "$work" && mkdir -p "$work" || exit 1
cd "$work" || exit 1

keep_work_on_failure=$work
trap finish EXIT
forget_settings
start_scene 'demo_scene: ready'

frames=45
zelkrec --codec zlkc --frames "$frames" --fps 15 --out zlkc.avi --frames-out tapped
cat out
[ "$rc" -eq 0 ] || { fail "recording exited with $rc: $(cat err)"; exit 1; }
grep -q 'compressed to ZLKC' out || fail "the start-up line does not name the codec"

stream=$(timeout 60 ffprobe -v error -select_streams v -show_entries stream=codec_tag_string,width,height \
  -of default=nw=1 zlkc.avi)
echo "$stream"
grep -qx 'codec_tag_string=ZLKC' <<<"$stream" || fail "the stream is not tagged ZLKC: $stream"
grep -qx 'width=800' <<<"$stream" && grep -qx 'height=600' <<<"$stream" ||
  fail "the stream is not 800 x 600"
[ "$(timeout 60 ffprobe -v error -show_entries stream=codec_type -of csv=p=0 zlkc.avi |
  grep -c .)" -eq 1 ] || fail "the file does not hold exactly one stream"

# One line per packet: K for a key frame.
flags=$(timeout 60 ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 \
  zlkc.avi | cut -c1)
packets=$(grep -c . <<<"$flags")
[ "$packets" -eq "$frames" ] || fail "$packets packets, expected $frames"
[ "$(head -n1 <<<"$flags")" = "K" ] || fail "the first packet is no key frame"
longest=$(awk '$1 == "K" { if (NR - last > gap) gap = NR - last; last = NR }
  END { if (NR + 1 - last > gap) gap = NR + 1 - last; print gap + 0 }' <<<"$flags")
[ "$longest" -le 30 ] || fail "$longest packets between key frames, expected at most 30"
grep -q '^_' <<<"$flags" || fail "no difference frame: the encoder sent only key frames"

tapped=$(ls tapped | grep -c '^frame-.*\.png$')
[ "$tapped" -eq "$frames" ] || fail "$tapped pictures kept while recording, expected $frames"

zelkrec --play zlkc.avi --frames-out played
[ "$rc" -eq 0 ] || fail "playback exited with $rc: $(cat err)"
played=$(ls played | grep -c '^frame-.*\.png$')
[ "$played" -eq "$frames" ] || fail "$played pictures played back, expected $frames"
for picture in tapped/frame-*.png; do
  name=${picture#tapped/}
  cmp -s "$picture" "played/$name" || { fail "$name differs from the frame the encoder got"; break; }
done
# The animation must have moved, or the comparison shows nothing about difference frames.
cmp -s tapped/frame-000000.png "tapped/frame-$(printf %06d $((frames - 1))).png" &&
  fail "the first and last recorded frames are the same: the scene did not move"

[ "$failures" -eq 0 ] && echo "ZLKC recording: all checks passed"
[ "$failures" -eq 0 ]
