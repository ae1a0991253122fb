// The running-object entry's forwarder: its own IUnknown, every other interface asked of its
// target, nothing once detached, and a detach that never leaves a call inside a target its
// owner is about to destroy.
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "config/running_objects.h"

namespace {

// A target that notices being used after its owner let it go. It stays in memory (the test
// owns it), so a late call is counted rather than undefined.
class RetiringTarget final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    calls_++;
    if (retired_) lateCalls_++;
    // Long enough inside that a detach racing with the call lands in it.
    const ULONGLONG until = ::GetTickCount64() + 1;
    while (::GetTickCount64() < until && !retired_) ::SwitchToThread();
    if (retired_) lateCalls_++;
    *object = nullptr;
    if (iid != IID_IPersist) return E_NOINTERFACE;
    *object = static_cast<IUnknown*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // What the owner's destruction would do.
  void retire() { retired_ = true; }
  int calls() const { return calls_; }
  int lateCalls() const { return lateCalls_; }

 private:
  std::atomic<bool> retired_{false};
  std::atomic<int> calls_{0};
  std::atomic<int> lateCalls_{0};
};

TEST(RunningObjectForwarderTest, AnswersIUnknownItselfAndAsksTheTargetForTheRest) {
  RetiringTarget target;
  auto* forwarder = new RunningObjectForwarder(&target);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(forwarder->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, forwarder);
  unknown->Release();
  void* object = nullptr;
  EXPECT_EQ(forwarder->QueryInterface(IID_IPersist, &object), S_OK);
  EXPECT_EQ(object, &target);
  EXPECT_EQ(forwarder->QueryInterface(IID_IStream, &object), E_NOINTERFACE);
  EXPECT_EQ(forwarder->QueryInterface(IID_IPersist, nullptr), E_POINTER);

  forwarder->Detach();
  const int calls = target.calls();
  object = &target;
  EXPECT_EQ(forwarder->QueryInterface(IID_IPersist, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(target.calls(), calls);
  ASSERT_EQ(forwarder->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  unknown->Release();
  EXPECT_EQ(forwarder->Release(), 0u);
}

TEST(RunningObjectForwarderTest, NoCallReachesATargetAfterDetachReturns) {
  constexpr int kRounds = 100;
  std::vector<RetiringTarget> targets(kRounds);
  int lateCalls = 0;
  const ULONGLONG deadline = ::GetTickCount64() + 30000;
  for (int round = 0; round < kRounds && ::GetTickCount64() < deadline; ++round) {
    RetiringTarget& target = targets[round];
    auto* forwarder = new RunningObjectForwarder(&target);
    std::atomic<bool> stop{false};
    // Another process's requests, as the table's stub makes them on a thread of its own.
    std::thread client([forwarder, &stop] {
      while (!stop) {
        void* object = nullptr;
        forwarder->QueryInterface(IID_IPersist, &object);
      }
    });
    while (target.calls() == 0 && ::GetTickCount64() < deadline) ::SwitchToThread();
    forwarder->Detach();
    target.retire();
    stop = true;
    client.join();
    forwarder->Release();
    lateCalls += target.lateCalls();
  }
  EXPECT_LT(::GetTickCount64(), deadline) << "the rounds took too long";
  EXPECT_EQ(lateCalls, 0) << "calls were still inside targets that detach had let go";
}

}  // namespace
