// DirectInput's system mouse: creation and release.
#include <windows.h>

#include "capture/mouse_device.h"

#include <utility>

using Microsoft::WRL::ComPtr;

HRESULT MouseDevice::create() {
  reset();
  ComPtr<IDirectInput8W> directInput;
  HRESULT hr = ::DirectInput8Create(::GetModuleHandleW(nullptr), 0x0800, IID_IDirectInput8W,
                                    reinterpret_cast<void**>(directInput.GetAddressOf()), nullptr);
  if (FAILED(hr)) return hr;
  ComPtr<IDirectInputDevice8W> mouseDevice;
  hr = directInput->CreateDevice(GUID_SysMouse, &mouseDevice, nullptr);
  if (FAILED(hr)) return hr;
  hr = mouseDevice->SetDataFormat(&c_dfDIMouse);
  if (FAILED(hr)) return hr;
  directInput_ = std::move(directInput);
  mouseDevice_ = std::move(mouseDevice);
  return S_OK;
}

void MouseDevice::reset() {
  mouseDevice_.Reset();
  directInput_.Reset();
}
