// Calls through the public header as a careless or hostile program makes them, on the software
// and the Direct3D path: handles naming nothing living, values beyond every range, strings
// without their 0 byte. Each gets the documented result and changes nothing.
#include <sys/mman.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>

#include "public/session.h"

namespace {

using namespace zq::pubtest;

// What a refused call must leave alone: the 64 x 48 draw screen, the blocks held, the screen.
auto Now() {
  std::vector<uint32_t> pixels(64 * 48, 1);
  for (int i = 0; i < 64 * 48; ++i) zq::GetDrawScreenPixel(i % 64, i / 64, &pixels[size_t(i)]);
  return std::tuple(pixels, zq::TrackedBlockCount(), zq::GetDrawScreenHandle());
}
int Graph() {  // 8 x 8, green
  const int g = zq::CreateEmptyGraph(8, 8);
  return zq::FillGraphColor(g, 0, 255, 0, 255) == 0 ? g : -1;
}
int Font(int size = 16) {
  return zq::CreateFontToHandle("zq-synthetic", size, -1, 0, -1, -1);
}
enum Takes { kGraph, kFont, kLiving };  // h: a graph, a font, the living graph with bad values
struct Call {
  const char* text;
  std::function<int(int)> call;
  int want;  // while the library runs; -1 always when it does not
  Takes takes = kGraph;
};
#define CALL(expr, ...) (Call{#expr, [&](int h) { return expr; }, __VA_ARGS__})

class Hostile : public testing::TestWithParam<bool> {};  // true: graphs on Direct3D

TEST_P(Hostile, CallsNamingNothingLivingOrBeyondTheirRangesChangeNothing) {
  Session session(32, GetParam());
  ASSERT_EQ(zq::RunScreenModeChange(64, 48, 32, 60) + zq::SelectDrawScreen(zq::kDrawScreenBack), 0);
  zq::DrawFilledBox(5, 7, 30, 40, zq::GetScreenColorValue(200, 100, 0));
  // Stale (the slot holds a newer object), deleted (the slot empty), another kind's, and, after
  // LibraryEnd, living ones kept for calls before the next start.
  const int staleGraph = Graph(), staleFont = Font();
  zq::DeleteGraphHandle(staleGraph), zq::DeleteFontHandle(staleFont);
  const int graph = Graph(), font = Font(), deletedGraph = Graph(), deletedFont = Font();
  zq::DeleteGraphHandle(deletedGraph), zq::DeleteFontHandle(deletedFont);
  ASSERT_EQ((staleGraph ^ graph) & 0xFFFF, 0);  // the same slot
  const std::vector<int> bad[] = {
      {staleGraph, deletedGraph, font}, {staleFont, deletedFont, graph}, {graph}};
  const int defaultFont = zq::GetDefaultFontHandle();
  const uint32_t pixels[64] = {};
  const zq::PixelBuffer image{8, 8, 32, zq::kPixelXrgb8888, pixels};
  const double nan = std::nan(""), inf = INFINITY;
  int w = -7, u = -7;
  const Call calls[] = {
      CALL(zq::DrawGraphAt(1, 1, h, 0), -1),
      CALL(zq::DrawGraphRect(0, 0, 9, 9, h, 1), -1),
      CALL(zq::DrawGraphMirrored(1, 1, h, 0), -1),
      CALL(zq::DrawGraphInRect(0, 0, 1, 1, 4, 4, h, 0, 1), -1),
      CALL(zq::DrawGraphRectScaled(0, 0, 8, 8, 0, 0, 2, 2, h, 0), -1),
      CALL(zq::DrawGraphRotScaledF(9, 9, 2, 1, h, 0, 1), -1),
      CALL(zq::DrawGraphRotScaledAt(9, 9, 1, 0, h, 1, 0), -1),
      CALL(zq::DrawGraphFourCorners(0, 0, 9, 0, 9, 9, 0, 9, h, 0), -1),
      CALL(zq::FillGraphColor(h, 1, 2, 3, 4), -1),
      CALL(zq::SetGraphImage(&image, h), -1),
      CALL(zq::CopyDrawScreenToGraph(0, 0, 4, 4, h, 0), -1),
      CALL(zq::DeriveGraphRect(0, 0, 2, 2, h), -1),
      CALL(zq::QueryGraphDimensions(h, &w, &u), -1),
      CALL(zq::DeleteGraphHandle(h, 1), -1),
      CALL(zq::PlayMovieGraph(h), -1),
      CALL(zq::PauseMovieGraph(h), -1),
      CALL(zq::SelectBlendGraph(h, 128, 64), -1),
      CALL(zq::SelectDrawScreen(h), 0),  // refused by both paths: the screen before again
      CALL(zq::DeleteFontHandle(h), -1, kFont),
      CALL(zq::SetFontCharSpacing(3, h), -1, kFont),
      CALL(zq::GetFontSize(h), -1, kFont),
      CALL(zq::DrawStringWithFont(0, 0, "ab", 1, h, 0, 0), -1, kFont),
      CALL(zq::MeasureStringWidth("ab", -1, h, 0), -1, kFont),
      CALL(zq::DrawGraphRotScaledF(20, 20, nan, 0, h, 0, 0), -1, kLiving),
      CALL(zq::DrawGraphRotScaledF(20, 20, 1, -inf, h, 1, 1), -1, kLiving),
      CALL(zq::DrawGraphRotScaledAt(20, 20, 1e9, 0, h, 0, 0), -1, kLiving),
      CALL(zq::DrawGraphRotScaledF(nan, 20, 1, 0, h, 0, 0), -1, kLiving),
      CALL(zq::DrawGraphFourCorners(0, 0, nan, 0, 9, 9, 0, 9, h, 0), -1, kLiving),
      CALL(zq::DrawGraphFourCorners(0, 0, 9, 0, 9, 9, -65537, 9, h, 1), -1, kLiving),
      CALL(zq::DrawGraphRotScaledF(20, 20, 0, 1, h, 0, 0), 0, kLiving),
      CALL(zq::SelectDrawScreen(h), 0, kLiving),  // not made drawable
      CALL(zq::SelectDrawScreen(0), 0, kLiving),  // slot 0 in use
      CALL(zq::SelectDrawScreen(32767), -1, kLiving),
      CALL(zq::RunScreenModeChange(64, 48, 32, -1), -1, kLiving),
      CALL(zq::RunScreenModeChange(64, 48, 32, 1001), -1, kLiving),
      CALL(zq::CreateFontToHandle("zq-synthetic", 16, 5, 1, -1, INT_MAX), -1, kLiving),
      CALL(zq::SetDefaultFontSize(100000, -1), -1, kLiving)};
  const auto expectRefused = [&](bool running) {
    const auto before = Now();
    for (const Call& c : calls)
      for (const int h : running ? bad[c.takes] : std::vector{c.takes == kFont ? font : graph}) {
        EXPECT_EQ(c.call(h), running ? c.want : -1) << c.text << " " << std::hex << h;
        EXPECT_TRUE(Now() == before) << c.text << " " << std::hex << h;
      }
    EXPECT_EQ(std::tuple(w, u), std::tuple(-7, -7));
  };
  ASSERT_EQ(zq::ApplyDrawArea(2, 3, 60, 44), 0);
  expectRefused(true);
  // The living objects, the default font and the draw area are as they were.
  EXPECT_EQ((std::vector{zq::QueryGraphDimensions(graph, &w, nullptr), w, zq::GetFontSize(font),
                         zq::GetDefaultFontHandle(), zq::GetFontSize(defaultFont)}),
            (std::vector{0, 8, 16, defaultFont, 16}));
  w = -7;
  zq::DrawFilledBox(0, 0, 64, 48, zq::GetScreenColorValue(255, 255, 255));
  EXPECT_EQ(std::pair(Pixel(1, 2) & 0xFFFFFF, Pixel(2, 3) & 0xFFFFFF), std::pair(0u, 0xFFFFFFu));

  // Bytes, length and width in the synthetic face at 16 pixels: 8 a one-byte character, 16 a
  // two-byte one. The bytes end where an unreadable page begins: a length reads no further, but
  // for the byte after a lead byte that ends it.
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  char* end = static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE,
                                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) +
              page;
  ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);
  const std::tuple<std::string, int, int> cases[] = {{"ab", 2, 16},        {"abc", 2, 16},
                                                     {"", 0, 0},           {"abc", -5, 0},
                                                     {"a\x82\xA0", 2, 24}, {{"a\x82\0", 3}, 2, 16}};
  for (const auto& [bytes, length, width] : cases) {
    char* at = static_cast<char*>(std::memcpy(end - bytes.size(), bytes.data(), bytes.size()));
    for (const int vertical : {0, 1})
      EXPECT_EQ(zq::MeasureStringWidth(at, length, font, vertical), width) << bytes;
  }
  munmap(end - page, 2 * page);
  // Widths are held, never wrapped or negative, and drawing goes on.
  for (const auto& [spacing, width] : {std::pair{INT_MAX, INT_MAX}, {-100, 0}, {1, 36}}) {
    zq::SetFontCharSpacing(spacing, font);
    EXPECT_EQ((std::vector{zq::MeasureStringWidth("abcd", -1, font, 0),
                           zq::DrawStringWithFont(0, 0, "abcd", 1, font, 0, 0)}),
              (std::vector{width, 0}));
  }
  for (const int size : {-5, 0, 3}) EXPECT_EQ(zq::GetFontSize(Font(size)), size);  // as given
  // A deleted default font leaves none until one is made.
  EXPECT_EQ(
      (std::vector{zq::DeleteFontHandle(defaultFont), zq::GetDefaultFontHandle(),
                   zq::SetDefaultFontSize(20, -1), zq::GetFontSize(zq::GetDefaultFontHandle())}),
      (std::vector{0, -1, 0, 20}));

  session.End();
  expectRefused(false);
}

INSTANTIATE_TEST_SUITE_P(Paths, Hostile, testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Direct3D" : "Software"; });

}  // namespace
