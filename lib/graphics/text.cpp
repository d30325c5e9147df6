#include "graphics/text.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/math.h"
#include "base/rect.h"
#include "base/system.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_front.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/graph.h"
#include "graphics/text_memory_road.h"

namespace zq::gfx {

using base::ClampToInt32;
using platform::RECT;

namespace {

// StringCharArray: the characters of the string being drawn, three bytes each. It grows to the
// longest string drawn and keeps its room, so drawing allocates nothing once it is large enough.
std::vector<uint8_t> g_stringChars;

// GlyphRenderList: the characters one split has the font render in one batch.
constexpr int32_t kRenderListChars = 256;
uint8_t g_renderList[kRenderListChars * 3];

bool GraphicsRunning() {
  return IsGraphicsManagerInitialised() != 0 && GetDirectDrawObject() != nullptr;
}

bool IsSpace(const uint8_t* ch) {
  return ch[0] == 0x20 || (ch[0] == 0x81 && ch[1] == 0x40);
}

// The glyph of a character: from the code map, or rendered now (a glyph the walk cannot have is
// the end of the program).
const GlyphCacheEntry& FindGlyph(FontRecord& f, HandleValue font, const uint8_t* ch) {
  const GlyphCodeSlot& slot = f.CodeMap[ch[0] + 256 * ch[1]];
  if (slot.Cached == 1 && slot.Entry != nullptr) return *slot.Entry;
  const GlyphCacheEntry* entry = RenderGlyphToCache(1, ch, font);
  if (entry == nullptr) base::ExitOnFatalError("テキストキャッシュの作成に失敗しました");
  return *entry;
}

// ---- The texture road -------------------------------------------------------------------------

struct TextureRoad {
  const FontRecord& font;
  int32_t x, y;
  bool scaled;
  double xScale, yScale;
  bool vertical;
  TextColors colors;
};

// The draw area narrowed to a glyph's column (within the caller's area) for the glyph's draws,
// put back afterwards.
class GlyphColumnArea {
 public:
  GlyphColumnArea(int64_t left, int64_t top, int64_t right, int64_t bottom)
      : saved_(g_DrawState.DrawArea) {
    RECT column{ClampToInt32(left), ClampToInt32(top), ClampToInt32(right), ClampToInt32(bottom)};
    base::ClipRectToRect(&column, &saved_);
    ApplyDrawArea(column.left, column.top, column.right, column.bottom);
  }
  ~GlyphColumnArea() { ApplyDrawArea(saved_.left, saved_.top, saved_.right, saved_.bottom); }
  GlyphColumnArea(const GlyphColumnArea&) = delete;
  GlyphColumnArea& operator=(const GlyphColumnArea&) = delete;

