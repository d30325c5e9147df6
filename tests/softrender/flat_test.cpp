// Boxes and lines in flat colour: one pixel worked by hand in every mode, clipping and
// hostile rectangles and end points, and random boxes and lines against the model.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <numeric>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/os/cpu.h"
#include "softrender/blit_reference.h"
#include "softrender/boxes.h"
#include "softrender/flat_color.h"
#include "softrender/lines.h"
#include "softrender/soft_bounds.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using platform::RECT;
using zq::test::DrawStateScope;
using zq::test::TestImage;
using Points = std::vector<std::pair<int, int>>;
using E4 = std::array<int32_t, 4>;

// The four edges of a rectangle or bounds, compared at once.
template <typename R>
E4 Edges(const R& r) {
  return {int32_t(r.left), int32_t(r.top), int32_t(r.right), int32_t(r.bottom)};
}

constexpr int k16 = gfx::kMemImgRgb565;
constexpr int k32 = gfx::kMemImgXrgb8888;

// Fills an 8 x 6 image of dst, draws a 1 x 1 box at (2, 3) and returns that pixel; checks
// that no other pixel changed.
uint32_t OnePixel(int type, uint32_t dst, uint32_t color, const RECT& r = {2, 3, 3, 4}) {
  TestImage img(8, 6, type);
  img.Fill(dst);
  FillMemImgBox(&img.img, &r, color);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) {
      if (!(x == 2 && y == 3)) {
        EXPECT_EQ(img.Get(x, y), dst) << x << "," << y;
      }
    }
  }
  return img.Get(2, 3);
}

TEST(FillMemImgBox, OnePixelWorkedByHand) {
  struct Case {
    int mode, param;
    uint32_t bright;
    int type;
    uint32_t dst, color, want;
  };
  constexpr uint32_t kOff = 0xFFFFFF;
  const Case cases[] = {
      // Copy: the 32-bit fourth byte written; bits above 15 of a 16-bit colour dropped.
      {0, 0, kOff, k16, 0x1234, 0xABCD, 0xABCD},
      {0, 0, kOff, k16, 0x1234, 0xFFFFABCD, 0xABCD},
      // Alpha blend at 128: the destination's fourth byte kept, the colour's ignored; 32-bit
      // rounds toward minus infinity: (10 - 20)*128 + 20*256 = 3840, >> 8 = 15; 16-bit
      // toward zero: blue 20 + 128*(10 - 20)/255 = 20 - 5 = 15.
      {1, 128, kOff, k32, 0x5A000000, 0xFFFFFFFF, 0x5A7F7F7F},
      {1, 128, kOff, k16, 0x0014, 0x000A, 0x000F},
      // At 255 a copy, fourth byte included; at 0 nothing.
      {1, 255, kOff, k16, 0x1234, 0xABCD, 0xABCD},
      {1, 0, kOff, k32, 0x11223344, 0xAABBCCDD, 0x11223344},
      // Additive; at 128 each field scaled first (31 -> 15, 63 -> 31, 255 -> 128), the
      // fourth byte dropped; at 0 nothing.
      {2, 255, kOff, k16, 0x0821, 0x0821, 0x0822},
      {2, 255, kOff, k32, 0x00FFFFFF, 0x00FFFFFF, 0x01FFFFFF},
      {2, 128, kOff, k16, 0, 0xFFFF, 0x7BEF},
      {2, 128, kOff, k32, 0x77000000, 0x00FFFFFF, 0x00808080},
      {2, 0, kOff, k32, 0x11223344, 0x00FFFFFF, 0x11223344},
      // Subtractive; at 128 0xFFFF becomes 15, 31, 15: 31 - 15 = 16 blue, green
      // 2*(31 - 15) = 32, red 2*(15 - 7) + 1 = 17; at 0 nothing.
      {3, 255, kOff, k16, 0x1234, 0x1234, 0x0800},
      {3, 255, kOff, k32, 0xFF123456, 0, 0x00133556},
      {3, 128, kOff, k16, 0xFFFF, 0xFFFF, 17 << 11 | 32 << 5 | 16},
      {3, 0, kOff, k32, 0x11223344, 0x00FFFFFF, 0x11223344},
      // Multiplicative ignores the parameter: 32-bit 0x80 * 0x40 >> 8 = 0x20; 16-bit red
      // 16*16 >> 5 = 8, green 32*32 >> 6 = 16.
      {4, 0, kOff, k16, 0xFFFF, 0xFFFF, 0xF7DE},
      {4, 1, kOff, k32, 0x12404040, 0x00808080, 0x12202020},
      {4, 255, kOff, k16, 0x8410, 0x8410, 8 << 11 | 16 << 5 | 8},
      // Bright by shift: red 254 (fourth byte unchanged); 0xFFFFFFFF is off (the byte above
      // the low 24 bits does not count); 255 under 128 becomes 127 in a box.
      {0, 0, 0x00FEFFFF, k16, 0, 0xFFFF, 0xF7DE},
      {0, 0, 0x00FEFFFF, k32, 0, 0xAAFFFFFF, 0xAAFDFEFE},
      {0, 0, 0xFFFFFFFF, k16, 0, 0xFFFF, 0xFFFF},
      {0, 0, 0x808080, k32, 0, 0x00FFFFFF, 0x007F7F7F},
      // Bright comes before the blend: additive with bright 0 adds nothing (the 32-bit
      // fourth byte becomes 0 as the packed add always does).
      {2, 255, 0, k16, 0x1234, 0xFFFF, 0x1234},
      {2, 255, 0, k32, 0x77123456, 0x00FFFFFF, 0x00123456},
      // Parameters outside 0..255 clamp (300 as 255: a copy; -5 as 0: nothing); modes above
      // 4, and -1 read as unsigned, draw nothing.
      {1, 300, kOff, k16, 0x1234, 0xABCD, 0xABCD},
      {2, -5, kOff, k32, 0x11223344, 0x00FFFFFF, 0x11223344},
      {5, 255, kOff, k16, 0x1234, 0xFFFF, 0x1234},
      {-1, 255, kOff, k16, 0x1234, 0xFFFF, 0x1234},
  };
  for (const Case& c : cases) {
    DrawStateScope st(c.mode, c.param, c.bright);
    EXPECT_EQ(OnePixel(c.type, c.dst, c.color), c.want)
        << "mode " << c.mode << " p " << c.param << " type " << c.type << " colour " << c.color;
  }
}

