// Zelkenc.ax: the class the module serves, and its registration among the video compressors,
// kept out of automatic graph building (applications pick a compressor themselves).
#include <windows.h>
#include <dshow.h>

#include "codec/zlkc_media_type.h"
#include "dshow/class_factory.h"
#include "dshow/filter_registration.h"
#include "encoder/zelkenc_filter.h"
#include "encoder/zelkenc_ids.h"

namespace {

constexpr wchar_t kFilterName[] = L"Zelkenc";

const CFactoryTemplate kTemplates[] = {
    {kFilterName, &CLSID_Zelkenc, &ZelkencFilter::create},
};

const REGPINTYPES kInputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
const REGPINTYPES kOutputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_ZLKC}};

REGFILTERPINS pin(const wchar_t* name, bool output, const REGPINTYPES* types) {
  REGFILTERPINS entry = {};
  entry.strName = const_cast<LPWSTR>(name);
  entry.bOutput = output;
  entry.clsConnectsToFilter = &CLSID_NULL;
  entry.nMediaTypes = 1;
  entry.lpMediaType = types;
  return entry;
}

}  // namespace

std::span<const CFactoryTemplate> moduleFactoryTemplates() { return kTemplates; }

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer() {
  HRESULT hr = registerModuleServers();
  if (FAILED(hr)) return hr;
  const REGFILTERPINS pins[] = {pin(L"Input", false, kInputTypes),
                                pin(L"Output", true, kOutputTypes)};
  REGFILTER2 description = {};
  description.dwVersion = 1;
  description.dwMerit = MERIT_DO_NOT_USE;
  description.cPins = 2;
  description.rgPins = pins;
  return RegisterFilterInCategory(CLSID_Zelkenc, kFilterName, CLSID_VideoCompressorCategory,
                                  description);
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
  const HRESULT hr = UnregisterFilterFromCategory(CLSID_Zelkenc, CLSID_VideoCompressorCategory);
  if (FAILED(hr)) return hr;
  return unregisterModuleServers();
}

}  // extern "C"
