// The capture pin's link to the control panel's queue object.
#include "capture/panel_link.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <new>

#include <wrl/client.h>

#include "common/win_raii.h"
#include "zelkpanel.h"

namespace {

constexpr DWORD kAnyServer = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

bool startsWith(const wchar_t* text, const wchar_t* prefix) {
  return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

void put(IZelkgrabQueue* queue, const wchar_t* property, const wchar_t* value) {
  UniqueBstr name(::SysAllocString(property));
  UniqueBstr text(::SysAllocString(value));
  if (name && text) queue->put_qparam(name.get(), text.get());
}

// False when the queue failed to answer: its panel has gone (ended or killed). A burst of
// events (a busy desktop reports hundreds) is read for at most kDrainBudgetMs a period, so
// that the worker never waits long enough to give the panel up; what is left is read in the
// next periods, and since it may hold any change, this period counts as changed.
bool drain(IZelkgrabQueue* queue, bool* geometryChanged, bool* cursorChanged) {
  UniqueBstr property(::SysAllocString(L"event"));
  if (!property) return true;
  const ULONGLONG deadline = ::GetTickCount64() + PanelLink::kDrainBudgetMs;
  for (;;) {
    if (::GetTickCount64() > deadline) {
      *geometryChanged = true;
      *cursorChanged = true;
      return true;
    }
    UniqueBstr text;
    const HRESULT hr = queue->get_qparam(property.get(), text.put());
    if (hr != S_OK) return SUCCEEDED(hr);
    switch (classifyPanelEvent(text.get())) {
      case PanelEvent::Geometry:
        *geometryChanged = true;
        break;
      case PanelEvent::Cursor:
        *cursorChanged = true;
        break;
      case PanelEvent::Other:
        break;
    }
  }
}

void send(IZelkgrabQueue* queue, const FrameReport& report) {
  if (report.kind == FrameReport::Kind::Hide) {
    put(queue, L"FrameShow", L"0");
  } else if (report.kind == FrameReport::Kind::Show) {
    wchar_t position[64];
    std::swprintf(position, sizeof(position) / sizeof(position[0]), L"%d,%d,%d,%d",
                  static_cast<int>(report.screen.left), static_cast<int>(report.screen.top),
                  static_cast<int>(report.screen.right), static_cast<int>(report.screen.bottom));
    put(queue, L"FramePos", position);
    put(queue, L"FrameShow", L"1");
  }
}

}  // namespace

PanelEvent classifyPanelEvent(const wchar_t* text) {
  if (!text) return PanelEvent::Other;
  for (const wchar_t* prefix : {L"WindowChanged", L"WindowBorderChanged",
                                L"WindowClientAreaChanged", L"RectangleChanged"}) {
    if (startsWith(text, prefix)) return PanelEvent::Geometry;
  }
  if (startsWith(text, L"CursorChanged")) return PanelEvent::Cursor;
  return PanelEvent::Other;
}

// Shared by the worker and the link's thread; the thread's reference keeps it after the
// worker gave up on it.
struct PanelLink::Channel {
  std::mutex mutex;
  std::condition_variable changed;
  Job job = Job::None;
  bool done = false;       // the thread finished `job` (or, at first, its start-up)
  bool opened = false;     // the queue object exists
  bool abandoned = false;  // the worker no longer waits: end after the current job
  FrameReport frame;
  bool geometryChanged = false;
  bool cursorChanged = false;
  bool gone = false;         // the queue failed: the panel is no more
  HMODULE module = nullptr;  // held by the thread, released as it ends
};

PanelLink::~PanelLink() { close(); }

void PanelLink::open() {
  close();
  auto channel = std::make_shared<Channel>();
  // The thread may outlive the pin when the panel hangs: it keeps this module loaded.
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&PanelLink::threadProc), &channel->module)) {
    return;
  }
  auto* threadReference = new (std::nothrow) std::shared_ptr<Channel>(channel);
  HANDLE thread = threadReference ? ::CreateThread(nullptr, 0, &PanelLink::threadProc,
                                                   threadReference, 0, nullptr)
                                  : nullptr;
  if (!thread) {
    delete threadReference;
    ::FreeLibrary(channel->module);
    return;
  }
  ::CloseHandle(thread);  // the channel says when it is done

  std::unique_lock<std::mutex> lock(channel->mutex);
  const bool answered = channel->changed.wait_for(lock, std::chrono::milliseconds(kOpenTimeoutMs),
                                                  [&] { return channel->done; });
  if (answered && channel->opened) {
    channel_ = channel;
    return;
  }
  // No panel, or none in time: this stream goes without.
  channel->abandoned = true;
  channel->changed.notify_all();
}