TEST(FillMemImgBoxAndLine, RefusedDestinations) {
  DrawStateScope st(0, 0);
  const RECT r{0, 0, 8, 6};
  for (int which = 0; which < 6; ++which) {
    TestImage img(8, 6, k32);
    img.Fill(0x01020304);
    if (which == 0) img.img.PaletteFlag = 1;
    if (which == 1) img.img.AlphaFlag = 1;
    if (which == 2) img.img.ColorType = gfx::kMemImgByte8;
    if (which == 3) img.img.ColorType = gfx::kMemImgWord16;
    if (which == 4) img.img.Format = zq::test::TestColorData(2);  // size disagrees with type
    if (which == 5) img.img.Format = nullptr;
    FillMemImgBox(&img.img, &r, 0xFFFFFFFF);
    if (which < 4) DrawMemImgLine(&img.img, 0, 0, 7, 5, 0xFFFFFFFF);
    for (uint32_t v : img.Pixels()) ASSERT_EQ(v, 0x01020304u) << which;
  }
  FillMemImgBox(nullptr, &r, 0);  // no image: nothing happens
  DrawMemImgLine(nullptr, 0, 0, 7, 5, 0);
}

// Draws rect with a random colour over random pixels and compares with the model applied to
// the expected box.
void CheckBox(int type, int w, int h, const RECT* rect, const RECT& expect, std::mt19937& rng,
              int padBytes = 6) {
  const bool is16 = type == k16;
  TestImage img(w, h, type, false, false, padBytes);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.Set(x, y, is16 ? rng() & 0xFFFF : rng());
  const auto before = img;
  const uint32_t color = is16 ? rng() & 0xFFFF : rng();
  FillMemImgBox(&img.img, rect, color);
  const auto& st = gfx::g_DrawState;
  const uint32_t s = test::RefBright(is16, color, st.Bright);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool inside =
          x >= expect.left && x < expect.right && y >= expect.top && y < expect.bottom;
      const uint32_t d = before.Get(x, y);
      const uint32_t want = inside ? test::RefFlat(is16, st.BlendMode, st.BlendParam, s, d) : d;
      ASSERT_EQ(img.Get(x, y), want)
          << "mode " << st.BlendMode << " p " << st.BlendParam << " at " << x << "," << y;
    }
  ASSERT_TRUE(img.GuardIntact());
}

