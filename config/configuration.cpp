// The configuration chain of a capture pin and its registry copy.
#include "config/configuration.h"

#include <new>

#include "config/built_in_settings.h"
#include "config/config_sources.h"
#include "config/packed_text.h"
#include "common/xml_document.h"
#include "config/parameter_set.h"

namespace {

void centre(ParamRect& rect, const ParamRect& desktop) {
  const int32_t width = rect.width();
  const int32_t height = rect.height();
  rect.left = desktop.left + (desktop.width() - width) / 2;
  rect.top = desktop.top + (desktop.height() - height) / 2;
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
}

}  // namespace

Configuration::Configuration(HMODULE module, const CLSID& serverClass)
    : module_(module), serverClass_(serverClass) {
  HRESULT hr = E_FAIL;
  key_ = std::make_unique<RegistryKey>(HKEY_LOCAL_MACHINE, keyPath(), &hr);
  if (FAILED(hr)) {
    // Ordinary users may not write the machine's settings; theirs still persist.
    key_ = std::make_unique<RegistryKey>(HKEY_CURRENT_USER, keyPath(), &hr);
  }
}

void Configuration::load(CaptureParams& params, const ParamRect& desktop, CaptureParams* builtIn) {
  params = initialCaptureParams();
  applyDocument(params, builtInDocument());
  if (builtIn) *builtIn = params;
  centre(params.rect, desktop);

  std::wstring packed;
  key_->ReadString(L"params", &packed, L"");
  std::wstring saved;
  try {
    saved = ansiToWide(unpackText(packed));
  } catch (const std::bad_alloc&) {
    saved.clear();  // no room for the saved copy: start without it
  }
  // An empty copy fails to apply and changes nothing.
  putDocument(params, saved.c_str());

  params.set(CaptureFlag::LimitInst, false);
  followRedirects(params, builtInDocument(), 0);

  // Before the save: the saved document reports the area, which must be where this pin
  // captures, or the next instance would start from the uncentred rectangle.
  params.area = params.rect;
  params.frameSize = {params.rect.width(), params.rect.height()};
  save(params);
}

HRESULT Configuration::putDocument(CaptureParams& params, const wchar_t* text) {
  HRESULT hr = applyDocument(params, text);
  if (FAILED(hr)) return hr;
  // A redirect that cannot be followed keeps what was applied but saves nothing.
  hr = followRedirects(params, text, 0);
  if (FAILED(hr)) return hr;
  return save(params);
}

HRESULT Configuration::readRedirect(const std::wstring& type, const std::wstring& file,
                                    std::wstring* text) {
  if (type == L"relative") return readDiskFile(moduleDirectory(module_, serverClass_) + file, text);
  if (type == L"diskfile") return readDiskFile(file, text);
  if (type == L"url") return readUrl(file, text);
  return E_NOTIMPL;
}

HRESULT Configuration::followRedirects(CaptureParams& params, const std::wstring& text, int depth) {
  XmlDocument document;
  HRESULT hr = document.Load(text.c_str());
  if (FAILED(hr)) return hr;
  std::wstring type;
  std::wstring file;
  if (document.GetValue(L"redirect\\type", &type) != S_OK ||
      document.GetValue(L"redirect\\file", &file) != S_OK) {
    return S_FALSE;
  }
  if (depth >= kMaxRedirects) return kRedirectLoop;

  std::wstring target;
  hr = readRedirect(type, file, &target);
  if (FAILED(hr)) return hr;
  hr = applyDocument(params, target.c_str());
  if (FAILED(hr)) return hr;
  hr = followRedirects(params, target, depth + 1);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT Configuration::save(const CaptureParams& params) {
  std::wstring document;
  HRESULT hr = buildDocument(params, &document);
  if (FAILED(hr)) return hr;
  std::wstring packed;
  try {
    packed = packBytes(wideToAnsi(document));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  // Single writes fail quietly: the pin works on without persistence.
  key_->WriteString(L"params", packed.c_str());
  key_->Write64(L"sampletime", params.sampletime);
  key_->WriteDword(L"window", params.hwnd);
  const RECT rect = {params.rect.left, params.rect.top, params.rect.right, params.rect.bottom};
  key_->WriteRect(L"rect", rect);
  const SIZE output = {params.output.cx, params.output.cy};
  key_->WriteSize(L"output", output);
  key_->WriteDword(L"flags", params.flags);
  key_->WriteDword(L"border", params.border);
  return S_OK;
}
