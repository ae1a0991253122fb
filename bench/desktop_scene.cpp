// Drawing of the benchmark desktop: layout in proportion to the screen, window chrome and text in
// fixed pixel sizes as on a real desktop, every pseudo-random choice a hash of fixed numbers.
#include "bench/desktop_scene.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

using Box = DesktopScene::Box;

constexpr uint64_t kSalt = 0x5EED'2024'C0DEull;

// splitmix64: the same numbers from every compiler and library.
uint64_t mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }

// Per-channel mean, for the half-tone pixels at glyph edges.
uint32_t halfway(uint32_t a, uint32_t b) { return ((a >> 1) & 0x7F7F7F) + ((b >> 1) & 0x7F7F7F); }

constexpr int32_t kCellWidth = 8;
constexpr int32_t kCellHeight = 16;
constexpr int32_t kGlyphColumns = 6;
constexpr int32_t kGlyphRows = 11;  // 3 ascender, 6 x-height, 2 descender rows
constexpr int32_t kSpace = 0;
constexpr int32_t kLetterCount = 69;
constexpr int32_t kFirstDigit = 1 + kLetterCount;
constexpr int32_t kGlyphCount = kFirstDigit + 10;

// Ink per glyph pixel: 0 none, 1 half (smoothed edge), 2 full.
using Glyph = std::array<std::array<uint8_t, kGlyphColumns>, kGlyphRows>;

std::array<Glyph, kGlyphCount> makeFont() {
  std::array<Glyph, kGlyphCount> font{};
  for (int32_t g = 1; g < kGlyphCount; ++g) {
    const uint64_t shape = mix(kSalt ^ static_cast<uint64_t>(g));
    const bool digit = g >= kFirstDigit;
    const int32_t firstRow = digit || (shape & 1) ? 0 : 3;
    const int32_t endRow = digit ? 9 : (shape & 2) ? 11 : 9;
    for (int32_t row = firstRow; row < endRow; ++row) {
      for (int32_t column = 0; column < kGlyphColumns - 1; ++column) {
        const uint64_t bits = mix(kSalt + static_cast<uint64_t>(g * 977 + row * 31 + column)) & 7;
        font[g][row][column] = bits < 3 ? 2 : bits == 3 ? 1 : 0;
      }
    }
  }
  return font;
}

const std::array<Glyph, kGlyphCount>& font() {
  static const std::array<Glyph, kGlyphCount> glyphs = makeFont();
  return glyphs;
}

struct Cell {
  int32_t glyph;
  uint32_t ink;
};

// Words of 2 to 9 letters; some words in a second or third colour, like highlighted source.
std::vector<Cell> textLine(uint64_t key, int32_t length, uint32_t ink, uint32_t accent,
                           uint32_t second) {
  std::vector<Cell> cells;
  for (int32_t word = 0; static_cast<int32_t>(cells.size()) < length; ++word) {
    const uint64_t h = mix(key * 7919 + static_cast<uint64_t>(word));
    const int32_t letters = 2 + static_cast<int32_t>(h % 8);
    const uint32_t colour = (h >> 8) % 10 < 2 ? accent : (h >> 8) % 10 < 3 ? second : ink;
    for (int32_t i = 0; i < letters && static_cast<int32_t>(cells.size()) < length; ++i) {
      const uint64_t letter = mix(h + static_cast<uint64_t>(i)) % kLetterCount;
      cells.push_back({1 + static_cast<int32_t>(letter), colour});
    }
    if (static_cast<int32_t>(cells.size()) < length) cells.push_back({kSpace, ink});
  }
  return cells;
}

std::vector<Cell> digits(uint64_t value, int32_t count, uint32_t ink) {
  std::vector<Cell> cells(static_cast<size_t>(count), Cell{kFirstDigit, ink});
  for (int32_t i = count - 1; i >= 0; --i, value /= 10) {
    cells[i].glyph = kFirstDigit + static_cast<int32_t>(value % 10);
  }
  return cells;
}

