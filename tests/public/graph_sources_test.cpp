// Graphs from memory, from a program's own pixels, loaded mirrored or off the Direct3D path, and
// the creation options read back, through the public header only. Expected pixels come from the
// files themselves (loaded the usual way) or from the pixel rules, worked in the test.
#include <zqlib/zqlib.h>

#include <memory>
#include <random>
#include <tuple>

#include "graphics/image_samples.h"
#include "hostile_files.h"
#include "public/session.h"

namespace {

using namespace zq::pubtest;
using Bytes = std::vector<uint8_t>;

// The pixels a graph draws at the top left of the back screen, as much as the screen shows.
std::vector<uint32_t> Drawn(int graph, int trans = 0, int mirror = 0) {
  int w = 0, h = 0;
  EXPECT_EQ(zq::QueryGraphDimensions(graph, &w, &h), 0);
  EXPECT_EQ(zq::DrawFilledBox(0, 0, 640, 480, zq::GetScreenColorValue(9, 99, 199)), 0);
  EXPECT_EQ(
      mirror ? zq::DrawGraphMirrored(0, 0, graph, trans) : zq::DrawGraphAt(0, 0, graph, trans), 0);
  std::vector<uint32_t> out = {uint32_t(w), uint32_t(h)};
  for (int y = 0; y < std::min(h, 480); ++y)
    for (int x = 0; x < std::min(w, 640); ++x) out.push_back(Pixel(x, y));
  return out;
}

// A heap block of exactly the bytes given, so that a read past them is caught by the sanitizer.
std::unique_ptr<uint8_t[]> Exact(const Bytes& bytes, size_t n) {
  auto block = std::make_unique<uint8_t[]>(n);
  std::copy_n(bytes.begin(), n, block.get());
  return block;
}

void WriteFile(const std::string& path, const Bytes& bytes, size_t n) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(n));
}

// The same graph loaded from a file and from memory, whole and one byte short; a whole file must
// load unless it may be declined.
void ExpectMemoryLoadsLikeTheFile(const Session& s, const std::string& name, const Bytes& bytes,
                                  bool mayDecline = false) {
  for (size_t n : {bytes.size(), bytes.size() - 1}) {
    SCOPED_TRACE(name + " " + std::to_string(n) + " bytes");
    WriteFile(s.Path(name.c_str()), bytes, n);
    const int fromFile = zq::LoadGraphFromFileStd(s.Path(name.c_str()).c_str());
    const int fromMemory = zq::LoadGraphFromMemory(Exact(bytes, n).get(), n);
    ASSERT_EQ(fromFile < 0, fromMemory < 0);
    EXPECT_TRUE(fromFile >= 0 || mayDecline || n < bytes.size());
    if (fromFile >= 0) {
      EXPECT_EQ(Drawn(fromFile), Drawn(fromMemory));
    }
    zq::DeleteAllGraphHandles();
  }
}

