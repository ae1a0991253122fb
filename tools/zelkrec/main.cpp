// zelkrec: records the screen through the Zelkgrab capture filter into an AVI file, from one
// command; or plays a recording back into pictures, or verifies it against a reference (see
// playback.h). Exit codes: 0 done, 1 the recording or playback failed (or the verified file
// differs), 2 bad arguments.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "common/win_raii.h"
#include "tools/zelkrec/console_text.h"
#include "tools/zelkrec/filter_loader.h"
#include "tools/zelkrec/frame_counter.h"
#include "tools/zelkrec/options.h"
#include "tools/zelkrec/png_folder_writer.h"
#include "tools/zelkrec/playback.h"
#include "tools/zelkrec/recording_graph.h"
#include "tools/zelkrec/watchdog.h"

using Microsoft::WRL::ComPtr;
using namespace std::chrono_literals;

namespace {

// {CA120208-830C-41EC-A5F0-69C21F0E88CA}: the recorder knows the filter by its public class id
// only, as any capture application does.
const CLSID kZelkgrab = {
    0xCA120208, 0x830C, 0x41EC, {0xA5, 0xF0, 0x69, 0xC2, 0x1F, 0x0E, 0x88, 0xCA}};
constexpr wchar_t kZelkgrabModule[] = L"Zelkgrab.ax";
// {638C2936-2071-4BEC-BD3F-EAA0C8F10F3F}: the ZLKC encoder, likewise by its class id.
const CLSID kZelkenc = {
    0x638C2936, 0x2071, 0x4BEC, {0xBD, 0x3F, 0xEA, 0xA0, 0xC8, 0xF1, 0x0F, 0x3F}};
constexpr wchar_t kZelkencModule[] = L"Zelkenc.ax";
constexpr REFERENCE_TIME kDefaultPeriod = 400000;

constexpr auto kFirstFrameLimit = 5s;
constexpr auto kStallLimit = 5s;
constexpr auto kProgressInterval = 500ms;

UniqueHandle g_interrupted;

BOOL WINAPI onConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  // Stop like at the target, so that the mux still finishes the file.
  ::SetEvent(g_interrupted.get());
  return TRUE;
}