TEST(FillMemImgBox, RectangleNormalisingAndClipping) {
  std::mt19937 rng(3);
  for (int type : {k16, k32}) {
    DrawStateScope st(2, 200, 0xFFFFFF, {2, 1, 15, 8});
    // No rectangle: the whole image, clipped to the draw area.
    CheckBox(type, 20, 10, nullptr, {2, 1, 15, 8}, rng);
    // Reversed corners fill the normalised box.
    const RECT rev{12, 7, 4, 3};
    CheckBox(type, 20, 10, &rev, {4, 3, 12, 7}, rng);
    // Overhanging every side of the draw area.
    const RECT big{-100, -5, 100, 50};
    CheckBox(type, 20, 10, &big, {2, 1, 15, 8}, rng);
    // Zero width or height, and wholly outside: nothing.
    const RECT zw{5, 2, 5, 6}, zh{5, 4, 9, 4}, out{15, 1, 19, 8}, above{2, -9, 9, 1};
    for (const RECT* r : {&zw, &zh, &out, &above}) CheckBox(type, 20, 10, r, {0, 0, 0, 0}, rng);
    // Extreme coordinates do not overflow.
    const RECT ext{INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX};
    CheckBox(type, 20, 10, &ext, {2, 1, 15, 8}, rng);
  }
  // A draw area larger than the image is cut to the image.
  for (int type : {k16, k32}) {
    DrawStateScope st(0, 0, 0xFFFFFF, {-4, -4, 640, 480});
    CheckBox(type, 9, 7, nullptr, {0, 0, 9, 7}, rng);
  }
}

// Caps the dispatch level for one test.
class LevelScope {
 public:
  explicit LevelScope(platform::CpuLevel level) { platform::LimitCpuLevel(level); }
  ~LevelScope() { platform::LimitCpuLevel(platform::CpuLevel::kAvx2); }
};

constexpr platform::CpuLevel kEveryLevel[] = {
    platform::CpuLevel::kScalar, platform::CpuLevel::kVector16, platform::CpuLevel::kAvx2};

// Random boxes in every mode (and 5), parameter and bright, rows of every length and start
// (whole blocks of every block size and a rest), in every dispatch level, against the model
// (which divides directly where the 16-bit alpha blend divides by 255 without the table).
TEST(FillMemImgBox, RandomBoxesAgainstModel) {
  std::mt19937 rng(23);
  auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
  for (auto level : kEveryLevel) {
    LevelScope scope(level);
    for (int it = 0; it < 1500; ++it) {
      const int mode = pick(6), p = pick(3) ? pick(256) : std::array{0, 1, 128, 254, 255}[pick(5)];
      const uint32_t bright = pick(3) ? 0xFFFFFF : pick(8) ? uint32_t(rng()) & 0xFFFFFF : 0;
      DrawStateScope st(mode, p, bright);
      const int left = pick(5), top = pick(3);
      const RECT box{left, top, left + 1 + pick(pick(2) ? 20 : 60), 3 + pick(2)};
      CheckBox(pick(2) ? k16 : k32, 66, 5, &box, box, rng);
    }
    // Long rows, which first reach the vector boundary one pixel at a time, and whole images
    // without row padding, whose rows are one long row.
    for (int it = 0; it < 40; ++it) {
      const int w = 1 + pick(2000), h = 1 + pick(4);
      DrawStateScope st(1 + pick(5), pick(256), pick(2) ? 0xFFFFFF : uint32_t(rng()) & 0xFFFFFF,
                        {0, 0, w, h});
      const RECT box{pick(2) ? 0 : pick(8), 0, w, h};
      CheckBox(pick(2) ? k16 : k32, w, h, &box, box, rng, pick(2) ? 0 : 4);
    }
  }
  // Colour 0 (a byte-wise fill) and colours whose bytes are equal or differ.
  for (uint32_t c : {0u, 0xFFFFu, 0x0101u, 0x0102u}) {
    TestImage img(7, 3, k16, false, false, 1);  // pitch 15
    img.Fill(0x5555);
    const RECT r{1, 0, 6, 3};
    DrawStateScope st(0, 0);
    FillMemImgBox(&img.img, &r, c);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) EXPECT_EQ(img.Get(x, y), x >= 1 && x < 6 ? c : 0x5555u);
    EXPECT_TRUE(img.GuardIntact());
  }
}

