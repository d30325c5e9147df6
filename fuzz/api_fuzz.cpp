// libFuzzer target: the public entry points of <zqlib/zqlib.h>, called as a short program that
// the input spells out: graphs of any size, derived, loaded and deleted graphs, stale, foreign and
// made-up handles, every draw with any floats, Shift-JIS text in fonts of any size, the mask, the
// draw state, screen-mode changes, an end and a new start of the library, window moves and
// display changes. While the library is not running every call that needs it must answer -1.
//
// The library stays started from one input to the next (a start costs far more than a program):
// after each input the harness deletes what the input made and puts the draw state back, and the
// tracked block count must then be what it was after the start. An input that ended or restarted
// the library, changed the screen mode or moved the window ends it afterwards, and then no
// tracked block may be left; so does a change of the start's choices.
//
// Input: byte 0 chooses the start: bit 0 a 32-bit screen, bit 1 graphs on the Direct3D path,
// bit 2 full screen. Then each call is one byte naming it (modulo their number) and its
// arguments as Reader takes them; an input that runs out reads zeros.
#include <sanitizer/lsan_interface.h>
#include <unistd.h>
#include <zqlib/zqlib.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "graphics/font.h"
#include "graphics/mask.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/dshow/dshow.h"
#include "platform/gdi/font.h"
#include "platform/present/present.h"
#include "platform/win/window.h"

