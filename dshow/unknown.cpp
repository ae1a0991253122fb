// Reference counting, aggregation and the module's object count.
#include "dshow/unknown.h"

namespace {
std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};
}  // namespace

namespace module_lock {
void addObject() { ++g_liveObjects; }
void removeObject() { --g_liveObjects; }
void lockServer(bool lock) {
  if (lock) {
    ++g_serverLocks;
  } else {
    --g_serverLocks;
  }
}
bool inUse() { return g_liveObjects.load() > 0 || g_serverLocks.load() > 0; }
}  // namespace module_lock

CUnknown::CUnknown(IUnknown* outer) : owner_(outer ? outer : &inner_) { module_lock::addObject(); }

CUnknown::~CUnknown() { module_lock::removeObject(); }

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown) {
    *object = &inner_;
    inner_.AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() { return ++references_; }

ULONG CUnknown::NonDelegatingRelease() {
  ULONG remaining = --references_;
  if (remaining == 0) {
    // Guards against a re-entrant final release from the destructor's own QueryInterface calls.
    references_ = 1;
    delete this;
  }
  return remaining;
}
