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
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What a refused call must leave alone.
struct Trace {
  std::vector<uint32_t> pixels;  // the 64 x 48 draw screen
  int blocks, screen;
  bool operator==(const Trace&) const = default;
};
Trace Now() {
  Trace t{{}, zq::TrackedBlockCount(), zq::GetDrawScreenHandle()};
  uint32_t v = 0;
  for (int i = 0; i < 64 * 48; ++i)
    t.pixels.push_back(zq::GetDrawScreenPixel(i % 64, i / 64, &v) ? 1u : v);
  return t;
}

// A 64 x 48 32-bit screen in a fresh directory; the parameter puts graphs on Direct3D.
class Hostile : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zqlib-hostile-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    zq::UseWindowPresenter(0);
    zq::ChooseDirect3DGraphs(GetParam() ? 1 : 0);
    ASSERT_EQ(zq::LibraryInit(), 0);
    ASSERT_EQ(zq::RunScreenModeChange(64, 48, 32, 60), 0);
    ASSERT_EQ(zq::SelectDrawScreen(zq::kDrawScreenBack), 0);
    zq::DrawFilledBox(0, 0, 64, 48, zq::GetScreenColorValue(10, 20, 30));
    zq::DrawFilledBox(5, 7, 30, 40, zq::GetScreenColorValue(200, 100, 0));
  }
  void TearDown() override {
    zq::LibraryEnd();
    zq::ChooseDirect3DGraphs(0);  // the next start takes a software screen again
    EXPECT_EQ(zq::TrackedBlockCount(), 0);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  static int Graph(int size) {
    const int g = zq::CreateEmptyGraph(size, size);
    zq::FillGraphColor(g, 0, 255, 0, 255);
    return g;
  }
  static int Font() { return zq::CreateFontToHandle("zq-synthetic", 16, -1, 0, -1, -1); }
  std::string Log() const {
    std::ifstream in(dir_ / "AppLog.txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  fs::path dir_;
};

TEST_P(Hostile, EveryHandleEntryPointRefusesWhatNamesNothingLiving) {
  // A stale handle (its slot holds a newer object), a deleted one (its slot empty), another
  // kind's, of graphs and of fonts alike.
  int width = -7, height = -7;
  const int staleGraph = Graph(4), staleFont = Font();
  zq::DeleteGraphHandle(staleGraph);
  zq::DeleteFontHandle(staleFont);
  const int graph = Graph(8), font = Font();
  const int deletedGraph = Graph(4), deletedFont = Font();
  zq::DeleteGraphHandle(deletedGraph);
  zq::DeleteFontHandle(deletedFont);
  ASSERT_EQ(std::tuple(staleGraph & 0xFFFF, staleFont & 0xFFFF),
            std::tuple(graph & 0xFFFF, font & 0xFFFF));
  const struct {
    const char* name;
    bool takesFont;
    int whileRunning;  // the result for a bad handle while the library runs (-1 before it)
    std::function<int(int)> call;
  } calls[] = {
      {"DrawGraphAt", false, -1, [](int h) { return zq::DrawGraphAt(1, 1, h, 0); }},
      {"DrawGraphRect", false, -1, [](int h) { return zq::DrawGraphRect(0, 0, 9, 9, h, 1); }},
      {"DrawGraphMirrored", false, -1, [](int h) { return zq::DrawGraphMirrored(1, 1, h, 0); }},
      {"DrawGraphInRect", false, -1,
       [](int h) { return zq::DrawGraphInRect(0, 0, 1, 1, 4, 4, h, 0, 1); }},
      {"DrawGraphRectScaled", false, -1,
       [](int h) { return zq::DrawGraphRectScaled(0, 0, 8, 8, 0, 0, 2, 2, h, 0); }},
      {"DrawGraphRotScaledF", false, -1,
       [](int h) { return zq::DrawGraphRotScaledF(9, 9, 2.0, 1.0, h, 0, 1); }},
      {"DrawGraphRotScaledAt", false, -1,
       [](int h) { return zq::DrawGraphRotScaledAt(9, 9, 1.0, 0.0, h, 1, 0); }},
      {"DrawGraphFourCorners", false, -1,
       [](int h) { return zq::DrawGraphFourCorners(0, 0, 9, 0, 9, 9, 0, 9, h, 0); }},
      {"FillGraphColor", false, -1, [](int h) { return zq::FillGraphColor(h, 1, 2, 3, 4); }},
      {"CopyDrawScreenToGraph", false, -1,
       [](int h) { return zq::CopyDrawScreenToGraph(0, 0, 4, 4, h, 0); }},
      {"DeriveGraphRect", false, -1, [](int h) { return zq::DeriveGraphRect(0, 0, 2, 2, h); }},
      {"QueryGraphDimensions", false, -1,
       [&](int h) { return zq::QueryGraphDimensions(h, &width, &height); }},
      {"DeleteGraphHandle", false, -1, [](int h) { return zq::DeleteGraphHandle(h, 1); }},
      {"PlayMovieGraph", false, -1, [](int h) { return zq::PlayMovieGraph(h); }},
      {"PauseMovieGraph", false, -1, [](int h) { return zq::PauseMovieGraph(h); }},
      {"SelectBlendGraph", false, -1, [](int h) { return zq::SelectBlendGraph(h, 128, 64); }},
      // Refused by the paths: the screen before is selected again.
      {"SelectDrawScreen", false, 0, [](int h) { return zq::SelectDrawScreen(h); }},
      {"DeleteFontHandle", true, -1, [](int h) { return zq::DeleteFontHandle(h); }},
      {"SetFontCharSpacing", true, -1, [](int h) { return zq::SetFontCharSpacing(3, h); }},
      {"GetFontSize", true, -1, [](int h) { return zq::GetFontSize(h); }},
      {"DrawStringWithFont", true, -1,
       [](int h) { return zq::DrawStringWithFont(0, 0, "ab", 1, h, 0, 0); }},
      {"MeasureStringWidth", true, -1,
       [](int h) { return zq::MeasureStringWidth("ab", -1, h, 0); }},
  };
  ASSERT_EQ(zq::ApplyDrawArea(2, 3, 60, 44), 0);
  for (bool running : {true, false}) {
    const Trace before = Now();
    for (const auto& c : calls) {
      const std::vector<int> bad = running
                                       ? (c.takesFont ? std::vector{staleFont, deletedFont, graph}
                                                      : std::vector{staleGraph, deletedGraph, font})
                                       : std::vector{c.takesFont ? font : graph};  // kept
      for (int h : bad) {
        EXPECT_EQ(c.call(h), running ? c.whileRunning : -1) << c.name << " " << std::hex << h;
        EXPECT_TRUE(Now() == before) << c.name << " " << std::hex << h;
      }
    }
    EXPECT_EQ(std::tuple(width, height), std::tuple(-7, -7));
    if (!running) break;
    // The living objects and the draw area are as they were.
    EXPECT_EQ(
        std::tuple(zq::QueryGraphDimensions(graph, &width, &height), width, zq::GetFontSize(font)),
        std::tuple(0, 8, 16));
    width = height = -7;
    ASSERT_EQ(zq::DrawFilledBox(0, 0, 64, 48, zq::GetScreenColorValue(255, 255, 255)), 0);
    uint32_t corner = 0, inside = 0;
    zq::GetDrawScreenPixel(1, 2, &corner);
    zq::GetDrawScreenPixel(2, 3, &inside);
    EXPECT_EQ(std::tuple(corner & 0xFFFFFF, inside & 0xFFFFFF), std::tuple(0x0A141Eu, 0xFFFFFFu));
    zq::LibraryEnd();  // the handles kept, every call made before the next start
  }
}

// Bytes placed to end where a page that nothing may read begins: one byte more faults.
class PageEnd {
 public:
  PageEnd() : size_(size_t(sysconf(_SC_PAGESIZE))) {
    base_ = static_cast<char*>(
        mmap(nullptr, 2 * size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    EXPECT_EQ(mprotect(base_ + size_, size_, PROT_NONE), 0);
  }
  ~PageEnd() { munmap(base_, 2 * size_); }
  const char* Put(const std::string& bytes) {
    return static_cast<char*>(
        std::memcpy(base_ + size_ - bytes.size(), bytes.data(), bytes.size()));
  }

 private:
  size_t size_;
  char* base_;
};

TEST_P(Hostile, ValuesBeyondTheirRangesAreRefusedAndChangeNothing) {
  const int graph = Graph(16), font = Font(), defaultFont = zq::GetDefaultFontHandle();
  std::ofstream("notes.txt") << "not a picture, not a movie\n";
  const double nan = std::nan(""), inf = INFINITY;
  // {result, call}: each answers its documented result and draws, makes or frees nothing.
  const std::vector<std::tuple<int, const char*, std::function<int()>>> calls = {
      {-1, "scale NaN", [&] { return zq::DrawGraphRotScaledF(20, 20, nan, 0, graph, 0, 0); }},
      {-1, "scale inf", [&] { return zq::DrawGraphRotScaledF(20, 20, inf, 0, graph, 0, 1); }},
      {-1, "scale 1e9", [&] { return zq::DrawGraphRotScaledAt(20, 20, 1e9, 0, graph, 0, 0); }},
      {-1, "angle NaN", [&] { return zq::DrawGraphRotScaledAt(20, 20, 1, nan, graph, 0, 0); }},
      {-1, "angle -inf", [&] { return zq::DrawGraphRotScaledF(20, 20, 1, -inf, graph, 1, 0); }},
      {-1, "centre NaN", [&] { return zq::DrawGraphRotScaledF(nan, 20, 1, 0, graph, 0, 0); }},
      {-1, "centre far", [&] { return zq::DrawGraphRotScaledAt(20, -70000, 1, 0, graph, 0, 0); }},
      {-1, "corner NaN",
       [&] { return zq::DrawGraphFourCorners(0, 0, nan, 0, 9, 9, 0, 9, graph, 0); }},
      {-1, "corner inf",
       [&] { return zq::DrawGraphFourCorners(0, 0, 9, 0, 9, inf, 0, 9, graph, 0); }},
      {-1, "corner far",
       [&] { return zq::DrawGraphFourCorners(0, 0, 9, 0, 9, 9, -65537, 9, graph, 1); }},
      {0, "scale 0", [&] { return zq::DrawGraphRotScaledF(20, 20, 0, 1, graph, 0, 0); }},
      {0, "an undrawable draw screen", [&] { return zq::SelectDrawScreen(graph); }},
      {0, "slot 0, which holds a graph", [] { return zq::SelectDrawScreen(0); }},
      {-1, "an empty slot", [] { return zq::SelectDrawScreen(32767); }},
      {-1, "refresh -1", [] { return zq::RunScreenModeChange(64, 48, 32, -1); }},
      {-1, "refresh 1001", [] { return zq::RunScreenModeChange(64, 48, 32, 1001); }},
      {-1, "edge INT_MAX",
       [] { return zq::CreateFontToHandle("zq-synthetic", 16, 5, 1, -1, INT_MAX); }},
      {-1, "size 100000",
       [] { return zq::CreateFontToHandle("zq-synthetic", 100000, -1, -1, -1, -1); }},
      {-1, "default size 100000", [] { return zq::SetDefaultFontSize(100000, -1); }},
      {-1, "a text file", [] { return zq::LoadGraphFromFileStd("notes.txt"); }},
  };
  const Trace before = Now();
  for (const auto& [want, name, call] : calls) {
    EXPECT_EQ(call(), want) << name;
    EXPECT_TRUE(Now() == before) << name;
  }
  EXPECT_EQ(std::tuple(zq::GetDefaultFontHandle(), zq::GetFontSize(defaultFont)),
            std::tuple(defaultFont, 16));
  // Each line of the log ends its own line.
  const std::string log = Log();
  for (const char* entry : {"notes.txt が開けませんでした\r\n", "エラーが発生しました\r\n"})
    EXPECT_NE(log.find(entry), std::string::npos) << entry;

  // Widths of the synthetic face at 16 pixels: 8 a one-byte character, 16 a two-byte one. A
  // length reads no further, but for the byte after a lead byte that ends it.
  PageEnd end;
  for (const auto& [bytes, length, width] :
       std::vector<std::tuple<std::string, int, int>>{{"ab", 2, 16},
                                                      {"abc", 2, 16},
                                                      {"", 0, 0},
                                                      {"a\x82\xA0", 2, 24},
                                                      {std::string("a\x82\0", 3), 2, 16},
                                                      {"abc", -5, 0}})
    for (int vertical : {0, 1})
      EXPECT_EQ(zq::MeasureStringWidth(end.Put(bytes), length, font, vertical), width) << bytes;
  // Widths are held, not wrapped: the draw still succeeds.
  for (const auto& [spacing, width] : {std::pair{INT_MAX, INT_MAX}, {-100, 0}, {1, 36}}) {
    ASSERT_EQ(zq::SetFontCharSpacing(spacing, font), 0);
    EXPECT_EQ(zq::MeasureStringWidth("abcd", -1, font, 0), width) << spacing;
    EXPECT_EQ(zq::DrawStringWithFont(0, 0, "abcd", 1, font, 0, 0), 0) << spacing;
  }
  // Sizes are kept as given (0 and below -1 are GDI's heights).
  for (int size : {-5, 0, 3})
    EXPECT_EQ(zq::GetFontSize(zq::CreateFontToHandle("zq-synthetic", size, -1, -1, -1, -1)), size);
  // A deleted default font leaves none, until one is made.
  ASSERT_EQ(zq::DeleteFontHandle(defaultFont), 0);
  EXPECT_EQ(zq::GetDefaultFontHandle(), -1);
  ASSERT_EQ(zq::SetDefaultFontSize(20, -1), 0);
  EXPECT_EQ(zq::GetFontSize(zq::GetDefaultFontHandle()), 20);
  // A deleted blend graph is deselected: the next graph draw is a plain one.
  const int blend = Graph(16);
  ASSERT_EQ(zq::SelectBlendGraph(blend, 128, 64), 0);
  ASSERT_EQ(zq::DeleteGraphHandle(blend), 0);
  uint32_t drawn = 0;
  EXPECT_EQ(zq::DrawGraphAt(40, 30, graph, 0), 0);
  zq::GetDrawScreenPixel(47, 37, &drawn);
  EXPECT_EQ(drawn & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(zq::RunScreenModeChange(64, 48, 32, 1000), 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, Hostile, testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Direct3D" : "Software"; });

}  // namespace