double seconds(FrameCounter::Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

unsigned long long fileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Creating the file first gives a clear error for a bad path, and starts it empty: the
// writer need not truncate what a longer earlier recording left.
HRESULT prepareOutput(const std::wstring& path) {
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  return file ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
}

enum class Outcome { Target, Interrupted, Ended, Failed };

// Waits for the target, printing progress; bounded by the first-frame and stall limits.
Outcome recordUntilDone(RecordingGraph& graph, FrameCounter& counter, const Options& options,
                        REFERENCE_TIME period, const std::wstring& path) {
  const auto started = FrameCounter::Clock::now();
  auto nextProgress = started + kProgressInterval;
  const auto stallLimit = kStallLimit + 2 * std::chrono::microseconds(period / 10);
  const HANDLE waits[] = {counter.targetReached(), g_interrupted.get()};
  for (;;) {
    const DWORD woken = ::WaitForMultipleObjects(2, waits, FALSE, 100);
    if (woken == WAIT_OBJECT_0) return Outcome::Target;
    if (woken == WAIT_OBJECT_0 + 1) return Outcome::Interrupted;

    bool ended = false;
    const HRESULT error = graph.pollEvents(&ended);
    if (FAILED(error)) {
      failWith(graph.step(), error);
      return Outcome::Failed;
    }
    if (ended) return Outcome::Ended;

    const FrameCounter::Progress progress = counter.progress();
    const auto now = FrameCounter::Clock::now();
    if (progress.frames == 0 && now - started > kFirstFrameLimit) {
      fail("no frame arrived within " + formatNumber("%.0f", seconds(kFirstFrameLimit)) +
           " s of starting the graph");
      return Outcome::Failed;
    }
    if (progress.frames > 0 && now - progress.lastArrival > stallLimit) {
      fail("frames stopped arriving after " + frameCount(progress.frames));
      return Outcome::Failed;
    }
    // Stream time is what ends a timed recording; a stream whose stamps stand still must not
    // keep the recorder for ever.
    if (options.limit == Options::Limit::Seconds && progress.frames > 0 &&
        seconds(now - progress.firstArrival) > 2 * options.seconds + 5) {
      fail("the stream's time stamps do not advance (" + frameCount(progress.frames) + " in " +
           formatNumber("%.1f", seconds(now - progress.firstArrival)) + " s)");
      return Outcome::Failed;
    }
    if (now >= nextProgress) {
      say(frameCount(progress.frames) + ", " + formatNumber("%.1f", seconds(now - started)) +
          " s, " + formatMegabytes(fileSize(path)));
      nextProgress += kProgressInterval;
    }
  }
}

int record(const Options& options) {
  Watchdog watchdog;
  ComApartment apartment;
  if (FAILED(apartment.result())) return failWith("initialising COM", apartment.result());
  g_interrupted.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ::SetConsoleCtrlHandler(onConsoleControl, TRUE);

  const std::wstring path = fullPath(fromUtf8(options.outPath));
  HRESULT hr = prepareOutput(path);
  if (FAILED(hr)) return failWith("creating " + toUtf8(path), hr);

  // Declared first, so the module outlives every object made from it.
  FilterModule module;
  ComPtr<IBaseFilter> capture;
  watchdog.arm(30s, "creating the capture filter did not finish within 30 s");
  // A recording that never started leaves no empty file behind.
  const auto abandon = [&path](int code) {
    ::DeleteFileW(path.c_str());
    return code;
  };
  hr = module.createFilter(kZelkgrabModule, kZelkgrab, capture.ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    return abandon(failWith("creating the capture filter from " + toUtf8(module.path()), hr));
  }
  FilterModule encoderModule;
  ComPtr<IBaseFilter> encoder;
  if (options.codec == Options::Codec::Zlkc) {
    hr = encoderModule.createFilter(kZelkencModule, kZelkenc, encoder.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      return abandon(
          failWith("creating the ZLKC encoder from " + toUtf8(encoderModule.path()), hr));
    }
  }
  std::unique_ptr<PngFolderWriter> pictures;
  if (!options.framesOutDir.empty()) {
    const std::wstring folder = fullPath(fromUtf8(options.framesOutDir));
    hr = prepareFolder(folder);
    if (FAILED(hr)) return abandon(failWith("creating the folder " + toUtf8(folder), hr));
    pictures = std::make_unique<PngFolderWriter>(folder);
  }

  CaptureSettings settings;
  if (options.fps) settings.period = periodForFps(*options.fps);
  if (options.rect) {
    settings.area =
        RECT{options.rect->left, options.rect->top, options.rect->right, options.rect->bottom};
  }
  settings.desktop = options.desktop;
  FrameCounter counter;
  RecordingGraph graph;
  watchdog.arm(30s, "building the graph did not finish within 30 s");
  hr = graph.build(capture.Get(), encoder.Get(), settings, path, &counter, pictures.get());
  if (FAILED(hr)) {
    failWith(graph.step(), hr);
    graph.release();
    return abandon(1);
  }

  const StreamFormat& format = graph.format();
  const REFERENCE_TIME period = format.period > 0 ? format.period : kDefaultPeriod;
  std::string length;
  if (options.limit == Options::Limit::Frames) {
    counter.setFrameTarget(options.frames);
    length = frameCount(options.frames);
  } else {
    counter.setDurationTarget(std::llround(options.seconds * 1e7), period);
    length = formatNumber("%g", options.seconds) + " s";
  }
  say("recording " + std::to_string(format.width) + "x" + std::to_string(format.height) + " " +
      subtypeName(format.subtype) + (encoder ? " compressed to ZLKC" : "") + " at " +
      formatNumber("%g", 1e7 / period) + " fps for " +
      length + " into " + toUtf8(path));

  watchdog.arm(15s, "starting the graph did not finish within 15 s");
  hr = graph.run();
  watchdog.disarm();
  Outcome outcome = FAILED(hr) ? Outcome::Failed : Outcome::Target;
  if (FAILED(hr)) {
    failWith(graph.step(), hr);
  } else {
    outcome = recordUntilDone(graph, counter, options, period, path);
  }

  watchdog.arm(30s, "stopping the graph did not finish within 30 s; the file may be incomplete");
  const HRESULT stopped = graph.stop();
  graph.release();
  encoder.Reset();
  capture.Reset();
  watchdog.disarm();
  const FrameCounter::Progress progress = counter.progress();
  if (outcome == Outcome::Failed) {
    if (pictures && !pictures->failure().empty()) fail(pictures->failure());
    return progress.frames == 0 ? abandon(1) : 1;
  }
  if (FAILED(stopped)) return failWith(graph.step() + " (the file may be incomplete)", stopped);

  std::string rate = "no rate";
  const double span = seconds(progress.lastArrival - progress.firstArrival);
  if (progress.frames > 1 && span > 0) {
    rate = formatNumber("%.1f", (progress.frames - 1) / span) + " fps achieved";
  }
  std::string note;
  if (outcome == Outcome::Interrupted) note = " (interrupted)";
  if (outcome == Outcome::Ended) note = " (the stream ended)";
  say("recorded " + frameCount(progress.frames) + ", " +
      formatNumber("%.2f", progress.recorded / 1e7) + " s of video, " + rate + ", " +
      formatMegabytes(fileSize(path)) + note + ": " + toUtf8(path));
  return 0;
}

}  // namespace

int main() {
  ::SetConsoleOutputCP(CP_UTF8);
  const ParseResult parsed = parseOptions(commandLineArguments());
  if (!parsed.ok()) {
    std::fprintf(stderr, "zelkrec: %s\nTry 'zelkrec --help' for more information.\n",
                 parsed.error.c_str());
    return 2;
  }
  if (parsed.options.help) {
    std::fputs(usageText("zelkrec").c_str(), stdout);
    return 0;
  }
  switch (parsed.options.mode) {
    case Options::Mode::Play:
      return play(parsed.options);
    case Options::Mode::Verify:
      return verify(parsed.options);
    case Options::Mode::Record:
      break;
  }
  return record(parsed.options);
}