TEST(FillMemImgBox, BottomUpImageAndHostileSizes) {
  DrawStateScope st(0, 0);
  // Row 0 is the last row in memory; the pitch is negative.
  TestImage img(8, 4, k16);
  img.img.Pixels = img.bytes.data() + 3 * 16;
  img.img.Pitch = -16;
  const RECT r{1, 0, 3, 2};
  FillMemImgBox(&img.img, &r, 0x7777);
  for (int row = 0; row < 4; ++row)
    for (int x = 0; x < 8; ++x) {
      uint16_t v;
      std::memcpy(&v, img.bytes.data() + row * 16 + x * 2, 2);
      EXPECT_EQ(v, (row == 3 || row == 2) && x >= 1 && x < 3 ? 0x7777 : 0) << row << "," << x;
    }
  // Negative sizes draw nothing.
  TestImage neg(8, 4, k32);
  neg.img.Width = -8;
  FillMemImgBox(&neg.img, nullptr, 0xFFFFFFFF);
  neg.img.Width = 8;
  neg.img.Height = INT32_MIN;
  FillMemImgBox(&neg.img, nullptr, 0xFFFFFFFF);
  neg.img.Height = 4;
  for (uint32_t v : neg.Pixels()) EXPECT_EQ(v, 0u);
}

// ---------------------------------------------------------------------------------------
// Lines

// The pixels a line sets, in row-major order, drawn in copy mode on a 640 x 480 image.
Points Drawn(int x1, int y1, int x2, int y2, int type, RECT area) {
  static TestImage img16(640, 480, k16), img32(640, 480, k32);
  TestImage& img = type == k16 ? img16 : img32;
  img.Fill(0);
  DrawStateScope st(0, 0, 0xFFFFFF, area);
  DrawMemImgLine(&img.img, x1, y1, x2, y2, 0xFFFF);
  Points out;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      if (img.Get(x, y) != 0) out.push_back({x, y});
  EXPECT_TRUE(img.GuardIntact());
  return out;
}

Points Sorted(Points p) {
  std::sort(p.begin(), p.end(), [](auto a, auto b) {
    return a.second != b.second ? a.second < b.second : a.first < b.first;
  });
  return p;
}

Points Row(int y, int x0, int x1) {
  Points p;
  for (int x = x0; x <= x1; ++x) p.push_back({x, y});
  return p;
}
Points Column(int x, int y0, int y1) {
  Points p;
  for (int y = y0; y <= y1; ++y) p.push_back({x, y});
  return p;
}
Points Diagonal(int x0, int y0, int n) {
  Points p;
  for (int k = 0; k < n; ++k) p.push_back({x0 + k, y0 + k});
  return p;
}

