// The reference clock: its time, advises that fire once or periodically, cancelling them, bad
// arguments, and a derived clock's own time source.
#include <windows.h>

#include <gtest/gtest.h>
#include <strmif.h>
#include <wrl/client.h>

#include <atomic>

#include "common/win_raii.h"
#include "dshow/reference_clock.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr REFERENCE_TIME kMillisecond = 10'000;
// Every wait of these tests ends by this, so a fault fails instead of hanging.
constexpr DWORD kTimeoutMs = 2000;

ComPtr<IReferenceClock> makeClock() {
  HRESULT hr = S_OK;
  ComPtr<IReferenceClock> clock = new CBaseReferenceClock(nullptr, &hr);
  EXPECT_EQ(hr, S_OK);
  return clock;
}

REFERENCE_TIME timeOf(IReferenceClock* clock) {
  REFERENCE_TIME time = 0;
  EXPECT_TRUE(SUCCEEDED(clock->GetTime(&time)));
  return time;
}

HEVENT asEvent(const UniqueHandle& handle) { return reinterpret_cast<HEVENT>(handle.get()); }
HSEMAPHORE asSemaphore(const UniqueHandle& handle) {
  return reinterpret_cast<HSEMAPHORE>(handle.get());
}

// A clock whose source the test sets by hand.
class ManualClock final : public CBaseReferenceClock {
 public:
  explicit ManualClock(HRESULT* hr) : CBaseReferenceClock(nullptr, hr) {}
  ~ManualClock() override { StopAdviseThread(); }

  std::atomic<REFERENCE_TIME> source{1000};

 protected:
  REFERENCE_TIME GetPrivateTime() override { return source; }
};

