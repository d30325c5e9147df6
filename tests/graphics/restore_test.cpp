// Restore after display loss: every graph kind through a light restore and a rebuild, the
// decodes of the reload, the callback, and the window procedure's two rebuilds.
#include "graphics/restore.h"

#include <png.h>

#include "graph_load_test_util.h"
#include "graphics/draw_front.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/graph_load.h"
#include "graphics/image/image_decode.h"
#include "graphics/library_init.h"
#include "graphics/mask.h"
#include "graphics/mask_fill.h"
#include "graphics/movie.h"
#include "graphics/screen_readback.h"
#include "graphics/surface_piece.h"
#include "platform/ddraw/surface_access.h"
#include "support/library_fixture.h"
#include "support/movie_files.h"

namespace zq::gfx {
namespace {

namespace fs = std::filesystem;
using test::LibrarySession;

// Channels 0x00..0xB0 in steps of 16: no store format makes a 0xCD byte of them.
uint32_t C(int x, int y) {
  return uint32_t((x * 3 + y) % 12) << 20 | uint32_t((x + y * 5) % 12) << 12 |
         uint32_t((x * 7 + y * 3) % 12) << 4;
}
void Png(const std::string& name, bool gray, int w, int h) {
  std::vector<uint8_t> px;
  for (int i = 0; i < w * h; ++i)
    for (int s : gray ? std::vector{8} : std::vector{16, 8, 0}) px.push_back(C(i % w, i / w) >> s);
  png_image im{.version = PNG_IMAGE_VERSION, .width = png_uint_32(w), .height = png_uint_32(h)};
  im.format = gray ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
  ASSERT_TRUE(png_image_write_to_file(&im, name.c_str(), 0, px.data(), 0, nullptr));
}

// Every pixel of the stores behind a graph's pieces, masked to the store's channels; with
// poison, a store that is a DirectDraw surface reads as restored in place without its pixels.
std::vector<uint32_t> Pixels(HandleValue graph, bool poison = false) {
  std::vector<uint32_t> out;
  const GraphRecord* g = GetGraphRecord(graph);
  for (int i = 0; g != nullptr && i < g->PieceCount; ++i) {
    const HandleValue store = GetPieceStore(g->Pieces[i]);
    const SurfaceDataRecord* rec = GetSurfaceDataRecord(store);
    int32_t pitch = 0;
    void* bits = nullptr;
    const ColorData* f = nullptr;
    if (LockSurfaceData(store, &pitch, &bits, 0, nullptr, &f) < 0) return {0xBAD};
    const uint32_t mask = f->PixelByte == 1 ? 0xFF : f->RM | f->GM | f->BM | f->AM;
    for (int y = 0; y < rec->Height; ++y)
      for (int x = 0; x < rec->Width; ++x) {
        uint32_t v = 0;
        std::memcpy(&v, static_cast<uint8_t*>(bits) + y * pitch + x * f->PixelByte, f->PixelByte);
        out.push_back((poison && rec->SoftwareFlag == 0 ? 0xCDCDCDCDu : v) & mask);
      }
    UnlockSurfaceData(store, nullptr);
  }
  return out;
}

size_t Count(const std::string& log, const std::string& line) {
  size_t n = 0;
  for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++n;
  return n;
}

// "AB" rendered into the font's cache; its two cells (the whole cache graph of a texture cache).
std::vector<uint32_t> Glyphs(HandleValue font) {
  const uint8_t ab[] = {'A', 0, 0, 'B', 0, 0};
  RenderGlyphToCache(2, ab, font);
  const FontRecord* f = GetFontRecord(font);
  if (f->TextureCache) return Pixels(f->CacheGraph);
  return {f->CacheBitmap, f->CacheBitmap + 2 * f->CellSize * f->CachePitch};
}

// "AB" drawn in red with a blue edge on the cleared back buffer: each pixel of its corner as 0
// (black), 1 (red), 2 (blue) or 3, whatever the screen's format.
std::vector<int> Text(HandleValue font) {
  SelectDrawScreen(kDrawScreenBack);
  ClearTargetScreen();
  EXPECT_EQ(DrawStringWithFont(1, 1, "AB", GetScreenColorValue(255, 0, 0), font,
                               GetScreenColorValue(0, 0, 255), 0),
            0);
  std::vector<int> out;
  for (int i = 0; i < 40 * 24; ++i) {
    uint32_t v = 0;
    int r = 0, g = 0, b = 0;
    GetDrawScreenPixel(i % 40, i / 40, &v);
    SplitScreenColorValue(v, &r, &g, &b);
    out.push_back(g > 127 ? 3 : (r > 127) + 2 * (b > 127));
  }
  return out;
}

TEST(Restore, EveryGraphKindComesBackFromALightRestoreAndARebuild) {
  struct Row {
    test::LibraryOptions options;
    uint32_t desktopBits;  // of the desktop changed to, which the screen format then has
    int devices;           // Direct3D devices made by the rebuild
  } rows[] = {{{.bits = 16, .softwareScreen = false}, 16, 0},
              {{.bits = 32, .softwareScreen = false}, 32, 0},
              {{.bits = 16}, 32, 0},
              {{.bits = 32, .softwareScreen = false, .direct3D = true}, 32, 1}};
  for (const Row& row : rows) {
    LibrarySession lib(row.options);
    // Longer than 128 characters, and not the current directory at the rebuild.
    const std::string deep = std::string(130, 'd') + "/";
    fs::create_directory(deep);
    test::WriteFile(deep + "w.bmp", test::Bmp24(2060, 3, C));  // two textures on Direct3D
    test::WriteFile(deep + "p.bmp", test::Bmp8(6, 5, {0x102030, 0xA0B000},
                                               [](int x, int y) { return uint8_t((x + y) % 2); }));
    test::WriteFile(deep + "gone.bmp", test::Bmp24(4, 4, C));
    Png(deep + "c.png", false, 12, 4);
    Png(deep + "c_a.png", true, 12, 4);
    ASSERT_TRUE(test::WriteMovie("m.nut", test::kFfv1Nut, 8, 8, 3));
    const HandleValue movie = LoadGraphFromFileStd("m.nut");
    PlayMovieGraph(movie);
    ASSERT_EQ(base::FileAccessSetDir(deep.c_str()), 0);
    auto loadAll = [] {
      std::vector<HandleValue> v = {LoadGraphFromFileStd("w.bmp"), LoadGraphFromFileStd("c.png"),
                                    LoadGraphFromFileStd("p.bmp"),
                                    LoadGraphFromFile("w.bmp", 1, 1, 0)};
      v.push_back(DeriveGraphRect(2040, 1, 9, 2, v[0]));
      v.resize(8);
      EXPECT_EQ(LoadDividedGraphFromFile("c.png", 3, 3, 1, 4, 4, &v[5], 1, 0), 0);
      return v;
    };
    const std::vector<HandleValue> files = loadAll();
    std::vector<HandleValue> all = files;
    all.push_back(LoadGraphFromFileStd("gone.bmp"));
    fs::remove(deep + "gone.bmp");
    ASSERT_EQ(base::FileAccessSetDir(lib.Dir().c_str()), 0);
    GraphImage image{};
    const test::Bytes bmp = test::Bmp24(5, 3, C);
    ASSERT_EQ(DecodeImageFile(nullptr, bmp.data(), bmp.size(), 1, &image, 0), 0);
    all.push_back(CreateGraphFromImage(&image, nullptr, 1, 0, 0));
    ReleaseImageBuffers(&image);
    SetCreateOptionFlag(1);
    all.push_back(CreateEmptyGraph(8, 8));  // drawn into
    SetCreateOptionFlag(0);
    FillGraphColor(all.back(), 0x10, 0x20, 0x30, 255);
    const HandleValue font =
        CreateFontToHandle(platform::kSyntheticFaceName, 16, 5, 1, -1, 2, -1, -1);
    SetFontCharSpacing(3, font);
    uint64_t calls = platform::gditest::GlyphOutlineCallCount();
    const std::vector<uint32_t> glyphs = Glyphs(font);
    const uint64_t glyphCalls = platform::gditest::GlyphOutlineCallCount() - calls;
    const std::vector<int> text = Text(font);
    EXPECT_EQ(GetFontRecord(font)->TextureCache, row.devices);  // a texture cache on Direct3D
    EXPECT_TRUE(std::count(text.begin(), text.end(), 1) > 20 &&
                std::count(text.begin(), text.end(), 2) > 20);
    ASSERT_EQ(CreateMaskScreen(), 0);
    FillMaskRect(0, 0, 2, 1, 1);
    std::vector<std::vector<uint32_t>> light;
    for (HandleValue h : all) light.push_back(Pixels(h, true)), DrawGraphAt(0, 0, h, 0);

    platform::ddtest::MakeAllSurfacesLost();
    platform::InjectDeactivate();
    ASSERT_EQ(ProcessMessage(), 0);
    platform::InjectActivate();
    DrawGraphAt(0, 0, files[0], 0);  // waits for the activation, which restores in place
    const MovieRecord* m = GetMovieRecord(GetGraphRecord(movie)->Movie);
    for (auto* s : {g_DD.PrimarySurface, g_DD.BackSurface, m->FrameSurface})
      EXPECT_EQ(s->IsLost(), platform::DD_OK);
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(Pixels(all[i]), light[i]) << i;

    const int live = platform::ddtest::LiveSurfaceCount();
    const int devices = platform::d3dtest::GetCounters().createDevice;
    const size_t logged = lib.Log().size();
    char before[4096], after[4096];
    ASSERT_EQ(base::FileAccessGetDir(before, sizeof before), 0);
    platform::InjectDisplayModeChange(1280, 1024, platform::AdapterPixelFormat(row.desktopBits));
    ASSERT_EQ(ProcessMessage(), 0);
    ASSERT_EQ(base::FileAccessGetDir(after, sizeof after), 0);
    EXPECT_STREQ(after, before);
    EXPECT_EQ(std::vector({platform::ddtest::LiveSurfaceCount(),
                           platform::d3dtest::GetCounters().createDevice - devices,
                           int(GetScreenColorData()->ColorBitDepth)}),
              std::vector({live, row.devices, int(row.desktopBits)}));
    const std::string log = lib.Log().substr(logged);
    EXPECT_EQ(Count(log, "ファイル:gone.bmp がロードできませんでした"), 1u);
    size_t at = 0;  // the steps in their order
    for (const char* line :
         {"画面のピクセルフォーマット", "Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します",
          "メインサーフェスを破棄をします", "入力関連の終了処理",
          "ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します",
          "Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します", "グラフィックを復帰します"})
      EXPECT_NE(at = log.find(line, at), std::string::npos) << line;
    EXPECT_EQ(
        std::vector({GetGraphRecord(all[8])->NeedsRestore, GetGraphRecord(all[9])->NeedsRestore,
                     GetGraphRecord(all[10])->NeedsRestore}),
        std::vector({0, 1, 1}));
    const FontRecord* f = GetFontRecord(font);  // the same handle, rendering again
    ASSERT_NE(f, nullptr);
    calls = platform::gditest::GlyphOutlineCallCount();
    EXPECT_EQ(std::vector({f->EdgeSize, f->CharSpacing, int(f->Entries[0].InUse)}),
              std::vector({2, 3, 0}));
    EXPECT_EQ(Glyphs(font), glyphs);
    EXPECT_EQ(platform::gditest::GlyphOutlineCallCount() - calls, glyphCalls);
    EXPECT_EQ(Text(font), text);
    m = GetMovieRecord(GetGraphRecord(movie)->Movie);  // the movie goes on
    EXPECT_TRUE(m != nullptr && m->FrameSurface != nullptr && m->PlayingFlag == 1 &&
                m->DirectDraw4 == GetDirectDrawObject());
    EXPECT_TRUE(MaskLayerExists() == 1 && GetMaskPattern(nullptr)[1] == 1 &&
                (GetMaskSurface() == nullptr ||
                 platform::SurfaceAccess::Owner(GetMaskSurface()) == GetDirectDrawObject()));

    ASSERT_EQ(base::FileAccessSetDir(deep.c_str()), 0);
    const std::vector<HandleValue> fresh = loadAll();
    for (size_t i = 0; i < files.size(); ++i) {
      const std::vector<uint32_t> p = Pixels(files[i]);
      EXPECT_EQ(GetGraphRecord(files[i])->NeedsRestore, 0);
      EXPECT_EQ(p, Pixels(fresh[i])) << i;
      for (uint32_t v : p)
        ASSERT_TRUE((v & 0xFF) != 0xCD && (v >> 8 & 0xFF) != 0xCD && (v >> 16 & 0xFF) != 0xCD);
    }
  }
}

int g_decodes = 0, g_callbacks = 0;

TEST(Restore, EachFileIsDecodedOnceForARunOfGraphsAndTheCallbackReplacesTheReload) {
  LibrarySession lib;
  EXPECT_EQ(std::vector({RestoreGraphSurfaces(-1), RestoreAllGraphSurfaces()}),
            std::vector({-1, 0}));
  for (const char* name : {"a.bmp", "b.bmp", "gone.bmp"})
    test::WriteFile(name, test::Bmp24(8, 4, C));
  for (int i = 0; i < 3; ++i) CreateEmptyGraph(4, 4);  // slots 0-2; the base graph takes 3
  HandleValue h[7];
  ASSERT_EQ(LoadDividedGraphFromFile("a.bmp", 3, 3, 1, 2, 4, h, 1, 0), 0);
  h[3] = LoadGraphFromFileStd("b.bmp");
  CreateEmptyGraph(4, 4);  // between two graphs of b: the run goes on
  h[4] = LoadGraphFromFileStd("b.bmp");
  h[5] = LoadGraphFromFile("b.bmp", 1, 1, 0);
  fs::create_directory("sub");
  test::WriteFile("sub/gone.bmp", test::Bmp24(8, 4, C));
  ASSERT_EQ(base::FileAccessSetDir("sub"), 0);
  h[6] = LoadGraphFromFileStd("gone.bmp");
  ASSERT_EQ(base::FileAccessSetDir(lib.Dir().c_str()), 0);
  DeriveGraphRect(0, 0, 2, 2, h[6]);  // the next graph of the failed file tries again
  fs::remove_all("sub");              // and the gone.bmp beside a.bmp must not be taken instead
  EXPECT_EQ(std::vector({HandleSlot(h[0]), HandleSlot(h[2]), HandleSlot(h[3])}),
            std::vector({4, 6, 7}));
  AddUserImageReader([](base::DataStream*, GraphImage*) { return ++g_decodes, -1; });
  const size_t logged = lib.Log().size();
  EXPECT_EQ(RebuildGraphicsAfterModeChange(), 0);
  ClearUserImageReaders();
  const std::string log = lib.Log().substr(logged);
  EXPECT_EQ(std::vector({g_decodes, int(Count(log, "をロードします")),
                         int(Count(log, "ファイル:gone.bmp がロードできませんでした"))}),
            std::vector({3, 5, 2}));

  EXPECT_EQ(SetGraphRestoreCallback([] { ++g_callbacks; }), 0);
  RebuildGraphicsAfterModeChange();
  EXPECT_EQ(g_callbacks, 1);
  EXPECT_EQ(GetGraphRecord(h[0])->NeedsRestore, 1);
  EXPECT_EQ(Count(lib.Log().substr(logged), "グラフィックを復帰します"), 1u);
  SetGraphRestoreCallback(nullptr);
  EXPECT_EQ(HasGraphRestoreCallback(), 1);
  lib.End();
  EXPECT_EQ(RestoreAllGraphSurfaces(), 0);  // not started: nothing to touch
}

TEST(Restore, ReturningToFullScreenRebuildsOnce) {
  LibrarySession full({.windowed = false});
  for (auto inject :
       {platform::InjectDeactivate, platform::InjectActivate, platform::InjectActivate}) {
    inject();
    ASSERT_EQ(ProcessMessage(), 0);
    EXPECT_EQ(Count(full.Log(), "グラフィックを復帰します"),
              inject == platform::InjectDeactivate ? 0u : 1u);
  }
  EXPECT_EQ(g_DD.PrimarySurface->IsLost(), platform::DD_OK);
}

HandleValue g_victim = -1;

// The wait before a draw may run a rebuild whose callback deletes the very graph being drawn;
// deleting the draw screen selects the front buffer first, which waits in the same way.
TEST(Restore, CallsWaitingThroughARebuildReadTheGraphAfterTheWait) {
  LibrarySession full({.windowed = false});
  SetGraphRestoreCallback([] { DeleteGraphHandle(g_victim, 0); });
  int (*const calls[])(HandleValue) = {
      [](HandleValue g) { return DrawGraphAt(0, 0, g, 0); },
      [](HandleValue g) { return DrawGraphRect(0, 0, 9, 9, g, 0); },
      [](HandleValue g) { return DrawGraphRotScaledF(4, 4, 1.0, 0.5, g, 0, 0); },
      [](HandleValue g) { return DrawGraphFourCorners(0, 0, 8, 0, 8, 8, 0, 8, g, 0); },
      [](HandleValue g) { return DeleteGraphHandle(g, 0); }};
  for (int i = 0; i < 5; ++i) {
    SetCreateOptionFlag(i == 4 ? 1 : 0);
    g_victim = CreateEmptyGraph(8, 8);
    SetCreateOptionFlag(0);
    if (i == 4) {
      ASSERT_EQ(SelectDrawScreen(g_victim), 0);
    }
    platform::InjectDeactivate();
    ASSERT_EQ(ProcessMessage(), 0);
    platform::InjectActivate();
    EXPECT_EQ(calls[i](g_victim), -1) << i;
  }
  EXPECT_EQ(GetDrawScreenHandle(), kDrawScreenFront);
  SetGraphRestoreCallback(nullptr);
}

// Messages still queued when the library ends reach the window procedure after the graphics
// are gone: neither a rebuild nor a restore may run then.
TEST(Restore, MessagesHandledWhileTheLibraryEndsRebuildNothing) {
  for (bool windowed : {false, true}) {
    LibrarySession lib({.softwareScreen = false, .windowed = windowed});
    platform::InjectDeactivate();
    ASSERT_EQ(ProcessMessage(), 0);
    platform::InjectActivate();
    platform::InjectDisplayModeChange(1280, 1024, platform::AdapterPixelFormat(32));
    const size_t logged = lib.Log().size();
    lib.End();
    EXPECT_EQ(lib.Log().find("グラフィックを復帰します", logged), std::string::npos);
    EXPECT_EQ(platform::ddtest::LiveSurfaceCount(), 0);
  }
}

}  // namespace
}  // namespace zq::gfx