// Clipped lines, worked by hand (unclipped ones are the model test's below).
TEST(DrawMemImgLine, ClippedOnEverySideAndAtTheIntLimits) {
  struct Case {
    int x1, y1, x2, y2;
    Points want;
    RECT area = {0, 0, 640, 480};
  };
  Points recomputed;  // see below
  for (int k = 0; k < 39; ++k) recomputed.push_back({1 + k, 22 - k / 3});
  const Case cases[] = {
      {630, 5, 650, 5, Row(5, 630, 639)},
      {5, 478, 5, 490, Column(5, 478, 479)},
      {10, -5, 10, 5, Column(10, 0, 4)},
      {-10, 0, 10, 20, Diagonal(0, 10, 10)},
      {630, 0, 650, 20, Diagonal(630, 0, 10)},
      {0, 470, 20, 490, Diagonal(0, 470, 10)},
      {-5, -5, 700, 700, Diagonal(0, 0, 480)},
      // Reversed: the clipped first end point is drawn, the second lands one beyond the edge.
      {650, 5, 630, 5, Row(5, 631, 639)},
      {5, 490, 5, 478, Column(5, 479, 479)},
      // The clipped start is truncated from the line equation: y at x = 0 is 1.5, so 1.
      {-3, 0, 7, 5, Sorted({{0, 1}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {5, 3}, {6, 4}})},
      {0, 5, INT_MAX, 5, Row(5, 0, 639)},
      {INT_MIN, 5, INT_MAX, 5, Row(5, 0, 639)},
      {INT_MAX, 5, INT_MIN, 5, Row(5, 0, 639)},
      {5, INT_MAX, 5, INT_MIN, Column(5, 0, 479)},
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX, Diagonal(0, 0, 480)},
      // Wholly beyond an edge, with differences that overflow 32 bits.
      {INT_MIN, 5, -1, 5, {}},
      {INT_MAX - 1, 5, INT_MAX, INT_MIN, {}},
      {INT_MIN, INT_MIN, INT_MAX, -1, {}},
      // x + y = -1 misses the area; the final clamps leave the single pixel (0, 0).
      {INT_MIN, INT_MAX, INT_MAX, INT_MIN, {{0, 0}}},
      // An end point exactly on the far edge is still recomputed from the line equation: y
      // at x = 40 of the line (1, 22)-(40, 10) comes out as 9.999..., truncated to 9, so the
      // walk covers 13 rows instead of 12.
      {1, 22, 40, 10, Sorted(recomputed), {0, 0, 40, 30}},
      // Against a draw area smaller than the image, on each side, and crossing it.
      {1, 0, 1, 9, {}, {2, 1, 15, 8}},
      {0, 8, 19, 8, {}, {2, 1, 15, 8}},
      {15, 0, 19, 9, {}, {2, 1, 15, 8}},
      {0, 0, 19, 0, {}, {2, 1, 15, 8}},
      {0, 4, 19, 4, Row(4, 2, 14), {2, 1, 15, 8}},
      // A draw area larger than the image: the image's own size limits the line.
      {630, 5, 700, 5, Row(5, 630, 639), {0, 0, 800, 600}},
      {3, 470, 3, 600, Column(3, 470, 479), {0, 0, 800, 600}},
      {630, 470, 700, 540, Diagonal(630, 470, 10), {-5, -5, 800, 600}},
  };
  for (const Case& c : cases)
    for (int type : {k16, k32})
      EXPECT_EQ(Drawn(c.x1, c.y1, c.x2, c.y2, type, c.area), c.want)
          << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2 << " type " << type;
}

// Unclipped lines in every direction, mode, parameter and bright against the model: pixel k
// of n lies at k steps along the major axis and floor(k * minor / major) along the minor.
TEST(DrawMemImgLine, ModesAgainstModel) {
  std::mt19937 rng(17);
  for (int type : {k16, k32}) {
    const bool is16 = type == k16;
    for (int iter = 0; iter < 600; ++iter) {
      TestImage img(40, 30, type);
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) img.Set(x, y, is16 ? rng() & 0xFFFF : rng());
      const TestImage before = img;
      const int mode = int(rng() % 6), p = int(rng() % 256);
      const uint32_t bright = rng() % 3 == 0 ? 0xFFFFFF : rng() & 0xFFFFFF;
      const int x1 = int(rng() % 40), y1 = int(rng() % 30);
      const int x2 = int(rng() % 40), y2 = int(rng() % 30);
      const uint32_t color = is16 ? rng() & 0xFFFF : rng();
      DrawStateScope st(mode, p, bright, {0, 0, 40, 30});
      DrawMemImgLine(&img.img, x1, y1, x2, y2, color);

      TestImage want = before;
      const int dx = x2 - x1, dy = y2 - y1, ax = std::abs(dx), ay = std::abs(dy);
      const int major = std::max(ax, ay), minor = std::min(ax, ay);
      const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
      const uint32_t s = test::RefBright(is16, color, bright);
      for (int k = 0; k < major; ++k) {
        const int m = k * minor / major;
        const int x = ax >= ay ? x1 + k * sx : x1 + m * sx;
        const int y = ax >= ay ? y1 + m * sy : y1 + k * sy;
        want.Set(x, y, test::RefFlat(is16, mode, p, s, before.Get(x, y)));
      }
      ASSERT_EQ(img.Pixels(), want.Pixels())
          << "line " << x1 << "," << y1 << " " << x2 << "," << y2 << " mode " << mode << " p " << p;
    }
  }
}

