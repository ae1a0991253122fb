// The frame composer on its own, without a graph: a snapshot of the record and a DIB section
// made from the surface's output header are all it needs. What it must get right with every
// snapshot: the border colour of that snapshot, and scaled rows at the delivered stride.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "capture/frame_composer.h"
#include "common/win_raii.h"
#include "config/built_in_settings.h"

namespace {

BITMAPINFOHEADER connectedHeader(int width, int height, int bits) {
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bits);
  return header;
}

// A sample as the allocator makes one: a section of the output header on the surface's DC.
struct TestSample {
  ScopedBitmap section;
  SampleBitmap bitmap;

  TestSample(const CaptureSurface& surface, const BITMAPINFOHEADER& connected) {
    void* bits = nullptr;
    section.reset(::CreateDIBSection(surface.memoryDC(), surface.outputHeader(), DIB_RGB_COLORS,
                                     &bits, nullptr, 0));
    bitmap.bitmap = section.get();
    bitmap.bits = static_cast<uint8_t*>(bits);
    const int stride = (connected.biWidth * surface.bytesPerPixel() + 3) & ~3;
    bitmap.length = stride * connected.biHeight;
  }
};

uint32_t pixelAt(const uint8_t* bits, int stride, int bytes, int x, int row) {
  uint32_t value = 0;
  std::memcpy(&value, bits + static_cast<size_t>(row) * stride + x * bytes, bytes);
  return value;
}

// An area off every screen: the grab copies nothing, so the picture is the border alone.
CaptureParams borderOnly(uint32_t border) {
  CaptureParams params = initialCaptureParams();
  params.set(CaptureFlag::HideMouse, true);
  params.border = border;
  params.source = {0, 0, 16, 16};
  params.pan = {100000, 100000};
  return params;
}

TEST(FrameComposerTest, EverySnapshotBringsItsOwnBorder) {
  FrameComposer composer;
  const BITMAPINFOHEADER connected = connectedHeader(16, 16, 32);
  ASSERT_EQ(composer.surface().build(connected, borderOnly(0x0000FF)), S_OK);
  TestSample sample(composer.surface(), connected);
  ASSERT_TRUE(sample.bitmap.bits);

  FrameReport report;
  ASSERT_EQ(composer.compose(borderOnly(0x0000FF), connected, sample.bitmap, true, &report), S_OK);
  EXPECT_EQ(pixelAt(sample.bitmap.bits, 64, 4, 5, 5), 0xFF0000u) << "red as 0x00RRGGBB";
  EXPECT_EQ(report.kind, FrameReport::Kind::Hide) << "nothing of the area is on the screen";

  // Changed while connected: the next frame has it, without a new surface.
  ASSERT_EQ(composer.compose(borderOnly(0x00FF00), connected, sample.bitmap, true, &report), S_OK);
  EXPECT_EQ(pixelAt(sample.bitmap.bits, 64, 4, 5, 5), 0x00FF00u);
  EXPECT_EQ(pixelAt(sample.bitmap.bits, 64, 4, 0, 15), 0x00FF00u);
}

TEST(FrameComposerTest, ScalesFifteenBitFramesAtTwoBytesAPixel) {
  // 40 pixels wide: a stride from 15 bits a pixel would be 76 bytes instead of 80.
  FrameComposer composer;
  const BITMAPINFOHEADER connected = connectedHeader(40, 30, 15);
  CaptureParams params = borderOnly(0);
  params.set(CaptureFlag::Resize, true);
  params.set(CaptureFlag::ResizeAspect, false);
  params.set(CaptureFlag::ResizeType, false);
  params.area = {0, 0, 80, 60};
  CaptureSurface& surface = composer.surface();
  ASSERT_EQ(surface.build(connected, params), S_OK);
  ASSERT_EQ(surface.bytesPerPixel(), 2);
  surface.direct = false;

  // Every surface row one colour of its own: scaled rows must stay one colour each.
  for (int row = 0; row < surface.height(); ++row) {
    auto* line = reinterpret_cast<uint16_t*>(surface.mainBits() + row * surface.stride());
    for (int x = 0; x < surface.width(); ++x) line[x] = static_cast<uint16_t>(0x0400 + row);
  }
  TestSample sample(surface, connected);
  ASSERT_TRUE(sample.bitmap.bits);
  FrameReport report;
  ASSERT_EQ(composer.compose(params, connected, sample.bitmap, false, &report), S_OK);
  uint32_t previous = 0;
  for (int row = 0; row < 30; ++row) {
    SCOPED_TRACE(row);
    const uint32_t first = pixelAt(sample.bitmap.bits, 80, 2, 0, row);
    EXPECT_GT(first, previous) << "rows keep their order";
    EXPECT_EQ(pixelAt(sample.bitmap.bits, 80, 2, 39, row), first) << "the row is not sheared";
    previous = first;
  }
}

}  // namespace
