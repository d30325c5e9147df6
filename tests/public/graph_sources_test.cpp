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

// The size of a graph and the pixels it draws at the top left of the back screen (as many as the
// screen holds) over a background.
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

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The same graph loaded from a file and from a heap block of exactly its bytes (a read past them
// is the sanitizer's to catch), whole and one byte short. A whole file must load unless it may be
// declined.
void ExpectMemoryLoadsLikeTheFile(const Session& s, const std::string& name, const Bytes& bytes,
                                  bool mayDecline = false) {
  for (size_t n : {bytes.size(), bytes.size() - 1}) {
    SCOPED_TRACE(name + " " + std::to_string(n) + " bytes");
    std::ofstream(s.Path(name.c_str()), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(n));
    const auto block = std::make_unique<uint8_t[]>(n);
    std::copy_n(bytes.begin(), n, block.get());
    const int fromFile = zq::LoadGraphFromFileStd(s.Path(name.c_str()).c_str());
    const int fromMemory = zq::LoadGraphFromMemory(block.get(), n);
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
  for (const zq::test::SampleFile& f : zq::test::SampleFiles())
    ExpectMemoryLoadsLikeTheFile(s, std::string(f.kind) + "_" + f.name, f.bytes);
  for (const zq::test::HostileFile& f : zq::test::HostileFiles())
    ExpectMemoryLoadsLikeTheFile(s, std::string(f.kind) + "_" + f.name, f.bytes, true);
  for (const char* dir : {"png", "jpeg"})
    for (const auto& entry : fs::directory_iterator(fs::path(ZQ_TEST_DATA_DIR) / dir)) {
      const std::string name = entry.path().filename().string();
      // The JPEG reader declines CMYK pictures.
      if (entry.path().extension() == ".png" || entry.path().extension() == ".jpg")
        ExpectMemoryLoadsLikeTheFile(s, name, ReadFile(entry.path()), name == "cmyk.jpg");
    }
  // An alpha image in memory does what the "_a" companion file does (which does show).
  std::vector<uint32_t> colours(12), greys(12);
  for (uint32_t i = 0; i < 12; ++i)
    colours[i] = Rgb(20 * i, 255 - 9 * i, 77), greys[i] = i % 3 ? 0xFFFFFFu : 0;
  WritePng(s.Path("c.png"), 4, 3, colours);
  WritePng(s.Path("c_a.png"), 4, 3, greys);
  const Bytes image = ReadFile(s.Path("c.png")), alpha = ReadFile(s.Path("c_a.png"));
  const int fromFile = zq::LoadGraphFromFileStd(s.Path("c.png").c_str());
  EXPECT_EQ(
      Drawn(fromFile, 1),
      Drawn(zq::LoadGraphFromMemory(image.data(), image.size(), alpha.data(), alpha.size()), 1));
  EXPECT_NE(Drawn(fromFile, 1), Drawn(zq::LoadGraphFromMemory(image.data(), image.size()), 1));
  EXPECT_EQ(zq::LoadGraphFromMemory(image.data(), image.size(), alpha.data(), 0), -1);
  int cells[2][3];
  ASSERT_EQ(zq::LoadDividedGraphFromFileStd(s.Path("c.png").c_str(), 3, 2, 2, 2, 2, cells[0]), 0);
  ASSERT_EQ(zq::LoadDividedGraphFromMemory(image.data(), image.size(), 3, 2, 2, 2, 2, cells[1],
                                           alpha.data(), alpha.size()),
            0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Drawn(cells[0][i], 1), Drawn(cells[1][i], 1)) << i;
}

// A program's picture in one format: random pixels in rows of an odd pitch, alpha 0 or 255 (a
// separate one, or the format's own), and the screen value each pixel must show.
struct Picture {
  static constexpr int kWidth = 7, kHeight = 5, kAlphaPitch = kWidth + 2;
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
    alpha.resize(size_t(kAlphaPitch * (kHeight - 1) + kWidth));
    for (uint8_t& a : alpha) a = random() % 2 ? 255 : 0;
    if (format == zq::kPixelArgb8888)
      for (int i = 0; i < kWidth * kHeight; ++i)
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
    const std::vector<uint32_t> drawn =
        Drawn(graph, separateAlpha || format == zq::kPixelArgb8888 ? 1 : 0);
    ASSERT_EQ(drawn.size(), size_t(2 + width * kHeight));
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < width; ++x)
        EXPECT_EQ(drawn[size_t(2 + y * width + x)] & mask, Expected(left + x, y, background))
            << x << "," << y;
  }
};

