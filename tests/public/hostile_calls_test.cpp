// Calls through the public header as a careless or hostile program makes them: handles that name
// nothing living, values beyond every range, strings without their 0 byte. Each gets the result
// the header documents and leaves the screen, the memory held and the draw screen as they were,
// with graphs on the software path and on the Direct3D path alike.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zqlib/zqlib.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

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
struct Call {
  const char* text;
  std::function<int(int)> call;
  int want;           // for a bad handle while the library runs (-1 always before it)
  bool font = false;  // takes a font handle
};
#define CALL(expr, ...) (Call{#expr, [&](int h) { return expr; }, __VA_ARGS__})

// A 64 x 48 32-bit screen in a directory of its own; true puts graphs on Direct3D.
class Hostile : public testing::TestWithParam<bool> {
  void SetUp() override {
    char dir[] = "/tmp/zqlib-hostile-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    ASSERT_EQ(chdir(dir), 0);  // the log goes there
    zq::UseWindowPresenter(0);
    zq::ChooseDirect3DGraphs(GetParam() ? 1 : 0);
    ASSERT_EQ(zq::LibraryInit() + zq::RunScreenModeChange(64, 48, 32, 60), 0);
    zq::SelectDrawScreen(zq::kDrawScreenBack);
    zq::DrawFilledBox(5, 7, 30, 40, zq::GetScreenColorValue(200, 100, 0));
  }
  void TearDown() override {
    zq::LibraryEnd();
    zq::ChooseDirect3DGraphs(0);  // the next start takes a software screen again
    EXPECT_EQ(zq::TrackedBlockCount(), 0);
    EXPECT_EQ(chdir(previous_.c_str()), 0);
    std::filesystem::remove_all(dir_);
  }
  const std::string previous_ = std::filesystem::current_path();
  std::string dir_;
};

TEST_P(Hostile, EveryHandleEntryPointRefusesWhatNamesNothingLiving) {
  // Stale (the slot holds a newer object), deleted (the slot empty), another kind's, and, after
  // LibraryEnd, live ones kept for calls before the next start.
  const int staleGraph = Graph(), staleFont = Font();
  zq::DeleteGraphHandle(staleGraph), zq::DeleteFontHandle(staleFont);
  const int graph = Graph(), font = Font(), deletedGraph = Graph(), deletedFont = Font();
  zq::DeleteGraphHandle(deletedGraph), zq::DeleteFontHandle(deletedFont);
  ASSERT_EQ((staleGraph ^ graph) & 0xFFFF, 0);  // the same slot
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
      CALL(zq::CopyDrawScreenToGraph(0, 0, 4, 4, h, 0), -1),
      CALL(zq::DeriveGraphRect(0, 0, 2, 2, h), -1),
      CALL(zq::QueryGraphDimensions(h, &w, &u), -1),
      CALL(zq::DeleteGraphHandle(h, 1), -1),
      CALL(zq::PlayMovieGraph(h), -1),
      CALL(zq::PauseMovieGraph(h), -1),
      CALL(zq::SelectBlendGraph(h, 128, 64), -1),
      CALL(zq::SelectDrawScreen(h), 0),  // refused by both paths: the screen before again
      CALL(zq::DeleteFontHandle(h), -1, true),
      CALL(zq::SetFontCharSpacing(3, h), -1, true),
      CALL(zq::GetFontSize(h), -1, true),
      CALL(zq::DrawStringWithFont(0, 0, "ab", 1, h, 0, 0), -1, true),
      CALL(zq::MeasureStringWidth("ab", -1, h, 0), -1, true)};
  ASSERT_EQ(zq::ApplyDrawArea(2, 3, 60, 44), 0);
  for (const bool running : {true, false}) {
    const auto before = Now();
    for (const Call& c : calls)
      for (const int h : !running ? std::vector{c.font ? font : graph}
                         : c.font ? std::vector{staleFont, deletedFont, graph}
                                  : std::vector{staleGraph, deletedGraph, font}) {
        EXPECT_EQ(c.call(h), running ? c.want : -1) << c.text << " " << std::hex << h;
        EXPECT_TRUE(Now() == before) << c.text << " " << std::hex << h;
      }
    EXPECT_EQ(std::tuple(w, u), std::tuple(-7, -7));
    if (!running) break;
    // The living objects and the draw area are as they were.
    EXPECT_EQ((std::vector{zq::QueryGraphDimensions(graph, &u, nullptr), u, zq::GetFontSize(font)}),
              (std::vector{0, 8, 16}));
    u = -7;
    zq::DrawFilledBox(0, 0, 64, 48, zq::GetScreenColorValue(255, 255, 255));
    uint32_t corner = 0, inside = 0;
    zq::GetDrawScreenPixel(1, 2, &corner), zq::GetDrawScreenPixel(2, 3, &inside);
    EXPECT_EQ(std::tuple(corner & 0xFFFFFF, inside & 0xFFFFFF), std::tuple(0u, 0xFFFFFFu));
    zq::LibraryEnd();
  }
}

