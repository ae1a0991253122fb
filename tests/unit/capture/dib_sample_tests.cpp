// The DIB-section allocator's negotiation: the buffer alignments its page-aligned sections can
// promise, and samples whose bits keep the promise.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "capture/dib_sample.h"
#include "common/win_raii.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kWidth = 64;
constexpr LONG kHeight = 48;
constexpr LONG kImageSize = kWidth * kHeight * 4;

LONG pageSize() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return static_cast<LONG>(info.dwPageSize);
}

class DibSampleAllocatorTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dc_);
    header_.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header_.bmiHeader.biWidth = kWidth;
    header_.bmiHeader.biHeight = kHeight;
    header_.bmiHeader.biPlanes = 1;
    header_.bmiHeader.biBitCount = 32;
    header_.bmiHeader.biCompression = BI_BITFIELDS;
    header_.bmiHeader.biSizeImage = kImageSize;
    header_.masks[0] = 0xFF0000;
    header_.masks[1] = 0x00FF00;
    header_.masks[2] = 0x0000FF;
    allocator_ = new DibSampleAllocator(reinterpret_cast<const BITMAPINFO*>(&header_), dc_.get());
  }

  HRESULT request(LONG align, ALLOCATOR_PROPERTIES* actual) {
    ALLOCATOR_PROPERTIES wanted = {2, kImageSize, align, 0};
    return allocator_->SetProperties(&wanted, actual);
  }

  struct {
    BITMAPINFOHEADER bmiHeader;
    DWORD masks[3];
  } header_ = {};
  UniqueMemoryDC dc_{::CreateCompatibleDC(nullptr)};
  ComPtr<DibSampleAllocator> allocator_;
};

TEST_F(DibSampleAllocatorTest, PromisesAlignmentsUpToThePageSize) {
  const LONG page = pageSize();
  ASSERT_GE(page, 4096);
  for (LONG align : {1L, 2L, 16L, 4096L, page}) {
    SCOPED_TRACE(align);
    ALLOCATOR_PROPERTIES actual = {};
    ASSERT_EQ(request(align, &actual), S_OK);
    EXPECT_EQ(actual.cbAlign, align);
    EXPECT_EQ(actual.cBuffers, 2);

    ASSERT_EQ(allocator_->Commit(), S_OK);
    for (int i = 0; i < 2; ++i) {
      ComPtr<IMediaSample> sample;
      ASSERT_EQ(allocator_->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
      BYTE* bits = nullptr;
      ASSERT_EQ(sample->GetPointer(&bits), S_OK);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(bits) % align, 0u);
      EXPECT_GE(sample->GetSize(), kImageSize);
    }
    ASSERT_EQ(allocator_->Decommit(), S_OK);
  }
}

TEST_F(DibSampleAllocatorTest, RefusesAlignmentsThePagesCannotKeep) {
  const LONG page = pageSize();
  for (LONG align : {3L, 24L, 8192L, 2 * page, 0L, -16L}) {
    if (align == 8192 && page >= 8192) continue;
    SCOPED_TRACE(align);
    ALLOCATOR_PROPERTIES actual = {};
    EXPECT_EQ(request(align, &actual), VFW_E_BADALIGN);
  }
}

}  // namespace