 private:
  RECT saved_;
};

float Corner(int64_t v) {
  return float(v) - 0.5f;
}

// One graph (the edge graph or the cache graph) of one glyph at the pen.
void DrawGlyphGraph(const TextureRoad& road, const GlyphCacheEntry& e, HandleValue graph,
                    int32_t cellX, int32_t cellY, double pen) {
  const int64_t x = road.x, y = road.y, w = e.Width, h = e.Height;
  auto trunc = [](double v) { return int64_t(base::DoubleToIntSaturated(v)); };
  if (!road.vertical && !road.scaled) {
    DrawGraphInRect(ClampToInt32(x + trunc(pen) + e.OffsetX), ClampToInt32(y + e.OffsetY), cellX,
                    cellY, e.Width, e.Height, graph, 1, 0);
  } else if (!road.vertical) {
    const int64_t left = trunc(e.OffsetX * road.xScale + pen) + x;
    const int64_t top = trunc(e.OffsetY * road.yScale) + y;
    const int64_t right = trunc(double(w) * road.xScale) + left;
    const int64_t bottom = trunc(double(h) * road.yScale) + top;
    DrawGraphRectScaled(ClampToInt32(left), ClampToInt32(top), ClampToInt32(right),
                        ClampToInt32(bottom), cellX, cellY, e.Width, e.Height, graph, 1);
  } else if (!road.scaled) {
    // The glyph turned a quarter turn clockwise: its pixel (gx, gy) covers (R - 1 - gy, T + gx).
    const int64_t r = road.font.LineHeight + x - e.OffsetY;
    const int64_t t = trunc(pen) + y + e.OffsetX;
    const GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr) return;
    const int64_t wg = record->Width, hg = record->Height;
    // Exactly the turned glyph box: the whole cache graph is drawn, so a column more on either
    // side would show texels of the neighbouring cells.
    const GlyphColumnArea area(r - h, t, r, t + w);
    DrawGraphFourCorners(Corner(r + cellY), Corner(t - cellX), Corner(r + cellY),
                         Corner(t - cellX + wg), Corner(r + cellY - hg), Corner(t - cellX + wg),
                         Corner(r + cellY - hg), Corner(t - cellX), graph, 1);
  } else {
    const int64_t r = trunc((road.font.LineHeight - e.OffsetY) * road.xScale) + x;
    const int64_t t = trunc(e.OffsetX * road.yScale + pen) + y;
    const int64_t l = trunc(double(-h) * road.xScale) + r;
    const int64_t b = trunc(double(w) * road.yScale) + t;
    const GlyphColumnArea area(r - trunc(double(h) * road.xScale) - 1, t, r + 1, b);
    const HandleValue cell = DeriveGraphRect(cellX, cellY, e.Width, e.Height, graph);
    if (cell < 0) return;
    DrawGraphFourCorners(Corner(r), Corner(t), Corner(r), Corner(b), Corner(l), Corner(b),
                         Corner(l), Corner(t), cell, 1);
    DeleteGraphHandle(cell, 0);
  }
}

// A glyph through the front-end: the edge first (outlined fonts) tinted by the edge colour, then
// the glyph tinted by the text colour; blend graph and bright as they were afterwards.
void DrawTextureGlyph(const TextureRoad& road, const GlyphCacheEntry& e, double pen) {
  const FontRecord& f = road.font;
  const int32_t cellX = (e.CellIndex / f.Rows) * f.CellSize;
  const int32_t cellY = (e.CellIndex % f.Rows) * f.CellSize;
  const int32_t blendGraph = g_DrawState.BlendGraph;
  const int32_t borderParam = g_DrawState.BlendGraphBorderParam;
  const int32_t borderRange = g_DrawState.BlendGraphBorderRange;
  const uint32_t bright = g_DrawState.Bright;
  SelectBlendGraph(-1, 0, 0);
  if ((f.Type & kFontTypeEdge) != 0) {
    SetDrawBrightPacked(road.colors.edgePacked);
    DrawGlyphGraph(road, e, f.EdgeGraph, cellX, cellY, pen);
  }
  SetDrawBrightPacked(road.colors.packed);
  DrawGlyphGraph(road, e, f.CacheGraph, cellX, cellY, pen);
  SelectBlendGraph(blendGraph, borderParam, borderRange);
  SetDrawBrightPacked(bright);
}

// ---- The memory road --------------------------------------------------------------------------

struct MemoryRoad {
  const FontRecord& font;
  int32_t x, y;
  bool vertical;
  MEMIMG* target;
  RECT clip;  // within the target
  MemoryGlyphWriter write;
  MemoryRoadColors colors;
};

void DrawMemoryGlyph(const MemoryRoad& road, const GlyphCacheEntry& e, double pen) {
  const FontRecord& f = road.font;
  const int64_t penX = base::DoubleToIntSaturated(pen);
  // The glyph box (left, top, right, bottom) and the corner the writer counts from.
  int64_t left, top, right, bottom, cornerX, cornerY;
  if (road.vertical) {
    cornerX = int64_t(f.LineHeight) + road.x - e.OffsetY;
    cornerY = penX + road.y + e.OffsetX;
    left = cornerX - e.Height;
    top = cornerY;
    right = cornerX;
    bottom = cornerY + e.Width;
  } else {
    cornerX = left = road.x + penX + e.OffsetX;
    cornerY = top = int64_t(road.y) + e.OffsetY;
    right = left + e.Width;
    bottom = top + e.Height;
  }
  left = std::max<int64_t>(left, road.clip.left);
  top = std::max<int64_t>(top, road.clip.top);
  right = std::min<int64_t>(right, road.clip.right);
  bottom = std::min<int64_t>(bottom, road.clip.bottom);
  if (left >= right || top >= bottom) return;
  // The clip lies inside the target, so a box that meets it has its corner within a cell of it.
  const int32_t cellY = (e.CellIndex % f.Rows) * f.CellSize;
  const MemoryGlyph glyph{f.CacheBitmap + int64_t(cellY) * f.CachePitch, f.CachePitch,
                          int32_t(cornerX), int32_t(cornerY),
                          RECT{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)}};
  road.write(glyph, *road.target, road.colors);
}

