// Zelkdec.ax: the class the module serves, and its registration among the ordinary filters
// with normal merit, so that graph building inserts it by itself to render a "ZLKC" stream.
#include <windows.h>
#include <dshow.h>

#include "codec/zlkc_media_type.h"
#include "decoder/zelkdec_filter.h"
#include "decoder/zelkdec_ids.h"
#include "dshow/class_factory.h"
#include "dshow/filter_registration.h"

namespace {

constexpr wchar_t kFilterName[] = L"Zelkdec";

const CFactoryTemplate kTemplates[] = {
    {kFilterName, &CLSID_Zelkdec, &ZelkdecFilter::create},
};

const REGPINTYPES kInputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_ZLKC}};
const REGPINTYPES kOutputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};

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
  description.dwMerit = MERIT_NORMAL;
  description.cPins = 2;
  description.rgPins = pins;
  return RegisterFilterInCategory(CLSID_Zelkdec, kFilterName, CLSID_LegacyAmFilterCategory,
                                  description);
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
  const HRESULT hr = UnregisterFilterFromCategory(CLSID_Zelkdec, CLSID_LegacyAmFilterCategory);
  if (FAILED(hr)) return hr;
  return unregisterModuleServers();
}

}  // extern "C"