Box intersect(const Box& a, const Box& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

class Canvas {
 public:
  Canvas(uint32_t* pixels, int32_t width, int32_t height)
      : pixels_(pixels), width_(width), height_(height) {}

  Box whole() const { return {0, 0, width_, height_}; }

  void fill(const Box& box, const Box& clip, uint32_t colour) {
    const Box area = intersect(intersect(box, clip), whole());
    for (int32_t y = area.top; y < area.bottom; ++y) {
      std::fill(row(y) + area.left, row(y) + std::max(area.left, area.right), colour);
    }
  }

  void text(const std::vector<Cell>& cells, int32_t x, int32_t y, const Box& clip) {
    const Box area = intersect(clip, whole());
    for (const Cell& cell : cells) {
      if (cell.glyph != kSpace) glyph(font()[cell.glyph], x, y + 2, cell.ink, area);
      x += kCellWidth;
    }
  }

 private:
  uint32_t* row(int32_t y) { return pixels_ + static_cast<size_t>(y) * width_; }

  void glyph(const Glyph& shape, int32_t x, int32_t y, uint32_t ink, const Box& area) {
    for (int32_t r = 0; r < kGlyphRows; ++r) {
      if (y + r < area.top || y + r >= area.bottom) continue;
      for (int32_t c = 0; c < kGlyphColumns; ++c) {
        if (x + c < area.left || x + c >= area.right || shape[r][c] == 0) continue;
        uint32_t& pixel = row(y + r)[x + c];
        pixel = shape[r][c] == 2 ? ink : halfway(pixel, ink);
      }
    }
  }

  uint32_t* pixels_;
  int32_t width_;
  int32_t height_;
};

constexpr int32_t kTitleHeight = 24;
constexpr int32_t kTaskbarHeight = 40;

// Border, title bar with its title and three buttons; returns the client area.
Box drawWindow(Canvas& canvas, const Box& outer, uint64_t titleKey, bool active) {
  const Box clip = canvas.whole();
  canvas.fill(outer, clip, rgb(96, 96, 100));
  const Box title{outer.left + 1, outer.top + 1, outer.right - 1, outer.top + 1 + kTitleHeight};
  canvas.fill(title, clip, active ? rgb(0, 84, 166) : rgb(122, 130, 142));
  canvas.text(textLine(titleKey, 24, rgb(255, 255, 255), rgb(255, 255, 255), rgb(255, 255, 255)),
              title.left + 8, title.top + 4, title);
  for (int32_t button = 1; button <= 3; ++button) {
    const int32_t right = title.right - 6 - (button - 1) * 26;
    canvas.fill({right - 20, title.top + 4, right, title.bottom - 4}, title,
                button == 1 ? rgb(196, 43, 28) : rgb(210, 214, 220));
  }
  return {outer.left + 1, title.bottom, outer.right - 1, outer.bottom - 1};
}

// Position along a back-and-forth path of `range` pixels.
int32_t bounce(int32_t travelled, int32_t range) {
  if (range <= 0) return 0;
  const int32_t phase = travelled % (2 * range);
  return phase <= range ? phase : 2 * range - phase;
}

}  // namespace

DesktopScene::DesktopScene(int32_t width, int32_t height)
    : width_(width),
      height_(height),
      terminal_{width * 48 / 100, height * 38 / 100, width * 96 / 100, height * 86 / 100},
      editor_{width * 4 / 100, height * 5 / 100, width * 60 / 100, height * 80 / 100},
      fileListWidth_(width * 35 / 100),
      fileListHeight_(height * 40 / 100) {}

void DesktopScene::draw(int32_t index, uint32_t* pixels) const {
  // Gradient background: one colour per row, as desktop wallpapers often are.
  for (int32_t y = 0; y < height_; ++y) {
    const uint32_t t = static_cast<uint32_t>(y) * 255 / static_cast<uint32_t>(height_);
    const uint32_t colour = rgb(24 + 34 * t / 255, 62 + 48 * t / 255, 112 + 48 * t / 255);
    std::fill_n(pixels + static_cast<size_t>(y) * width_, width_, colour);
  }
  drawTerminal(pixels);
  drawEditor(index, pixels);
  drawFileList(index, pixels);
  drawTaskbar(index, pixels);
}

