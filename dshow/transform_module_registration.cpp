// Class keys first, then the mapper's entry; removal in the opposite order.
#include "dshow/transform_module_registration.h"

#include "dshow/class_factory.h"
#include "dshow/filter_registration.h"

namespace {

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

HRESULT RegisterTransformModule(const TransformModuleEntry& entry) {
  HRESULT hr = registerModuleServers();
  if (FAILED(hr)) return hr;
  const REGFILTERPINS pins[] = {pin(L"Input", false, &entry.input),
                                pin(L"Output", true, &entry.output)};
  REGFILTER2 description = {};
  description.dwVersion = 1;
  description.dwMerit = entry.merit;
  description.cPins = 2;
  description.rgPins = pins;
  return RegisterFilterInCategory(*entry.clsid, entry.name, *entry.category, description);
}

HRESULT UnregisterTransformModule(const TransformModuleEntry& entry) {
  const HRESULT hr = UnregisterFilterFromCategory(*entry.clsid, *entry.category);
  if (FAILED(hr)) return hr;
  return unregisterModuleServers();
}