TEST_P(Hostile, ValuesBeyondTheirRangesAreRefusedAndChangeNothing) {
  const int graph = Graph(), font = Font(), defaultFont = zq::GetDefaultFontHandle();
  const double nan = std::nan(""), inf = INFINITY;
  const Call calls[] = {CALL(zq::DrawGraphRotScaledF(20, 20, nan, 0, graph, 0, 0), -1),
                        CALL(zq::DrawGraphRotScaledF(20, 20, 1, -inf, graph, 1, 1), -1),
                        CALL(zq::DrawGraphRotScaledAt(20, 20, 1e9, 0, graph, 0, 0), -1),
                        CALL(zq::DrawGraphRotScaledF(nan, 20, 1, 0, graph, 0, 0), -1),
                        CALL(zq::DrawGraphFourCorners(0, 0, nan, 0, 9, 9, 0, 9, graph, 0), -1),
                        CALL(zq::DrawGraphFourCorners(0, 0, 9, 0, 9, 9, -65537, 9, graph, 1), -1),
                        CALL(zq::DrawGraphRotScaledF(20, 20, 0, 1, graph, 0, 0), 0),
                        CALL(zq::SelectDrawScreen(graph), 0),
                        CALL(zq::SelectDrawScreen(0), 0),  // slot 0 in use
                        CALL(zq::SelectDrawScreen(32767), -1),
                        CALL(zq::RunScreenModeChange(64, 48, 32, -1), -1),
                        CALL(zq::RunScreenModeChange(64, 48, 32, 1001), -1),
                        CALL(zq::CreateFontToHandle("zq-synthetic", 16, 5, 1, -1, INT_MAX), -1),
                        CALL(zq::SetDefaultFontSize(100000, -1), -1)};
  const auto before = Now();
  for (const Call& c : calls) {
    EXPECT_EQ(c.call(0), c.want) << c.text;
    EXPECT_TRUE(Now() == before) << c.text;
  }
  EXPECT_EQ(std::tuple(zq::GetDefaultFontHandle(), zq::GetFontSize(defaultFont)),
            std::tuple(defaultFont, 16));

  // Widths of the synthetic face at 16 pixels: 8 a one-byte character, 16 a two-byte one. The
  // bytes end where an unreadable page begins: a length reads no further, but for the byte after
  // a lead byte that ends it.
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  auto* end = static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE,
                                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) +
              page;
  ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);
  using Case = std::tuple<std::string, int, int>;  // bytes, length, width
  for (const auto& [bytes, length, width] : {Case{"ab", 2, 16},
                                             {"abc", 2, 16},
                                             {"", 0, 0},
                                             {"abc", -5, 0},
                                             {"a\x82\xA0", 2, 24},
                                             {{"a\x82\0", 3}, 2, 16}}) {
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
}

INSTANTIATE_TEST_SUITE_P(Paths, Hostile, testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Direct3D" : "Software"; });

}  // namespace