// The target's pixels can take what the rule writes.
bool FitsRule(const MEMIMG& target, int bytes) {
  return IsMemImgValid(&target) && target.Format != nullptr && target.Format->PixelByte == bytes &&
         target.Width >= 0 && target.Height >= 0 &&
         int64_t(target.Pitch) >= int64_t(target.Width) * bytes;
}

}  // namespace

TextColors MakeTextColors(uint32_t color, uint32_t edgeColor, TextColorMap map) {
  const uint32_t bright = g_DrawState.Bright;
  const uint32_t unused = ScreenValueFormat()->NM;
  auto make = [&](uint32_t value, uint32_t* pixel, uint32_t* packed) {
    int r = 0, g = 0, b = 0;
    SplitScreenColorValue(value, &r, &g, &b);
    r = r * int((bright >> 16) & 0xFF) / 255;
    g = g * int((bright >> 8) & 0xFF) / 255;
    b = b * int(bright & 0xFF) / 255;
    const uint32_t p = GetScreenColorValue(r, g, b) & ~unused;
    *pixel = map != nullptr ? map(p) : p;
    *packed = 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
  };
  TextColors c{};
  make(color, &c.pixel, &c.packed);
  make(edgeColor, &c.edgePixel, &c.edgePacked);
  return c;
}

namespace {

// The split into out (null: StringCharArray), with the batch of missing glyphs rendered. The
// number of characters.
int64_t SplitString(FontRecord& f, HandleValue font, const char* string, int32_t length,
                    uint8_t* out) {
  const auto* s = reinterpret_cast<const uint8_t*>(string);
  // The string's length or the given one, whichever is smaller, found without reading past the
  // given length: a string given with a length need not end with a 0 byte.
  int64_t n = 0;
  if (s != nullptr && length == -1)
    n = int64_t(std::strlen(string));
  else if (s != nullptr && length > 0)
    n = int64_t(strnlen(string, size_t(length)));
  if (out == nullptr) {
    if (g_stringChars.size() < size_t(3 * n)) g_stringChars.resize(size_t(3 * n));
    out = g_stringChars.data();
  }
  const int32_t listMax = std::min(kRenderListChars, f.Capacity);
  int32_t listed = 0;
  int64_t chars = 0;
  for (int64_t pos = 0; pos < n; ++chars) {
    const uint8_t first = s[pos];
    uint8_t second = 0;
    // The byte after a lead byte is read even past the length; the terminating 0 ends the string.
    if (IsShiftJisLeadByte(&s[pos], f.CharsetIndex) == 1 && s[pos + 1] != 0) {
      second = s[pos + 1];
      pos += 2;
    } else {
      pos += 1;
    }
    uint8_t* ch = out + 3 * chars;
    ch[0] = first;
    ch[1] = second;
    ch[2] = 0;
    if (f.CodeMap[first + 256 * second].Cached == 0 && listed < listMax) {
      std::memcpy(g_renderList + 3 * listed, ch, 3);
      ++listed;
    }
  }
  if (listed > 0) RenderGlyphToCache(listed, g_renderList, font);
  return chars;
}

}  // namespace

int SplitStringToChars(HandleValue font, const char* string, int32_t length, uint8_t* out,
                       int32_t* count) {
  FontRecord* f = GetFontRecord(font);
  if (f == nullptr) return -1;
  const int64_t chars = SplitString(*f, font, string, length, out);
  if (count != nullptr) *count = int32_t(std::min<int64_t>(chars, INT32_MAX));
  return 0;
}

