// Strings through the glyph cache: the memory road against a model of its pixel rules over random
// cache contents, positions and clips; layout; batches; scales; the texture road; and
// DrawStringWithFont on software screens and surfaces, through the mask and the composed road.
#include "graphics/text.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "graphics/ddraw/screen_compare.h"
#include "graphics/draw_front.h"
#include "graphics/font.h"
#include "graphics/graph.h"
#include "graphics/mask.h"
#include "graphics/mask_fill.h"
#include "graphics/target_pixels.h"
#include "graphics/text_memory_road.h"
#include "softrender/blit_reference.h"

namespace zq::gfx {
namespace {

using test::LibrarySession;
using test::TestImage;

HandleValue Synth(int size, int type, int edge) {
  return CreateFontToHandle(platform::kSyntheticFaceName, size, 5, type, -1, edge, -1, -1);
}

// The memory road's pixel rules, from their table.
uint32_t Rule(int depth, uint32_t type, uint32_t s, uint32_t c, uint32_t e, uint32_t old,
              bool trans) {
  const uint32_t none = trans ? old : 0, b = s & 15, ev = s >> 4, alpha = depth == 16 ? 20 : 28;
  if (type == 0) return s != 0 ? c : none;
  if (type == 1) return s == 1 ? c : s == 2 ? e & 0xFFFFFF : none;
  if (type == 2) return s == 0 ? none : c | s << alpha;
  if (b == 15) return c | (depth == 16 ? 0xFF0000u : 0xFF000000u);
  if (b == 0) return ev == 0 ? none : e | ev << alpha;
  const uint32_t a = b * 16 + (15 - b) * ev, t = b * 4096 / a;
  uint32_t mix = 0;
  for (int i = 0; i < 3; ++i) {
    const int shift = depth == 16 ? 11 - 6 * i + (i == 2) : 16 - 8 * i;  // 11, 5, 0 or 16, 8, 0
    const uint32_t mask = depth == 16 ? (i == 1 ? 63 : 31) : 255;
    const int cc = int((c >> shift) & mask), ec = int((e >> shift) & mask);
    mix |= uint32_t(ec + int(std::floor((cc - ec) * double(t) / 256))) << shift;
  }
  return depth == 16 ? (old & 0xFF000000u) | a << 16 | mix : a << 24 | mix;
}

// A screen colour of the channels with the bright multiplied in (the unused bits clear).
uint32_t Tinted(int depth, const int (&rgb)[3], uint32_t bright) {
  uint32_t v = 0;
  for (int i = 0; i < 3; ++i) {
    const int width = depth == 16 && i == 1 ? 6 : depth == 16 ? 5 : 8;
    const int shift = depth == 16 ? 11 - 6 * i + (i == 2) : 16 - 8 * i;
    const int split = (rgb[i] >> (8 - width)) * 255 / ((1 << width) - 1);
    v |= uint32_t(split * int((bright >> (16 - 8 * i)) & 255) / 255 >> (8 - width)) << shift;
  }
  return v;
}

bool Lead(uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Calls put(X, Y, s) for every glyph pixel of the string drawn at (x, y) from the font's cells:
// glyph pixel (gx, gy) covers sx x sy pixels from (x + pen + offset x * sx + gx * sx, y +
// offset y * sy + gy * sy), or, vertically, (R - 1 - gy, T + gx) with R = line height + x -
// offset y and T = pen + y + offset x. Spaces draw nothing; every glyph advances the pen.
void Glyphs(const FontRecord& f, const std::string& s, int x, int y, bool vertical, int sx, int sy,
            const std::function<void(int, int, uint32_t)>& put) {
  int pen = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const uint8_t first = uint8_t(s[i]), second = Lead(first) ? uint8_t(s[++i]) : 0;
    const GlyphCacheEntry& e = *f.CodeMap[first + 256 * second].Entry;
    const bool space = first == 0x20 || (first == 0x81 && second == 0x40);
    const uint8_t* cell = f.CacheBitmap + (e.CellIndex % f.Rows) * f.CellSize * f.CachePitch;
    for (int gy = 0; gy < e.Height && !space; ++gy)
      for (int gx = 0; gx < e.Width; ++gx) {
        const uint8_t* row = cell + gy * f.CachePitch;
        const uint32_t v = f.Type == 0 ? (row[gx / 8] >> (7 - gx % 8)) & 1 : row[gx];
        if (vertical) {
          put(f.LineHeight + x - e.OffsetY - 1 - gy, pen + y + e.OffsetX + gx, v);
          continue;
        }
        for (int dy = 0; dy < sy; ++dy)
          for (int dx = 0; dx < sx; ++dx)
            put(x + pen + e.OffsetX * sx + gx * sx + dx, y + e.OffsetY * sy + gy * sy + dy, v);
      }
    pen += (e.Advance + f.CharSpacing) * (vertical ? sy : sx);
  }
}

const std::vector<std::string> kPieces = {"A", "B",        " ",        "_",        "|",       "\n",
                                          "z", "\x81\x40", "\x82\xA0", "\x88\x9F", "\x93\xFA"};

TEST(TextMemoryRoad, TypeThreeMixesHandWorked) {
  // Colour 0xFF8000 or 0xF800 over edge 0x0000FF or 0x001F; the old pixel 0xAA000000.
  const struct {
    int depth;
    uint32_t s, want;
  } cases[] = {{32, 7 | 5 << 4, 0x98BB5E43}, {32, 1 | 15 << 4, 0xE21109ED},
               {32, 14, 0xE0FF8000},         {32, 14 | 15 << 4, 0xEFEE7710},
               {32, 5 << 4, 0x500000FF},     {32, 15 | 3 << 4, 0xFFFF8000},
               {16, 7 | 5 << 4, 0xAA98B008}, {16, 1, 0xAA10F800},
               {16, 5 << 4, 0x0050001F},     {16, 0, 0}};
  for (const auto& k : cases) {
    MemoryRoadColors colors;
    const MemoryGlyphWriter write =
        SelectMemoryGlyphWriter(k.depth, 3, false, false, k.depth == 16 ? 0xF800 : 0xFF8000,
                                k.depth == 16 ? 0x1F : 0xFF, &colors);
    const uint8_t cell = uint8_t(k.s);
    TestImage target(1, 1, 1);
    target.Set(0, 0, 0xAA000000);
    write(MemoryGlyph{&cell, 1, 0, 0, {0, 0, 1, 1}}, target.img, colors);
    EXPECT_EQ(target.Get(0, 0), k.want) << k.depth << " " << k.s;
  }
}

TEST(TextMemoryRoad, PixelsFollowTheRulesOverRandomCellsPositionsAndClips) {
  std::mt19937 rng(25);
  for (int depth : {16, 32}) {
    LibrarySession lib({.bits = depth});
    ASSERT_EQ(SetDrawBrightRGB(200, 255, 90), 0);  // multiplied into both colours
    for (uint32_t type = 0; type < 4; ++type) {
      const HandleValue font = Synth(16, int(type), type & 1 ? 2 : -1);
      FontRecord* f = GetFontRecord(font);
      std::string all;
      for (const std::string& p : kPieces) all += p;
      ASSERT_EQ(SplitStringToChars(font, all.c_str(), -1, nullptr, nullptr), 0);
      std::bitset<256> seen;
      for (int round = 0; round < 200; ++round) {
        // The cells of the pieces (the first ones) hold random values of the type's range.
        for (int64_t i = 0; i < int64_t(kPieces.size()) * f->CellSize * f->CachePitch; ++i)
          f->CacheBitmap[i] = uint8_t(type == 1 ? rng() % 3 : type == 2 ? rng() % 16 : rng());
        std::string s;
        for (int n = int(rng() % 6); n >= 0; --n) s += kPieces[rng() % kPieces.size()];
        const bool trans = rng() % 2, vertical = rng() % 2;
        const int x = int(rng() % 90) - 30, y = int(rng() % 60) - 20, l = int(rng() % 70) - 10,
                  t = int(rng() % 50) - 10;
        const platform::RECT clip{l, t, l + int(rng() % 70), t + int(rng() % 50)};
        int rgb[2][3];
        for (auto& c : rgb)
          for (int& v : c) v = int(rng() % 256);
        const uint32_t color = GetScreenColorValue(rgb[0][0], rgb[0][1], rgb[0][2]);
        const uint32_t edge = GetScreenColorValue(rgb[1][0], rgb[1][1], rgb[1][2]);
        TestImage img(60, 40, depth == 16 ? 0 : 1, false, type >= 2, 8);
        for (uint8_t& b : img.bytes) b = uint8_t(rng());
        std::fill(img.bytes.end() - TestImage::kGuard, img.bytes.end(), TestImage::kGuardByte);
        TestImage want = img;
        const int drawn = DrawStringByCache(1, x, y, 0, 1.0, 1.0, s.c_str(), color, &img.img, &clip,
                                            trans, font, edge, -1, vertical, nullptr);
        EXPECT_EQ(drawn, MeasureStringWidth(s.c_str(), -1, font, vertical));
        const uint32_t c = Tinted(depth, rgb[0], 0xC8FF5A), e = Tinted(depth, rgb[1], 0xC8FF5A);
        Glyphs(*f, s, x, y, vertical, 1, 1, [&](int px, int py, uint32_t v) {
          if (px < std::max(0, clip.left) || px >= std::min(60, clip.right) ||
              py < std::max(0, clip.top) || py >= std::min(40, clip.bottom))
            return;
          seen.set(v);
          const uint32_t old = test::ImagePixel(want.img, px, py);
          test::SetImagePixel(want.img, px, py, Rule(depth, type, v, c, e, old, trans));
        });
        ASSERT_EQ(img.bytes, want.bytes) << depth << " type " << type << " round " << round;
      }
      EXPECT_EQ(seen.count(), type == 0 ? 2u : type == 1 ? 3u : type == 2 ? 16u : 256u);
      DeleteFontHandle(font);
    }
  }
}

TEST(TextLayout, AdvancesSpacesLineFeedsSizesLengthsAndLongStrings) {
  LibrarySession lib;
  const HandleValue font = Synth(16, 0, -1);
  ASSERT_EQ(SetFontCharSpacing(2, font), 0);
  // Advances at size 16: 8 for one-byte codes, 16 for two-byte ones, each plus the spacing 2.
  const struct {
    const char* s;
    int length, vertical, extent;
  } cases[] = {{"A B", -1, 0, 30},      {"\x81\x40", -1, 1, 18}, {"A\nB", -1, 0, 30},
               {"\x82\xA0X", 1, 0, 18},  // a lead byte last within the length takes the next
               {"\x82", -1, 0, 10},      // a lead byte before the end is a one-byte character
               {"AB", 0, 1, 0}};
  for (const auto& k : cases) {
    int32_t size[2] = {-7, -7};
    EXPECT_EQ(DrawStringByCache(0, 0, 0, 0, 1.0, 1.0, k.s, 0, nullptr, nullptr, 0, font, 0,
                                k.length, k.vertical, size),
              k.extent);
    EXPECT_EQ(size[k.vertical], k.extent);
    EXPECT_EQ(size[1 - k.vertical], 16) << k.s;
  }
  for (const char* s : {static_cast<const char*>(nullptr), ""}) {
    int32_t size[2] = {-7, -7};
    EXPECT_EQ(
        DrawStringByCache(0, 0, 0, 0, 1.0, 1.0, s, 0, nullptr, nullptr, 0, font, 0, -1, 0, size),
        0);
    EXPECT_EQ(size[0], -7);
  }
  // Drawn: A's box ends at column 10 + 1 + 4, the space draws nothing, B begins at 10 + 20 and
  // the line feed's glyph at 10 + 30, on the same line.
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ASSERT_EQ(DrawStringWithFont(10, 10, "A B\n", 0xFFFF, font, 0, 0), 0);
  auto inked = [](int x0, int x1) {
    int n = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = x0; x < x1; ++x) n += test::TargetPixel(x, y) != 0;
    return n;
  };
  EXPECT_EQ(inked(15, 30), 0);
  EXPECT_GT(inked(30, 36), 0);
  EXPECT_GT(inked(40, 45), 0);
  // 600 characters draw as their two halves one after the other.
  std::string text;
  for (int i = 0; i < 600; ++i) text += char('A' + i % 26);
  const std::string head = text.substr(0, 300);
  TestImage whole(6010, 20, 0), halves(6010, 20, 0);
  const platform::RECT all{0, 0, 6010, 20};
  auto draw = [&](TestImage& to, int x, const char* s) {
    return DrawStringByCache(1, x, 2, 0, 1.0, 1.0, s, 0xFFFF, &to.img, &all, 1, font, 0, -1, 0,
                             nullptr);
  };
  EXPECT_EQ(draw(whole, 3, text.c_str()), 6000);
  draw(halves, 3 + draw(halves, 3, head.c_str()), text.c_str() + 300);
  EXPECT_EQ(whole.bytes, halves.bytes);
}

TEST(TextBatches, OneBatchOf256ThenOneAtATimeAndACachedStringAsksNothing) {
  LibrarySession lib;
  const HandleValue font = Synth(16, 0, -1);
  std::string s, tail;
  std::vector<uint32_t> want;
  for (int i = 0; i < 300; ++i) {
    const uint8_t lead = uint8_t(0x89 + i / 150), trail = uint8_t(0x40 + i % 150);
    (i < 254 ? s : tail) += {char(lead), char(trail)};
    // Each glyph is asked for its size, then its pixels.
    want.insert(want.end(), 2, uint32_t(lead) << 8 | trail);
  }
  // 'Q' three times before it is cached: the list takes it twice (254 + 2 = 256), the walk
  // then finds it cached; the characters after are rendered one at a time.
  s += "QQQ" + tail;
  want.insert(want.begin() + 2 * 254, 4, uint32_t('Q'));
  const size_t before = platform::gditest::GlyphOutlineCodes().size();
  MeasureStringWidth(s.c_str(), -1, font, 0);
  MeasureStringWidth(s.c_str(), -1, font, 0);  // cached: no call
  const std::vector<uint32_t> codes = platform::gditest::GlyphOutlineCodes();
  EXPECT_EQ(std::vector<uint32_t>(codes.begin() + int64_t(before), codes.end()), want);
  // A cache of 20 cells draws 30 different characters as a large one does.
  FontCacheCharCount = 20;
  const HandleValue small = Synth(16, 1, 1);
  FontCacheCharCount = 0;
  ASSERT_EQ(GetFontRecord(small)->Capacity, 20);
  const HandleValue large = Synth(16, 1, 1);
  TestImage a(600, 24, 0), b(600, 24, 0);
  const platform::RECT all{0, 0, 600, 24};
  for (auto [f, img] : {std::pair{small, &a}, std::pair{large, &b}})
    DrawStringByCache(1, 0, 2, 0, 1.0, 1.0, s.substr(0, 60).c_str(), 0xF800, &img->img, &all, 1, f,
                      0x1F, -1, 0, nullptr);
  EXPECT_EQ(a.bytes, b.bytes);
}

TEST(TextTextureRoad, HorizontalGlyphsTintedEdgeFirstUnscaledAndScaled) {
  LibrarySession lib;
  const HandleValue tiny = CreateEmptyGraph(8, 8);  // far smaller than any cache graph
  ASSERT_EQ(SelectBlendGraph(tiny, 30, 40), 0);
  ASSERT_EQ(SetDrawBrightRGB(255, 128, 255), 0);
  ASSERT_EQ(ApplyDrawArea(0, 0, 600, 200), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  const GraphicsDrawState before = g_DrawState;
  // Through the bright (255, 128, 255): the colour stays 0xF81F, the edge becomes 0x03E0.
  const uint32_t color = GetScreenColorValue(255, 0, 255), edge = GetScreenColorValue(0, 255, 0);
  const std::string s = "A\x82\xA0|_ Bz";
  auto pattern = [](int x, int y) { return uint32_t(x * 37 + y * 11) & 0xFFFF; };
  for (int type : {0, 1}) {
    const HandleValue memory = Synth(16, type, type ? 2 : -1);
    SetForceFontTextureCache(1);
    const HandleValue texture = Synth(16, type, type ? 2 : -1);
    SetForceFontTextureCache(0);
    ASSERT_EQ(GetFontRecord(texture)->TextureCache, 1);
    SetFontCharSpacing(1, memory);
    SetFontCharSpacing(1, texture);
    // Measuring at x scale 1.5 truncates the scaled sum (an odd one); a memory cache stays at 1.
    const int sum = MeasureStringWidth(s.c_str(), -1, memory, 0);
    ASSERT_EQ(sum % 2, 1);
    EXPECT_EQ(DrawStringByCache(0, 0, 0, 0, 1.5, 1.0, s.c_str(), 0, nullptr, nullptr, 0, texture, 0,
                                -1, 0, nullptr),
              sum * 3 / 2);
    EXPECT_EQ(DrawStringByCache(0, 0, 0, 1, 2.0, 2.0, s.c_str(), 0, nullptr, nullptr, 0, memory, 0,
                                -1, 0, nullptr),
              sum);
    for (int scale : {1, 2}) {
      test::FillTarget(pattern);
      const int sx = scale, sy = 2 * scale - 1;
      if (scale == 1)
        EXPECT_EQ(DrawStringWithFont(20, 30, s.c_str(), color, texture, edge, 0), 0);
      else
        DrawStringByCache(1, 20, 30, 1, sx, sy, s.c_str(), color, nullptr, nullptr, 1, texture,
                          edge, -1, 0, nullptr);
      std::vector<uint32_t> want(640 * 480);
      for (int i = 0; i < 640 * 480; ++i) want[size_t(i)] = pattern(i % 640, i / 640);
      Glyphs(*GetFontRecord(memory), s, 20, 30, false, sx, sy, [&](int x, int y, uint32_t v) {
        if (x < 600 && y < 200 && v != 0) want[size_t(y * 640 + x)] = v == 2 ? 0x03E0 : 0xF81F;
      });
      int wrong = 0;
      for (int i = 0; i < 640 * 480; ++i) wrong += test::TargetPixel(i % 640, i / 640) != want[i];
      EXPECT_EQ(wrong, 0) << "type " << type << " scale " << scale;
      EXPECT_EQ(g_DrawState.BlendGraph, before.BlendGraph);
      EXPECT_EQ(g_DrawState.BlendGraphBorderParam * 1000 + g_DrawState.BlendGraphBorderRange,
                30040);
      EXPECT_EQ(g_DrawState.Bright, before.Bright);
      EXPECT_EQ(g_DrawState.DrawArea.right * 1000 + g_DrawState.DrawArea.bottom, 600200);
    }
  }
}

// The pattern each screen test starts from.
uint32_t Pattern(int depth, int x, int y) {
  return depth == 16 ? uint32_t(x * 37 + y * 11) & 0xFFFF : uint32_t(x * 0x10307 + y * 0x3021);
}

TEST(DrawStringWithFont, SamePixelsOnSoftwareScreensAndSurfaces) {
  for (int bits : {16, 32})
    screencmp::SameOnBothPaths(bits, [] {
      const uint32_t color = GetScreenColorValue(250, 120, 30);
      const uint32_t edge = GetScreenColorValue(20, 40, 200);
      // Direct (types 0, 1 unblended) and composed roads.
      const int modes[5][2] = {{0, 0}, {1, 255}, {1, 128}, {2, 200}, {1, 128}};
      for (int i = 0; i < 5; ++i) {
        const int type = i % 4;
        const HandleValue font = Synth(12, type, type & 1 ? 1 : -1);
        SetBlendMode(modes[i][0], modes[i][1]);
        EXPECT_EQ(DrawStringWithFont(1 + i * 3, 2 + i * 9, "A\x82\xA0|_B", color, font, edge, 0),
                  0);
        EXPECT_EQ(DrawStringWithFont(36 + i * 5, -3,
                                     "\x88\x9F"
                                     "A",
                                     color, font, edge, 1),
                  0);
        DeleteFontHandle(font);
      }
    });
}

TEST(DrawStringWithFont, ComposedRoadIsTheMemoryRoadThenTheBlitBlend) {
  const struct {
    int type, mode, param;
    bool black;
  } cases[] = {{2, 0, 0, false},   {3, 1, 100, false}, {0, 1, 128, false},
               {0, 2, 200, false}, {1, 4, 0, false},   {0, 1, 128, true}};
  for (int depth : {16, 32}) {
    LibrarySession lib({.bits = depth});
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    const uint32_t nm = depth == 16 ? 0 : 0xFF000000u;
    for (const auto& k : cases) {
      const HandleValue font = Synth(16, k.type, k.type & 1 ? 2 : -1);
      const uint32_t color =
          k.black ? GetScreenColorValue(0, 0, 0) : GetScreenColorValue(250, 120, 30);
      const uint32_t edge = GetScreenColorValue(20, 40, 200);
      const std::string s = "A\x82\xA0|_B";
      test::FillTarget([&](int x, int y) { return Pattern(depth, x, y); });
      SetBlendMode(k.mode, k.param);
      EXPECT_EQ(DrawStringWithFont(30, 20, s.c_str(), color, font, edge, 0), 0);
      SetBlendMode(0, 0);
      // The string on an empty draw screen (alpha 0, or a value no rule writes), then blended.
      const bool smooth = k.type >= 2;
      const uint32_t empty = smooth ? 0 : 0xFFFFFFFFu;
      std::vector<uint32_t> composed(640 * 480, empty);
      Glyphs(*GetFontRecord(font), s, 30, 20, false, 1, 1, [&](int x, int y, uint32_t v) {
        uint32_t& p = composed[size_t(y * 640 + x)];
        p = Rule(depth, uint32_t(k.type), v, color & ~nm, edge & ~nm, p, true);
      });
      const soft::blit_test::RefPixelCase blend{depth == 16, k.mode, k.param, 0xFFFFFF, smooth};
      int wrong = 0;
      for (int i = 0; i < 640 * 480; ++i) {
        const uint32_t src = composed[size_t(i)], d = Pattern(depth, i % 640, i / 640);
        const int alpha = int(depth == 16 ? (src >> 16) & 255 : src >> 24);
        uint32_t want = d;
        if (src != empty)
          want = soft::blit_test::RefBlend(blend, depth == 16 ? src & 0xFFFF : src, d, -1,
                                           !smooth || alpha == 255 ? -1 : alpha);
        wrong += test::TargetPixel(i % 640, i / 640) != want;
      }
      EXPECT_EQ(wrong, 0) << depth << " bits, type " << k.type << " mode " << k.mode;
      DeleteFontHandle(font);
    }
  }
}

TEST(DrawStringWithFont, MaskFrontBufferAndRefusals) {
  LibrarySession lib({.bits = 32});
  const HandleValue edged = Synth(16, 1, 2), smooth = Synth(16, 3, 1);
  const uint32_t color = GetScreenColorValue(250, 120, 30), edge = GetScreenColorValue(20, 40, 200);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  auto pattern = [](int x, int y) { return Pattern(32, x, y); };
  // Straddling row 100, with outlines, vertically; at the draw area's right edge: nothing.
  auto scene = [&] {
    EXPECT_EQ(DrawStringWithFont(50, 92, "A\x82\xA0|", color, edged, edge, 0), 0);
    EXPECT_EQ(DrawStringWithFont(300, 70, "\x88\x9F_B", color, smooth, edge, 1), 0);
    EXPECT_EQ(DrawStringWithFont(300, 140, "\x88\x9F_B", color, edged, edge, 1), 0);
    EXPECT_EQ(DrawStringWithFont(640, 10, "A", color, edged, edge, 0), 0);
  };
  test::FillTarget(pattern);
  scene();
  std::vector<uint32_t> plain;
  for (int i = 0; i < 640 * 480; ++i) plain.push_back(test::TargetPixel(i % 640, i / 640));
  ASSERT_EQ(CreateMaskScreen(), 0);
  ASSERT_EQ(FillMaskRect(0, 0, 640, 100, 1), 0);  // the rows above 100 are protected
  ASSERT_EQ(SetMaskEnabled(1), 0);
  test::FillTarget(pattern);
  scene();
  ASSERT_EQ(SetMaskEnabled(0), 0);
  int wrong = 0;
  for (int i = 0; i < 640 * 480; ++i)
    wrong += test::TargetPixel(i % 640, i / 640) !=
             (i / 640 < 100 ? pattern(i % 640, i / 640) : plain[size_t(i)]);
  EXPECT_EQ(wrong, 0);

  // On the front buffer the copy-out shows every pixel a glyph wrote.
  platform::InjectMove(40, 30);
  ProcessMessage();
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  test::FillTarget(pattern);
  ASSERT_EQ(DrawStringWithFont(200, 50, "_\x88\x9F|", color, edged, edge, 1), 0);
  Glyphs(*GetFontRecord(edged), "_\x88\x9F|", 200, 50, true, 1, 1, [&](int x, int y, uint32_t) {
    EXPECT_EQ(g_DD.PrimarySurface->TestGetPixel(40 + x, 30 + y) & 0xFFFFFF,
              test::TargetPixel(x, y) & 0xFFFFFF);
  });

  EXPECT_EQ(DrawStringWithFont(0, 0, "", 0, -1, 0, 0), 0);  // the handle is not looked at
  EXPECT_EQ(DrawStringWithFont(0, 0, "A", 0, -1, 0, 0), -1);
  EXPECT_NE(lib.Log().find("フォントハンドル値が異常です"), std::string::npos);
  EXPECT_EQ(GetFontSize(edged), 16);
  DeleteFontHandle(edged);
  EXPECT_EQ(GetFontSize(edged), -1);
  // A 16-bit drawable graph on a 32-bit screen: the rule writes four bytes a pixel.
  SetCreateColorBitDepth(16);
  SetCreateOptionFlag(1);
  const HandleValue graph = CreateEmptyGraph(64, 32);
  SetCreateOptionFlag(0);
  SetCreateColorBitDepth(0);
  ASSERT_EQ(SelectDrawScreen(graph), 0);
  const HandleValue plainFont = Synth(16, 0, -1);
  EXPECT_EQ(DrawStringWithFont(2, 2, "A", color, plainFont, edge, 0), -1);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
}

}  // namespace
}  // namespace zq::gfx
