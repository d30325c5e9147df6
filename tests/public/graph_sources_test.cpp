// Graphs from memory, from a program's own pixels, loaded mirrored or off the Direct3D path, and
// the creation options read back, through the public header only. Expected pixels come from the
// files themselves (loaded the usual way) or from the pixel rules, worked in the test.
#include <zqlib/zqlib.h>

#include <random>
#include <tuple>

#include "graphics/image_samples.h"
#include "hostile_files.h"
#include "public/session.h"

namespace {

using namespace zq::pubtest;
using zq::test::Bytes;

// A graph's size and the pixels it draws (mirrored when asked) at the top left, over a background.
std::vector<uint32_t> Drawn(int graph, int trans = 0, int mirror = 0) {
  int w = 0, h = 0;
  EXPECT_EQ(zq::QueryGraphDimensions(graph, &w, &h), 0);
  zq::DrawFilledBox(0, 0, 640, 480, zq::GetScreenColorValue(9, 99, 199));
  EXPECT_EQ((mirror ? zq::DrawGraphMirrored : zq::DrawGraphAt)(0, 0, graph, trans), 0);
  std::vector<uint32_t> out = {uint32_t(w), uint32_t(h)};
  for (int y = 0; y < std::min(h, 480); ++y)
    for (int x = 0; x < std::min(w, 640); ++x) out.push_back(Pixel(x, y));
  return out;
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The same graph from a file and from a heap block of exactly its bytes (a read past them is the
// sanitizer's to catch), whole and one byte short. A whole file must load unless it may not.
void ExpectMemoryLoadsLikeTheFile(const Session& s, const std::string& name, const Bytes& bytes,
                                  bool mayDecline = false) {
  const std::string path = s.Path(name.c_str());
  for (size_t n : {bytes.size(), bytes.size() - 1}) {
    const Bytes block(bytes.begin(), bytes.begin() + std::ptrdiff_t(n));  // capacity n
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(block.data()), std::streamsize(n));
    const int fromFile = zq::LoadGraphFromFileStd(path.c_str());
    const int fromMemory = zq::LoadGraphFromMemory(block.data(), n);
    ASSERT_EQ(fromFile < 0, fromMemory < 0) << name << " " << n;
    EXPECT_TRUE(fromFile >= 0 || mayDecline || n < bytes.size()) << name;
    if (fromFile < 0) continue;
    EXPECT_EQ(Drawn(fromFile), Drawn(fromMemory)) << name << " " << n;
  }
  zq::DeleteAllGraphHandles();
}

TEST(GraphSources, EveryReaderTestFileLoadsFromMemoryAsFromItsFile) {
  Session s;
  for (const zq::test::SampleFile& f : zq::test::SampleFiles())
    ExpectMemoryLoadsLikeTheFile(s, std::string(f.kind) + "_" + f.name, f.bytes);
  for (const zq::test::HostileFile& f : zq::test::HostileFiles())
    ExpectMemoryLoadsLikeTheFile(s, std::string(f.kind) + "_" + f.name, f.bytes, true);
  for (const char* dir : {"png", "jpeg"})  // the pictures, not their PNM sources
    for (const auto& e : fs::directory_iterator(fs::path(ZQ_TEST_DATA_DIR) / dir))
      if (e.path().extension() == ".png" || e.path().extension() == ".jpg")  // CMYK is declined
        ExpectMemoryLoadsLikeTheFile(s, e.path().filename(), ReadFile(e.path()),
                                     e.path().stem() == "cmyk");
  // An alpha image in memory does what the "_a" companion file does: a grey ramp beside colours.
  const std::string c = s.Path("c.png");
  fs::copy_file(fs::path(ZQ_TEST_DATA_DIR) / "png/rgb8.png", c);
  fs::copy_file(fs::path(ZQ_TEST_DATA_DIR) / "png/gray8.png", s.Path("c_a.png"));
  const Bytes im = ReadFile(c), al = ReadFile(s.Path("c_a.png"));
  EXPECT_EQ(Drawn(zq::LoadGraphFromFileStd(c.c_str()), 1),
            Drawn(zq::LoadGraphFromMemory(im.data(), im.size(), al.data(), al.size()), 1));
  EXPECT_EQ(zq::LoadGraphFromMemory(im.data(), im.size(), al.data(), 0), -1);
  int cells[2][3];
  ASSERT_EQ(zq::LoadDividedGraphFromFileStd(c.c_str(), 3, 2, 2, 2, 2, cells[0]), 0);
  ASSERT_EQ(zq::LoadDividedGraphFromMemory(im.data(), im.size(), 3, 2, 2, 2, 2, cells[1], al.data(),
                                           al.size()),
            0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Drawn(cells[0][i], 1), Drawn(cells[1][i], 1)) << i;
}

// A program's picture in one format: random pixels in rows of an odd pitch, alpha 0 or 255 (a
// separate one, or the format's own), and the screen value each pixel must show.
struct Picture {
  static constexpr int kWidth = 7, kHeight = 5, kAlphaPitch = kWidth + 2;
  int format, bytes, screenBits;
  bool separateAlpha;
  Bytes pixels, alpha;
  std::vector<uint32_t> palette = std::vector<uint32_t>(256);

  Picture(int pixelFormat, int pixelBytes, bool withAlpha, int bits, uint32_t seed)
      : format(pixelFormat), bytes(pixelBytes), screenBits(bits), separateAlpha(withAlpha) {
    std::mt19937 random(seed);
    pixels.resize(size_t(Pitch() * (kHeight - 1) + kWidth * bytes));  // no byte past the last
    alpha.resize(size_t(kAlphaPitch * (kHeight - 1) + kWidth));
    for (uint8_t& b : pixels) b = uint8_t(random());
    for (uint32_t& p : palette) p = random();
    for (uint8_t& a : alpha) a = random() % 2 ? 255 : 0;
    for (int i = 0; format == zq::kPixelArgb8888 && i < kWidth * kHeight; ++i)
      pixels[size_t(i / kWidth * Pitch() + i % kWidth * 4 + 3)] = alpha[size_t(i)];
  }
  int Pitch() const { return kWidth * bytes + 3 - kWidth * bytes % 2; }
  zq::PixelBuffer Buffer() const {
    const uint8_t* a = separateAlpha ? alpha.data() : nullptr;
    return {kWidth, kHeight, Pitch(), format, pixels.data(), palette.data(), a, kAlphaPitch};
  }
  // The colour in the screen's format, or the background where alpha is 0.
  uint32_t Expected(int x, int y, uint32_t background) const {
    const uint8_t* p = &pixels[size_t(y * Pitch() + x * bytes)];
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    if ((separateAlpha && alpha[size_t(y * kAlphaPitch + x)] == 0) ||
        (format == zq::kPixelArgb8888 && v >> 24 == 0))
      return background;
    // Channels widened to 8 bits the general way: value x 255 / maximum, truncated.
    auto widened = [](uint32_t r, uint32_t g, uint32_t gMax, uint32_t b) {
      return r * 255 / 31 << 16 | g * 255 / gMax << 8 | b * 255 / 31;
    };
    switch (format) {
      case zq::kPixelIndexed8:
        return palette[v] & 0xFFFFFF;
      case zq::kPixelRgb565:
        return screenBits == 16 ? v : widened(v >> 11, v >> 5 & 63, 63, v & 31);
      case zq::kPixelXrgb1555:  // on 5:6:5, green becomes 2g plus its low bit; bit 15 dropped
        return screenBits == 16 ? (v & 0x7FE0) << 1 | (v & 0x3F)
                                : widened(v >> 10 & 31, v >> 5 & 31, 31, v & 31);
      default:
        return v & 0xFFFFFF;
    }
  }
  // The graph shows columns left .. left + width - 1 of the picture.
  void ExpectDrawnExactly(int graph, int left = 0, int width = kWidth) const {
    const uint32_t mask = screenBits == 16 ? 0xFFFF : 0xFFFFFF;
    const uint32_t background = zq::GetScreenColorValue(9, 99, 199) & mask;
    std::vector<uint32_t> want = {uint32_t(width), kHeight},
                          drawn = Drawn(graph, separateAlpha || format == zq::kPixelArgb8888);
    for (int i = 0; i < width * kHeight; ++i)
      want.push_back(Expected(left + i % width, i / width, background));
    for (uint32_t& p : drawn) p &= mask;
    EXPECT_EQ(drawn, want);
  }
};

// The 16-bit formats on the 16-bit software screen, the others on the 32-bit one, and all on the
// Direct3D path, whose 32-bit textures widen 16-bit pixels the general way.
TEST(GraphSources, ProgramPixelsDrawExactlyOnBothPathsAndCanBeRewritten) {
  // Format, bytes a pixel, separate alpha.
  const std::tuple<int, int, bool> cases[] = {
      {zq::kPixelRgb565, 2, false},   {zq::kPixelRgb565, 2, true},
      {zq::kPixelXrgb1555, 2, false}, {zq::kPixelIndexed8, 1, false},
      {zq::kPixelIndexed8, 1, true},  {zq::kPixelRgb888, 3, false},
      {zq::kPixelXrgb8888, 4, false}, {zq::kPixelXrgb8888, 4, true},
      {zq::kPixelArgb8888, 4, false}};
  uint32_t seed = 1;
  for (const auto& [bits, direct3D] : {std::pair{16, false}, {32, false}, {32, true}}) {
    Session s(bits, direct3D);
    for (const auto& [format, bytes, alpha] : cases) {
      if (!direct3D && (bits == 16) != (bytes == 2)) continue;
      const Picture first(format, bytes, alpha, bits, seed++),
          second(format, bytes, alpha, bits, seed++);
      const zq::PixelBuffer buffer = first.Buffer(), again = second.Buffer();
      const int graph = zq::CreateGraphFromImage(&buffer);
      first.ExpectDrawnExactly(graph);
      // Cells of 4 x 5: the second one is cut at the picture's right edge.
      int cells[2];
      ASSERT_EQ(zq::CreateDivGraphFromGraphImage(&buffer, 2, 2, 1, 4, 5, cells), 0);
      first.ExpectDrawnExactly(cells[1], 4, 3);
      const int part = zq::DeriveGraphRect(4, 0, 3, 5, graph);  // shares the pixels
      ASSERT_EQ(zq::SetGraphImage(&again, graph), 0);
      second.ExpectDrawnExactly(graph);
      second.ExpectDrawnExactly(part, 4, 3);
      ASSERT_EQ(zq::SetGraphImage(&again, cells[0]), -1);  // another size: nothing written
      first.ExpectDrawnExactly(cells[0], 0, 4);
    }
  }
}

// A mirrored load shows what the plain one shows drawn mirrored, cell by cell too; a graph kept
// off the Direct3D path is stretched by the software renderer, which mixes no colours.
TEST(GraphSources, MirroredLoadsAndGraphsOffTheDirect3DPath) {
  for (const bool direct3D : {false, true}) {
    Session s(32, direct3D);
    const std::string m = std::string(ZQ_TEST_DATA_DIR) + "/png/palette8_trns.png",
                      rb = s.Path("rb.png");
    EXPECT_EQ(Drawn(zq::LoadGraphFromFile(m.c_str(), 1, 1), 1),
              Drawn(zq::LoadGraphFromFileStd(m.c_str()), 1, 1));
    int mirrored[3], plain[3];
    ASSERT_EQ(zq::LoadDividedGraphFromFile(m.c_str(), 3, 2, 2, 10, 7, mirrored, 1, 1), 0);
    ASSERT_EQ(zq::LoadDividedGraphFromFileStd(m.c_str(), 3, 2, 2, 10, 7, plain), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Drawn(mirrored[i], 1), Drawn(plain[i], 1, 1)) << i;
    // Red beside blue, stretched to four times the size with bilinear sampling.
    WritePng(rb, 2, 1, {Rgb(255, 0, 0), Rgb(0, 0, 255)});
    EXPECT_EQ(zq::SetSamplingMode(1), 0);
    for (const int onPath : {0, 1}) {
      EXPECT_EQ(zq::DrawGraphRect(0, 0, 8, 4, zq::LoadGraphFromFile(rb.c_str(), onPath, 0), 0), 0);
      const uint32_t middle = Pixel(3, 1) & 0xFFFFFF;  // the nearest source pixel is the red one
      EXPECT_TRUE(direct3D && onPath ? middle != 0xFF0000 && middle != 0xFF : middle == 0xFF0000);
    }
  }
}

// Save, set, create, set back: each option as it was.
TEST(GraphSources, OptionsSavedSetAndSetBackAreAsTheyWere) {
  // Before the start the creation options answer as their setters do; the sampling mode waits.
  EXPECT_EQ(zq::SetCreateOptionB(0) + zq::GetCreateOptionB(), 0);
  EXPECT_EQ(zq::GetSamplingMode(), -1);
  Session s;
  // Getter, setter, the value after the start, another value.
  const std::tuple<int (*)(), int (*)(int), int, int> options[] = {
      {zq::GetCreateOptionB, zq::SetCreateOptionB, 1, 0},
      {zq::GetCreateOptionD, zq::SetCreateOptionD, 0, 1},
      {zq::GetCreateColorBitDepth, zq::SetCreateColorBitDepth, 0, 16},
      {zq::GetCreateAlphaChannelFlag, zq::SetCreateAlphaChannelFlag, 0, 1},
      {zq::GetSamplingMode, zq::SetSamplingMode, 0, 1}};
  uint8_t pixels[16] = {};
  const zq::PixelBuffer buffer = {2, 2, 8, zq::kPixelXrgb8888, pixels};
  for (const auto& [get, set, initial, other] : options) {
    const int saved = get();
    EXPECT_EQ(saved, initial);
    EXPECT_EQ(set(other) + get(), other);
    EXPECT_GE(zq::CreateGraphFromImage(&buffer), 0);
    EXPECT_EQ(set(saved), 0);
  }
  for (const auto& [get, set, initial, other] : options) EXPECT_EQ(get(), initial);
  s.End();
  EXPECT_EQ(zq::GetSamplingMode(), -1);
}

// What cannot be a picture is refused before anything is made, read or written; so is memory
// that holds no image, and everything before the start and after the end.
TEST(GraphSources, ImpossibleBuffersAndBlocksAreRefusedWithNothingMade) {
  constexpr int X = zq::kPixelXrgb8888;
  uint8_t p[64] = {7}, a[4] = {};
  const zq::PixelBuffer good = {2, 2, 8, X, p};
  int cells[2] = {5, 5};
  auto refused = [&](const zq::PixelBuffer* b, int graph) {
    const int blocks = zq::TrackedBlockCount();
    EXPECT_EQ(zq::CreateGraphFromImage(b), -1);
    EXPECT_EQ(zq::CreateDivGraphFromGraphImage(b, 2, 2, 1, 1, 2, cells), -1);
    EXPECT_EQ(cells[0] + cells[1], -2);
    EXPECT_EQ(zq::SetGraphImage(b, graph), -1);
    EXPECT_EQ(zq::LoadGraphFromMemory(p, 0), -1);
    EXPECT_EQ(zq::LoadDividedGraphFromMemory(nullptr, 9, 2, 2, 1, 1, 2, cells), -1);
    EXPECT_EQ(zq::TrackedBlockCount(), blocks);
  };
  refused(&good, 1);
  Session s;
  const int graph = zq::CreateGraphFromImage(&good);
  const std::vector<uint32_t> before = Drawn(graph);
  // Sizes, pitches, formats (indexed without a palette), pixels, alpha pitches; 65535 rows of
  // 32769 bytes pass the block limit of 2^31 - 1.
  const zq::PixelBuffer bad[] = {
      {0, 2, 8, X, p, {}, {}, 0},       {65536, 2, 262144, X, p, {}, {}, 0},
      {2, 0, 8, X, p, {}, {}, 0},       {2, -2, 8, X, p, {}, {}, 0},
      {2, 2, 7, X, p, {}, {}, 0},       {2, 2, -8, X, p, {}, {}, 0},
      {2, 2, 8, 0, p, {}, {}, 0},       {2, 2, 8, 7, p, {}, {}, 0},
      {2, 2, 8, X, {}, {}, {}, 0},      {2, 2, 8, zq::kPixelIndexed8, p, {}, {}, 0},
      {2, 2, 8, X, p, {}, a, 1},        {2, 65535, 32769, X, p, {}, {}, 0},
      {2, 65535, 8, X, p, {}, a, 32769}};
  for (const zq::PixelBuffer& b : bad) refused(&b, graph);
  refused(nullptr, graph);
  const Bytes widest(65535 * 4);  // the largest sides are not refused
  for (const auto& [w, h] : {std::pair{65535, 1}, {1, 65535}}) {
    const zq::PixelBuffer b = {w, h, w * 4, X, widest.data()};
    EXPECT_GE(zq::CreateGraphFromImage(&b), 0) << w;
  }
  const zq::PixelBuffer wider = {3, 2, 12, X, p};
  EXPECT_EQ(zq::SetGraphImage(&wider, graph), -1);
  EXPECT_EQ(zq::LoadGraphFromMemory(p, sizeof p, p, 1), -1);  // no image
  EXPECT_EQ(Drawn(graph), before);
  for (const char* line :
       {"( 幅 0 高さ 2 ピッチ 8 形式 5 アルファピッチ 0 ) in CreateGraphFromImage",
        "( 幅 2 高さ 65535 ピッチ 8 形式 5 アルファピッチ 32769 ) in SetGraphImage",
        "大きさが違います( 2 x 2 と 3 x 2 ) in SetGraphImage",
        "メモリ上の画像データの指定が不正です in LoadGraphFromMemory",
        "メモリ上の画像データの指定が不正です in LoadDividedGraphFromMemory",
        "メモリ上の画像データを読み込めませんでした in LoadGraphFromMemory"})
    EXPECT_NE(s.Log().find(line), std::string::npos) << line;
  s.End();
  refused(&good, graph);
}

}  // namespace
