// `CScrDlgMain`: the panel's dialog for one filter instance. A borderless window shaped by its
// skin bitmap, with three tabs (capture area, settings, about) drawn by the panel. It keeps a
// snapshot of the filter's parameters, reads it back whenever the filter reports a change (it
// asks every 100 ms), and writes the user's changes straight to the filter through `IZelkgrab`.
// It closes itself when the filter goes away. Several may be open at once; each deletes itself
// when its window is destroyed.
// Apartment: the server's main thread, where its window lives; calls to the filter are
// cross-process calls that block that thread until they return.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "common/registry_key.h"
#include "common/win_raii.h"
#include "panel/capture_tab.h"
#include "panel/parameter_snapshot.h"
#include "panel/settings_tab.h"
#include "panel/skinned_button.h"
#include "panel/tab_host.h"
#include "zelkgrab.h"

class CScrDlgMain final : public TabHost {
 public:
  static constexpr UINT_PTR kPollTimer = 100;

  // Opens a dialog for `filter` (none: only the About tab); E_FAIL when its window cannot be
  // made.
  static HRESULT open(IZelkgrab* filter);
  // Lets the open dialogs take their keyboard messages; true when one did.
  static bool preTranslate(MSG* message);

 private:
  enum Tab { CaptureTab = 0, SettingsTab = 1, AboutTab = 2, TabCount = 3 };

  explicit CScrDlgMain(IZelkgrab* filter);
  ~CScrDlgMain();

  // TabHost
  const ParameterSnapshot& snapshot() const override { return snapshot_; }
  bool applying() const override { return applying_; }
  HRESULT writeFlag(const wchar_t* path, LONG value) override;
  HRESULT writeDocument(const std::vector<DocumentValue>& values) override;
  void readBack() override;
  void addToolTip(HWND control, const wchar_t* text) override;
  CScrDlgMain(const CScrDlgMain&) = delete;
  CScrDlgMain& operator=(const CScrDlgMain&) = delete;

  static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK tabProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);

  void initialise();
  void createTooltips();
  void applySkin();
  void createTabs();
  void showTab(int tab);
  void paintSkin(HDC dc, HWND window) const;

  void showSnapshot();
  void onTimer();
  void onWindowPicked(HWND picked);
  void close();

  HWND window_ = nullptr;
  Microsoft::WRL::ComPtr<IZelkgrab> filter_;
  ParameterSnapshot snapshot_;
  bool applying_ = false;
  int tab_ = CaptureTab;
  RegistryKey settings_;
  HWND tabs_[TabCount] = {};
  HWND tooltip_ = nullptr;
  UniqueGdiFont font_;
  UniqueGdiBrush disabledEditBrush_;
  ScopedBitmap skin_;
  ScopedBitmap closeBitmaps_[3];
  SkinnedButton tabButtons_[TabCount];
  SkinnedButton closeButton_;
  CScrDlgScreen captureTab_{this};
  CScrDlgSettings settingsTab_{this};
  bool pendingRefresh_ = false;
};