void DesktopScene::drawTaskbar(int32_t index, uint32_t* pixels) const {
  Canvas canvas(pixels, width_, height_);
  const Box bar{0, height_ - kTaskbarHeight, width_, height_};
  canvas.fill(bar, bar, rgb(32, 34, 40));
  canvas.fill({4, bar.top + 4, 36, bar.bottom - 4}, bar, rgb(0, 120, 215));
  for (int32_t task = 0; task < 3; ++task) {
    const Box button{48 + task * 168, bar.top + 4, 208 + task * 168, bar.bottom - 4};
    canvas.fill(button, bar, task == 1 ? rgb(70, 74, 84) : rgb(48, 50, 58));
    canvas.text(textLine(kSalt + 100 + task, 18, rgb(230, 230, 230), rgb(230, 230, 230),
                         rgb(230, 230, 230)),
                button.left + 8, button.top + 8, button);
  }
  // A clock that ticks once a second of a 30 frames/s recording.
  const uint64_t seconds = 10 * 3600 + 23 * 60 + 5 + static_cast<uint64_t>(index / 30);
  std::vector<Cell> clock = digits(seconds / 3600, 2, rgb(240, 240, 240));
  for (const uint64_t part : {seconds / 60 % 60, seconds % 60}) {
    clock.push_back({kSpace, 0});
    const std::vector<Cell> pair = digits(part, 2, rgb(240, 240, 240));
    clock.insert(clock.end(), pair.begin(), pair.end());
  }
  canvas.text(clock, width_ - 16 - kCellWidth * static_cast<int32_t>(clock.size()), bar.top + 12,
              bar);
}

void DesktopScene::drawTerminal(uint32_t* pixels) const {
  Canvas canvas(pixels, width_, height_);
  const Box client = drawWindow(canvas, terminal_, kSalt + 1, false);
  canvas.fill(client, client, rgb(12, 12, 12));
  const int32_t columns = (client.right - client.left - 12) / kCellWidth;
  for (int32_t line = 0; client.top + 4 + line * kCellHeight < client.bottom; ++line) {
    const uint64_t h = mix(kSalt + 5000 + static_cast<uint64_t>(line));
    const int32_t length = static_cast<int32_t>(h % static_cast<uint64_t>(std::max(1, columns)));
    canvas.text(textLine(h, length, rgb(204, 204, 204), rgb(97, 214, 214), rgb(22, 198, 12)),
                client.left + 6, client.top + 4 + line * kCellHeight, client);
  }
}

void DesktopScene::drawEditor(int32_t index, uint32_t* pixels) const {
  Canvas canvas(pixels, width_, height_);
  const Box client = drawWindow(canvas, editor_, kSalt + 2, true);
  canvas.fill(client, client, rgb(255, 255, 255));
  constexpr int32_t kGutter = 48;
  const Box gutter{client.left, client.top, client.left + kGutter, client.bottom};
  canvas.fill(gutter, client, rgb(240, 240, 240));

  const int32_t textLeft = client.left + kGutter + 6;
  const int32_t columns = std::max(1, (client.right - textLeft - 6) / kCellWidth);
  const int32_t visibleLines = std::max(2, (client.bottom - client.top - 4) / kCellHeight);
  const int32_t typedLength = std::min(columns, 48);

  // Bursts of typing: 24 frames with one character each, then 16 frames of pause.
  const int32_t typed = index / 40 * 24 + std::min(index % 40, 24);
  const bool typing = index % 40 < 24;
  const int32_t prefilled = visibleLines - 2;
  const int32_t caretLine = prefilled + typed / typedLength;
  const int32_t caretColumn = typed % typedLength;
  const int32_t firstLine = std::max(0, caretLine - visibleLines + 1);

  for (int32_t shown = 0; shown < visibleLines; ++shown) {
    const int32_t line = firstLine + shown;
    const int32_t top = client.top + 2 + shown * kCellHeight;
    canvas.text(digits(static_cast<uint64_t>(line + 1), 4, rgb(128, 128, 128)), gutter.left + 6,
                top, gutter);
    if (line > caretLine) continue;
    const uint64_t h = mix(kSalt + 9000 + static_cast<uint64_t>(line));
    int32_t length =
        line < prefilled ? (h % 7 == 0 ? 0 : 8 + static_cast<int32_t>(h % columns)) : typedLength;
    length = std::min(length, columns);
    if (line == caretLine) length = caretColumn;
    canvas.text(textLine(h, length, rgb(30, 30, 30), rgb(0, 0, 200), rgb(0, 128, 0)), textLeft, top,
                client);
    const bool caretShown = typing || (index / 8) % 2 == 0;
    if (line == caretLine && caretShown) {
      const int32_t x = textLeft + caretColumn * kCellWidth;
      canvas.fill({x, top + 1, x + 2, top + kCellHeight - 1}, client, rgb(0, 0, 0));
    }
  }
}

