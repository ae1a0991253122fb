// The parameter record of one capture pin: capture rectangle, tracked window, frame period,
// output size, border colour, behaviour flags, size-change event code, and the geometry the
// tracking derives from them. A plain fixed-layout record of 32-bit words (the period spans
// two), copied and compared as a whole; portable, so the geometry code builds natively too.
// The pin's lock guards the pin's copy.
#pragma once

#include <cstdint>
#include <cstring>

struct ParamPoint {
  int32_t x;
  int32_t y;
};

struct ParamSize {
  int32_t cx;
  int32_t cy;
};

struct ParamRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;

  // The true difference held to the 32-bit range: a rectangle a document names may span more
  // than 2^31 pixels, and its width must not come out negative.
  int32_t width() const { return span(left, right); }
  int32_t height() const { return span(top, bottom); }

  static int32_t span(int32_t from, int32_t to) {
    const int64_t difference = int64_t{to} - from;
    if (difference > INT32_MAX) return INT32_MAX;
    if (difference < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(difference);
  }
};

// Behaviour flags; a set bit turns the behaviour on, except HideMouse (the "showmouse"
// parameter is stored inverted: set means the pointer is not drawn).
enum class CaptureFlag : uint32_t {
  Align = 0x1,
  NotFResize = 0x2,
  TrackWnd = 0x4,
  TrackScr = 0x8,
  ShowClicks = 0x10,
  OptCapture = 0x20,
  OptDeliver = 0x40,
  RegRot = 0x80,
  Resize = 0x100,
  ResizeType = 0x200,
  OutputSize = 0x400,
  HideMouse = 0x800,
  ResizeAspect = 0x1000,
  TrackMouse = 0x2000,
  LimitInst = 0x4000,
  ShowFrame = 0x8000,
  CapLayered = 0x10000,
};

// No window: the handle with all bits set.
inline constexpr uint32_t kNoWindow = 0xFFFFFFFFu;

#pragma pack(push, 4)
struct CaptureParams {
  uint32_t size;        // the record's own size; copy requests must carry the same value
  int64_t sampletime;   // frame period, 100-ns units
  uint32_t hwnd;        // tracked window, kNoWindow for none
  ParamRect rect;       // capture rectangle, screen pixels
  uint32_t flags;       // CaptureFlag bits
  uint32_t border;      // 0x00BBGGRR
  ParamSize output;     // override output size
  int32_t event;        // media-event code sent on a size change (from 0x8000 up)
  ParamPoint pan;       // derived: source point at the frame's top-left
  ParamRect area;       // derived: area actually captured, clipped to the desktop
  ParamRect source;     // derived: rectangle to copy, in source-DC coordinates
  ParamSize frameSize;  // derived: frame size the pin offers
  int32_t screenBits;   // derived: 16, 15, 32 or 24
  int32_t screenBytes;  // derived: 2, 2, 4 or 3

  bool has(CaptureFlag flag) const { return (flags & static_cast<uint32_t>(flag)) != 0; }
  void set(CaptureFlag flag, bool on) {
    if (on) {
      flags |= static_cast<uint32_t>(flag);
    } else {
      flags &= ~static_cast<uint32_t>(flag);
    }
  }
};
#pragma pack(pop)

static_assert(sizeof(CaptureParams) == 108, "the record is a fixed layout of 32-bit words");

inline bool operator==(const CaptureParams& a, const CaptureParams& b) {
  return std::memcmp(&a, &b, sizeof(CaptureParams)) == 0;
}
inline bool operator!=(const CaptureParams& a, const CaptureParams& b) { return !(a == b); }