// In additive mode with blue 1 on black, a pixel's blue counts how often it was drawn.
std::vector<uint32_t> Coverage(const std::vector<SoftLineSegment>& segs, int count) {
  TestImage img(40, 40, k16);
  DrawStateScope st(2, 255, 0xFFFFFF, {0, 0, 40, 40});
  DrawMemImgLineList(&img.img, segs.data(), count);
  return img.Pixels();
}

// The four segments of a box outline, each beginning where the previous one ends.
std::vector<SoftLineSegment> FrameBox(int x1, int y1, int x2, int y2) {
  return {{x1, y1, x2 - 1, y1, 1, 255},
          {x2 - 1, y1, x2 - 1, y2 - 1, 1, 255},
          {x2 - 1, y2 - 1, x1, y2 - 1, 1, 255},
          {x1, y2 - 1, x1, y1, 1, 255}};
}

TEST(DrawMemImgLineList, FrameBoxesCountsAndOrder) {
  // Each outline pixel once; one pixel wide, the top and bottom segments are empty and the
  // two upright ones overlap; a single pixel has four empty segments.
  for (auto [x1, y1, x2, y2] :
       {std::tuple{10, 20, 15, 25}, {0, 0, 40, 40}, {10, 20, 11, 25}, {10, 20, 11, 21}}) {
    const auto got = Coverage(FrameBox(x1, y1, x2, y2), 4);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) {
        const bool inBox = x >= x1 && x < x2 && y >= y1 && y < y2;
        const bool edge = x == x1 || x == x2 - 1 || y == y1 || y == y2 - 1;
        const bool thin = x2 - x1 == 1 && y2 - y1 > 1 && y > y1 && y < y2 - 1;
        ASSERT_EQ(got[size_t(y * 40 + x)], !inBox || y2 - y1 == 1 ? 0u
                                           : thin                 ? 2u
                                                                  : edge)
            << x << "," << y;
      }
  }
  EXPECT_EQ(Coverage(FrameBox(0, 0, 9, 9), 0), std::vector<uint32_t>(1600, 0));
  EXPECT_EQ(Coverage(FrameBox(0, 0, 9, 9), -1), std::vector<uint32_t>(1600, 0));
  // Each segment in its own colour, and only the first `count`.
  const std::vector<SoftLineSegment> segs = {
      {0, 0, 5, 0, 1, 0}, {2, 0, 2, 3, 1, 0}, {0, 1, 3, 1, 3, 0}};
  const auto two = Coverage(segs, 2), three = Coverage(segs, 3);
  EXPECT_EQ(two[2], 2u);
  EXPECT_EQ(two[41], 0u);
  EXPECT_EQ(three[41], 3u);
  EXPECT_EQ(three[42], 4u);
  EXPECT_EQ(std::accumulate(three.begin(), three.end(), 0u), 17u);
  DrawMemImgLineList(nullptr, nullptr, 3);
}

TEST(SegmentListBounds, RightAndBottomOnePast) {
  const auto frame = FrameBox(10, 20, 15, 25);
  const RECT r = SegmentListBounds(frame.data(), 4);
  EXPECT_EQ(Edges(r), (E4{10, 20, 15, 25}));

  const RECT none = SegmentListBounds(nullptr, 0);
  EXPECT_EQ(Edges(none), (E4{1000000, 1000000, -1000000, -1000000}));

  // Each test on its own: a point beyond the starting left keeps left at 1000000.
  const SoftLineSegment far[] = {{2000000, 5, 2000000, 5, 0, 0}};
  const RECT f = SegmentListBounds(far, 1);
  EXPECT_EQ(Edges(f), (E4{1000000, 5, 2000001, 6}));

  const SoftLineSegment limits[] = {{INT_MIN, INT_MAX, INT_MAX, INT_MIN, 0, 0}};
  const RECT l = SegmentListBounds(limits, 1);
  EXPECT_EQ(Edges(l), (E4{INT_MIN, INT_MIN, INT_MAX, INT_MAX}));
}

TEST(SoftBounds, LargestCoordinateItself) {
  SoftBounds b;
  b.Include(3, 4);
  b.Include(-2, 10);
  b.Include(1, 7);
  EXPECT_EQ(Edges(b), (E4{-2, 4, 3, 10}));
  SoftBounds far;
  far.Include(2000000, -2000000);
  EXPECT_EQ(Edges(far), (E4{1000000, -2000000, 2000000, -1000000}));
}

}  // namespace
}  // namespace zq::soft