TEST(GraphSources, EveryReaderTestFileLoadsFromMemoryAsFromItsFile) {
  Session s;
  testing::internal::CaptureStderr();  // the codecs' own warnings about cut files
  for (const zq::test::SampleFile& f : zq::test::SampleFiles())
    ExpectMemoryLoadsLikeTheFile(s, std::string(f.kind) + "_" + f.name, f.bytes);
  for (const zq::test::HostileFile& f : zq::test::HostileFiles())
    ExpectMemoryLoadsLikeTheFile(s, std::string(f.kind) + "_" + f.name, f.bytes, true);
  for (const char* dir : {"png", "jpeg"})
    for (const auto& entry : fs::directory_iterator(fs::path(ZQ_TEST_DATA_DIR) / dir)) {
      if (entry.path().extension() == ".pgm" || entry.path().extension() == ".ppm") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string name = entry.path().filename().string();
      // The JPEG reader declines CMYK pictures.
      ExpectMemoryLoadsLikeTheFile(s, name, Bytes(std::istreambuf_iterator<char>(in), {}),
                                   name == "cmyk.jpg");
    }
  testing::internal::GetCapturedStderr();
  // An alpha image in memory does what the "_a" companion file does, for one graph and cells.
  std::vector<uint32_t> colours(12), greys(12);
  for (uint32_t i = 0; i < 12; ++i) {
    colours[i] = Rgb(20 * i, 255 - 9 * i, 77);
    greys[i] = i % 3 == 0 ? 0 : Rgb(255, 255, 255);
  }
  WritePng(s.Path("c.png"), 4, 3, colours);
  WritePng(s.Path("c_a.png"), 4, 3, greys);
  std::ifstream c(s.Path("c.png"), std::ios::binary), a(s.Path("c_a.png"), std::ios::binary);
  const Bytes image(std::istreambuf_iterator<char>(c), {}),
      alpha(std::istreambuf_iterator<char>(a), {});
  const int fromFile = zq::LoadGraphFromFileStd(s.Path("c.png").c_str());
  const int fromMemory =
      zq::LoadGraphFromMemory(image.data(), image.size(), alpha.data(), alpha.size());
  EXPECT_EQ(Drawn(fromFile, 1), Drawn(fromMemory, 1));
  EXPECT_NE(Drawn(fromFile, 1), Drawn(zq::LoadGraphFromMemory(image.data(), image.size()), 1));
  int cellsFile[3], cellsMemory[3];
  ASSERT_EQ(zq::LoadDividedGraphFromFileStd(s.Path("c.png").c_str(), 3, 2, 2, 2, 2, cellsFile), 0);
  ASSERT_EQ(zq::LoadDividedGraphFromMemory(image.data(), image.size(), 3, 2, 2, 2, 2, cellsMemory,
                                           alpha.data(), alpha.size()),
            0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Drawn(cellsFile[i], 1), Drawn(cellsMemory[i], 1)) << i;
}

// A program's picture in one format: random pixels with rows of an odd pitch, optionally a
// separate alpha of 0 and 255 (or the format's own), and the screen value each pixel must show.
struct Picture {
  static constexpr int kWidth = 7, kHeight = 5;
  int format, bytes;
  bool separateAlpha;
  int screenBits;
  Bytes pixels, alpha;
  std::vector<uint32_t> palette = std::vector<uint32_t>(256);

  Picture(int pixelFormat, int pixelBytes, bool withAlpha, int bits, uint32_t seed)
      : format(pixelFormat), bytes(pixelBytes), separateAlpha(withAlpha), screenBits(bits) {
    std::mt19937 random(seed);
    pixels.resize(size_t(Pitch() * (kHeight - 1) + kWidth * bytes));  // no byte past the last
    for (uint8_t& b : pixels) b = uint8_t(random());
    for (uint32_t& p : palette) p = random();
    alpha.resize(size_t((kWidth + 2) * (kHeight - 1) + kWidth));
    for (uint8_t& a : alpha) a = random() % 2 ? 255 : 0;
    // The format's own alpha: 0 or 255 too.
    if (format == zq::kPixelArgb8888)
      for (int i = 0; i < kWidth * kHeight; ++i)
        pixels[size_t(i / kWidth * Pitch() + i % kWidth * 4 + 3)] = alpha[size_t(i)];
  }
  int Pitch() const { return kWidth * bytes + 3 - kWidth * bytes % 2; }
  zq::PixelBuffer Buffer() const {
    return {kWidth,
            kHeight,
            Pitch(),
            format,
            pixels.data(),
            palette.data(),
            separateAlpha ? alpha.data() : nullptr,
            kWidth + 2};
  }
  // What (x, y) shows drawn over the background: the colour in the screen's format, or the
  // background where alpha is 0.
  uint32_t Expected(int x, int y, uint32_t background) const {
    const uint8_t* p = &pixels[size_t(y * Pitch() + x * bytes)];
    const uint32_t v = p[0] | uint32_t(p[1]) << 8 | (bytes > 2 ? uint32_t(p[2]) << 16 : 0) |
                       (bytes > 3 ? uint32_t(p[3]) << 24 : 0);
    if ((separateAlpha && alpha[size_t(y * (kWidth + 2) + x)] == 0) ||
        (format == zq::kPixelArgb8888 && v >> 24 == 0))
      return background;
    switch (format) {
      case zq::kPixelIndexed8:
        return palette[v & 0xFF] & 0xFFFFFF;
      case zq::kPixelRgb565:
        return screenBits == 16 ? v : Widened(v >> 11, 31, v >> 5 & 63, 63, v & 31, 31);
      case zq::kPixelXrgb1555:  // on 5:6:5, green becomes 2g plus its low bit; bit 15 dropped
        return screenBits == 16 ? (v & 0x7FE0) << 1 | (v & 0x3F)
                                : Widened(v >> 10 & 31, 31, v >> 5 & 31, 31, v & 31, 31);
      default:
        return v & 0xFFFFFF;
    }
  }
  // Channels widened to 8 bits the general way: value x 255 / maximum, truncated.
  static uint32_t Widened(uint32_t r, uint32_t rMax, uint32_t g, uint32_t gMax, uint32_t b,
                          uint32_t bMax) {
    return r * 255 / rMax << 16 | g * 255 / gMax << 8 | b * 255 / bMax;
  }
  // The graph shows columns left .. left + width - 1 of the picture.
  void ExpectDrawnExactly(int graph, int left = 0, int width = kWidth) const {
    const uint32_t mask = screenBits == 16 ? 0xFFFF : 0xFFFFFF;
    const uint32_t background = zq::GetScreenColorValue(9, 99, 199) & mask;
    const std::vector<uint32_t> drawn =
        Drawn(graph, separateAlpha || format == zq::kPixelArgb8888 ? 1 : 0);
    ASSERT_EQ(drawn.size(), size_t(2 + width * kHeight));
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < width; ++x)
        EXPECT_EQ(drawn[size_t(2 + y * width + x)] & mask, Expected(left + x, y, background))
            << x << "," << y;
  }
};

