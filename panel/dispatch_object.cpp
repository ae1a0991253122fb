// Late binding of the panel's objects.
#include "panel/dispatch_object.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <mutex>

#include "common/com_registration.h"
#include "common/module_proc.h"

HRESULT panelTypeInfo(REFIID iid, ITypeInfo** info) {
  // Kept for the process's lifetime.
  static std::once_flag loaded;
  static ITypeLib* library = nullptr;
  static HRESULT result = E_FAIL;
  std::call_once(loaded, [] {
    result = ::LoadTypeLibEx(modulePath(currentModule()).c_str(), REGKIND_NONE, &library);
  });
  if (FAILED(result)) return result;
  return library->GetTypeInfoOfGuid(iid, info);
}