TEST(ReferenceClockTest, OffersIReferenceClockAndEndsItsThreadOnRelease) {
  ComPtr<IReferenceClock> clock = makeClock();
  ComPtr<IUnknown> identity;
  ASSERT_EQ(clock.As(&identity), S_OK);
  ComPtr<IReferenceClock> again;
  ASSERT_EQ(identity.As(&again), S_OK);
  EXPECT_EQ(again.Get(), clock.Get());
  ComPtr<IMediaFilter> notOffered;
  EXPECT_EQ(clock.As(&notOffered), E_NOINTERFACE);

  // A pending advise far away must not keep the thread (or the release) waiting.
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD_PTR cookie = 0;
  ASSERT_EQ(
      clock->AdviseTime(timeOf(clock.Get()), 3600 * 1000 * kMillisecond, asEvent(event), &cookie),
      S_OK);
  identity.Reset();
  again.Reset();
  ULONGLONG before = ::GetTickCount64();
  EXPECT_EQ(clock.Reset(), 0u);
  EXPECT_LT(::GetTickCount64() - before, 1000u);
  EXPECT_EQ(::WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST(ReferenceClockTest, TimeNeverGoesBackAndAdvancesAtRealRate) {
  ComPtr<IReferenceClock> clock = makeClock();
  REFERENCE_TIME previous = timeOf(clock.Get());
  for (int i = 0; i < 20000; ++i) {
    REFERENCE_TIME now = 0;
    HRESULT hr = clock->GetTime(&now);
    ASSERT_GE(now, previous);
    // S_FALSE says "same as last time", and only then.
    ASSERT_EQ(hr, now == previous ? S_FALSE : S_OK);
    previous = now;
  }

  REFERENCE_TIME start = timeOf(clock.Get());
  ULONGLONG startTick = ::GetTickCount64();
  ::Sleep(200);
  REFERENCE_TIME elapsed = timeOf(clock.Get()) - start;
  auto elapsedTicks = static_cast<REFERENCE_TIME>(::GetTickCount64() - startTick);
  EXPECT_GE(elapsed, 190 * kMillisecond);
  EXPECT_NEAR(static_cast<double>(elapsed / kMillisecond), static_cast<double>(elapsedTicks), 40.0);
}

TEST(ReferenceClockTest, GetTimeHidesASourceThatStandsStillOrStepsBack) {
  HRESULT hr = S_OK;
  auto* manual = new ManualClock(&hr);
  ComPtr<IReferenceClock> clock = manual;
  ASSERT_EQ(hr, S_OK);
  REFERENCE_TIME time = 0;
  EXPECT_EQ(clock->GetTime(&time), S_OK);
  EXPECT_EQ(time, 1000);
  EXPECT_EQ(clock->GetTime(&time), S_FALSE);
  EXPECT_EQ(time, 1000);
  manual->source = 400;
  EXPECT_EQ(clock->GetTime(&time), S_FALSE);
  EXPECT_EQ(time, 1000);
  manual->source = 2500;
  EXPECT_EQ(clock->GetTime(&time), S_OK);
  EXPECT_EQ(time, 2500);

  // Advises follow the derived source, not the performance counter.
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD_PTR cookie = 0;
  ASSERT_EQ(clock->AdviseTime(2500, 100 * kMillisecond, asEvent(event), &cookie), S_OK);
  EXPECT_EQ(::WaitForSingleObject(event.get(), 50), WAIT_TIMEOUT);
  manual->source = 2500 + 100 * kMillisecond;
  EXPECT_EQ(::WaitForSingleObject(event.get(), kTimeoutMs), WAIT_OBJECT_0);
}

TEST(ReferenceClockTest, AdviseTimeSetsTheEventOnceItsTimeHasCome) {
  ComPtr<IReferenceClock> clock = makeClock();
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD_PTR cookie = 0;
  REFERENCE_TIME base = timeOf(clock.Get());
  ASSERT_EQ(clock->AdviseTime(base, 50 * kMillisecond, asEvent(event), &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(::WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
  ASSERT_EQ(::WaitForSingleObject(event.get(), kTimeoutMs), WAIT_OBJECT_0);
  EXPECT_GE(timeOf(clock.Get()), base + 50 * kMillisecond) << "set before its time";
  EXPECT_EQ(clock->Unadvise(cookie), S_FALSE) << "a fired single advise is gone";

  // A time already past fires at once; a negative offset is a time before the base.
  UniqueHandle late(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_EQ(clock->AdviseTime(timeOf(clock.Get()), -1000 * kMillisecond, asEvent(late), &cookie),
            S_OK);
  EXPECT_EQ(::WaitForSingleObject(late.get(), 500), WAIT_OBJECT_0);
}

TEST(ReferenceClockTest, AdvisePeriodicReleasesEveryPeriodUntilUnadvised) {
  ComPtr<IReferenceClock> clock = makeClock();
  UniqueHandle semaphore(::CreateSemaphoreW(nullptr, 0, 1000, nullptr));
  DWORD_PTR cookie = 0;
  REFERENCE_TIME start = timeOf(clock.Get());
  constexpr REFERENCE_TIME kPeriod = 20 * kMillisecond;
  ASSERT_EQ(clock->AdvisePeriodic(start, kPeriod, asSemaphore(semaphore), &cookie), S_OK);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(::WaitForSingleObject(semaphore.get(), kTimeoutMs), WAIT_OBJECT_0) << "release " << i;
  }
  // Five releases at start, +1, ... +4 periods: not a burst.
  EXPECT_GE(timeOf(clock.Get()) - start, 4 * kPeriod);

  EXPECT_EQ(clock->Unadvise(cookie), S_OK);
  while (::WaitForSingleObject(semaphore.get(), 0) == WAIT_OBJECT_0) {
  }
  EXPECT_EQ(::WaitForSingleObject(semaphore.get(), 100), WAIT_TIMEOUT) << "released after Unadvise";
  EXPECT_EQ(clock->Unadvise(cookie), S_FALSE);
}

TEST(ReferenceClockTest, UnadvisedSingleAdviseNeverFires) {
  ComPtr<IReferenceClock> clock = makeClock();
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle other(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD_PTR cancelled = 0;
  DWORD_PTR kept = 0;
  REFERENCE_TIME now = timeOf(clock.Get());
  ASSERT_EQ(clock->AdviseTime(now, 60 * kMillisecond, asEvent(event), &cancelled), S_OK);
  ASSERT_EQ(clock->AdviseTime(now, 80 * kMillisecond, asEvent(other), &kept), S_OK);
  EXPECT_NE(cancelled, kept);
  EXPECT_EQ(clock->Unadvise(cancelled), S_OK);
  EXPECT_EQ(::WaitForSingleObject(other.get(), kTimeoutMs), WAIT_OBJECT_0);
  EXPECT_EQ(::WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST(ReferenceClockTest, RefusesBadArguments) {
  ComPtr<IReferenceClock> clock = makeClock();
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle semaphore(::CreateSemaphoreW(nullptr, 0, 10, nullptr));
  REFERENCE_TIME now = timeOf(clock.Get());
  DWORD_PTR cookie = 77;

  EXPECT_EQ(clock->GetTime(nullptr), E_POINTER);
  EXPECT_EQ(clock->AdviseTime(now, 0, asEvent(event), nullptr), E_POINTER);
  EXPECT_EQ(clock->AdviseTime(now, 0, 0, &cookie), E_INVALIDARG);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(clock->AdviseTime(0x7fffffffffffffffLL, 1, asEvent(event), &cookie), E_INVALIDARG);
  EXPECT_EQ(clock->AdviseTime(0, -1, asEvent(event), &cookie), E_INVALIDARG);

  EXPECT_EQ(clock->AdvisePeriodic(now, kMillisecond, asSemaphore(semaphore), nullptr), E_POINTER);
  EXPECT_EQ(clock->AdvisePeriodic(now, 0, asSemaphore(semaphore), &cookie), E_INVALIDARG);
  EXPECT_EQ(clock->AdvisePeriodic(now, -kMillisecond, asSemaphore(semaphore), &cookie),
            E_INVALIDARG);
  EXPECT_EQ(clock->AdvisePeriodic(now, kMillisecond, 0, &cookie), E_INVALIDARG);
  EXPECT_EQ(clock->AdvisePeriodic(-1, kMillisecond, asSemaphore(semaphore), &cookie), E_INVALIDARG);

  EXPECT_EQ(clock->Unadvise(0), S_FALSE);
  EXPECT_EQ(clock->Unadvise(0xdead), S_FALSE);
  // Nothing refused may have been registered.
  EXPECT_EQ(::WaitForSingleObject(semaphore.get(), 50), WAIT_TIMEOUT);
  EXPECT_EQ(::WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

}  // namespace
