#include "graphics/graph_load.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "base/file_access.h"
#include "graph_load_test_util.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/graph.h"
#include "graphics/image/image_decode.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using test::Bmp24;
using test::LibrarySession;
using test::Pattern;
using test::PieceOf;
using test::StorePixel;
using test::WriteFile;
using test::Xrgb;

constexpr HandleValue kUntouched = 0x5A5A5A5A;

std::string CurrentDir() {
  char dir[256];
  EXPECT_EQ(base::FileAccessGetDir(dir, sizeof dir), 0);
  return dir;
}

void ExpectCellAt(HandleValue cell, int srcX, int srcY, int width, int height) {
  const GraphRecord* g = GetGraphRecord(cell);
  ASSERT_NE(g, nullptr);
  ASSERT_NE(PieceOf(cell), nullptr);
  EXPECT_EQ(std::tuple(PieceOf(cell)->SrcX, PieceOf(cell)->SrcY, g->Width, g->Height),
            std::tuple(srcX, srcY, width, height));
}

// A library session whose file directory is the session's.
struct Session {
  explicit Session(bool withFont = true) {
    if (!withFont) DeleteFontHandle(GetDefaultFontHandle());  // its draw screen holds a store
  }
  LibrarySession lib{{.bits = 32}};
  test::FileDirScope dirScope{lib.Dir()};
};

// ---- Divided loads ----

