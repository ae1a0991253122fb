// A reproducible desktop for the codec benchmark, drawn from a frame number alone (no files, no
// clock, no library random generator whose output could differ between toolchains): a gradient
// background and a taskbar with a clock that ticks every 30 frames; a terminal window that
// never changes; an editor where text is typed in bursts (24 frames typing, 16 pausing with a
// blinking caret) and that scrolls one line whenever the typing reaches its last line; a file
// list window dragged 4 px right and 2 px down a frame (bouncing at the desktop's margins) for
// 60 frames out of every 120. Text uses a pseudo-font of glyphs made from a fixed number, with
// half-tone pixels like smoothed screen text.
#pragma once

#include <cstdint>

class DesktopScene {
 public:
  DesktopScene(int32_t width, int32_t height);

  // Draws frame `index` into `pixels`: width x height words 0x00RRGGBB (in memory B, G, R, 0),
  // rows top to bottom, no padding.
  void draw(int32_t index, uint32_t* pixels) const;

  struct Box {
    int32_t left, top, right, bottom;
  };

 private:
  void drawTaskbar(int32_t index, uint32_t* pixels) const;
  void drawTerminal(uint32_t* pixels) const;
  void drawEditor(int32_t index, uint32_t* pixels) const;
  void drawFileList(int32_t index, uint32_t* pixels) const;

  int32_t width_;
  int32_t height_;
  Box terminal_;
  Box editor_;
  int32_t fileListWidth_;
  int32_t fileListHeight_;
};