namespace {

constexpr int kMaxCalls = 200;
// Pixels that the graphs of one input may have in all; past it a graph is asked 1 x 1, so one
// input's memory stays bounded while every size still reaches the library's checks.
constexpr int64_t kPixelBudget = int64_t(1) << 23;

constexpr int kInts[32] = {0,   1,   -1,   2,     3,     4,     7,     8,   15,      16,     31,
                           32,  63,  64,   100,   255,   256,   319,   320, 479,     480,    639,
                           640, 641, 1000, 32767, 32768, 65535, 65536, -2,  INT_MAX, INT_MIN};

constexpr float kFloats[16] = {0.0f,
                               1.0f,
                               -1.0f,
                               0.5f,
                               2.0f,
                               1e9f,
                               -1e9f,
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(),
                               131072.0f,
                               131073.0f,
                               3.4e38f,
                               1e-30f,
                               320.0f,
                               -0.0f,
                               std::numeric_limits<float>::quiet_NaN()};

// The arguments of the calls, from the front of the input.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  bool Done() const { return p_ == end_; }
  uint8_t Byte() { return p_ == end_ ? 0 : *p_++; }
  uint32_t Raw(int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint32_t(Byte()) << (8 * i);
    return v;
  }
  // A selector byte, then: a value of the table, a small signed one, or 16 or 32 raw bits.
  int Int() {
    const uint8_t s = Byte();
    switch (s >> 6) {
      case 0:
        return kInts[s & 31];
      case 1:
        return int(s & 63) - 32;
      case 2:
        return int16_t(Raw(2));
      default:
        return int32_t(Raw(4));
    }
  }
  // Mostly on or near the session's screen.
  int Coordinate() {
    const uint8_t s = Byte();
    if (s < 192) return int(s) / 2 - 16;
    return Int();
  }
  float Float() {
    const uint8_t s = Byte();
    if (s < 64) return kFloats[s & 15];
    if (s < 192) return float(int(s) - 64) / 2.0f - 16.0f + float(Byte()) / 256.0f;
    const uint32_t bits = Raw(4);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  double Double() {
    const uint8_t s = Byte();
    if (s < 64) return kFloats[s & 15];
    if (s < 192) return double(int(s) - 128) / 16.0;
    const uint64_t bits = uint64_t(Raw(4)) | uint64_t(Raw(4)) << 32;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  // Up to 63 bytes as they come: Shift-JIS lead and trail bytes, cut characters, anything.
  std::string Text() {
    const int length = Byte() & 63;
    std::string s;
    for (int i = 0; i < length; ++i) s.push_back(char(Byte()));
    return s;
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

// The files the loads read: a 4 x 3 picture and the alpha companion of its name.
struct Files {
  std::string dir, picture;
};

void WriteBmp(const std::string& path, uint8_t seed) {
  // 24-bit, bottom-up, rows padded to 4 bytes.
  constexpr int kW = 4, kH = 3, kRow = 12;
  uint8_t b[54 + kRow * kH] = {'B', 'M'};
  auto put = [&](int at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = uint8_t(v >> (8 * i));
  };
  put(2, sizeof b, 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, kW, 4);
  put(22, kH, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  put(34, kRow * kH, 4);
  for (int i = 0; i < kRow * kH; ++i) b[54 + i] = uint8_t(seed + i * 37);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b), sizeof b);
}

const Files& Setup() {
  static const Files files = [] {
    Files f;
    f.dir =
        (std::filesystem::temp_directory_path() / ("zqlib-api-fuzz-" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(f.dir);
    f.picture = f.dir + "/p.bmp";
    WriteBmp(f.picture, 1);
    WriteBmp(f.dir + "/p_a.bmp", 200);
    return f;
  }();
  return files;
}

// The simulated platform as a fresh program finds it, so every input runs alike.
void ResetPlatform() {
  zq::platform::ResetWindowSystem();
  // Room for the 640 x 480 screen that LibraryInit starts with in a window; a present copies
  // only the window's rectangle, so the session's small screen keeps presents cheap.
  zq::platform::SetDesktop(640, 480, zq::platform::PixelFormatXRGB8888());
  zq::platform::ddtest::Reset();
  zq::platform::dshowtest::Reset();
  zq::platform::d3dtest::Reset(/*present=*/true);
  zq::platform::ResetPresenter();
  zq::platform::gditest::Reset();
  // The default font in the built-in face: no system font is read at each start.
  zq::platform::gditest::UseSyntheticDefaultFace(true);
}

// The screen the session draws on (its back buffer): small, so that a call costs little.
constexpr int kScreenWidth = 64, kScreenHeight = 48;

// The library as the inputs share it.
struct Session {
  const Files* files = nullptr;
  std::string home;  // the fuzzer's own directory
  bool running = false;
  int choice = -1;  // byte 0 of the input that started it
  int blocks = 0;   // tracked blocks right after the start
};

// What one input has made: every handle it was given, live or not, and the pixels asked for.
struct State {
  Session* session = nullptr;
  std::vector<int> graphs;
  std::vector<int> fonts;
  int64_t pixels = 0;
  bool ends = false;         // the session ends after this input
  bool defaultFont = false;  // the default font was made again
};

// The fonts' GDI objects are held only by the fonts' records, blocks of a megabyte, through which
// the leak checker of clang's runtime does not see them: fonts that outlive an input (the default
// font) are made with the checker looking away. The tracked block count still checks them.
template <class Make>
void Unwatched(Make make) {
  __lsan_disable();
  make();
  __lsan_enable();
}

// LibraryInit in the files' directory (where its log goes), the program's own directory again
// after it so that the fuzzer's relative paths keep working, and the session's small screen.
void Start(Session& g, int choice) {
  ResetPlatform();
  zq::ChangeWindowMode(choice & 4 ? 0 : 1);
  zq::ChooseDirect3DGraphs((choice >> 1) & 1);
  if (chdir(g.files->dir.c_str()) != 0) std::abort();
  Unwatched([&] { g.running = zq::LibraryInit() == 0; });
  if (chdir(g.home.c_str()) != 0) std::abort();
  if (!g.running) __builtin_trap();  // a fresh start must succeed
  g.choice = choice;
  const int depth = choice & 1 ? 32 : 16;
  Unwatched([&] {
    if (zq::RunScreenModeChange(kScreenWidth, kScreenHeight, depth, 60) != 0)
      zq::RunScreenModeChange(640, 480, depth, 60);  // full screen takes the display's modes
  });
  zq::SelectDrawScreen(zq::kDrawScreenBack);
  // As after every input: a font's glyph-cache graph goes too, made again when next used.
  zq::DeleteAllGraphHandles();
  g.blocks = zq::TrackedBlockCount();
}

// LibraryEnd, after which no tracked block may be left.
void End(Session& g) {
  if (!g.running) return;
  if (zq::LibraryEnd() != 0) __builtin_trap();
  g.running = false;
  if (chdir(g.home.c_str()) != 0) std::abort();
  if (zq::TrackedBlockCount() != 0) __builtin_trap();  // a leaked or stray block
}

// Deletes what the input made and puts the draw state back as the start left it; the tracked
// blocks must then be those of the start.
void Clean(const State& s) {
  Session& g = *s.session;
  zq::SelectDrawScreen(zq::kDrawScreenBack);
  zq::SelectBlendGraph(-1, 0, 0);
  zq::gfx::DeleteMaskLayer();
  const int standard = zq::GetDefaultFontHandle();
  for (const int font : s.fonts)
    if (font != standard) zq::DeleteFontHandle(font);
  if (s.defaultFont || zq::GetFontSize(standard) < 0)
    Unwatched([] { zq::SetDefaultFontSize(-1, -1); });
  else
    zq::SetFontCharSpacing(0, standard);
  zq::DeleteAllGraphHandles();  // the default font's glyph-cache graph too, as after the start
  zq::SetBlendMode(zq::kBlendNone, 0);
  zq::SetDrawBrightRGB(255, 255, 255);
  zq::SetSamplingMode(0);
  int w = 0, h = 0;
  zq::GetScreenSizeAndDepth(&w, &h, nullptr);
  zq::ApplyDrawArea(0, 0, w, h);
  zq::ChooseDirect3DGraphs((g.choice >> 1) & 1);
  if (zq::TrackedBlockCount() != g.blocks) __builtin_trap();  // a leaked or stray block
}

// The result of a call that needs the library: -1 whenever it does not run.
void Expect(const State& s, int result) {
  if (!s.session->running && result != -1) __builtin_trap();
}

// A handle for a call: one of the input's graphs or fonts (deleted or not, from this start or an
// earlier one), one altered in its check number, slot or kind bits, a screen value, or any value.
int Handle(Reader& in, const State& s) {
  const uint8_t k = in.Byte(), i = in.Byte();
  switch (k % 8) {
    case 0:
    case 1:
    case 2:
      return s.graphs.empty() ? -1 : s.graphs[i % s.graphs.size()];
    case 3:
      return s.fonts.empty() ? -1 : s.fonts[i % s.fonts.size()];
    case 4:
      return s.graphs.empty() ? -1 : s.graphs[i % s.graphs.size()] ^ int(1u << (i % 31));
    case 5:
      return i & 1 ? zq::kDrawScreenBack : zq::kDrawScreenFront;
    default:
      return in.Int();
  }
}

// A graph size within the input's budget: the size read, or 1 x 1 once the budget is spent.
void GraphSize(Reader& in, State& s, int* width, int* height) {
  *width = in.Int();
  *height = in.Int();
  if (*width <= 0 || *height <= 0 || *width > 65535 || *height > 65535) return;
  const int64_t pixels = int64_t(*width) * *height;
  if (s.pixels + pixels > kPixelBudget) {
    *width = *height = 1;
    return;
  }
  s.pixels += pixels;
}

void Keep(std::vector<int>& handles, int handle) {
  if (handle != -1) handles.push_back(handle);
}

// One call read from the input.
void Call(Reader& in, State& s) {
  Session& session = *s.session;
  const Files& f = *session.files;
  switch (in.Byte() % 44) {
    case 0: {  // a graph under any creation options
      const uint8_t o = in.Byte();
      zq::SetCreateOptionFlag(o & 1);
      zq::SetCreateAlphaChannelFlag((o >> 1) & 1);
      constexpr int kDepths[4] = {0, 16, 32, 24};
      zq::SetCreateColorBitDepth(kDepths[(o >> 2) & 3]);
      zq::SetCreateOptionD((o >> 4) & 1);
      zq::SetCreateOptionB(o & 32 ? 0 : 1);
      int w, h;
      GraphSize(in, s, &w, &h);
      const int g = zq::CreateEmptyGraph(w, h);
      Expect(s, g);
      Keep(s.graphs, g);
      zq::SetCreateOptionFlag(0);
      zq::SetCreateAlphaChannelFlag(0);
      zq::SetCreateColorBitDepth(0);
      zq::SetCreateOptionD(0);
      zq::SetCreateOptionB(1);
      break;
    }
    case 1: {
      const uint8_t which = in.Byte();
      const std::string name = which & 1 ? f.picture : f.dir + "/missing.bmp";
      const int g = zq::LoadGraphFromFileStd(name.c_str());
      Expect(s, g);
      Keep(s.graphs, g);
      break;
    }
    case 2: {
      int total = in.Int();
      const int across = in.Int(), down = in.Int(), w = in.Int(), h = in.Int();
      // The caller's array holds total handles.
      constexpr int kMax = 64;
      if (total > kMax) total = kMax;
      int handles[kMax];
      const int r =
          zq::LoadDividedGraphFromFileStd(f.picture.c_str(), total, across, down, w, h, handles);
      Expect(s, r);
      if (r == 0)
        for (int i = 0; i < total; ++i) Keep(s.graphs, handles[i]);
      break;
    }
    case 3: {
      const int x = in.Int(), y = in.Int();
      int w, h;
      GraphSize(in, s, &w, &h);
      const int g = zq::DeriveGraphRect(x, y, w, h, Handle(in, s));
      Expect(s, g);
      Keep(s.graphs, g);
      break;
    }
    case 4: {
      const int g = Handle(in, s);
      Expect(s, zq::DeleteGraphHandle(g, in.Byte() & 1));
      break;
    }
    case 5:
      Expect(s, zq::DeleteAllGraphHandles(in.Byte() & 1));
      break;
    case 6:
      Expect(s, zq::SelectDrawScreen(Handle(in, s)));
      Expect(s, zq::GetDrawScreenHandle());
      break;
    case 7: {
      const int l = in.Coordinate(), t = in.Coordinate(), r = in.Coordinate(), b = in.Coordinate();
      Expect(s, zq::ApplyDrawArea(l, t, r, b));
      break;
    }
    case 8:
      Expect(s, zq::ClearTargetScreen());
      break;
    case 9: {
      const int mode = int(in.Byte() % 8) - 1;
      Expect(s, zq::SetBlendMode(mode, in.Int()));
      break;
    }
    case 10:
      Expect(s, zq::SetSamplingMode(in.Int()));
      break;
    case 11: {
      const int r = in.Int(), g = in.Int(), b = in.Int();
      Expect(s, zq::SetDrawBrightRGB(r, g, b));
      break;
    }
    case 12: {
      const int g = Handle(in, s), p = in.Int(), q = in.Int();
      Expect(s, zq::SelectBlendGraph(g, p, q));
      break;
    }
    case 13: {
      const int x = in.Coordinate(), y = in.Coordinate(), g = Handle(in, s);
      Expect(s, zq::DrawGraphAt(x, y, g, in.Byte() & 3));
      break;
    }
    case 14: {
      const int x1 = in.Coordinate(), y1 = in.Coordinate(), x2 = in.Coordinate(),
                y2 = in.Coordinate(), g = Handle(in, s);
      Expect(s, zq::DrawGraphRect(x1, y1, x2, y2, g, in.Byte() & 3));
      break;
    }
    case 15: {
      const int x = in.Coordinate(), y = in.Coordinate(), g = Handle(in, s);
      Expect(s, zq::DrawGraphMirrored(x, y, g, in.Byte() & 1));
      break;
    }
    case 16: {
      const int x = in.Coordinate(), y = in.Coordinate(), sx = in.Int(), sy = in.Int(),
                w = in.Int(), h = in.Int();
      const int g = Handle(in, s);
      const uint8_t flags = in.Byte();
      Expect(s, zq::DrawGraphInRect(x, y, sx, sy, w, h, g, flags & 1, (flags >> 1) & 1));
      break;
    }
    case 17: {
      const int x1 = in.Coordinate(), y1 = in.Coordinate(), x2 = in.Coordinate(),
                y2 = in.Coordinate(), sx = in.Int(), sy = in.Int(), sw = in.Int(), sh = in.Int(),
                g = Handle(in, s);
      Expect(s, zq::DrawGraphRectScaled(x1, y1, x2, y2, sx, sy, sw, sh, g, in.Byte() & 1));
      break;
    }
    case 18: {
      const float x = in.Float(), y = in.Float();
      const double scale = in.Double(), angle = in.Double();
      const int g = Handle(in, s);
      const uint8_t flags = in.Byte();
      Expect(s, zq::DrawGraphRotScaledF(x, y, scale, angle, g, flags & 1, (flags >> 1) & 1));
      break;
    }
    case 19: {
      const int x = in.Coordinate(), y = in.Coordinate();
      const double scale = in.Double(), angle = in.Double();
      const int g = Handle(in, s);
      const uint8_t flags = in.Byte();
      Expect(s, zq::DrawGraphRotScaledAt(x, y, scale, angle, g, flags & 1, (flags >> 1) & 1));
      break;
    }
    case 20: {
      float c[8];
      for (float& v : c) v = in.Float();
      const int g = Handle(in, s);
      Expect(s, zq::DrawGraphFourCorners(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], g,
                                         in.Byte() & 1));
      break;
    }
    case 21: {
      const int g = Handle(in, s), r = in.Int(), gr = in.Int(), b = in.Int(), a = in.Int();
      Expect(s, zq::FillGraphColor(g, r, gr, b, a));
      break;
    }
    case 22:
    case 23:
    case 24: {
      const int x1 = in.Coordinate(), y1 = in.Coordinate(), x2 = in.Coordinate(),
                y2 = in.Coordinate();
      const uint32_t color = in.Raw(4);
      const int kind = in.Byte() % 3;
      Expect(s, kind == 0   ? zq::DrawFilledBox(x1, y1, x2, y2, color)
                : kind == 1 ? zq::DrawFrameBox(x1, y1, x2, y2, color)
                            : zq::DrawLine(x1, y1, x2, y2, color));
      break;
    }
    case 25: {
      const int x1 = in.Coordinate(), y1 = in.Coordinate(), x2 = in.Coordinate(),
                y2 = in.Coordinate();
      Expect(s, zq::CopyDrawScreenToGraph(x1, y1, x2, y2, Handle(in, s), 0));
      break;
    }
    case 26: {
      uint32_t value = 0;
      int w = 0, h = 0, depth = 0;
      const int x = in.Coordinate(), y = in.Coordinate();
      Expect(s, zq::GetDrawScreenPixel(x, y, in.Byte() & 1 ? &value : nullptr));
      Expect(s, zq::QueryGraphDimensions(Handle(in, s), &w, &h));
      Expect(s, zq::GetScreenSizeAndDepth(&w, nullptr, &depth));
      break;
    }
    case 27:
      Expect(s, zq::PresentByFlip());
      break;
    case 28: {
      const uint8_t which = in.Byte();
      const std::string named = in.Text();
      const char* faces[4] = {nullptr, "", zq::platform::kSyntheticFaceName, named.c_str()};
      const int size = in.Int(), thickness = in.Int(), type = in.Int(), charset = in.Int(),
                edge = in.Int();
      const int font =
          zq::CreateFontToHandle(faces[which & 3], size, thickness, type, charset, edge);
      Expect(s, font);
      Keep(s.fonts, font);
      break;
    }
    case 29:
      Expect(s, zq::DeleteFontHandle(Handle(in, s)));
      break;
    case 30: {
      const int spacing = in.Int();
      Expect(s, zq::SetFontCharSpacing(spacing, Handle(in, s)));
      break;
    }
    case 31: {
      const int size = in.Int(), thickness = in.Int();
      Expect(s, zq::SetDefaultFontSize(size, thickness));
      s.defaultFont = true;
      Keep(s.fonts, zq::GetDefaultFontHandle());
      break;
    }
    case 32:
      Expect(s, zq::GetFontSize(Handle(in, s)));
      Keep(s.fonts, zq::GetDefaultFontHandle());
      break;
    case 33: {
      const int x = in.Coordinate(), y = in.Coordinate();
      const std::string text = in.Text();
      const uint32_t color = in.Raw(4), edge = in.Raw(4);
      const int font = Handle(in, s);
      const int r = zq::DrawStringWithFont(x, y, text.c_str(), color, font, edge, in.Byte() & 1);
      if (!text.empty()) Expect(s, r);
      break;
    }
    case 34: {
      const std::string text = in.Text();
      const uint8_t flags = in.Byte();
      const int font = Handle(in, s);
      if (flags & 2) {
        // A string given with a length and no 0 byte: readable up to one byte past the length
        // (a lead byte there takes its trail byte).
        const auto bytes = std::make_unique<char[]>(text.size() + 1);
        std::memcpy(bytes.get(), text.data(), text.size());
        bytes[text.size()] = char(in.Byte() | 0x80);
        Expect(s, zq::MeasureStringWidth(bytes.get(), int(text.size()), font, flags & 1));
      } else {
        Expect(s, zq::MeasureStringWidth(text.c_str(), in.Int(), font, flags & 1));
      }
      break;
    }
    case 35:
      Expect(s, zq::CreateMaskScreen());
      break;
    case 36: {
      const int l = in.Coordinate(), t = in.Coordinate(), r = in.Coordinate(), b = in.Coordinate();
      Expect(s, zq::FillMaskRect(l, t, r, b, in.Int()));
      break;
    }
    case 37:
      Expect(s, zq::SetMaskEnabled(in.Int()));
      break;
    case 38: {
      constexpr int kSizes[8][2] = {{640, 480}, {320, 240}, {1, 1},     {800, 600},
                                    {0, 480},   {65536, 1}, {2, 65535}, {-1, -1}};
      constexpr int kBits[4] = {16, 32, 24, 8};
      const uint8_t o = in.Byte();
      const int refresh = in.Int();
      Expect(s, zq::RunScreenModeChange(kSizes[o & 7][0], kSizes[o & 7][1], kBits[(o >> 3) & 3],
                                        refresh));
      s.ends = true;
      break;
    }
    case 39:
      // An end and a new start: every handle of the input is from before it.
      if (session.running) {
        End(session);
      } else {
        Start(session, session.choice);
      }
      s.ends = true;
      break;
    case 40: {
      // What the window system does to a program: moves, resizes, display changes.
      const uint8_t o = in.Byte();
      const int a = in.Coordinate(), b = in.Coordinate();
      switch (o % 3) {
        case 0:
          zq::platform::InjectMove(a, b);
          break;
        case 1:
          zq::platform::InjectResize(a, b);
          break;
        default: {
          constexpr uint32_t kBits[4] = {16, 32, 24, 8};
          zq::platform::InjectDisplayModeChange(640 + (o & 8) * 80, 480 + (o & 16) * 36,
                                                zq::platform::AdapterPixelFormat(kBits[o >> 6]));
          break;
        }
      }
      zq::ProcessMessage();
      s.ends = true;
      break;
    }
    case 41: {
      const int g = Handle(in, s);
      Expect(s, in.Byte() & 1 ? zq::PlayMovieGraph(g) : zq::PauseMovieGraph(g));
      break;
    }
    case 42: {
      const std::string shot = f.dir + "/shot.png";
      Expect(s, zq::SaveScreenPng(shot.c_str()));
      break;
    }
    default:
      zq::ChooseDirect3DGraphs(in.Byte() & 1);
      break;
  }
}

Session& TheSession() {
  static Session session = [] {
    Session g;
    g.files = &Setup();
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) std::abort();
    g.home = cwd;
    // Glyph caches of 20 characters: cheap to make, and long strings replace glyphs in them.
    zq::gfx::FontCacheCharCount = 20;
    return g;
  }();
  return session;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TheSession();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Session& g = TheSession();
  Reader in(data, size);
  const int choice = in.Byte() & 7;
  if (g.running && g.choice != choice) End(g);
  if (!g.running) Start(g, choice);
  State s;
  s.session = &g;
  Keep(s.fonts, zq::GetDefaultFontHandle());
  for (int i = 0; i < kMaxCalls && !in.Done(); ++i) Call(in, s);
  if (s.ends || !g.running)
    End(g);
  else
    Clean(s);
  return 0;
}