struct PixelCase {
  int format, bytes;
  bool alpha;
};

// Each format on the software screen of its depth, and all of them on the Direct3D path, whose
// 32-bit textures widen 16-bit pixels the general way.
TEST(GraphSources, ProgramPixelsDrawExactlyOnBothPathsAndCanBeRewritten) {
  const std::vector<PixelCase> sixteen = {
      {zq::kPixelRgb565, 2, false}, {zq::kPixelRgb565, 2, true}, {zq::kPixelXrgb1555, 2, false}};
  const std::vector<PixelCase> thirtyTwo = {
      {zq::kPixelIndexed8, 1, false}, {zq::kPixelIndexed8, 1, true},
      {zq::kPixelRgb888, 3, false},   {zq::kPixelXrgb8888, 4, false},
      {zq::kPixelXrgb8888, 4, true},  {zq::kPixelArgb8888, 4, false}};
  std::vector<PixelCase> all = sixteen;
  all.insert(all.end(), thirtyTwo.begin(), thirtyTwo.end());
  uint32_t seed = 1;
  for (const auto& [bits, direct3D, cases] :
       {std::tuple{16, false, sixteen}, {32, false, thirtyTwo}, {32, true, all}}) {
    Session s({bits, direct3D});
    for (const PixelCase& c : cases) {
      SCOPED_TRACE(testing::Message() << "format " << c.format << " alpha " << c.alpha
                                      << " direct3D " << direct3D << " bits " << bits);
      const Picture first(c.format, c.bytes, c.alpha, bits, seed++);
      const Picture second(c.format, c.bytes, c.alpha, bits, seed++);
      const zq::PixelBuffer buffer = first.Buffer(), again = second.Buffer();
      const int graph = zq::CreateGraphFromImage(&buffer);
      ASSERT_GE(graph, 0);
      first.ExpectDrawnExactly(graph);
      // Cells of 4 x 5: the second one is cut at the picture's right edge.
      int cells[2];
      ASSERT_EQ(zq::CreateDivGraphFromGraphImage(&buffer, 2, 2, 1, 4, 5, cells), 0);
      first.ExpectDrawnExactly(cells[1], 4, 3);
      ASSERT_EQ(zq::SetGraphImage(&again, graph), 0);
      second.ExpectDrawnExactly(graph);
      ASSERT_EQ(zq::SetGraphImage(&again, cells[0]), -1);  // another size
      first.ExpectDrawnExactly(cells[0], 0, 4);
    }
  }
}