// Each format on the software screen of its depth, and all of them on the Direct3D path, whose
// 32-bit textures widen 16-bit pixels the general way.
TEST(GraphSources, ProgramPixelsDrawExactlyOnBothPathsAndCanBeRewritten) {
  using Case = std::tuple<int, int, bool>;  // format, bytes a pixel, separate alpha
  const std::vector<Case> sixteen = {
      {zq::kPixelRgb565, 2, false}, {zq::kPixelRgb565, 2, true}, {zq::kPixelXrgb1555, 2, false}};
  const std::vector<Case> thirtyTwo = {
      {zq::kPixelIndexed8, 1, false}, {zq::kPixelIndexed8, 1, true},
      {zq::kPixelRgb888, 3, false},   {zq::kPixelXrgb8888, 4, false},
      {zq::kPixelXrgb8888, 4, true},  {zq::kPixelArgb8888, 4, false}};
  std::vector<Case> all = thirtyTwo;
  all.insert(all.end(), sixteen.begin(), sixteen.end());
  uint32_t seed = 1;
  for (const auto& [bits, direct3D, cases] :
       {std::tuple{16, false, sixteen}, {32, false, thirtyTwo}, {32, true, all}}) {
    Session s({bits, direct3D});
    for (const auto& [format, bytes, alpha] : cases) {
      SCOPED_TRACE(testing::Message() << "format " << format << " alpha " << alpha << " direct3D "
                                      << direct3D << " bits " << bits);
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
    Session s({32, direct3D});
    std::vector<uint32_t> colours(30);
    for (uint32_t i = 0; i < 30; ++i)
      colours[i] = Rgb(8 * i, 255 - 7 * i, i % 4 * 60) | (i % 7 == 0) << 24;
    const std::string m = s.Path("m.png"), rb = s.Path("rb.png");
    WritePng(m, 6, 5, colours);
    EXPECT_EQ(Drawn(zq::LoadGraphFromFile(m.c_str(), 1, 1), 1),
              Drawn(zq::LoadGraphFromFileStd(m.c_str()), 1, 1));
    int mirrored[3], plain[3];
    ASSERT_EQ(zq::LoadDividedGraphFromFile(m.c_str(), 3, 2, 2, 3, 3, mirrored, 1, 1), 0);
    ASSERT_EQ(zq::LoadDividedGraphFromFileStd(m.c_str(), 3, 2, 2, 3, 3, plain), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Drawn(mirrored[i], 1), Drawn(plain[i], 1, 1)) << i;
    // Red beside blue, stretched to four times the size with bilinear sampling.
    WritePng(rb, 2, 1, {Rgb(255, 0, 0), Rgb(0, 0, 255)});
    EXPECT_EQ(zq::SetSamplingMode(1), 0);
    for (const int onPath : {0, 1}) {
      EXPECT_EQ(zq::DrawGraphRect(0, 0, 8, 4, zq::LoadGraphFromFile(rb.c_str(), onPath, 0), 0), 0);
      int mixed = 0;
      for (int x = 0; x < 8; ++x)
        mixed += (Pixel(x, 1) & 0xFFFFFF) != 0xFF0000 && (Pixel(x, 1) & 0xFFFFFF) != 0xFF;
      EXPECT_EQ(mixed > 0, direct3D && onPath == 1) << onPath;
    }
  }
}

// Save, set, create, set back: each option as it was.
TEST(GraphSources, OptionsSavedSetAndSetBackAreAsTheyWere) {
  // Before the start the creation options answer as their setters do; the sampling mode waits.
  EXPECT_EQ(zq::SetCreateOptionB(0) + zq::GetCreateOptionB(), 0);
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
  for (const auto& o : options) {
    const int saved = o.get();
    EXPECT_EQ(saved, o.initial);
    EXPECT_EQ(o.set(o.other) + o.get(), o.other);
    EXPECT_GE(zq::CreateGraphFromImage(&buffer), 0);
    EXPECT_EQ(o.set(saved), 0);
  }
  for (const auto& o : options) EXPECT_EQ(o.get(), o.initial);
  s.End();
  EXPECT_EQ(zq::GetSamplingMode(), -1);
}

// What cannot be a picture is refused before anything is made, read or written; so is memory
// that holds no image, and everything before the start and after the end.
TEST(GraphSources, ImpossibleBuffersAndBlocksAreRefusedWithNothingMade) {
  constexpr int X = zq::kPixelXrgb8888;
  uint8_t pixels[64] = {7};
  const zq::PixelBuffer good = {2, 2, 8, X, pixels};
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
  refused(&good, 1);
  Session s;
  const int graph = zq::CreateGraphFromImage(&good);
  const std::vector<uint32_t> before = Drawn(graph);
  const uint8_t alpha[4] = {};
  // 65535 rows of 32769 bytes pass the block limit of 2^31 - 1.
  const struct {
    int width, height, pitch, format;
    bool pixels;
    int alphaPitch;
  } bad[] = {{0, 2, 8, X, true, 0},        {65536, 2, 262144, X, true, 0},
             {2, 0, 8, X, true, 0},        {2, -2, 8, X, true, 0},
             {2, 2, 7, X, true, 0},        {2, 2, -8, X, true, 0},
             {2, 2, 8, 0, true, 0},        {2, 2, 8, 7, true, 0},
             {2, 2, 8, X, false, 0},       {2, 2, 8, zq::kPixelIndexed8, true, 0},  // no palette
             {2, 2, 8, X, true, 1},        {2, 65535, 32769, X, true, 0},
             {2, 65535, 8, X, true, 32769}};
  for (const auto& c : bad) {
    const uint8_t *p = c.pixels ? pixels : nullptr, *a = c.alphaPitch ? alpha : nullptr;
    const zq::PixelBuffer b = {c.width, c.height, c.pitch, c.format, p, nullptr, a, c.alphaPitch};
    refused(&b, graph);
  }
  refused(nullptr, graph);
  const Bytes widest(65535 * 4);  // the largest sides are not refused
  for (const auto& [w, h] : {std::pair{65535, 1}, {1, 65535}}) {
    const zq::PixelBuffer b = {w, h, w * 4, X, widest.data()};
    EXPECT_GE(zq::CreateGraphFromImage(&b), 0) << w;
  }
  const zq::PixelBuffer wider = {3, 2, 12, X, pixels};
  EXPECT_EQ(zq::SetGraphImage(&wider, graph), -1);
  for (const size_t alphaSize : {size_t(1), size_t(0)})  // no image; an empty alpha block
    EXPECT_EQ(zq::LoadGraphFromMemory(pixels, sizeof pixels, pixels, alphaSize), -1);
  EXPECT_EQ(Drawn(graph), before);
  const std::string log = s.Log();
  for (const char* line :
       {"( 幅 0 高さ 2 ピッチ 8 形式 5 アルファピッチ 0 ) in CreateGraphFromImage",
        "( 幅 2 高さ 65535 ピッチ 8 形式 5 アルファピッチ 32769 ) in SetGraphImage",
        "大きさが違います( 2 x 2 と 3 x 2 ) in SetGraphImage",
        "メモリ上の画像データの指定が不正です in LoadGraphFromMemory",
        "メモリ上の画像データの指定が不正です in LoadDividedGraphFromMemory",
        "メモリ上の画像データを読み込めませんでした in LoadGraphFromMemory"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
  s.End();
  refused(&good, graph);
}

}  // namespace
