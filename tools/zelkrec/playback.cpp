// Playback runs a graph of our AVI source, the decoder the stream needs and the frame sink to
// the end of the stream, bounded by a watchdog for the steps inside others' code and by a stall
// limit while frames flow.
#include "tools/zelkrec/playback.h"

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "common/win_raii.h"
#include "tools/zelkrec/console_text.h"
#include "tools/zelkrec/fourcc.h"
#include "tools/zelkrec/playback_graph.h"
#include "tools/zelkrec/png_folder_writer.h"
#include "tools/zelkrec/reference_check.h"
#include "tools/zelkrec/watchdog.h"

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStallLimit = 10s;
constexpr auto kProgressInterval = 500ms;

std::string describeStream(const AviRecording& recording) {
  const AviVideoFormat& video = recording.video();
  const std::string format = video.uncompressed() ? std::to_string(video.bitCount) + "-bit RGB"
                                                  : fourccText(video.compression);
  return frameCount(static_cast<long long>(recording.contents().frames.size())) + " of " +
         std::to_string(video.width) + " x " + std::to_string(std::abs(video.height)) + " " +
         format + " at " + formatNumber("%g", 1e7 / video.framePeriod) + " fps";
}

std::shared_ptr<AviRecording> openRecording(const std::string& path, std::string* error) {
  auto recording = std::make_shared<AviRecording>();
  if (!recording->open(fullPath(fromUtf8(path)), error)) return nullptr;
  return recording;
}

// Waits for the end of the stream, printing progress; false (with the message printed) when
// the graph failed or frames stopped coming.
bool playToEnd(PlaybackGraph& graph, long long total) {
  auto nextProgress = Clock::now() + kProgressInterval;
  long long lastFrames = -1;
  auto lastChange = Clock::now();
  for (;;) {
    if (::WaitForSingleObject(graph.ended(), 100) == WAIT_OBJECT_0) return true;
    const HRESULT error = graph.pollEvents();
    if (FAILED(error)) {
      if (!graph.sinkFailure().empty())
        fail(graph.sinkFailure());
      else
        failWith(graph.step(), error);
      return false;
    }
    const long long frames = graph.frames();
    const auto now = Clock::now();
    if (frames != lastFrames) {
      lastFrames = frames;
      lastChange = now;
    } else if (now - lastChange > kStallLimit) {
      fail("playback stalled after " + std::to_string(frames) + " of " + frameCount(total));
      return false;
    }
    if (now >= nextProgress) {
      say(std::to_string(frames) + " of " + frameCount(total));
      nextProgress += kProgressInterval;
    }
  }
}

// Plays `recording` into `consumer`; false (with the message printed) unless every frame of
// the file arrived.
bool playInto(const std::string& shownPath, std::shared_ptr<AviRecording> recording,
              FrameConsumer* consumer) {
  const long long total = static_cast<long long>(recording->contents().frames.size());
  if (total == 0) {
    fail(shownPath + " holds no video frames");
    return false;
  }
  Watchdog watchdog;
  ComApartment apartment;
  if (FAILED(apartment.result())) {
    failWith("initialising COM", apartment.result());
    return false;
  }
  // Declared first, so the module outlives every object made from it.
  FilterModule decoderModule;
  PlaybackGraph graph;
  say("playing " + shownPath + ": " + describeStream(*recording));
  watchdog.arm(30s, "building the playback graph did not finish within 30 s");
  HRESULT hr = graph.build(std::move(recording), consumer, &decoderModule);
  if (FAILED(hr)) {
    watchdog.disarm();
    failWith(graph.step(), hr);
    graph.release();
    return false;
  }
  watchdog.arm(15s, "starting the playback graph did not finish within 15 s");
  hr = graph.run();
  watchdog.disarm();
  bool played = SUCCEEDED(hr);
  if (!played) {
    failWith(graph.step(), hr);
  } else {
    played = playToEnd(graph, total);
  }
  watchdog.arm(30s, "stopping the playback graph did not finish within 30 s");
  const HRESULT stopped = graph.stop();
  graph.release();
  watchdog.disarm();
  if (!played) return false;
  if (FAILED(stopped)) {
    failWith(graph.step(), stopped);
    return false;
  }
  if (graph.frames() != total) {
    fail("only " + std::to_string(graph.frames()) + " of " + frameCount(total) + " of " +
         shownPath + " came through");
    return false;
  }
  return true;
}

}  // namespace

int play(const Options& options) {
  std::string error;
  std::shared_ptr<AviRecording> recording = openRecording(options.inputPath, &error);
  if (!recording) return fail(error);
  const std::wstring folder = fullPath(fromUtf8(options.framesOutDir));
  const HRESULT hr = prepareFolder(folder);
  if (FAILED(hr)) return failWith("creating the folder " + toUtf8(folder), hr);

  const AviVideoFormat video = recording->video();
  const long long total = static_cast<long long>(recording->contents().frames.size());
  PngFolderWriter writer(folder);
  if (!playInto(options.inputPath, std::move(recording), &writer)) return 1;
  say("wrote " + frameCount(total) + " of " + std::to_string(video.width) + " x " +
      std::to_string(std::abs(video.height)) + " as PNG pictures into " + toUtf8(folder));
  return 0;
}

int verify(const Options& options) {
  std::string error;
  const std::shared_ptr<AviRecording> reference = openRecording(options.referencePath, &error);
  if (!reference) return fail(error);
  const BitmapLayoutResult layout = bitmapLayout(reference->video().header);
  if (!layout.ok()) {
    return fail("the reference " + options.referencePath +
                " is not an uncompressed RGB recording: " + layout.error);
  }
  std::shared_ptr<AviRecording> recording = openRecording(options.inputPath, &error);
  if (!recording) return fail(error);

  ReferenceCheck check(reference->bytes(), reference->contents(), layout.layout);
  if (!playInto(options.inputPath, std::move(recording), &check)) return 1;
  if (check.identical()) {
    say(options.inputPath + " matches " + options.referencePath + ": " + check.summary());
    return 0;
  }
  say(options.inputPath + " differs from " + options.referencePath + ": " + check.summary());
  return 1;
}