int DrawStringByCache(int drawFlag, int32_t x, int32_t y, uint8_t scaleFlag, double xScale,
                      double yScale, const char* string, uint32_t color, MEMIMG* target,
                      const RECT* clip, int32_t transFlag, HandleValue font, uint32_t edgeColor,
                      int32_t length, int32_t vertical, int32_t* sizeOut, TextColorMap map) {
  if (!GraphicsRunning()) return -1;
  FontRecord* f = GetFontRecord(font);
  if (f == nullptr) return -1;
  const bool draw = drawFlag == 1, texture = f->TextureCache == 1, down = vertical != 0;
  if ((draw && scaleFlag == 0) || !texture) {
    scaleFlag = 0;
    xScale = yScale = 1.0;
  }
  const double factor = down ? yScale : xScale;
  const TextColors colors = MakeTextColors(color, edgeColor, map);
  // A length of 0 (or below -1) reads no byte at all, not even to find the string empty.
  const bool readable = length == -1 || length > 0;
  if (string == nullptr || (readable && string[0] == '\0')) return 0;

  const TextureRoad textureRoad{*f, x, y, scaleFlag != 0, xScale, yScale, down, colors};
  MemoryRoad memoryRoad{*f, x, y, down, target, RECT{}, nullptr, {}};
  if (draw && !texture && target != nullptr) {
    const int bytes = MemoryRoadPixelBytes(GetScreenColorBitDepth(), f->Type);
    if (bytes != 0 && !FitsRule(*target, bytes)) return -1;
    memoryRoad.clip = RECT{0, 0, target->Width, target->Height};
    if (clip != nullptr) base::ClipRectToRect(&memoryRoad.clip, clip);
    memoryRoad.write =
        SelectMemoryGlyphWriter(GetScreenColorBitDepth(), f->Type, transFlag != 0, down,
                                colors.pixel, colors.edgePixel, &memoryRoad.colors);
    if (memoryRoad.write != nullptr) target->RunLengthFlag = 0;
  }

  const int64_t count = SplitString(*f, font, string, length, nullptr);
  double pen = 0.0;
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t* ch = g_stringChars.data() + 3 * i;
    const GlyphCacheEntry& e = FindGlyph(*f, font, ch);
    if (draw && !IsSpace(ch) && (e.Width != 0 || e.Height != 0)) {
      if (texture)
        DrawTextureGlyph(textureRoad, e, pen);
      else if (memoryRoad.write != nullptr)
        DrawMemoryGlyph(memoryRoad, e, pen);
    }
    pen += (double(e.Advance) + f->CharSpacing) * factor;
  }
  // Held to the int32 range, never wrapped. The result is a size: a spacing negative enough to
  // take the pen back past its start gives 0, so that -1 still means failure; the extent
  // keeps its sign.
  const int32_t extent = base::DoubleToIntSaturated(pen);
  if (sizeOut != nullptr) {
    sizeOut[0] = down ? f->LineHeight : extent;
    sizeOut[1] = down ? extent : f->LineHeight;
  }
  return std::max(extent, 0);
}

int MeasureStringWidth(const char* string, int32_t length, HandleValue font, int32_t vertical) {
  return DrawStringByCache(0, 0, 0, 0, 1.0, 1.0, string, 0, nullptr, nullptr, 0, font, 0, length,
                           vertical, nullptr);
}

int GetTextBox(HandleValue font, int32_t x, int32_t y, const char* string, int32_t vertical,
               RECT* box) {
  int32_t size[2] = {0, 0};
  if (DrawStringByCache(0, x, y, 0, 1.0, 1.0, string, 0, nullptr, nullptr, 0, font, 0, -1, vertical,
                        size) < 0)
    return -1;
  const int64_t cell = GetFontRecord(font)->CellSize;
  const int64_t width = std::max(g_DrawState.DrawScreenWidth, 0);
  const int64_t height = std::max(g_DrawState.DrawScreenHeight, 0);
  // A negative spacing can put the pen's end before its start.
  const int64_t x0 = x, x1 = int64_t(x) + size[0], y0 = y, y1 = int64_t(y) + size[1];
  *box = RECT{int32_t(std::clamp<int64_t>(std::min(x0, x1) - cell, 0, width)),
              int32_t(std::clamp<int64_t>(std::min(y0, y1) - cell, 0, height)),
              int32_t(std::clamp<int64_t>(std::max(x0, x1) + cell, 0, width)),
              int32_t(std::clamp<int64_t>(std::max(y0, y1) + cell, 0, height))};
  return 0;
}

}  // namespace zq::gfx