void DesktopScene::drawFileList(int32_t index, uint32_t* pixels) const {
  Canvas canvas(pixels, width_, height_);
  // Dragged for 60 frames out of every 120.
  const int32_t moved = index / 120 * 60 + std::max(0, index % 120 - 60);
  constexpr int32_t kMargin = 8;
  const int32_t rangeX = width_ - fileListWidth_ - 2 * kMargin;
  const int32_t rangeY = height_ - kTaskbarHeight - fileListHeight_ - 2 * kMargin;
  const int32_t left = kMargin + bounce(width_ * 30 / 100 + 4 * moved, rangeX);
  const int32_t top = kMargin + bounce(height_ * 25 / 100 + 2 * moved, rangeY);
  const Box outer{left, top, left + fileListWidth_, top + fileListHeight_};
  const Box client = drawWindow(canvas, outer, kSalt + 3, false);
  canvas.fill(client, client, rgb(255, 255, 255));

  const Box toolbar{client.left, client.top, client.right, client.top + 28};
  canvas.fill(toolbar, client, rgb(245, 245, 245));
  for (int32_t tool = 0; tool < 6; ++tool) {
    canvas.fill({toolbar.left + 6 + tool * 28, toolbar.top + 5, toolbar.left + 24 + tool * 28,
                 toolbar.bottom - 5},
                toolbar, rgb(90 + tool * 20, 120, 160));
  }
  const Box header{client.left, toolbar.bottom, client.right, toolbar.bottom + 20};
  canvas.fill(header, client, rgb(230, 230, 230));
  canvas.text(textLine(kSalt + 4, 30, rgb(60, 60, 60), rgb(60, 60, 60), rgb(60, 60, 60)),
              header.left + 28, header.top + 2, header);

  const int32_t sizeColumn = client.right - 8 - 8 * kCellWidth;
  for (int32_t entry = 0; header.bottom + entry * 20 < client.bottom; ++entry) {
    const Box row{client.left, header.bottom + entry * 20, client.right,
                  header.bottom + entry * 20 + 20};
    const uint32_t shade = entry == 3  ? rgb(204, 232, 255)
                           : entry % 2 ? rgb(248, 248, 248)
                                       : rgb(255, 255, 255);
    canvas.fill(row, client, shade);
    const uint64_t h = mix(kSalt + 7000 + static_cast<uint64_t>(entry));
    static constexpr uint32_t kIcons[] = {0xE6BE3C, 0x4678C8, 0x50AA5A};
    canvas.fill({row.left + 6, row.top + 2, row.left + 22, row.top + 18}, client, kIcons[h % 3]);
    canvas.text(textLine(h, 6 + static_cast<int32_t>(h % 20), rgb(20, 20, 20), rgb(20, 20, 20),
                         rgb(20, 20, 20)),
                row.left + 28, row.top + 2, {client.left, row.top, sizeColumn - 8, row.bottom});
    canvas.text(digits(h % 100000, 7, rgb(90, 90, 90)), sizeColumn, row.top + 2, client);
  }
}
