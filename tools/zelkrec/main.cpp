// zelkrec: records the screen through the Zelkgrab capture filter into an AVI file, from one
// command; or plays a recording back into pictures, or verifies it against a reference (see
// playback.h), or lists the windows it can follow. The filter's settings are put back as they
// were after a recording. Exit codes: 0 done, 1 the recording or playback failed (or the
// verified file differs), 2 bad arguments (also an existing output without --overwrite).
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "common/win_raii.h"
#include "tools/zelkrec/capture_document.h"
#include "tools/zelkrec/console_text.h"
#include "tools/zelkrec/filter_loader.h"
#include "tools/zelkrec/frame_counter.h"
#include "tools/zelkrec/options.h"
#include "tools/zelkrec/png_folder_writer.h"
#include "tools/zelkrec/playback.h"
#include "tools/zelkrec/progress_line.h"
#include "tools/zelkrec/recording_graph.h"
#include "tools/zelkrec/registry_snapshot.h"
#include "tools/zelkrec/saved_filter_settings.h"
#include "tools/zelkrec/stop_request.h"
#include "tools/zelkrec/watchdog.h"
#include "tools/zelkrec/window_choice.h"

using Microsoft::WRL::ComPtr;
using namespace std::chrono_literals;

namespace {

// {CA120208-830C-41EC-A5F0-69C21F0E88CA}: the recorder knows the filter by its public class id
// only, as any capture application does.
const CLSID kZelkgrab = {
    0xCA120208, 0x830C, 0x41EC, {0xA5, 0xF0, 0x69, 0xC2, 0x1F, 0x0E, 0x88, 0xCA}};
constexpr wchar_t kZelkgrabModule[] = L"Zelkgrab.ax";
// Where the filter keeps its saved settings (under the machine's key, else the user's).
constexpr wchar_t kZelkgrabSettingsKey[] = L"SOFTWARE\\MorvainLabs\\Zelkgrab";
// {638C2936-2071-4BEC-BD3F-EAA0C8F10F3F}: the ZLKC encoder, likewise by its class id.
const CLSID kZelkenc = {
    0x638C2936, 0x2071, 0x4BEC, {0xBD, 0x3F, 0xEA, 0xA0, 0xC8, 0xF1, 0x0F, 0x3F}};
constexpr wchar_t kZelkencModule[] = L"Zelkenc.ax";
constexpr REFERENCE_TIME kDefaultPeriod = 400000;

constexpr auto kFirstFrameLimit = 5s;
constexpr auto kStallLimit = 5s;

double seconds(FrameCounter::Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

unsigned long long fileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Exit code 2 for an output the recorder must not write; 0 when it may. The file itself is
// left alone: the writer creates (or replaces) it only once the graph runs.
int checkOutput(const std::wstring& path, bool overwrite, bool* existed) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  *existed = attributes != INVALID_FILE_ATTRIBUTES;
  if (*existed && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    fail(toUtf8(path) + " is a folder; --out needs a file name");
    return 2;
  }
  if (*existed && !overwrite) {
    fail(toUtf8(path) + " already exists; add --overwrite (-y) to replace it");
    return 2;
  }
  const std::wstring folder = path.substr(0, path.find_last_of(L"\\/"));
  const DWORD folderAttributes = ::GetFileAttributesW(folder.c_str());
  if (!folder.empty() && folder.back() != L':' &&
      (folderAttributes == INVALID_FILE_ATTRIBUTES ||
       !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))) {
    fail("the folder " + toUtf8(folder) + " does not exist");
    return 2;
  }
  return 0;
}

// The window --window or --hwnd names, if any; exit code 2 when there is no such single one.
int chooseWindow(const Options& options, std::optional<uint32_t>* window) {
  WindowChoice choice;
  if (options.windowTitle) {
    choice = chooseWindowByTitle(*options.windowTitle);
  } else if (options.windowHandle) {
    choice = chooseWindowByHandle(*options.windowHandle);
  } else {
    return 0;
  }
  if (!choice.error.empty()) {
    fail(choice.error);
    return 2;
  }
  *window = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(choice.window));
  return 0;
}

enum class Outcome { Target, Interrupted, Ended, Failed };

