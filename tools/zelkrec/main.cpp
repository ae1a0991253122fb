// zelkrec: records the screen through the Zelkgrab capture filter into an AVI file, from one
// command. Exit codes: 0 recorded, 1 the recording failed, 2 bad arguments.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "common/win_raii.h"
#include "tools/zelkrec/console_text.h"
#include "tools/zelkrec/filter_loader.h"
#include "tools/zelkrec/frame_counter.h"
#include "tools/zelkrec/options.h"
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

void say(const std::string& line) {
  std::fputs(("zelkrec: " + line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

int fail(const std::string& line) {
  std::fflush(stdout);
  std::fputs(("zelkrec: " + line + "\n").c_str(), stderr);
  std::fflush(stderr);
  return 1;
}

int failWith(const std::string& what, HRESULT hr) {
  return fail(what + " failed: " + describeHresult(hr));
}

double seconds(FrameCounter::Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

std::string formatNumber(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string frameCount(long long frames) {
  return std::to_string(frames) + (frames == 1 ? " frame" : " frames");
}

unsigned long long fileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring fullPath(const std::wstring& path) {
  DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  size = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  full.resize(size);
  return full;
}

// The one place that decides where the capture filter comes from: the registered module when
// there is one, as capture applications find it, else the copy beside the program (the build
// does not register it).
HRESULT createCaptureFilter(FilterModule& module, ComPtr<IBaseFilter>* filter) {
  if (SUCCEEDED(::CoCreateInstance(kZelkgrab, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(filter->ReleaseAndGetAddressOf())))) {
    return S_OK;
  }
  return module.create(kZelkgrabModule, kZelkgrab, IID_PPV_ARGS(filter->ReleaseAndGetAddressOf()));
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
Outcome recordUntilDone(RecordingGraph& graph, FrameCounter& counter, const RecordOptions& options,
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
    if (options.limit == RecordOptions::Limit::Seconds && progress.frames > 0 &&
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

int record(const RecordOptions& options) {
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
  hr = createCaptureFilter(module, &capture);
  if (FAILED(hr)) {
    return abandon(failWith("creating the capture filter from " + toUtf8(module.path()), hr));
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
  hr = graph.build(capture.Get(), settings, path, &counter);
  if (FAILED(hr)) {
    failWith(graph.step(), hr);
    graph.release();
    return abandon(1);
  }

  const StreamFormat& format = graph.format();
  const REFERENCE_TIME period = format.period > 0 ? format.period : kDefaultPeriod;
  std::string length;
  if (options.limit == RecordOptions::Limit::Frames) {
    counter.setFrameTarget(options.frames);
    length = frameCount(options.frames);
  } else {
    counter.setDurationTarget(std::llround(options.seconds * 1e7), period);
    length = formatNumber("%g", options.seconds) + " s";
  }
  say("recording " + std::to_string(format.width) + "x" + std::to_string(format.height) + " " +
      subtypeName(format.subtype) + " at " + formatNumber("%g", 1e7 / period) + " fps for " +
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
  capture.Reset();
  watchdog.disarm();
  const FrameCounter::Progress progress = counter.progress();
  if (outcome == Outcome::Failed) return progress.frames == 0 ? abandon(1) : 1;
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
  return record(parsed.options);
}
