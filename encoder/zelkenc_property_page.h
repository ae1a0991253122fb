// The encoder's property page "ZelkencProp": shows the codec's description and version and
// edits the quality and keyframe rate of the connected encoder through its
// IAMVideoCompression. Every change goes to the encoder as it is made (on a trackbar release,
// a button click, or the keyframe edit losing the focus) and the page then shows what the
// encoder stored; Apply has nothing left to do.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include "dshow/property_page.h"

class ZelkencPropertyPage final : public CBasePropertyPage {
 public:
  static CUnknown* create(IUnknown* outer, HRESULT* hr);

  explicit ZelkencPropertyPage(IUnknown* outer);

  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;

 protected:
  HRESULT OnConnect(IUnknown* object) override;
  HRESULT OnDisconnect() override;
  HRESULT OnActivate() override;
  HRESULT OnDeactivate() override;
  HRESULT OnApplyChanges() override;
  INT_PTR OnReceiveMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // Reads everything back from the encoder into the controls.
  HRESULT refresh();
  void onCommand(WORD control, WORD code);
  void setNumber(int control, long value);

  Microsoft::WRL::ComPtr<IAMVideoCompression> compression_;
  bool active_ = false;
  // What the encoder's GetInfo gave at the last refresh, for the two "default" buttons.
  LONG defaultKeyframeRate_ = 0;
  double defaultQuality_ = 0.0;
};
