// Movie graphs: frames exact in every store and as FFmpeg converts them, pacing by a test clock,
// handles and failures, the temporary copy, release and rebuild, overlays, the window procedure.
#include "graphics/movie.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_session.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_front.h"
#include "graphics/graph.h"
#include "graphics/graph_load.h"
#include "graphics/library_init.h"
#include "graphics/surface_data.h"
#include "graphics/target_pixels.h"
#include "platform/os/clock.h"
#include "support/library_fixture.h"
#include "support/movie_files.h"

namespace zq::gfx {
namespace {

namespace fs = std::filesystem;
using platform::dshowtest::WaitUntilIdle;
using test::LibrarySession;
using test::MoviePixel;

constexpr int kFrames = 10;  // 25 per second: frame k is due at 40 k ms

// The platform clock, moved by hand.
class TestClock {
 public:
  TestClock() {
    platform::SetMilliSecondsOverride([this] { return now_.load(); });
  }
  ~TestClock() { platform::SetMilliSecondsOverride({}); }
  // Moves to t ms and lets the decoding threads catch up.
  void At(uint32_t t) {
    now_ = t;
    WaitUntilIdle();
  }

 private:
  std::atomic<uint32_t> now_{0};
};

// A colour cut by truncation into a format.
uint32_t Pack(uint32_t c, const ColorData& f) {
  return (c >> 16 & 255) >> (8 - f.RW) << f.RL | (c >> 8 & 255) >> (8 - f.GW) << f.GL |
         (c & 255) >> (8 - f.BW) << f.BL;
}

// Frame pixel c in the store's format: truncated into the frame's, then converted by the
// conversion rules (5:5:5 to 5:6:5 repeats the low green bit; wider frames are truncated).
uint32_t InStore(uint32_t c, const ColorData& frame, const ColorData& store) {
  if (frame.ColorBitDepth == 16 && frame.GM == 0x03E0 && store.GM == 0x07E0) {
    const uint32_t p = Pack(c, frame);
    return (p & 0x7FE0) << 1 | (p & 0x003F);
  }
  return Pack(c, store);
}

struct Store {
  const uint8_t* pixels;
  int32_t pitch;
  const ColorData* format;
};
MEMIMG& StoreImage(HandleValue graph) {
  SurfaceDataRecord* rec =
      GetSurfaceDataRecord(LookupSurface2DRecord(GetGraphRecord(graph)->Pieces[0])->SurfaceData);
  EXPECT_EQ(rec->SoftwareFlag, 1u);  // movie graphs are made in system memory
  return rec->Image;
}
Store StoreOf(HandleValue graph) {
  const Surface2DRecord* p = LookupSurface2DRecord(GetGraphRecord(graph)->Pieces[0]);
  const MEMIMG& image = StoreImage(graph);
  return {
      image.Pixels + int64_t(p->SrcY) * image.Pitch + int64_t(p->SrcX) * image.Format->PixelByte,
      image.Pitch, image.Format};
}

// The graph's store holds colour(x, y) (0xRRGGBB) by way of the frame's format.
template <class Colour>
bool Holds(HandleValue graph, const ColorData& frame, Colour colour) {
  const Store s = StoreOf(graph);
  const GraphRecord* g = GetGraphRecord(graph);
  const ColorData& f = *s.format;
  const uint32_t mask = f.RM | f.GM | f.BM;
  for (int y = 0; y < g->Height; ++y)
    for (int x = 0; x < g->Width; ++x) {
      const uint32_t want = InStore(colour(x, y), frame, f);
      uint32_t got = 0;
      std::memcpy(&got, s.pixels + int64_t(y) * s.pitch + x * f.PixelByte, f.PixelByte);
      if ((got & mask) != want) return false;
    }
  return true;
}

// The graph holds frame k (its own part of it, from (ox, oy) of the frame).
bool Shows(HandleValue graph, int k, const ColorData& frame, int ox = 0, int oy = 0) {
  return Holds(graph, frame, [&](int x, int y) { return MoviePixel(k, x + ox, y + oy); });
}

// The frame the graph shows, or -1 for none of the movie's.
int Shown(HandleValue graph) {
  const MovieRecord* m = GetMovieRecord(GetGraphRecord(graph)->Movie);
  for (int k = 0; k < kFrames; ++k)
    if (Shows(graph, k, m->FrameFormat)) return k;
  return -1;
}

// One draw's worth of frame taking after a present.
int Present(HandleValue graph) {
  CountPresent();
  EXPECT_EQ(UpdateMovieFrame(graph), 0);
  return Shown(graph);
}

void WriteOrFail(const std::string& name, test::MovieKind kind, int w, int h,
                 int frames = kFrames) {
  ASSERT_TRUE(test::WriteMovie(name, kind, w, h, frames)) << name;
}

// ---- Frames arrive exactly -------------------------------------------------------------------

TEST(Movie, EveryFrameArrivesExactlyInEveryStore) {
  struct Row {
    const char* what;
    int bits;
    bool software;
    platform::PixelFormat (*desktop)();
    uint32_t padding;
    int mode;
    test::MovieKind kind;
    int w, h;
    bool derived;
    int frameBits;
    uint32_t frameRed;
  };
  const Row rows[] = {
      {"soft 32", 32, true, nullptr, 0, 0, test::kFfv1Nut, 37, 23, false, 32, 0xFF0000},
      {"soft 16", 16, true, nullptr, 0, 0, test::kFfv1Mkv, 64, 48, false, 16, 0xF800},
      {"565 desktop, padded", 16, false, platform::PixelFormatRGB565, 12, 0, test::kRawAvi, 37, 23,
       false, 16, 0xF800},
      {"555 desktop", 16, false, platform::PixelFormatRGB555, 4, 0, test::kFfv1Nut, 64, 48, false,
       16, 0x7C00},
      {"24-bit frames", 16, true, nullptr, 0, 2, test::kFfv1Mkv, 37, 23, false, 24, 0xFF0000},
      // A display format no sample takes: the stream decodes into a surface of its own.
      {"blue-high desktop", 32, false,
       [] {
         return platform::PixelFormat{
             sizeof(platform::PixelFormat), platform::PF_RGB, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0};
       },
       0, 0, test::kFfv1Nut, 37, 23, false, 32, 0xFF0000},
      {"derived graph", 32, true, nullptr, 0, 0, test::kFfv1Nut, 64, 48, true, 32, 0xFF0000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    LibrarySession lib({.bits = row.bits, .softwareScreen = row.software, .start = false});
    if (row.desktop != nullptr) {
      ASSERT_TRUE(platform::SetDesktop(800, 600, row.desktop()));
    }
    platform::ddtest::SetPitchPadding(row.padding);
    ASSERT_EQ(lib.Start(), 0);
    TestClock clock;
    WriteOrFail("m", row.kind, row.w, row.h);
    const HandleValue g = LoadGraphFromFile("m", 1, 0, row.mode);
    ASSERT_GE(g, 0);
    const MovieRecord* m = GetMovieRecord(GetGraphRecord(g)->Movie);
    EXPECT_EQ(m->FrameFormat.ColorBitDepth, row.frameBits);
    EXPECT_EQ(m->FrameFormat.RM, row.frameRed);
    const HandleValue shown = row.derived ? DeriveGraphRect(5, 3, 20, 40, g) : g;
    EXPECT_EQ(PlayMovieGraph(g), 0);
    StoreImage(g).RunLengthFlag = 1;
    for (int k = 0; k < kFrames; ++k) {
      clock.At(uint32_t(40 * k));
      CountPresent();
      EXPECT_EQ(UpdateMovieFrame(shown), 0);
      EXPECT_TRUE(row.derived ? Shows(shown, k, m->FrameFormat, 5, 3) : Shows(g, k, m->FrameFormat))
          << "frame " << k;
    }
    EXPECT_EQ(StoreImage(g).RunLengthFlag, 0);  // a new frame makes the run-length stream stale
  }
}

TEST(Movie, OnDirect3DEveryTextureTakesTheFrameAndEachDrawShowsItsOwn) {
  LibrarySession lib(test::Direct3DSession(32, false));
  platform::d3dtest::SetDevices(test::DevicesWith([](platform::D3DDEVICEDESC7& d) {
    d.dwMaxTextureWidth = d.dwMaxTextureHeight = 128;  // six textures for 300 x 200
  }));
  ASSERT_EQ(lib.Start(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ClearTargetScreen();
  TestClock clock;
  WriteOrFail("m.nut", test::kFfv1Nut, 300, 200, 4);
  const HandleValue g = LoadGraphFromFileStd("m.nut");
  ASSERT_EQ(GetGraphRecord(g)->PieceCount, 6);
  // A movie graph is no draw target: the back buffer stays selected.
  EXPECT_EQ(SelectDrawScreen(g), 0);
  EXPECT_EQ(GetDrawScreenHandle(), kDrawScreenBack);
  PlayMovieGraph(g);
  // Four draws in one screen, 40 ms apart: each takes the next frame and shows it in quadrant k.
  for (int k = 0; k < 4; ++k) {
    clock.At(uint32_t(40 * k));
    ASSERT_EQ(DrawGraphAt(k % 2 * 320, k / 2 * 240, g, 0), 0);
    for (int i = 0; i < 6; ++i)
      for (int y = 0; y < test::Piece(g, i)->Height; ++y)
        for (int x = 0; x < test::Piece(g, i)->Width; ++x)
          ASSERT_EQ(test::Texel(g, i, x, y) & 0xFFFFFF,
                    MoviePixel(k, test::Piece(g, i)->GraphX + x, test::Piece(g, i)->GraphY + y));
  }
  EndCurrentScene();
  int wrong = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const bool in = x % 320 < 300 && y % 240 < 200;
      wrong += (test::TargetPixel(x, y) & 0xFFFFFF) !=
               (in ? MoviePixel(x / 320 + y / 240 * 2, x % 320, y % 240) : 0u);
    }
  EXPECT_EQ(wrong, 0);
  platform::ddtest::FailNextLock(platform::DDERR_SURFACEBUSY);
  EXPECT_EQ(G_D3D_UpdateMovieTexture(GetMovieRecord(GetGraphRecord(g)->Movie), GetGraphRecord(g)),
            -1);
  EXPECT_NE(lib.Log().find("ムービーグラフィックサーフェスのロックに失敗しました"),
            std::string::npos);
}

// ---- Frames as FFmpeg converts them ----------------------------------------------------------

// Each movie shows as FFmpeg converts it, the same from two streams with buffers of their own; a
// first frame stamped after the stream's start shows at time 0.
TEST(Movie, FramesAreFfmpegsOwnConversionOfTheFile) {
  const test::YuvMovie movies[] = {
      {"matroska", "ffv1", AV_PIX_FMT_YUV420P, 65, 49, 3, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG},
      {"matroska", "ffv1", AV_PIX_FMT_YUV420P, 134, 36, 3, AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG},
      {"avi", "mjpeg", AV_PIX_FMT_YUVJ420P, 65, 49, 3},  // full range by its format
      // Ten bits: libswscale rounds them otherwise when it writes 32-bit pixels.
      {"matroska", "ffv1", AV_PIX_FMT_YUV420P10LE, 64, 48, 3, AVCOL_SPC_BT709},
      {"matroska", "ffv1", AV_PIX_FMT_YUV420P, 66, 50, 3, AVCOL_SPC_BT2020_NCL, AVCOL_RANGE_JPEG},
      {"matroska", "ffv1", AV_PIX_FMT_YUV422P, 67, 51, 3, AVCOL_SPC_SMPTE240M},
      {"matroska", "ffv1", AV_PIX_FMT_YUV444P, 33, 17, 3, AVCOL_SPC_FCC},
      {"matroska", "ffv1", AV_PIX_FMT_YUV420P, 4097, 2, 3},
      // B-frames in AVI: the first frame's time stamp is one frame after the stream's start.
      {"avi", "mpeg4", AV_PIX_FMT_YUV420P, 134, 36, 3, {}, {}, 2},
  };
  for (int bits : {32, 16}) {  // 16-bit stores take the same frames, cut by truncation
    LibrarySession lib({.bits = bits});
    TestClock clock;
    uint32_t start = 0;
    for (const test::YuvMovie& movie : movies) {
      const std::string name = std::string("m.") + movie.muxer;
      ASSERT_TRUE(test::WriteYuvMovie(name, movie)) << movie.encoder;
      const HandleValue a = LoadGraphFromFileStd(name.c_str()),
                        b = LoadGraphFromFileStd(name.c_str());
      const ColorData& frame = GetMovieRecord(GetGraphRecord(a)->Movie)->FrameFormat;
      clock.At(start += 1000);
      for (HandleValue g : {a, b}) PlayMovieGraph(g);
      int k = 0;
      const auto compare = [&](const AVFrame& want) {
        const auto rgb = [&](int x, int y) {
          const uint8_t* c = want.data[0] + y * want.linesize[0] + x * 3;
          return uint32_t(c[0]) << 16 | c[1] << 8 | c[2];
        };
        clock.At(start + uint32_t(40 * k));
        for (HandleValue g : {a, b}) {
          CountPresent();
          EXPECT_EQ(UpdateMovieFrame(g), 0);
          EXPECT_TRUE(Holds(g, frame, rgb)) << movie.width << ", " << bits << " bits, frame " << k;
        }
        ++k;
      };
      EXPECT_EQ(test::ConvertLikeFfmpeg(name, compare), 3);
      for (HandleValue g : {a, b}) DeleteGraphHandle(g, 0);
    }
  }
}

// ---- Pacing ----------------------------------------------------------------------------------

TEST(Movie, FramesArePacedByPresentsAndTheClock) {
  LibrarySession lib({.bits = 32});
  TestClock clock;
  WriteOrFail("m.nut", test::kFfv1Nut, 37, 23);
  const HandleValue g = LoadGraphFromFileStd("m.nut");
  ASSERT_GE(g, 0);
  MovieRecord* m = GetMovieRecord(GetGraphRecord(g)->Movie);
  clock.At(0);
  EXPECT_EQ(Present(g), -1);  // not played yet: nothing decoded is shown
  EXPECT_EQ(PlayMovieGraph(g), 0);
  clock.At(30);
  EXPECT_EQ(Present(g), 0);
  clock.At(45);  // frame 1 is due, but no present and only 15 ms since the last frame
  EXPECT_EQ(UpdateMovieFrame(g), 0);
  EXPECT_EQ(Shown(g), 0);
  EXPECT_EQ(Present(g), 1);
  clock.At(85);  // no present, but 40 ms: the due frame is taken
  EXPECT_EQ(UpdateMovieFrame(g), 0);
  EXPECT_EQ(Shown(g), 2);
  clock.At(245);  // frames 3 to 6 are due: two a call
  EXPECT_EQ(Present(g), 4);
  clock.At(262);  // 17 ms without a present: nothing new
  EXPECT_EQ(UpdateMovieFrame(g), 0);
  EXPECT_EQ(Shown(g), 4);
  clock.At(263);
  EXPECT_EQ(UpdateMovieFrame(g), 0);
  EXPECT_EQ(Shown(g), 6);
  EXPECT_EQ(PauseMovieGraph(g), 0);
  clock.At(400);
  EXPECT_EQ(Present(g), 6);  // paused: frozen
  EXPECT_EQ(PlayMovieGraph(g), 0);
  clock.At(410);
  EXPECT_EQ(Present(g), 6);  // the stream resumed at 245 ms, not from the start
  clock.At(440);
  EXPECT_EQ(Present(g), 7);
  clock.At(2000);
  for (int i = 0; i < 4; ++i) Present(g);
  EXPECT_EQ(Shown(g), 9);  // the end keeps the last frame
  EXPECT_EQ(m->PlayingFlag, 0);
}

// ---- Handles and failures --------------------------------------------------------------------

TEST(Movie, HandlesAndFailures) {
  LibrarySession lib({.bits = 32});
  WriteOrFail("m.mkv", test::kFfv1Mkv, 37, 23, 2);
  HandleValue movies[100];
  int w = 0, h = 0;
  for (HandleValue& movie : movies) ASSERT_GE(movie = OpenMovieToGraph("m.mkv", &w, &h, 0), 0);
  EXPECT_EQ(std::pair(w, h), std::pair(37, 23));
  EXPECT_EQ(movies[1], movies[0] + 65536 + 1);  // the table's counter, the lowest free slot
  const size_t logSize = lib.Log().size();
  EXPECT_EQ(OpenMovieToGraph("m.mkv", nullptr, nullptr, 0), -1);
  EXPECT_EQ(lib.Log().size(), logSize);  // the 101st fails without a log line
  EXPECT_EQ(CloseMovieHandle(movies[7]), 0);
  EXPECT_EQ(GetMovieRecord(movies[7]), nullptr);
  EXPECT_EQ(CloseMovieHandle(movies[7]), -1);
  const HandleValue again = OpenMovieToGraph("m.mkv", nullptr, nullptr, 0);
  EXPECT_EQ(HandleSlot(again), 7);
  EXPECT_NE(again, movies[7]);  // the stale handle is not the new one
  EXPECT_EQ(GetMovieRecord(movies[7]), nullptr);
  movies[7] = again;
  for (HandleValue movie : movies) EXPECT_EQ(CloseMovieHandle(movie), 0);

  const HandleValue plain = CreateEmptyGraph(8, 8);
  for (auto op : {UpdateMovieFrame, PlayMovieGraph, PauseMovieGraph}) EXPECT_EQ(op(plain), 0);
  DeleteGraphHandle(plain, 0);
  for (auto op : {UpdateMovieFrame, PlayMovieGraph, PauseMovieGraph}) EXPECT_EQ(op(plain), -1);

  test::WriteSoundOnly("sound.wav");
  EXPECT_EQ(LoadGraphFromFileStd("sound.wav"), -1);
  // Each entry ends its own line.
  for (const char* entry : {"動画ファイルではない可能性があります！\r\n",
                            "ムービーファイルオープン処理時にエラーが発生しました\r\n"})
    EXPECT_NE(lib.Log().find(entry), std::string::npos) << entry;
  // A name too long for the record fails rather than being cut to another path.
  const std::string longName = std::string(130, 'd') + "/" + std::string(130, 'e') + "/m.mkv";
  fs::create_directories(fs::path(longName).parent_path());
  fs::copy_file("m.mkv", longName);
  EXPECT_EQ(LoadGraphFromFileStd(longName.c_str()), -1);
  for (const std::string& name : {longName, std::string("gone.mkv")}) {
    EXPECT_EQ(OpenMovieToGraph(name.c_str(), nullptr, nullptr, 0), -1);
    EXPECT_NE(lib.Log().find("ファイル:" + name + " が開けませんでした"), std::string::npos);
  }
}

// ---- The temporary copy ----------------------------------------------------------------------

TEST(Movie, AMovieOnlyTheFileLayerFindsPlaysFromATemporaryCopy) {
  LibrarySession lib({.bits = 32});
  const std::string tmp = (lib.Dir() / "tmpdir").string();
  fs::create_directories(tmp);
  ASSERT_EQ(setenv("TMPDIR", tmp.c_str(), 1), 0);
  auto copies = [&] { return std::distance(fs::directory_iterator(tmp), {}); };
  fs::create_directories("sub");
  WriteOrFail("sub/big.avi", test::kRawAvi, 320, 240, 8);  // 2.4 MB: three chunks
  ASSERT_GT(fs::file_size("sub/big.avi"), 2u << 20);
  const HandleValue g = LoadGraphFromFileStd("sub\\big.avi");
  ASSERT_GE(g, 0);
  const MovieRecord* m = GetMovieRecord(GetGraphRecord(g)->Movie);
  EXPECT_EQ(m->TempFileFlag, 1);
  const std::string copy = m->FileName;
  EXPECT_EQ(copy.rfind(fs::canonical(tmp).string() + "/tmp", 0), 0u) << copy;
  std::ifstream a("sub/big.avi", std::ios::binary), b(copy, std::ios::binary);
  EXPECT_TRUE(
      std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
  DeleteGraphHandle(g, 0);
  EXPECT_FALSE(fs::exists(copy));
  // When the platform cannot open a plain name either, the copy serves.
  platform::dshowtest::FailNextOpenFile();
  const HandleValue viaCopy = LoadGraphFromFileStd("sub/big.avi");
  ASSERT_GE(viaCopy, 0);
  EXPECT_EQ(GetMovieRecord(GetGraphRecord(viaCopy)->Movie)->TempFileFlag, 1);
  DeleteGraphHandle(viaCopy, 0);
  // A copy that does not open as a movie is deleted at once.
  std::ofstream("sub/junk.bin") << "not a movie at all";
  EXPECT_EQ(LoadGraphFromFileStd("sub\\junk.bin"), -1);
  EXPECT_EQ(copies(), 0);
  // One still open when the library ends goes with it, and so does its thread.
  ASSERT_GE(LoadGraphFromFileStd("sub\\big.avi"), 0);
  EXPECT_EQ(copies(), 1);
  lib.End();
  unsetenv("TMPDIR");
  EXPECT_EQ(copies(), 0);
  EXPECT_EQ(platform::dshowtest::LiveStreamCount(), 0);
}

// ---- Release and rebuild; derived graphs -----------------------------------------------------

TEST(Movie, ReleasedMoviesComeBackWhereTheyWere) {
  LibrarySession lib({.bits = 32});
  TestClock clock;
  for (const char* name : {"a.nut", "b.nut", "c.nut"}) WriteOrFail(name, test::kFfv1Nut, 37, 23);
  const HandleValue a = LoadGraphFromFileStd("a.nut"), b = LoadGraphFromFileStd("b.nut"),
                    c = LoadGraphFromFileStd("c.nut");
  PlayMovieGraph(a);
  PlayMovieGraph(c);
  clock.At(130);
  EXPECT_EQ(Present(a), 1);  // two frames a call
  EXPECT_EQ(Present(a), 3);
  const int surfaces = platform::ddtest::LiveSurfaceCount();
  EXPECT_EQ(ReleaseAllMovieSurfaces(), 0);
  EXPECT_EQ(platform::ddtest::LiveSurfaceCount(), surfaces - 3);  // each movie's frame surface
  EXPECT_EQ(UpdateMovieFrame(a), 0);
  fs::remove("c.nut");
  clock.At(200);
  EXPECT_EQ(RebuildAllMovies(), -1);  // c alone fails
  EXPECT_EQ(GetMovieRecord(GetGraphRecord(c)->Movie)->FrameSurface, nullptr);
  ASSERT_NE(GetMovieRecord(GetGraphRecord(b)->Movie)->FrameSurface, nullptr);
  const Store s = StoreOf(a);
  std::memset(const_cast<uint8_t*>(s.pixels), 0, size_t(s.pitch) * 23);
  clock.At(200);
  EXPECT_EQ(Present(a), 3);  // the frame due at the saved position, not frame 0
  clock.At(240);
  EXPECT_EQ(Present(a), 4);
  EXPECT_EQ(Present(b), -1);  // b was not playing and still is not

  const HandleValue part = DeriveGraphRect(2, 2, 8, 8, a);
  DeleteGraphHandle(part, 0);
  const HandleValue movie = GetGraphRecord(a)->Movie;
  ASSERT_NE(GetMovieRecord(movie), nullptr);
  EXPECT_EQ(GetMovieRecord(movie)->PlayingFlag, 1);
  DeleteGraphHandle(a, 0);
  EXPECT_EQ(GetMovieRecord(movie), nullptr);
  EXPECT_EQ(MovieHandleTable().Count(), 2);
}

// ---- Overlays and surface-mode fallbacks ------------------------------------------------------

TEST(Movie, OverlayMoviesShowStraightOnTheScreen) {
  platform::PixelFormat uyvy{};
  uyvy.size = sizeof uyvy;
  uyvy.flags = platform::PF_FOURCC;
  uyvy.fourCC = platform::MakeFourCC('U', 'Y', 'V', 'Y');
  platform::DDCaps align;
  align.caps = platform::DDCAPS_ALIGNBOUNDARYSRC | platform::DDCAPS_ALIGNSIZESRC |
               platform::DDCAPS_ALIGNBOUNDARYDEST | platform::DDCAPS_ALIGNSIZEDEST;
  align.alignBoundarySrc = 4;
  align.alignSizeSrc = 8;
  align.alignBoundaryDest = 16;
  align.alignSizeDest = 0;  // a zero value is no requirement
  LibrarySession lib({.start = false});
  platform::ddtest::SetOverlaySupport(&uyvy, &align);
  ASSERT_EQ(lib.Start(), 0);
  platform::InjectMove(100, 50);
  EXPECT_EQ(ProcessMessage(), 0);
  WriteOrFail("m.nut", test::kFfv1Nut, 64, 48);
  const HandleValue g = LoadGraphFromFile("m.nut", 1, 0, 1);
  ASSERT_GE(g, 0);
  const MovieRecord* m = GetMovieRecord(GetGraphRecord(g)->Movie);
  ASSERT_EQ(m->SurfaceMode, 1);
  platform::RECT client;
  GetMainWindowRect(&client);
  const int32_t L = client.left, T = client.top;
  ASSERT_EQ(L, 100);
  EXPECT_EQ(DrawGraphAt(-6, -5, g, 0), -1);
  // Clipped by 6 on the left and 5 at the top: the source starts at (6, 5), its left edge moved
  // down to 4 by the boundary and its width (60) cut to a multiple of 8.
  platform::OverlayState o = m->OverlaySurface->TestOverlay();
  EXPECT_TRUE(o.shown);
  EXPECT_EQ(std::tuple(o.src.left, o.src.top, o.src.right, o.dest.left, o.dest.top, o.dest.right),
            std::tuple(4, 5, 60, 96, T, L + 58));
  // Twice the size (133 / 64 = 2), the right edge 20 past the client's: 10 source pixels cut,
  // then the source's width cut to a multiple of 8.
  const int32_t cw = client.right - L;
  EXPECT_EQ(DrawGraphRect(cw - 108, 0, cw + 25, 96, g, 0), -1);
  o = m->OverlaySurface->TestOverlay();
  EXPECT_EQ(std::tuple(o.src.right, o.dest.right, o.dest.bottom),
            std::tuple(48, client.right, T + 96));
  const int calls = o.calls;
  EXPECT_EQ(DrawGraphRect(100, 0, 90, 96, g, 0), -1);  // mirrored: nothing shown
  EXPECT_EQ(m->OverlaySurface->TestOverlay().calls, calls);
}

TEST(Movie, SurfaceModesFallBack) {
  WriteOrFail((fs::temp_directory_path() / "zq-modes.nut").string(), test::kFfv1Nut, 37, 23, 1);
  const std::string path = (fs::temp_directory_path() / "zq-modes.nut").string();
  for (const auto& [bits, asked, taken] :
       std::initializer_list<std::tuple<int, int, int>>{{16, 1, 2}, {32, 2, 0}, {16, 2, 2}}) {
    LibrarySession lib({.bits = bits});
    const HandleValue movie = OpenMovieToGraph(path.c_str(), nullptr, nullptr, asked);
    EXPECT_EQ(GetMovieSurfaceMode(movie), taken) << bits << " " << asked;
    CloseMovieHandle(movie);
  }
  fs::remove(path);
}

// ---- The window procedure ---------------------------------------------------------------------

TEST(Movie, DeactivationPausesAndActivationPlays) {
  LibrarySession lib({.bits = 32});
  WriteOrFail("m.nut", test::kFfv1Nut, 37, 23, 2);
  const MovieRecord* m = GetMovieRecord(GetGraphRecord(LoadGraphFromFileStd("m.nut"))->Movie);
  EXPECT_EQ(m->PlayingFlag, 0);
  for (auto [inject, playing] : {std::pair{&platform::InjectDeactivate, 0},
                                 {&platform::InjectActivate, 1},
                                 {&platform::InjectDeactivate, 0}}) {
    inject();
    EXPECT_EQ(ProcessMessage(), 0);
    EXPECT_EQ(m->PlayingFlag, playing);
  }
}

}  // namespace
}  // namespace zq::gfx
