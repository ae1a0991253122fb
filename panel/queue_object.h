// `ZelkgrabQueue`: the panel's side of one streaming filter. It queues the event names the
// hooks server broadcasts until the filter takes them, and owns the frame window that marks
// the filter's capture area, placed, shown and styled through `qparam`.
// Apartment: the server's main thread; the lock also orders the queue against the hooks
// server's broadcasts, which take the server's lock first.
#pragma once

#include <deque>
#include <string>

#include "dshow/critsec.h"
#include "panel/dispatch_object.h"
#include "panel/frame_window.h"
#include "panel/hooks_server.h"
#include "zelkpanel.h"

class CZelkgrabQueue final : public DispatchObject<IZelkgrabQueue, IID_IZelkgrabQueue>,
                             public EventSink {
 public:
  // E_FAIL when the frame window cannot be made.
  static HRESULT create(REFIID iid, void** object);

  HRESULT STDMETHODCALLTYPE get_qparam(BSTR prop, BSTR* param) override;
  HRESULT STDMETHODCALLTYPE put_qparam(BSTR prop, BSTR param) override;

  void appendEvent(const wchar_t* name) override;

 private:
  CZelkgrabQueue() = default;
  ~CZelkgrabQueue() override;
  HRESULT initialise();

  CCritSec lock_;
  std::deque<std::wstring> events_;
  FrameWindow frame_;
  bool registered_ = false;
};
