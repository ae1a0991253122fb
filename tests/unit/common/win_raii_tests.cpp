// The resource owners free what they hold exactly once and restore what they replaced.
#include <windows.h>
#include <gtest/gtest.h>

#include "common/win_raii.h"

namespace {

bool handleIsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

TEST(UniqueHandleTest, ClosesOnResetAndDestructionButNotAfterRelease) {
  HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(raw, nullptr);
  {
    UniqueHandle owner(raw);
    EXPECT_TRUE(owner);
    EXPECT_TRUE(handleIsOpen(raw));
  }
  EXPECT_FALSE(handleIsOpen(raw));

  HANDLE kept = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  {
    UniqueHandle owner(kept);
    UniqueHandle moved(std::move(owner));
    EXPECT_FALSE(owner);
    EXPECT_EQ(moved.release(), kept);
  }
  EXPECT_TRUE(handleIsOpen(kept));
  ::CloseHandle(kept);
}

TEST(UniqueHandleTest, PutFreesTheOldHandleBeforeTakingANewOne) {
  UniqueHandle owner(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE first = owner.get();
  *owner.put() = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(handleIsOpen(first));
  EXPECT_TRUE(handleIsOpen(owner.get()));

  UniqueFileHandle file;
  EXPECT_FALSE(file);
  EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
}

TEST(GdiOwnersTest, SelectObjectGuardRestoresThePreviousBitmap) {
  WindowDC screen(nullptr);
  ASSERT_TRUE(screen);
  UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
  ASSERT_TRUE(memory);
  ScopedBitmap bitmap(::CreateCompatibleBitmap(screen.get(), 16, 16));
  ASSERT_TRUE(bitmap);

  HGDIOBJ before = ::GetCurrentObject(memory.get(), OBJ_BITMAP);
  {
    SelectObjectGuard guard(memory.get(), bitmap.get());
    EXPECT_TRUE(guard.selected());
    EXPECT_EQ(::GetCurrentObject(memory.get(), OBJ_BITMAP), bitmap.get());
  }
  EXPECT_EQ(::GetCurrentObject(memory.get(), OBJ_BITMAP), before);
}

TEST(ComOwnersTest, BstrAndTaskMemoryOwnersHoldTheirAllocations) {
  UniqueBstr text(::SysAllocString(L"zelk"));
  ASSERT_TRUE(text);
  EXPECT_EQ(::SysStringLen(text.get()), 4u);

  CoTaskMemPtr<wchar_t> memory(static_cast<wchar_t*>(::CoTaskMemAlloc(8 * sizeof(wchar_t))));
  ASSERT_NE(memory.get(), nullptr);
  CoTaskMemPtr<wchar_t> taken(std::move(memory));
  EXPECT_EQ(memory.get(), nullptr);
  EXPECT_NE(taken.get(), nullptr);
}

}  // namespace