void PanelLink::close() {
  if (!channel_) return;
  call(Job::Close, kCallTimeoutMs);
  abandon();
}

bool PanelLink::drainEvents(bool* geometryChanged, bool* cursorChanged) {
  if (!channel_) return false;
  if (!call(Job::Drain, kCallTimeoutMs)) return false;
  // The thread is idle again: its results are ours to read.
  {
    std::lock_guard<std::mutex> lock(channel_->mutex);
    if (!channel_->gone) {
      if (channel_->geometryChanged) *geometryChanged = true;
      if (channel_->cursorChanged) *cursorChanged = true;
      return true;
    }
  }
  // A panel that has gone stays gone for this stream.
  close();
  return false;
}

void PanelLink::report(const FrameReport& report) {
  if (!channel_ || report.kind == FrameReport::Kind::None) return;
  {
    std::lock_guard<std::mutex> lock(channel_->mutex);
    channel_->frame = report;
  }
  call(Job::Report, kCallTimeoutMs);
}

bool PanelLink::call(Job job, DWORD timeoutMs) {
  Channel& channel = *channel_;
  std::unique_lock<std::mutex> lock(channel.mutex);
  channel.job = job;
  channel.done = false;
  channel.geometryChanged = false;
  channel.cursorChanged = false;
  channel.changed.notify_all();
  if (channel.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return channel.done; })) {
    return true;
  }
  lock.unlock();
  abandon();
  return false;
}

void PanelLink::abandon() {
  if (!channel_) return;
  {
    std::lock_guard<std::mutex> lock(channel_->mutex);
    channel_->abandoned = true;
  }
  channel_->changed.notify_all();
  channel_.reset();
}

DWORD WINAPI PanelLink::threadProc(void* parameter) {
  std::shared_ptr<Channel> channel = std::move(*static_cast<std::shared_ptr<Channel>*>(parameter));
  delete static_cast<std::shared_ptr<Channel>*>(parameter);
  const HMODULE module = channel->module;
  {
    ComApartment apartment(COINIT_MULTITHREADED);
    Microsoft::WRL::ComPtr<IZelkgrabQueue> queue;
    if (FAILED(::CoCreateInstance(CLSID_ZelkgrabQueue, nullptr, kAnyServer, IID_IZelkgrabQueue,
                                  reinterpret_cast<void**>(queue.GetAddressOf())))) {
      queue.Reset();
    }
    std::unique_lock<std::mutex> lock(channel->mutex);
    channel->opened = queue != nullptr;
    channel->done = true;
    channel->changed.notify_all();
    while (queue) {
      channel->changed.wait(lock, [&] { return channel->abandoned || !channel->done; });
      if (channel->abandoned && channel->done) break;
      const Job job = channel->job;
      const FrameReport frame = channel->frame;
      bool geometryChanged = false;
      bool cursorChanged = false;
      bool answered = true;
      lock.unlock();
      if (job == Job::Drain) answered = drain(queue.Get(), &geometryChanged, &cursorChanged);
      if (job == Job::Report) send(queue.Get(), frame);
      if (job == Job::Close) queue.Reset();
      lock.lock();
      channel->geometryChanged = geometryChanged;
      channel->cursorChanged = cursorChanged;
      if (!answered) channel->gone = true;
      channel->done = true;
      channel->changed.notify_all();
      if (job == Job::Close) break;
    }
    lock.unlock();
    // The queue object goes before the apartment.
    queue.Reset();
  }
  channel.reset();
  ::FreeLibraryAndExitThread(module, 0);
}