TEST(LoadDividedGraph, CellsRowByRowWithNamesAndPixels) {
  Session s;
  const std::string name = WriteFile("grid.bmp", Bmp24(64, 64, Pattern));
  HandleValue cells[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
  ASSERT_EQ(LoadDividedGraphFromFileStd(name.c_str(), 3, 2, 2, 32, 32, cells), 0);
  ExpectCellAt(cells[0], 0, 0, 32, 32);
  ExpectCellAt(cells[1], 32, 0, 32, 32);
  ExpectCellAt(cells[2], 0, 32, 32, 32);
  EXPECT_EQ(cells[3], kUntouched);
  // The base graph is gone; the three cells share one store.
  EXPECT_EQ(GraphHandleTable().Count(), 3);
  EXPECT_EQ(PieceOf(cells[0])->SurfaceData, PieceOf(cells[2])->SurfaceData);
  for (int i = 0; i < 3; ++i) {
    const GraphRecord* g = GetGraphRecord(cells[i]);
    EXPECT_STREQ(g->FileName, "grid.bmp");
    EXPECT_EQ(std::string(g->Directory), CurrentDir());
    EXPECT_EQ(g->LoadFlags, 0u);
    EXPECT_EQ(std::tuple(g->SrcX, g->SrcY), std::tuple(32 * (i % 2), 32 * (i / 2)));
  }
  // Each cell shows its own part of the picture.
  EXPECT_EQ(StorePixel(cells[1], 0, 0), Xrgb(Pattern(32, 0)));
  EXPECT_EQ(StorePixel(cells[2], 5, 7), Xrgb(Pattern(5, 39)));
  EXPECT_EQ(StorePixel(cells[0], 31, 31), Xrgb(Pattern(31, 31)));

  // Mirrored cells come from the right: entry 0 is the top-left cell of the unmirrored picture,
  // shown mirrored. A reload must decode the file mirrored too.
  HandleValue mirrored[3];
  ASSERT_EQ(LoadDividedGraphFromFile(name.c_str(), 3, 2, 2, 32, 32, mirrored, 1, 1), 0);
  ExpectCellAt(mirrored[0], 32, 0, 32, 32);
  ExpectCellAt(mirrored[1], 0, 0, 32, 32);
  ExpectCellAt(mirrored[2], 32, 32, 32, 32);
  EXPECT_EQ(StorePixel(mirrored[0], 0, 0), Xrgb(Pattern(31, 0)));
  EXPECT_EQ(StorePixel(mirrored[0], 31, 4), Xrgb(Pattern(0, 4)));
  EXPECT_EQ(StorePixel(mirrored[1], 0, 0), Xrgb(Pattern(63, 0)));
  EXPECT_EQ(StorePixel(mirrored[2], 3, 3), Xrgb(Pattern(28, 35)));
  for (HandleValue c : mirrored) EXPECT_EQ(GetGraphRecord(c)->LoadFlags, kLoadFlagMirror);
}

TEST(LoadDividedGraph, DivisionThatDoesNotFitLeavesNoGraphAndNoNames) {
  Session s(false);
  const std::string name = WriteFile("wide.bmp", Bmp24(64, 32, Pattern));
  // Entries 2 and 3 hold unrelated graphs: a failed load must not rename them.
  const HandleValue other = CreateEmptyGraph(8, 8);
  ASSERT_EQ(SetGraphSourcePath(other, "other.bmp"), 0);
  HandleValue cells[4] = {kUntouched, kUntouched, other, other};
  EXPECT_EQ(LoadDividedGraphFromFileStd(name.c_str(), 4, 2, 2, 32, 32, cells), -1);
  EXPECT_NE(
      s.lib.Log().find("グラフィックの分割に失敗しました in CreateDivGraphFromGraphImage\r\n"),
      std::string::npos);
  // Cells 0 and 1 and the base were deleted; only the unrelated graph lives.
  EXPECT_EQ(GraphHandleTable().Count(), 1);
  EXPECT_EQ(GetGraphRecord(cells[0]), nullptr);
  EXPECT_EQ(GetGraphRecord(cells[1]), nullptr);
  EXPECT_STREQ(GetGraphRecord(other)->FileName, "other.bmp");
  ASSERT_EQ(DeleteGraphHandle(other, 0), 0);
  EXPECT_EQ(Surface2DTable().Count(), 0);
  EXPECT_EQ(SurfaceDataTable().Count(), 0);
}

TEST(LoadDividedGraph, TotalBeyondTheGridEmptyCountsAndClippedCells) {
  Session s;
  const std::string name = WriteFile("grid.bmp", Bmp24(64, 64, Pattern));
  const HandleValue other = CreateEmptyGraph(8, 8);
  ASSERT_EQ(SetGraphSourcePath(other, "other.bmp"), 0);
  HandleValue cells[5] = {kUntouched, kUntouched, kUntouched, kUntouched, other};
  ASSERT_EQ(LoadDividedGraphFromFileStd(name.c_str(), 5, 2, 2, 32, 32, cells), 0);
  ExpectCellAt(cells[3], 32, 32, 32, 32);
  EXPECT_EQ(cells[4], other);
  EXPECT_STREQ(GetGraphRecord(other)->FileName, "other.bmp");
  EXPECT_EQ(GraphHandleTable().Count(), 5);
  // No cell asked for: the base graph is deleted and nothing is written.
  HandleValue none[1] = {kUntouched};
  EXPECT_EQ(LoadDividedGraphFromFileStd(name.c_str(), 0, 2, 2, 32, 32, none), 0);
  EXPECT_EQ(LoadDividedGraphFromFileStd(name.c_str(), 3, 0, 2, 32, 32, none), 0);
  EXPECT_EQ(LoadDividedGraphFromFileStd(name.c_str(), 3, 2, -1, 32, 32, none), 0);
  EXPECT_EQ(none[0], kUntouched);
  EXPECT_EQ(GraphHandleTable().Count(), 5);
  // Cells clipped at the edge; a step whose position overflows cannot start inside the picture.
  const std::string odd = WriteFile("odd.bmp", Bmp24(50, 20, Pattern));
  HandleValue clipped[2], big[2];
  ASSERT_EQ(LoadDividedGraphFromFileStd(odd.c_str(), 2, 2, 1, 32, 32, clipped), 0);
  ExpectCellAt(clipped[0], 0, 0, 32, 20);
  ExpectCellAt(clipped[1], 32, 0, 18, 20);
  EXPECT_EQ(LoadDividedGraphFromFileStd(odd.c_str(), 2, 2, 1, 0x7FFFFFFF, 1, big), -1);
  EXPECT_EQ(GraphHandleTable().Count(), 7);
}

TEST(CreateDivGraphFromGraphImage, FailedBaseIsAFailureWhateverTheCounts) {
  Session s;
  GraphImage image{}, alpha{};
  SetupColorDataRGB24(&image.Format);
  image.Width = 4, image.Height = 4, image.Pitch = 12;
  uint8_t pixels[48] = {};
  image.Pixels = pixels;
  alpha = image;
  alpha.Width = 3;  // refused as alpha companion: the base graph fails
  HandleValue cells[1] = {kUntouched};
  EXPECT_EQ(CreateDivGraphFromGraphImage(&image, &alpha, 0, 1, 1, 2, 2, cells, 1, 0, 0), -1);
  EXPECT_EQ(CreateDivGraphFromGraphImage(&image, &alpha, 1, 1, 1, 2, 2, cells, 1, 0, 0), -1);
  EXPECT_EQ(cells[0], kUntouched);
  // A working base with no cell asked for is a success that leaves nothing; no array fails.
  EXPECT_EQ(CreateDivGraphFromGraphImage(&image, nullptr, 0, 1, 1, 2, 2, cells, 1, 0, 0), 0);
  EXPECT_EQ(CreateDivGraphFromGraphImage(&image, nullptr, 1, 1, 1, 2, 2, nullptr, 1, 0, 0), -1);
  EXPECT_EQ(GraphHandleTable().Count(), 0);
}

// ---- Single loads, flags and names ----

TEST(LoadGraph, PaletteAndAlphaFlagsFollowTheFileKind) {
  Session s;
  WriteFile("pal.bmp", test::Bmp8(3, 2, {0x102030, 0xA0B0C0}, [](int x, int) { return x & 1; }));
  WriteFile("rgb.bmp", Bmp24(3, 2, Pattern));
  WriteFile("keyed.bmp", Bmp24(3, 2, Pattern));
  WriteFile("keyed_a.bmp", Bmp24(3, 2, [](int x, int) { return uint32_t(x * 100) << 16; }));
  // An 8-bit picture with an alpha companion takes an alpha channel instead of a palette.
  WriteFile("palkeyed.bmp", test::Bmp8(3, 2, {0x102030}, [](int, int) { return 0; }));
  WriteFile("palkeyed_a.bmp", Bmp24(3, 2, Pattern));
  WriteFile("rgba.png", test::ReadFile(std::string(ZQ_TEST_DATA_DIR) + "/png/rgba8.png"));
  const struct {
    const char* name;
    int alpha, palette;
  } cases[] = {
      // clang-format off
      {"pal.bmp", 0, 1}, {"rgb.bmp", 0, 0}, {"keyed.bmp", 1, 0}, {"palkeyed.bmp", 1, 0},
      {"rgba.png", 1, 0},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const HandleValue g = LoadGraphFromFileStd(c.name);
    ASSERT_NE(g, -1);
    const GraphRecord* r = GetGraphRecord(g);
    EXPECT_EQ(std::tuple(r->Options.AlphaChFlag, r->Options.PaletteFlag),
              std::tuple(c.alpha, c.palette));
    EXPECT_EQ(std::tuple(int(test::StoreOf(g)->Image.AlphaFlag),
                         int(test::StoreOf(g)->Image.PaletteFlag)),
              std::tuple(c.alpha, c.palette));
    EXPECT_STREQ(r->FileName, c.name);
  }
  // An alpha companion one pixel narrower is refused without a log line.
  WriteFile("ship.bmp", Bmp24(4, 4, Pattern));
  WriteFile("ship_a.bmp", Bmp24(3, 4, Pattern));
  const size_t before = s.lib.Log().size();
  EXPECT_EQ(LoadGraphFromFileStd("ship.bmp"), -1);
  EXPECT_EQ(s.lib.Log().size(), before);
  EXPECT_EQ(GraphHandleTable().Count(), 5);
}

TEST(LoadGraph, MissingFileAndUndecodableFile) {
  Session s;
  EXPECT_EQ(LoadGraphFromFileStd("nothere.bmp"), -1);
  EXPECT_NE(s.lib.Log().find("グラフィックファイル nothere.bmp がありません"), std::string::npos);
  HandleValue cells[1];
  EXPECT_EQ(LoadDividedGraphFromFileStd("gone.bmp", 1, 1, 1, 1, 1, cells), -1);
  EXPECT_NE(s.lib.Log().find("右記のグラフィックファイルのロードに失敗しました：gone.bmp"),
            std::string::npos);
  EXPECT_EQ(LoadGraphFromFileStd(nullptr), -1);

  // A file no reader takes is offered to the movie open, which refuses what holds no movie; the
  // creation settings stay as they were.
  WriteFile("junk.bin", test::Bytes(64, 0x11));
  SetCreateColorBitDepth(32);
  SetCreateAlphaChannelFlag(1);
  EXPECT_EQ(LoadGraphFromFileStd("junk.bin"), -1);
  // One line end: no empty time-stamped line follows.
  const std::string log = s.lib.Log();
  const std::string line = "右記のグラフィックファイルのロードに失敗しました：junk.bin \r\n";
  const size_t at = log.find(line);
  ASSERT_NE(at, std::string::npos);
  EXPECT_FALSE(std::regex_search(log.substr(at + line.size()), std::regex("^[0-9]+:\r\n")));
  EXPECT_EQ(std::tuple(GetCreateColorBitDepth(), GetCreateAlphaChannelFlag(), GetCreateOptionD(),
                       GetChooseDirect3DGraphs()),
            std::tuple(32, 1, 0, 1));
  EXPECT_EQ(GraphHandleTable().Count(), 0);
}

TEST(SetGraphSourcePath, NamesThatDoNotFitAreNotKeptCut) {
  Session s;
  const HandleValue g = CreateEmptyGraph(4, 4);
  const struct {
    std::string name;
    const char* fileName;  // null: the name itself
    bool directory;
  } cases[] = {{std::string(63, 'a'), nullptr, true}, {std::string(64, 'b'), "", false}};
  for (const auto& c : cases) {
    ASSERT_EQ(SetGraphSourcePath(g, c.name.c_str()), 0);
    EXPECT_EQ(std::string(GetGraphRecord(g)->FileName), c.fileName ? c.fileName : c.name);
    EXPECT_EQ(std::string(GetGraphRecord(g)->Directory), c.directory ? CurrentDir() : "");
  }
  ASSERT_EQ(SetGraphSourcePath(g, nullptr), 0);
  EXPECT_STREQ(GetGraphRecord(g)->FileName, "");
  EXPECT_EQ(std::string(GetGraphRecord(g)->Directory), CurrentDir());
  EXPECT_EQ(SetGraphSourcePath(-1, "x"), -1);
  EXPECT_EQ(SetGraphSourcePath(g + 0x10000, "x"), -1);  // stale check counter
  // A file whose name does not fit still loads, but is not reloadable.
  const std::string longName = std::string(70, 'c') + ".bmp";
  WriteFile(longName, Bmp24(2, 2, Pattern));
  const HandleValue loaded = LoadGraphFromFileStd(longName.c_str());
  ASSERT_NE(loaded, -1);
  EXPECT_STREQ(GetGraphRecord(loaded)->FileName, "");
}

// ---- Graphs from images in memory ----

TEST(CreateGraphFromImage, MirrorHereLeavesTheCallersImagesUnchanged) {
  Session s;
  WriteFile("pic.bmp", Bmp24(5, 2, Pattern));
  WriteFile("pic_a.bmp", Bmp24(5, 2, [](int x, int y) { return uint32_t(x * 40 + y) << 16; }));
  GraphImage image{}, alpha{};
  ASSERT_EQ(LoadImageFile("pic.bmp", nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0), 0);
  const auto* bytes = static_cast<const uint8_t*>(image.Pixels);
  const test::Bytes before(bytes, bytes + image.Pitch * image.Height);
  const HandleValue g = CreateGraphFromImage(&image, &alpha, 1, 1, 1);
  ASSERT_NE(g, -1);
  EXPECT_EQ(test::Bytes(bytes, bytes + image.Pitch * image.Height), before);
  // ARGB store: colour from the mirrored picture, alpha from the mirrored companion's red.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(StorePixel(g, x, y), uint32_t((4 - x) * 40 + y) << 24 | Pattern(4 - x, y));
  EXPECT_STREQ(GetGraphRecord(g)->FileName, "");
  // Alpha image of another size, or no image: -1.
  alpha.Height = 1;
  EXPECT_EQ(CreateGraphFromImage(&image, &alpha, 1, 0, 0), -1);
  alpha.Height = 2;
  EXPECT_EQ(CreateGraphFromImage(nullptr, nullptr, 1, 0, 0), -1);
  // 0 each time; a released record is emptied, so releasing it again frees nothing twice.
  EXPECT_EQ(ReleaseImageBuffers(&image) + ReleaseImageBuffers(&image) + ReleaseImageBuffers(&alpha),
            0);
}

TEST(CreateGraphFromImage, ImagesThatCannotBeReadSafelyMakeNoGraph) {
  Session s(false);
  uint8_t pixels[64] = {};
  GraphImage image{}, empty{};
  SetupColorDataRGB24(&image.Format);
  image.Width = 4, image.Height = 2, image.Pitch = 11;  // a row needs 12 bytes
  image.Pixels = pixels;
  EXPECT_EQ(CreateGraphFromImage(&image, nullptr, 1, 0, 0), -1);
  image.Pitch = 12;
  image.Format.PixelByte = 1;  // says one byte a pixel at 24 bits
  EXPECT_EQ(CreateGraphFromImage(&image, nullptr, 1, 0, 0), -1);
  image.Format.PixelByte = 3;
  empty.Width = 4, empty.Height = 2;  // an alpha image without pixels
  EXPECT_EQ(CreateGraphFromImage(&image, &empty, 1, 0, 0), -1);
  // The graphs made for the refused writes were deleted again.
  EXPECT_EQ(GraphHandleTable().Count(), 0);
  EXPECT_EQ(SurfaceDataTable().Count(), 0);
  EXPECT_NE(CreateGraphFromImage(&image, nullptr, 1, 0, 0), -1);
}

}  // namespace
}  // namespace zq::gfx