std::string progressText(const FrameCounter::Progress& progress, double elapsed,
                         unsigned long long bytes) {
  std::string text = frameCount(progress.frames) + ", " + formatNumber("%.1f", elapsed) + " s";
  const double span = seconds(progress.lastArrival - progress.firstArrival);
  if (progress.frames > 1 && span > 0) {
    text += ", " + formatNumber("%.1f", (progress.frames - 1) / span) + " fps";
  }
  text += ", " + formatMegabytes(bytes);
  if (progress.droppedPeriods > 0) {
    text += ", " + std::to_string(progress.droppedPeriods) + " dropped";
  }
  return text;
}

// Waits for the target or a stop, showing progress; bounded by the first-frame and stall
// limits.
Outcome recordUntilDone(RecordingGraph& graph, FrameCounter& counter, const Options& options,
                        REFERENCE_TIME period, const std::wstring& path, ProgressLine& line) {
  const auto started = FrameCounter::Clock::now();
  const auto stallLimit = kStallLimit + 2 * std::chrono::microseconds(period / 10);
  const HANDLE waits[] = {counter.targetReached(), stop_request::event()};
  for (;;) {
    const DWORD woken = ::WaitForMultipleObjects(2, waits, FALSE, 100);
    if (woken == WAIT_OBJECT_0) return Outcome::Target;
    if (woken == WAIT_OBJECT_0 + 1) return Outcome::Interrupted;

    bool ended = false;
    const HRESULT error = graph.pollEvents(&ended);
    if (FAILED(error)) {
      line.end();
      failWith(graph.step(), error);
      return Outcome::Failed;
    }
    if (ended) return Outcome::Ended;

    const FrameCounter::Progress progress = counter.progress();
    const auto now = FrameCounter::Clock::now();
    if (progress.frames == 0 && now - started > kFirstFrameLimit) {
      line.end();
      fail("no frame arrived within " + formatNumber("%.0f", seconds(kFirstFrameLimit)) +
           " s of starting the graph");
      return Outcome::Failed;
    }
    if (progress.frames > 0 && now - progress.lastArrival > stallLimit) {
      line.end();
      fail("frames stopped arriving after " + frameCount(progress.frames));
      return Outcome::Failed;
    }
    // Stream time is what ends a timed recording; a stream whose stamps stand still must not
    // keep the recorder for ever.
    if (options.limit == Options::Limit::Seconds && progress.frames > 0 &&
        seconds(now - progress.firstArrival) > 2 * options.seconds + 5) {
      line.end();
      fail("the stream's time stamps do not advance (" + frameCount(progress.frames) + " in " +
           formatNumber("%.1f", seconds(now - progress.firstArrival)) + " s)");
      return Outcome::Failed;
    }
    line.update(progressText(progress, seconds(now - started), fileSize(path)));
  }
}