// A mirrored load shows what the plain one shows drawn mirrored, cell by cell too; a graph kept
// off the Direct3D path is stretched by the software renderer, which mixes no colours.
TEST(GraphSources, MirroredLoadsAndGraphsOffTheDirect3DPath) {
  for (const bool direct3D : {false, true}) {
    Session s({32, direct3D});
    std::vector<uint32_t> colours(30);
    for (uint32_t i = 0; i < 30; ++i)
      colours[i] = Rgb(8 * i, 255 - 7 * i, i % 4 * 60) | (i % 7 == 0) << 24;
    WritePng(s.Path("m.png"), 6, 5, colours);
    const std::string m = s.Path("m.png");
    EXPECT_EQ(Drawn(zq::LoadGraphFromFile(m.c_str(), 1, 1), 1),
              Drawn(zq::LoadGraphFromFileStd(m.c_str()), 1, 1));
    int mirrored[3], plain[3];
    ASSERT_EQ(zq::LoadDividedGraphFromFile(m.c_str(), 3, 2, 2, 3, 3, mirrored, 1, 1), 0);
    ASSERT_EQ(zq::LoadDividedGraphFromFileStd(m.c_str(), 3, 2, 2, 3, 3, plain), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Drawn(mirrored[i], 1), Drawn(plain[i], 1, 1)) << i;
    // Red beside blue, stretched to four times the size with bilinear sampling.
    WritePng(s.Path("rb.png"), 2, 1, {Rgb(255, 0, 0), Rgb(0, 0, 255)});
    EXPECT_EQ(zq::SetSamplingMode(1), 0);
    for (const int onPath : {0, 1}) {
      const int graph = zq::LoadGraphFromFile(s.Path("rb.png").c_str(), onPath, 0);
      EXPECT_EQ(zq::DrawGraphRect(0, 0, 8, 4, graph, 0), 0);
      int mixed = 0;
      for (int x = 0; x < 8; ++x) {
        const uint32_t p = Pixel(x, 1) & 0xFFFFFF;
        mixed += p != 0xFF0000 && p != 0x0000FF;
      }
      EXPECT_EQ(mixed > 0, direct3D && onPath == 1) << onPath;
    }
  }
}

// Save, set, create, set back: each option as it was, whatever was set in between.
TEST(GraphSources, OptionsSavedSetAndSetBackAreAsTheyWere) {
  // Before the start the creation options answer as their setters do; the sampling mode waits.
  EXPECT_EQ(zq::SetCreateOptionB(0), 0);
  EXPECT_EQ(zq::GetCreateOptionB(), 0);
  EXPECT_EQ(zq::GetSamplingMode(), -1);
  Session s;
  const struct {
    int (*get)();
    int (*set)(int);
    int initial, other;
  } options[] = {{zq::GetCreateOptionB, zq::SetCreateOptionB, 1, 0},
                 {zq::GetCreateOptionD, zq::SetCreateOptionD, 0, 1},
                 {zq::GetCreateColorBitDepth, zq::SetCreateColorBitDepth, 0, 16},
                 {zq::GetCreateAlphaChannelFlag, zq::SetCreateAlphaChannelFlag, 0, 1},
                 {zq::GetSamplingMode, zq::SetSamplingMode, 0, 1}};
  const Picture picture(zq::kPixelXrgb8888, 4, false, 32, 7);
  const zq::PixelBuffer buffer = picture.Buffer();
  for (const auto& outer : options) {
    EXPECT_EQ(outer.get(), outer.initial);
    const int saved = outer.get();
    EXPECT_EQ(outer.set(outer.other), 0);
    for (const auto& inner : options) {  // nested the same way
      const int innerSaved = inner.get();
      EXPECT_EQ(inner.set(inner.other), 0);
      EXPECT_EQ(inner.get(), inner.other);
      EXPECT_GE(zq::CreateGraphFromImage(&buffer), 0);
      EXPECT_EQ(inner.set(innerSaved), 0);
    }
    EXPECT_EQ(outer.get(), outer.other);
    EXPECT_EQ(outer.set(saved), 0);
  }
  for (const auto& o : options) EXPECT_EQ(o.get(), o.initial);
  s.End();
  EXPECT_EQ(zq::GetSamplingMode(), -1);
}

