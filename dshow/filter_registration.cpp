// Category entries through IFilterMapper2.
#include "dshow/filter_registration.h"

#include <dshow.h>

#include <wrl/client.h>

#include "common/win_raii.h"

using Microsoft::WRL::ComPtr;

namespace {

// The mapper answers this when an entry to remove is not there.
constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

HRESULT removeEntry(IFilterMapper2* mapper, const CLSID& clsid, const CLSID& category) {
  const HRESULT hr = mapper->UnregisterFilter(&category, nullptr, clsid);
  return hr == kNotFound ? S_OK : hr;
}

// Runs `change` with a mapper inside an apartment of its own.
template <class Change>
HRESULT withMapper(Change change) {
  ComApartment apartment;
  // A caller that already initialised COM in another model keeps its apartment.
  if (FAILED(apartment.result()) && apartment.result() != RPC_E_CHANGED_MODE) {
    return apartment.result();
  }
  ComPtr<IFilterMapper2> mapper;
  HRESULT hr = ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFilterMapper2, &mapper);
  if (SUCCEEDED(hr)) hr = change(mapper.Get());
  // The mapper may be the last user of its DLL; let COM unload it while the apartment stands.
  mapper.Reset();
  ::CoFreeUnusedLibraries();
  return hr;
}

}  // namespace

HRESULT RegisterFilterInCategory(const CLSID& clsid, const wchar_t* name, const CLSID& category,
                                 const REGFILTER2& description) {
  return withMapper([&](IFilterMapper2* mapper) {
    // Removing first keeps a second registration from leaving two entries.
    HRESULT hr = removeEntry(mapper, clsid, category);
    if (FAILED(hr)) return hr;
    return mapper->RegisterFilter(clsid, name, nullptr, &category, nullptr, &description);
  });
}

HRESULT UnregisterFilterFromCategory(const CLSID& clsid, const CLSID& category) {
  return withMapper([&](IFilterMapper2* mapper) { return removeEntry(mapper, clsid, category); });
}