int record(const Options& options) {
  // Declared first, so that a closing console waits for everything below to finish.
  struct SignalFinished {
    ~SignalFinished() { stop_request::finished(); }
  } signalFinished;
  if (!stop_request::install()) {
    return failWith("setting up the stop keys", HRESULT_FROM_WIN32(::GetLastError()));
  }

  const std::wstring path = fullPath(fromUtf8(options.outPath));
  bool existed = false;
  if (const int code = checkOutput(path, options.overwrite, &existed)) return code;
  std::optional<uint32_t> window;
  if (const int code = chooseWindow(options, &window)) return code;

  Watchdog watchdog;
  ComApartment apartment;
  if (FAILED(apartment.result())) return failWith("initialising COM", apartment.result());

  // The filter's saved copy, before the filter is made (which saves it); put back after the
  // filter is gone.
  RegistrySnapshot machineCopy;
  RegistrySnapshot userCopy;
  machineCopy.take(HKEY_LOCAL_MACHINE, kZelkgrabSettingsKey);
  userCopy.take(HKEY_CURRENT_USER, kZelkgrabSettingsKey);
  // Declared first, so the module outlives every object made from it.
  FilterModule module;
  ComPtr<IBaseFilter> capture;
  watchdog.arm(30s, "creating the capture filter did not finish within 30 s");
  HRESULT hr = module.createFilter(kZelkgrabModule, kZelkgrab, capture.ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    return failWith("creating the capture filter from " + toUtf8(module.source()), hr);
  }
  // Before anything changes them; put back on every way out from here.
  SavedFilterSettings savedSettings;
  hr = savedSettings.read(capture.Get());
  if (FAILED(hr)) return failWith("reading the capture filter's settings", hr);
  hr = savedSettings.apply(captureDocument(options, window));
  if (FAILED(hr)) return failWith("applying the capture options to the filter", hr);

  FilterModule encoderModule;
  ComPtr<IBaseFilter> encoder;
  if (options.codec == Options::Codec::Zlkc) {
    hr = encoderModule.createFilter(kZelkencModule, kZelkenc, encoder.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      return failWith("creating the ZLKC encoder from " + toUtf8(encoderModule.source()), hr);
    }
  }
  std::unique_ptr<PngFolderWriter> pictures;
  if (!options.framesOutDir.empty()) {
    const std::wstring folder = fullPath(fromUtf8(options.framesOutDir));
    hr = prepareFolder(folder);
    if (FAILED(hr)) return failWith("creating the folder " + toUtf8(folder), hr);
    pictures = std::make_unique<PngFolderWriter>(folder);
  }

  CaptureSettings settings;
  if (options.fps) settings.period = periodForFps(*options.fps);
  FrameCounter counter;
  RecordingGraph graph;
  watchdog.arm(30s, "building the graph did not finish within 30 s");
  hr = graph.build(capture.Get(), encoder.Get(), settings, path, &counter, pictures.get());
  if (FAILED(hr)) {
    failWith(graph.step(), hr);
    graph.release();
    return 1;
  }

  const StreamFormat& format = graph.format();
  const REFERENCE_TIME period = format.period > 0 ? format.period : kDefaultPeriod;
  std::string length;
  switch (options.limit) {
    case Options::Limit::Frames:
      counter.setFrameTarget(options.frames);
      length = " for " + frameCount(options.frames);
      break;
    case Options::Limit::Seconds:
      counter.setDurationTarget(std::llround(options.seconds * 1e7), period);
      length = " for " + formatNumber("%g", options.seconds) + " s";
      break;
    case Options::Limit::UntilStopped:
      counter.setPeriod(period);
      length = " until Ctrl+C or q";
      break;
  }
  if (!options.quiet) {
    say("recording " + std::to_string(format.width) + "x" + std::to_string(format.height) + " " +
        subtypeName(format.subtype) + (encoder ? " compressed to ZLKC" : "") + " at " +
        formatNumber("%g", 1e7 / period) + " fps" + length + " into " + toUtf8(path));
  }

  ProgressLine line(options.quiet);
  watchdog.arm(15s, "starting the graph did not finish within 15 s");
  hr = graph.run();
  watchdog.disarm();
  Outcome outcome = FAILED(hr) ? Outcome::Failed : Outcome::Target;
  if (FAILED(hr)) {
    failWith(graph.step(), hr);
  } else {
    outcome = recordUntilDone(graph, counter, options, period, path, line);
  }
  line.end();

  watchdog.arm(30s, "stopping the graph did not finish within 30 s; the file may be incomplete");
  const HRESULT stopped = graph.stop();
  HRESULT restored = savedSettings.restore();
  graph.release();
  encoder.Reset();
  capture.Reset();
  watchdog.disarm();
  for (RegistrySnapshot* copy : {&machineCopy, &userCopy}) {
    const HRESULT hr = copy->restore();
    if (SUCCEEDED(restored)) restored = hr;
  }
  const FrameCounter::Progress progress = counter.progress();
  if (FAILED(restored)) failWith("putting the capture filter's settings back", restored);
  if (outcome == Outcome::Failed) {
    if (pictures && !pictures->failure().empty()) fail(pictures->failure());
    // A file this run created and never recorded into is of no use; one it replaced is gone
    // either way.
    if (progress.frames == 0 && !existed) ::DeleteFileW(path.c_str());
    return 1;
  }
  if (FAILED(stopped)) return failWith(graph.step() + " (the file may be incomplete)", stopped);

  std::string rate = "no rate";
  const double span = seconds(progress.lastArrival - progress.firstArrival);
  if (progress.frames > 1 && span > 0) {
    rate = formatNumber("%.1f", (progress.frames - 1) / span) + " fps achieved";
  }
  std::string note;
  if (outcome == Outcome::Interrupted) note = " (stopped)";
  if (outcome == Outcome::Ended) note = " (the stream ended)";
  if (progress.droppedPeriods > 0) {
    note += ", " + std::to_string(progress.droppedPeriods) + " periods without a frame";
  }
  say("recorded " + frameCount(progress.frames) + ", " +
      formatNumber("%.2f", progress.recorded / 1e7) + " s of video, " + rate + ", " +
      formatMegabytes(fileSize(path)) + note + ": " + toUtf8(path));
  return FAILED(restored) ? 1 : 0;
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
    case Options::Mode::ListWindows:
      return printWindowList();
    case Options::Mode::Record:
      break;
  }
  return record(parsed.options);
}
