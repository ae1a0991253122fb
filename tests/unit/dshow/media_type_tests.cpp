// Media types own their format blocks; the bitmap rules give the subtype and the DIB size.
#include <windows.h>

#include <gtest/gtest.h>

#include "dshow/media_type.h"

namespace {

struct BitmapWithMasks {
  BITMAPINFOHEADER header;
  DWORD masks[3];
};

BitmapWithMasks bitmap(LONG width, LONG height, WORD bits, DWORD compression,
                       DWORD red = 0, DWORD green = 0, DWORD blue = 0) {
  BitmapWithMasks result = {};
  result.header.biSize = sizeof(BITMAPINFOHEADER);
  result.header.biWidth = width;
  result.header.biHeight = height;
  result.header.biPlanes = 1;
  result.header.biBitCount = bits;
  result.header.biCompression = compression;
  result.masks[0] = red;
  result.masks[1] = green;
  result.masks[2] = blue;
  return result;
}

CMediaType videoType(LONG width) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&MEDIASUBTYPE_RGB32);
  type.SetFormatType(&FORMAT_VideoInfo);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  info->bmiHeader.biWidth = width;
  return type;
}

TEST(MediaTypeTest, CopiesAreDeepAndCompareByFormatBytes) {
  CMediaType original = videoType(64);
  CMediaType copy(original);
  ASSERT_NE(copy.Format(), original.Format());
  EXPECT_TRUE(copy == original);

  reinterpret_cast<VIDEOINFOHEADER*>(copy.Format())->bmiHeader.biWidth = 65;
  EXPECT_TRUE(copy != original);
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(original.Format())->bmiHeader.biWidth, 64);

  AM_MEDIA_TYPE* task = CreateMediaType(&original);
  ASSERT_NE(task, nullptr);
  EXPECT_NE(task->pbFormat, original.Format());
  EXPECT_TRUE(CMediaType(*task) == original);
  DeleteMediaType(task);

  CMediaType moved(std::move(copy));
  EXPECT_EQ(copy.Format(), nullptr);
  EXPECT_EQ(copy.FormatLength(), 0u);
  EXPECT_FALSE(copy.IsValid());
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(moved.Format())->bmiHeader.biWidth, 65);
}

TEST(MediaTypeTest, PartialTypesMatchOnTheirNonNullFields) {
  CMediaType full = videoType(64);
  CMediaType videoOnly(&MEDIATYPE_Video);
  CMediaType audioOnly(&MEDIATYPE_Audio);
  EXPECT_TRUE(videoOnly.IsPartiallySpecified());
  EXPECT_FALSE(full.IsPartiallySpecified());
  EXPECT_TRUE(full.MatchesPartial(&videoOnly));
  EXPECT_FALSE(full.MatchesPartial(&audioOnly));
  CMediaType otherFormat = videoType(32);
  EXPECT_FALSE(full.MatchesPartial(&otherFormat));
}

TEST(MediaTypeTest, SampleSizeAndFormatBufferHelpers) {
  CMediaType type;
  EXPECT_TRUE(type.IsFixedSize());
  type.SetSampleSize(0);
  EXPECT_FALSE(type.IsFixedSize());
  EXPECT_EQ(type.GetSampleSize(), 0u);
  type.SetSampleSize(4096);
  EXPECT_EQ(type.GetSampleSize(), 4096u);

  BYTE* block = type.AllocFormatBuffer(8);
  ASSERT_NE(block, nullptr);
  block[0] = 0x5A;
  BYTE* grown = type.ReallocFormatBuffer(16);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(grown[0], 0x5A);
  EXPECT_EQ(grown[15], 0);
  EXPECT_EQ(type.FormatLength(), 16u);
  type.InitMediaType();
  EXPECT_EQ(type.Format(), nullptr);
}

TEST(BitmapRulesTest, SubtypeFollowsBitCountAndMasks) {
  auto rgb24 = bitmap(4, 4, 24, BI_RGB);
  auto rgb32 = bitmap(4, 4, 32, BI_RGB);
  auto rgb16 = bitmap(4, 4, 16, BI_RGB);
  auto rgb565 = bitmap(4, 4, 16, BI_BITFIELDS, 0xF800, 0x07E0, 0x001F);
  auto rgb555 = bitmap(4, 4, 16, BI_BITFIELDS, 0x7C00, 0x03E0, 0x001F);
  auto oddMasks = bitmap(4, 4, 16, BI_BITFIELDS, 0x000F, 0x00F0, 0x0F00);
  EXPECT_EQ(GetBitmapSubtype(&rgb24.header), MEDIASUBTYPE_RGB24);
  EXPECT_EQ(GetBitmapSubtype(&rgb32.header), MEDIASUBTYPE_RGB32);
  EXPECT_EQ(GetBitmapSubtype(&rgb16.header), MEDIASUBTYPE_RGB555);
  EXPECT_EQ(GetBitmapSubtype(&rgb565.header), MEDIASUBTYPE_RGB565);
  EXPECT_EQ(GetBitmapSubtype(&rgb555.header), MEDIASUBTYPE_RGB555);
  EXPECT_EQ(GetBitmapSubtype(&oddMasks.header), GUID_NULL);

  auto fourcc = bitmap(4, 4, 32, MAKEFOURCC('Z', 'L', 'K', 'C'));
  GUID subtype = GetBitmapSubtype(&fourcc.header);
  EXPECT_EQ(subtype.Data1, static_cast<DWORD>(MAKEFOURCC('Z', 'L', 'K', 'C')));
  EXPECT_EQ(subtype.Data2, MEDIASUBTYPE_YUY2.Data2);
}

TEST(BitmapRulesTest, SizePadsRowsToFourBytesAndIgnoresRowOrder) {
  auto narrow24 = bitmap(3, 5, 24, BI_RGB);  // 9 bytes a row, padded to 12
  EXPECT_EQ(GetBitmapSize(&narrow24.header), 60u);
  auto topDown = bitmap(3, -5, 24, BI_RGB);
  EXPECT_EQ(GetBitmapSize(&topDown.header), 60u);
  auto rgb565 = bitmap(5, 2, 16, BI_BITFIELDS);  // 10 bytes a row, padded to 12
  EXPECT_EQ(GetBitmapSize(&rgb565.header), 24u);
  auto full = bitmap(1920, 1080, 32, BI_RGB);
  EXPECT_EQ(GetBitmapSize(&full.header), 1920u * 1080u * 4u);
}

}  // namespace