// What cannot be a picture is refused before anything is made, read or written.
TEST(GraphSources, ImpossibleBuffersAndBlocksAreRefusedWithNothingMade) {
  uint8_t pixels[64] = {7};
  const zq::PixelBuffer good = {2, 2, 8, zq::kPixelXrgb8888, pixels};
  int cells[2] = {5, 5};
  auto refused = [&](const zq::PixelBuffer* b, int graph) {
    const int blocks = zq::TrackedBlockCount();
    EXPECT_EQ(zq::CreateGraphFromImage(b), -1);
    EXPECT_EQ(zq::CreateDivGraphFromGraphImage(b, 2, 2, 1, 1, 2, cells), -1);
    EXPECT_EQ(cells[0] + cells[1], -2);
    EXPECT_EQ(zq::SetGraphImage(b, graph), -1);
    EXPECT_EQ(zq::LoadGraphFromMemory(pixels, 0), -1);
    EXPECT_EQ(zq::LoadDividedGraphFromMemory(nullptr, 9, 2, 2, 1, 1, 2, cells), -1);
    EXPECT_EQ(zq::TrackedBlockCount(), blocks);
  };
  refused(&good, 1);  // before the start
  Session s;
  const int graph = zq::CreateGraphFromImage(&good);
  ASSERT_GE(graph, 0);
  const std::vector<uint32_t> before = Drawn(graph);
  const uint8_t alpha[4] = {};
  auto with = [&](auto change) {
    zq::PixelBuffer b = good;
    change(b);
    return b;
  };
  const zq::PixelBuffer bad[] = {
      with([](auto& b) { b.width = 0; }),
      with([](auto& b) { b.width = 65536, b.pitch = 262144; }),
      with([](auto& b) { b.height = 0; }),
      with([](auto& b) { b.height = -2; }),
      with([](auto& b) { b.pitch = 7; }),
      with([](auto& b) { b.pitch = -8; }),
      with([](auto& b) { b.format = 0; }),
      with([](auto& b) { b.format = 7; }),
      with([](auto& b) { b.pixels = nullptr; }),
      with([](auto& b) { b.format = zq::kPixelIndexed8; }),
      with([&](auto& b) { b.alpha = alpha, b.alphaPitch = 1; }),
      // 65535 rows of 32769 bytes: past the block limit of 2^31 - 1.
      with([](auto& b) { b.height = 65535, b.pitch = 32769; }),
      with([&](auto& b) { b.height = 65535, b.alpha = alpha, b.alphaPitch = 32769; }),
  };
  for (const zq::PixelBuffer& b : bad) refused(&b, graph);
  refused(nullptr, graph);
  const zq::PixelBuffer wider = with([](auto& b) { b.width = 3, b.pitch = 12; });
  EXPECT_EQ(zq::SetGraphImage(&wider, graph), -1);
  EXPECT_EQ(zq::LoadGraphFromMemory(pixels, sizeof pixels), -1);  // no image
  EXPECT_EQ(zq::LoadGraphFromMemory(nullptr, sizeof pixels), -1);
  EXPECT_EQ(zq::LoadGraphFromMemory(pixels, sizeof pixels, pixels, 0), -1);
  EXPECT_EQ(Drawn(graph), before);
  const std::string log = s.Log();
  for (const char* line :
       {"画素データの指定が不正です( 幅 0 高さ 2 ピッチ 8 形式 5 アルファピッチ 0 ) in "
        "CreateGraphFromImage",
        "( 幅 2 高さ 65535 ピッチ 8 形式 5 アルファピッチ 32769 ) in SetGraphImage",
        "画素データの指定がありません in CreateDivGraphFromGraphImage",
        "大きさが違います( 2 x 2 と 3 x 2 ) in SetGraphImage",
        "メモリ上の画像データの指定が不正です in LoadDividedGraphFromMemory",
        "メモリ上の画像データを読み込めませんでした in LoadGraphFromMemory"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
  s.End();
  refused(&good, graph);  // after the end
}

}  // namespace
