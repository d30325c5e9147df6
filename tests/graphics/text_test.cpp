// Strings through the glyph cache: the memory road against a model of its pixel rules over random
// cache contents, positions and clips; layout; batches; scales; the texture road; and
// DrawStringWithFont on software screens and surfaces, through the mask and the composed road.
#include "graphics/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_session.h"
#include "graphics/ddraw/screen_compare.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_front.h"
#include "graphics/font.h"
#include "graphics/graph.h"
#include "graphics/mask.h"
#include "graphics/mask_fill.h"
#include "graphics/surface_data.h"
#include "graphics/target_pixels.h"
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

bool Lead(uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The cached value at (cx, cy) of a memory cache.
uint32_t Cached(const FontRecord& f, int cx, int cy) {
  const uint8_t* row = f.CacheBitmap + cy * f.CachePitch;
  return f.Type == 0 ? (row[cx / 8] >> (7 - cx % 8)) & 1 : row[cx];
}

// put(X, Y, cx, cy, layer) for each pixel (gx, gy) of each glyph box of the string at (x, y), at
// (cx, cy) of the font's cache, layer 1 (an outlined font's edge graph, drawn first by a texture
// cache) or 0: at (x + pen + offset x + gx, y + offset y + gy), each scaled by sx and sy, or
// vertically at (R - 1 - gy, T + gx) scaled the same way, R = (line height - offset y) sx + x,
// T = pen + y + offset x sy. Spaces draw nothing.
void Glyphs(const FontRecord& f, const std::string& s, int x, int y, bool vertical, int sx, int sy,
            const std::function<void(int, int, int, int, int)>& put) {
  int pen = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const uint8_t first = uint8_t(s[i]), second = Lead(first) ? uint8_t(s[++i]) : 0;
    const GlyphCacheEntry& e = *f.CodeMap[first + 256 * second].Entry;
    const bool space = first == 0x20 || (first == 0x81 && second == 0x40);
    const int cx = e.CellIndex / f.Rows * f.CellSize, cy = e.CellIndex % f.Rows * f.CellSize;
    const int r = (f.LineHeight - e.OffsetY) * sx + x, t = pen + y + e.OffsetX * sy;
    for (int layer = f.TextureCache && (f.Type & 1); layer >= 0 && !space; --layer)
      for (int gy = 0; gy < e.Height; ++gy)
        for (int gx = 0; gx < e.Width; ++gx)
          for (int dy = 0; dy < sy; ++dy)
            for (int dx = 0; dx < sx; ++dx)
              put(vertical ? r - 1 - gy * sx - dx : x + pen + (e.OffsetX + gx) * sx + dx,
                  vertical ? t + gx * sy + dy : y + (e.OffsetY + gy) * sy + dy, cx + gx, cy + gy,
                  layer);
    pen += (e.Advance + f.CharSpacing) * (vertical ? sy : sx);
  }
}

const std::vector<std::string> kPieces = {"A", "B",        " ",        "_",        "|",       "\n",
                                          "z", "\x81\x40", "\x82\xA0", "\x88\x9F", "\x93\xFA"};

