// The system mouse through DirectInput 8, read by the pointer overlay to show held buttons.
// The capture pin creates it on an application thread and releases it with itself; between
// the two only the pin's streaming thread uses it, under the pin lock.
#pragma once

#include <windows.h>
#include <dinput.h>
#include <wrl/client.h>

class MouseDevice {
 public:
  MouseDevice() = default;
  ~MouseDevice() { reset(); }
  MouseDevice(const MouseDevice&) = delete;
  MouseDevice& operator=(const MouseDevice&) = delete;

  // DirectInput for this process and its system mouse, reporting DIMOUSESTATE. Holds nothing
  // after a failure.
  HRESULT create();
  // The device goes before the DirectInput object that made it.
  void reset();

  // Null when there is no device.
  IDirectInputDevice8W* device() const { return mouseDevice_.Get(); }

 private:
  Microsoft::WRL::ComPtr<IDirectInput8W> directInput_;
  Microsoft::WRL::ComPtr<IDirectInputDevice8W> mouseDevice_;
};