TEST(TextMemoryRoad, PixelsFollowTheRulesOverRandomCellsPositionsAndClips) {
  // The type 3 mix worked by hand: colour 0xFF8000 (0xF800) over the edge 0xFF (0x1F).
  for (const auto& [depth, s, want] : {std::tuple{32, 7 | 5 << 4, 0x98BB5E43u},
                                       {32, 1 | 15 << 4, 0xE21109EDu},
                                       {32, 14 | 15 << 4, 0xEFEE7710u},
                                       {16, 7 | 5 << 4, 0xAA98B008u}})
    EXPECT_EQ(Rule(depth, 3, uint32_t(s), depth == 16 ? 0xF800 : 0xFF8000,
                   depth == 16 ? 0x1F : 0xFF, 0xAA000000, false),
              want);
  std::mt19937 rng(25);
  for (int depth : {16, 32}) {
    LibrarySession lib({.bits = depth});
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
        const uint32_t color = GetScreenColorValue(rng() % 256, rng() % 256, rng() % 256);
        const uint32_t edge = GetScreenColorValue(rng() % 256, rng() % 256, rng() % 256);
        const uint32_t c = color & 0xFFFFFF, e = edge & 0xFFFFFF;  // the unused bits clear
        TestImage img(60, 40, depth == 16 ? 0 : 1, false, type >= 2, 8);
        for (uint8_t& b : img.bytes) b = uint8_t(rng());
        std::fill(img.bytes.end() - TestImage::kGuard, img.bytes.end(), TestImage::kGuardByte);
        TestImage want = img;
        const int drawn = DrawStringByCache(1, x, y, 0, 1.0, 1.0, s.c_str(), color, &img.img, &clip,
                                            trans, font, edge, -1, vertical, nullptr);
        EXPECT_EQ(drawn, MeasureStringWidth(s.c_str(), -1, font, vertical));
        Glyphs(*f, s, x, y, vertical, 1, 1, [&](int px, int py, int cx, int cy, int) {
          const uint32_t v = Cached(*f, cx, cy);
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

TEST(TextLayout, AdvancesSizesLengthsBatchesAndLongStrings) {
  LibrarySession lib;
  const HandleValue font = Synth(16, 0, -1);
  ASSERT_EQ(SetFontCharSpacing(2, font), 0);
  // Advances at size 16: 8 for one-byte codes, 16 for two-byte ones, each plus the spacing 2. A
  // lead byte last within the length takes the next byte; one before the end is a character.
  const struct {
    const char* s;
    int length, vertical, extent;
  } cases[] = {{"A B", -1, 0, 30},      {"\x81\x40", -1, 1, 18}, {"A\nB", -1, 0, 30},
               {"\x82\xA0X", 1, 0, 18}, {"\x82", -1, 0, 10},     {"AB", 0, 1, 0},
               {nullptr, -1, 0, 0},     {"", -1, 1, 0}};
  for (const auto& k : cases) {
    int32_t size[2] = {-7, -7};
    EXPECT_EQ(DrawStringByCache(0, 0, 0, 0, 1.0, 1.0, k.s, 0, nullptr, nullptr, 0, font, 0,
                                k.length, k.vertical, size),
              k.extent);
    const bool untouched = k.s == nullptr || k.s[0] == '\0';
    EXPECT_EQ(size[k.vertical], untouched ? -7 : k.extent);
    EXPECT_EQ(size[1 - k.vertical], untouched ? -7 : 16);
  }
  // 254 new characters, 'Q' three times (the batch takes it twice: 256), 46 more rendered one at a
  // time as the walk reaches them; then the cached string asks for nothing.
  std::string s, tail;
  std::vector<uint32_t> want;  // each glyph is asked for its size, then its pixels
  for (int i = 0; i < 300; ++i) {
    const uint8_t lead = uint8_t(0x89 + i / 150), trail = uint8_t(0x40 + i % 150);
    (i < 254 ? s : tail) += {char(lead), char(trail)};
    want.insert(want.end(), 2, uint32_t(lead) << 8 | trail);
  }
  s += "QQQ" + tail;
  want.insert(want.begin() + 2 * 254, 4, uint32_t('Q'));
  const size_t before = platform::gditest::GlyphOutlineCodes().size();
  MeasureStringWidth(s.c_str(), -1, font, 0);
  MeasureStringWidth(s.c_str(), -1, font, 0);
  const std::vector<uint32_t> codes = platform::gditest::GlyphOutlineCodes();
  EXPECT_EQ(std::vector<uint32_t>(codes.begin() + int64_t(before), codes.end()), want);
  // 600 characters of 30 kinds, drawn whole, and in two halves with a cache of 20 cells.
  FontCacheCharCount = 20;
  const HandleValue small = Synth(16, 0, -1);
  FontCacheCharCount = 0;
  SetFontCharSpacing(2, small);
  std::string text;
  for (int i = 0; i < 600; ++i) text += char('A' + i % 30);
  TestImage whole(6010, 20, 0), halves(6010, 20, 0);
  const platform::RECT all{0, 0, 6010, 20};
  auto draw = [&](TestImage& to, HandleValue f, int x, const std::string& t) {
    return DrawStringByCache(1, x, 2, 0, 1.0, 1.0, t.c_str(), 0xFFFF, &to.img, &all, 1, f, 0, -1, 0,
                             nullptr);
  };
  EXPECT_EQ(draw(whole, font, 3, text), 6000);
  draw(halves, small, 3 + draw(halves, small, 3, text.substr(0, 300)), text.substr(300));
  EXPECT_EQ(whole.bytes, halves.bytes);
}

uint32_t Pattern(int depth, int x, int y) {
  return depth == 16 ? uint32_t(x * 37 + y * 11) & 0xFFFF : uint32_t(x * 0x10307 + y * 0x3021);
}

// The screen's pixels that differ from want(x, y).
int Wrong(const std::function<uint32_t(int, int)>& want) {
  int n = 0;
  for (int i = 0; i < 640 * 480; ++i)
    n += test::TargetPixel(i % 640, i / 640) != want(i % 640, i / 640);
  return n;
}

TEST(TextTextureRoad, HorizontalGlyphsTintedEdgeFirstUnscaledAndScaled) {
  LibrarySession lib;
  ASSERT_EQ(SelectBlendGraph(CreateEmptyGraph(8, 8), 30, 40), 0);  // smaller than a cache graph
  ASSERT_EQ(SetDrawBrightRGB(128, 128, 255), 0);
  ASSERT_EQ(ApplyDrawArea(0, 0, 600, 200), 0);
  const GraphicsDrawState before = g_DrawState;
  // Through the bright (128, 128, 255) the colour becomes 0x781F, the edge 0x03E0.
  const uint32_t color = GetScreenColorValue(255, 0, 255), edge = GetScreenColorValue(0, 255, 0);
  const std::string s = "A\x82\xA0|_ Bz";
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
    for (auto [f, scale, extent] : {std::tuple{texture, 1.5, sum * 3 / 2}, {memory, 2.0, sum}})
      EXPECT_EQ(DrawStringByCache(0, 0, 0, 1, scale, 1.0, s.c_str(), 0, nullptr, nullptr, 0, f, 0,
                                  -1, 0, nullptr),
                extent);
    for (int scale : {1, 2}) {
      test::FillTarget([](int x, int y) { return Pattern(16, x, y); });
      const int sx = scale, sy = 2 * scale - 1;
      if (scale == 1)
        EXPECT_EQ(DrawStringWithFont(20, 30, s.c_str(), color, texture, edge, 0), 0);
      else
        DrawStringByCache(1, 20, 30, 1, sx, sy, s.c_str(), color, nullptr, nullptr, 1, texture,
                          edge, -1, 0, nullptr);
      std::vector<uint32_t> inked(640 * 480, 0);
      const FontRecord& m = *GetFontRecord(memory);
      Glyphs(m, s, 20, 30, false, sx, sy, [&](int x, int y, int cx, int cy, int) {
        const uint32_t v = Cached(m, cx, cy);
        if (x < 600 && y < 200 && v != 0) inked[size_t(y * 640 + x)] = v == 2 ? 0x03E0 : 0x781F;
      });
      EXPECT_EQ(Wrong([&](int x, int y) {
                  const uint32_t v = inked[size_t(y * 640 + x)];
                  return v != 0 ? v : Pattern(16, x, y);
                }),
                0)
          << "type " << type << " scale " << scale;
      // Blend graph, its parameters, bright and draw area as they were.
      EXPECT_EQ(std::memcmp(&g_DrawState, &before, sizeof before), 0);
    }
  }
}

// The simulated device's blend of colour c (0xRRGGBB) at alpha a over the 5:6:5 pixel d:
// c a + d (255 - a), or c a + d when adding; channels widened, products / 255, narrowed.
uint32_t Over(uint32_t d, uint32_t c, uint32_t a, bool add) {
  uint32_t out = 0;
  for (const auto& [shift, w, from] : {std::tuple{11, 5, 16}, {5, 6, 8}, {0, 5, 0}}) {
    const uint32_t max = (1u << w) - 1, dc = (d >> shift & max) * 255 / max;
    const uint32_t v =
        std::min(255u, (c >> from & 255) * a / 255 + (add ? dc : dc * (255 - a) / 255));
    out |= (v >> (8 - w)) << shift;
  }
  return out;
}

TEST(TextTextureRoad, OnDirect3DStringsLandWhereTheRulesPutThemInsideTheDrawArea) {
  LibrarySession lib(test::Direct3DSession(16, false));
  ASSERT_EQ(lib.Start(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ASSERT_EQ(ApplyDrawArea(0, 0, 600, 200), 0);
  ASSERT_EQ(SetDrawBrightRGB(128, 128, 255), 0);
  // Through the bright: text (128, 0, 255), edge (0, 128, 0), the tints of layers 0 and 1.
  const uint32_t color = GetScreenColorValue(255, 0, 255), edge = GetScreenColorValue(0, 255, 0);
  const uint32_t tint[2] = {0x8000FF, 0x008000};
  const std::string s = "A\x82\xA0|_ Bz";
  FontCacheInSystemMemory = 1;
  const HandleValue memory = Synth(16, 0, -1);  // drawn by the DirectDraw twin
  FontCacheInSystemMemory = 0;
  auto fill = [](int x, int y) { return Pattern(16, x, y); };
  // Vertical, scales, position (each string crosses the area's edge), blend mode (3: subtract).
  const int cases[][6] = {{0, 1, 1, 540, 150, 0},
                          {1, 1, 1, 585, 150, 0},
                          {0, 2, 3, 480, 110, 0},
                          {1, 2, 3, 560, 110, 0},
                          {0, 1, 1, 540, 150, 3}};
  for (int type = 0; type < 5; ++type) {
    const HandleValue font = type < 4 ? Synth(16, type, type & 1 ? 2 : -1) : memory;
    const FontRecord& f = *GetFontRecord(font);
    ASSERT_EQ(f.TextureCache, type < 4 ? 1 : 0);
    for (const auto& [vertical, sx, sy, x, y, mode] : cases) {
      if (type == 4 && (sx != 1 || mode != 0)) continue;
      EndCurrentScene();
      test::FillTarget(fill);
      SetBlendMode(mode, 128);
      if (sx != 1)
        DrawStringByCache(1, x, y, 1, sx, sy, s.c_str(), color, nullptr, nullptr, 1, font, edge, -1,
                          vertical, nullptr);
      else
        EXPECT_EQ(DrawStringWithFont(x, y, s.c_str(), color, font, edge, vertical), 0);
      SetBlendMode(0, 0);
      EndCurrentScene();
      // Subtracting: the target inverted, the glyphs added at their alpha times 128, inverted back.
      const uint32_t flip = mode ? 0xFFFF : 0;
      std::vector<uint32_t> want(640 * 480);
      for (int i = 0; i < 640 * 480; ++i) want[size_t(i)] = fill(i % 640, i / 640) ^ flip;
      Glyphs(f, s, x, y, vertical, sx, sy, [&](int px, int py, int cx, int cy, int layer) {
        if (px < 0 || px >= 600 || py < 0 || py >= 200) return;
        const uint32_t t = type < 4 ? test::Texel(f.CacheGraph, 0, cx + layer * f.CacheWidth, cy)
                                    : Cached(f, cx, cy) << 15;
        const uint32_t a = f.Type & 2 ? (t >> 12) * 17 : (t >> 15) * 255;
        uint32_t& p = want[size_t(py * 640 + px)];
        p = Over(p, tint[layer], mode ? a * 128 / 255 : a, mode != 0);
      });
      EXPECT_EQ(Wrong([&](int px, int py) { return want[size_t(py * 640 + px)] ^ flip; }), 0)
          << "type " << type << " vertical " << vertical << " scale " << sx << " mode " << mode;
    }
  }
  // 30 characters through a cache of 25 cells (20 asked, cells of 24): glyphs are replaced while
  // the first ones still wait in the batch. The pixels of the two halves.
  FontCacheCharCount = 20;
  const HandleValue small = Synth(16, 3, 2);
  FontCacheCharCount = 0;
  ASSERT_EQ(GetFontRecord(small)->Capacity, 25);
  const std::string text = "ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^";
  auto draw = [&](int x, int y, const std::string& t) {
    return DrawStringByCache(1, x, y, 0, 1.0, 1.0, t.c_str(), color, nullptr, nullptr, 1, small,
                             edge, -1, 0, nullptr);
  };
  EndCurrentScene();
  test::FillTarget([](int, int) { return 0u; });
  draw(0, 0, text);
  draw(draw(0, 40, text.substr(0, 15)), 40, text.substr(15));
  EndCurrentScene();
  std::vector<uint32_t> rows[2];
  for (int i = 0; i < 640 * 80; ++i) rows[i / 25600].push_back(test::TargetPixel(i % 640, i / 640));
  EXPECT_EQ(rows[0], rows[1]);
  EXPECT_LT(std::count(rows[0].begin(), rows[0].end(), 0u), 25600 - 1000);
}

// Every road on software screens and on surfaces, without and with a mask over rows 0 to 27: the
// glyphs by the memory road's rules (on an empty draw screen for the composed road: alpha 0, or a
// value no rule writes), then the blit's blend rules (a plain copy for the direct road).
TEST(DrawStringWithFont, RoadsOnSoftwareScreensAndSurfacesThroughTheMask) {
  // Type, blend mode, parameter, vertical, black text.
  const int cases[][5] = {{0, 0, 0, 0, 0},   {1, 1, 255, 1, 0}, {2, 0, 0, 0, 0}, {3, 1, 100, 1, 0},
                          {0, 1, 128, 0, 0}, {0, 2, 200, 1, 0}, {1, 4, 0, 0, 0}, {0, 1, 128, 0, 1}};
  for (bool software : {true, false})
    for (int depth : {16, 32}) {
      LibrarySession lib(screencmp::Options(software, depth));
      ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
      ASSERT_EQ(CreateMaskScreen(), 0);
      ASSERT_EQ(FillMaskRect(0, 0, 640, 28, 1), 0);
      const uint32_t nm = depth == 16 ? 0 : 0xFF000000u;
      for (int masked : {0, 1}) {
        ASSERT_EQ(SetMaskEnabled(masked), 0);
        for (const auto& [type, mode, param, vertical, black] : cases) {
          const HandleValue font = Synth(16, type, type & 1 ? 2 : -1);
          const uint32_t color =
              GetScreenColorValue(black ? 0 : 250, black ? 0 : 120, black ? 0 : 30);
          const uint32_t edge = GetScreenColorValue(20, 40, 200);
          const std::string s = "_A\x82\xA0|B";  // from column 0
          test::FillTarget([&](int x, int y) { return Pattern(depth, x, y); });
          SetBlendMode(mode, param);
          EXPECT_EQ(DrawStringWithFont(1, 20, s.c_str(), color, font, edge, vertical), 0);
          SetBlendMode(0, 0);
          const bool smooth = type >= 2;
          const uint32_t empty = smooth ? 0 : 0xFFFFFFFFu;
          std::vector<uint32_t> composed(640 * 480, empty);
          const FontRecord& f = *GetFontRecord(font);
          Glyphs(f, s, 1, 20, vertical, 1, 1, [&](int x, int y, int cx, int cy, int) {
            if (x < 0) return;  // beyond the screen's left edge
            const uint32_t v = Cached(f, cx, cy);
            uint32_t& p = composed[size_t(y * 640 + x)];
            p = Rule(depth, uint32_t(type), v, color & ~nm, edge & ~nm, p, true);
          });
          const soft::blit_test::RefPixelCase blend{depth == 16, mode, param, 0xFFFFFF, smooth};
          EXPECT_EQ(Wrong([&](int x, int y) {
                      const uint32_t src = composed[size_t(y * 640 + x)], d = Pattern(depth, x, y);
                      const int alpha = int(depth == 16 ? (src >> 16) & 255 : src >> 24);
                      if (src == empty || (masked && y < 28)) return d;
                      const uint32_t out =
                          soft::blit_test::RefBlend(blend, depth == 16 ? src & 0xFFFF : src, d, -1,
                                                    !smooth || alpha == 255 ? -1 : alpha);
                      // The mask's copy-back skips its transparent colour.
                      return masked && out == g_MaskScreen.TransColor ? d : out;
                    }),
                    0)
              << software << masked << " " << depth << " bits, type " << type << " mode " << mode;
          DeleteFontHandle(font);
        }
      }
    }
}

// Glyphs written into a graph leave its run-length stream behind: drawn with trans 1 after them,
// the graph shows the glyphs over the screen, its other pixels (the transparent black) skipped.
TEST(DrawStringWithFont, IntoAGraphWhoseRunLengthStreamThenNoLongerHolds) {
  LibrarySession lib({.bits = 32});
  SetCreateOptionFlag(1);
  const HandleValue graph = CreateEmptyGraph(40, 20);
  SetCreateOptionFlag(0);
  ASSERT_EQ(FillGraphColor(graph, 0, 0, 0, 255), 0);  // the transparent colour
  const Surface2DRecord* piece = LookupSurface2DRecord(GetGraphRecord(graph)->Pieces[0]);
  MEMIMG& store = GetSurfaceDataRecord(piece->SurfaceData)->Image;
  // The stream of the black graph: every row one skipped run of 40 pixels, then its end.
  std::vector<uint8_t> stream(size_t(40 + 5) * 20, 0xC0);
  for (size_t y = 0; y < 20; ++y) stream[y * 45] = 39;
  store.RunLength = stream.data();
  store.RunLengthFlag = 1;
  const HandleValue font = Synth(16, 0, -1);
  const uint32_t color = GetScreenColorValue(250, 120, 30);
  ASSERT_EQ(SelectDrawScreen(graph), 0);
  ASSERT_EQ(DrawStringWithFont(3, 2, "AB", color, font, 0, 0), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  test::FillTarget([](int x, int y) { return Pattern(32, x, y); });
  ASSERT_EQ(DrawGraphAt(100, 50, graph, 1), 0);
  // The glyphs by the memory road's rule, over the screen's pattern.
  std::vector<uint32_t> want(640 * 480);
  for (size_t i = 0; i < want.size(); ++i) want[i] = Pattern(32, int(i % 640), int(i / 640));
  const FontRecord& f = *GetFontRecord(font);
  Glyphs(f, "AB", 103, 52, false, 1, 1, [&](int x, int y, int cx, int cy, int) {
    uint32_t& p = want[size_t(y * 640 + x)];
    p = Rule(32, 0, Cached(f, cx, cy), color & 0xFFFFFF, 0, p, true);
  });
  EXPECT_EQ(Wrong([&](int x, int y) { return want[size_t(y * 640 + x)]; }), 0);
  EXPECT_NE(std::count(want.begin(), want.end(), color & 0xFFFFFF), 0);
  store.RunLength = nullptr;  // the stream is the test's
}

TEST(DrawStringWithFont, FrontBufferAndRefusals) {
  LibrarySession lib({.bits = 32});
  const HandleValue edged = Synth(16, 1, 2);
  const uint32_t color = GetScreenColorValue(250, 120, 30), edge = GetScreenColorValue(20, 40, 200);
  auto pattern = [](int x, int y) { return Pattern(32, x, y); };
  // On the front buffer the copy-out shows every pixel a glyph wrote.
  platform::InjectMove(40, 30);
  ProcessMessage();
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  test::FillTarget(pattern);
  ASSERT_EQ(DrawStringWithFont(200, 50, "_\x88\x9F|", color, edged, edge, 1), 0);
  Glyphs(*GetFontRecord(edged), "_\x88\x9F|", 200, 50, true, 1, 1,
         [&](int x, int y, int, int, int) {
           EXPECT_EQ(g_DD.PrimarySurface->TestGetPixel(40 + x, 30 + y) & 0xFFFFFF,
                     test::TargetPixel(x, y) & 0xFFFFFF);
         });
  // A 16-bit drawable graph on a 32-bit screen: the rule writes four bytes a pixel.
  SetCreateColorBitDepth(16);
  SetCreateOptionFlag(1);
  const HandleValue graph = CreateEmptyGraph(64, 32);
  SetCreateOptionFlag(0);
  SetCreateColorBitDepth(0);
  ASSERT_EQ(SelectDrawScreen(graph), 0);
  EXPECT_EQ(DrawStringWithFont(2, 2, "A", color, Synth(16, 0, -1), edge, 0), -1);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  // At the draw area's right edge with the mask on: nothing. An empty string: the handle is not
  // looked at.
  ASSERT_EQ(CreateMaskScreen(), 0);
  EXPECT_EQ(DrawStringWithFont(640, 10, "A", color, edged, edge, 0), 0);
  EXPECT_EQ(DrawStringWithFont(0, 0, "", 0, -1, 0, 0), 0);
  EXPECT_EQ(DrawStringWithFont(0, 0, "A", 0, -1, 0, 0), -1);
  EXPECT_NE(lib.Log().find("フォントハンドル値が異常です"), std::string::npos);
  EXPECT_EQ(GetFontSize(edged), 16);
  DeleteFontHandle(edged);
  EXPECT_EQ(GetFontSize(edged), -1);
}

}  // namespace
}  // namespace zq::gfx
