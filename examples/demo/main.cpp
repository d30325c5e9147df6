// zq_demo: starts the library, loads one picture of each file format it reads and draws an
// animated scene with every kind of drawing it has: sprites in each blend mode, stretched and
// mirrored draws, rotated sprites, a textured quad, filled and outlined boxes, a blend-graph
// wipe, a mask, bright colour, a divided graph, and text in the default font: its frames per
// second and two lines of Japanese, one horizontal and one vertical.
//
//   zq_demo [--window] [--frames N] [--screenshot FILE] [--data DIR] [--movie FILE] [--direct3d]
//
// Headless by default: draws N frames (300 unless given) as fast as it can. --window shows the
// frames in a window at about 60 frames a second until it is closed (or N frames were drawn).
// The scene depends only on the frame number, so a given frame always looks the same: the frames
// per second drawn on screen are those of the last full 60 frames, shown from frame 60 on. The
// clock is read only for them and to print, at the end, the frames per second and the share of
// each frame's work (drawing and presenting, not the wait between window frames) spent
// presenting. --screenshot
// writes the last frame as a PNG file. --movie plays a movie file in the top right corner (at
// the pace of its own clock, so frames with a movie differ from run to run). --direct3d starts on
// a hardware screen where graphs take the Direct3D path, drawn by the simulated device.
#include <zqlib/zqlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifndef ZQ_DEMO_DATA_DIR
#define ZQ_DEMO_DATA_DIR "data"
#endif

namespace {

struct Options {
  bool window = false;
  int frames = -1;  // -1: the default of the mode
  std::string screenshot;
  std::string data = ZQ_DEMO_DATA_DIR;
  std::string movie;
  bool direct3D = false;
};

struct Graphs {
  int backdrop = -1;                // BMP
  int sprite = -1;                  // PNG with alpha
  int photo = -1;                   // JPEG
  int tiles[4] = {-1, -1, -1, -1};  // TGA, cut into four cells
  int ball = -1;                    // DDS with alpha
  int wipe = -1;                    // grey PNG steering the blend graph
};

constexpr int kWidth = 640;
constexpr int kHeight = 480;
// The masked panel: a photo seen through horizontal slats.
constexpr int kPanelLeft = 448, kPanelTop = 300, kPanelRight = 624, kPanelBottom = 460;

bool ParseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--window") {
      o.window = true;
    } else if (a == "--frames" && hasValue) {
      char* end = nullptr;
      const long n = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || n < 1 || n > 1000000) return false;
      o.frames = int(n);
    } else if (a == "--screenshot" && hasValue) {
      o.screenshot = argv[++i];
    } else if (a == "--data" && hasValue) {
      o.data = argv[++i];
    } else if (a == "--movie" && hasValue) {
      o.movie = argv[++i];
    } else if (a == "--direct3d") {
      o.direct3D = true;
    } else {
      return false;
    }
  }
  return true;
}

// A triangle wave 0 .. period / 2 .. 0 over the frames: motion without a clock or floating point.
int Wave(int frame, int period) {
  const int t = frame % period;
  return t < period / 2 ? t : period - t;
}

bool LoadGraphs(const std::string& dir, Graphs& g) {
  auto path = [&](const char* name) { return dir + "/" + name; };
  g.backdrop = zq::LoadGraphFromFileStd(path("backdrop.bmp").c_str());
  g.sprite = zq::LoadGraphFromFileStd(path("sprite.png").c_str());
  g.photo = zq::LoadGraphFromFileStd(path("photo.jpg").c_str());
  g.ball = zq::LoadGraphFromFileStd(path("ball.dds").c_str());
  g.wipe = zq::LoadGraphFromFileStd(path("wipe.png").c_str());
  const int divided =
      zq::LoadDividedGraphFromFileStd(path("tiles.tga").c_str(), 4, 4, 1, 32, 32, g.tiles);
  return g.backdrop >= 0 && g.sprite >= 0 && g.photo >= 0 && g.ball >= 0 && g.wipe >= 0 &&
         divided == 0;
}

void DrawScene(const Graphs& g, int frame) {
  // Clearing fills under the blend mode too.
  zq::SetBlendMode(zq::kBlendNone, 0);
  zq::ClearTargetScreen();

  // Scrolling tiled background, plain copies.
  const int scroll = frame % 64;
  for (int y = -64; y < kHeight; y += 64)
    for (int x = -64; x < kWidth; x += 64)
      zq::DrawGraphAt(x + scroll, y + scroll / 2, g.backdrop, 0);

  // A row of sprites, one per blend mode, bobbing in turn.
  const int modes[5][2] = {{zq::kBlendNone, 0},
                           {zq::kBlendAlpha, 160},
                           {zq::kBlendAdd, 200},
                           {zq::kBlendSubtract, 160},
                           {zq::kBlendMultiply, 255}};
  for (int i = 0; i < 5; ++i) {
    zq::SetBlendMode(modes[i][0], modes[i][1]);
    zq::DrawGraphAt(24 + i * 64, 16 + Wave(frame + i * 6, 32), g.sprite, 1);
  }

  // The same sprite tinted by the bright colour.
  zq::SetBlendMode(zq::kBlendAlpha, 255);
  zq::SetDrawBrightRGB(120 + Wave(frame, 270), 255, 140);
  zq::DrawGraphAt(344, 16, g.sprite, 1);
  zq::SetDrawBrightRGB(255, 255, 255);

  // Stretched, mirrored and part draws.
  const int grow = Wave(frame, 96);
  zq::DrawGraphRect(24, 96, 24 + 48 + grow, 96 + 48 + grow / 2, g.sprite, 1);
  zq::DrawGraphMirrored(150, 96, g.sprite, 1);
  zq::DrawGraphRect(260, 96 + 64, 210, 96, g.sprite, 1);  // mirrored both ways
  zq::DrawGraphRectScaled(280, 96, 280 + 64, 96 + 64, 24, 24, 48 - 24, 24, g.photo, 0);
  zq::DrawGraphInRect(360, 96, 0, 0, 48, 32, g.photo, 0, (frame / 30) % 2);

  // Rotated sprites: the DDS ball turning and growing, the PNG sprite turning the other way.
  zq::SetBlendMode(zq::kBlendAlpha, 255);
  const double angle = frame * (3.14159265358979 / 90.0);
  zq::DrawGraphRotScaledF(480.0f, 80.0f, 1.0 + Wave(frame, 120) / 40.0, angle, g.ball, 1, 0);
  zq::DrawGraphRotScaledAt(580, 80, 1.25, -angle, g.sprite, 1, frame / 60 % 2);
  zq::SetBlendMode(zq::kBlendAdd, 255);
  zq::DrawGraphRotScaledAt(580, 160, 0.75, angle * 2.0, g.ball, 1, 0);

  // A textured quad whose corners sway.
  zq::SetBlendMode(zq::kBlendNone, 0);
  const float sway = float(Wave(frame, 80) - 20);
  zq::DrawGraphFourCorners(40.0f + sway, 200.0f, 200.0f, 190.0f + sway / 2.0f, 190.0f - sway,
                           330.0f, 30.0f, 320.0f - sway / 2.0f, g.photo, 0);

  // The divided TGA's cells marching across.
  for (int i = 0; i < 8; ++i)
    zq::DrawGraphAt(224 + i * 36, 208 + Wave(frame + i * 4, 24), g.tiles[(frame / 8 + i) % 4], 1);

  // Boxes: filled in each blending way, outlined on top.
  const uint32_t red = zq::GetScreenColorValue(220, 40, 40);
  const uint32_t green = zq::GetScreenColorValue(40, 200, 80);
  const uint32_t white = zq::GetScreenColorValue(255, 255, 255);
  const int bx = 224 + Wave(frame, 60);
  zq::SetBlendMode(zq::kBlendAlpha, 128);
  zq::DrawFilledBox(bx, 260, bx + 90, 330, red);
  zq::SetBlendMode(zq::kBlendAdd, 255);
  zq::DrawFilledBox(bx + 50, 290, bx + 140, 360, green);
  zq::SetBlendMode(zq::kBlendNone, 0);
  zq::DrawFrameBox(bx, 260, bx + 140, 360, white);
  zq::DrawFrameBox(kPanelLeft - 2, kPanelTop - 2, kPanelRight + 2, kPanelBottom + 2, white);

  // The blend-graph wipe: the photo appears through the grey ramp as the border moves.
  zq::SelectBlendGraph(g.wipe, (frame * 4) % 256, 64);
  zq::DrawGraphAt(40, 360, g.photo, 0);
  zq::SelectBlendGraph(-1, 0, 0);

  // Through the mask: only the open slats take the scrolling photo.
  // The draw area keeps the photo inside the panel.
  zq::ApplyDrawArea(kPanelLeft, kPanelTop, kPanelRight, kPanelBottom);
  zq::SetMaskEnabled(1);
  const int px = kPanelLeft - Wave(frame, 100);
  zq::DrawGraphRect(px, kPanelTop, px + 240, kPanelBottom, g.photo, 0);
  zq::SetMaskEnabled(0);
  zq::ApplyDrawArea(0, 0, kWidth, kHeight);
}

// Text in the default font (Shift-JIS): the frame and the frames per second, "日本語を横書きで
// 描きます" across and "縦書きもできます" downwards.
void DrawText(int frame, double fps) {
  const int font = zq::GetDefaultFontHandle();
  char line[64];
  if (fps > 0.0)
    std::snprintf(line, sizeof line, "frame %d  %.1f fps", frame, fps);
  else
    std::snprintf(line, sizeof line, "frame %d  -- fps", frame);
  zq::SetBlendMode(zq::kBlendNone, 0);
  const uint32_t black = zq::GetScreenColorValue(0, 0, 0);
  zq::DrawStringWithFont(8, 458, line, zq::GetScreenColorValue(255, 255, 255), font, black, 0);
  zq::DrawStringWithFont(150, 400,
                         "\x93\xFA\x96\x7B\x8C\xEA\x82\xF0\x89\xA1\x8F\x91\x82\xAB\x82\xC5\x95\x60"
                         "\x82\xAB\x82\xDC\x82\xB7",
                         zq::GetScreenColorValue(255, 230, 90), font, black, 0);
  zq::SetBlendMode(zq::kBlendAlpha, 200);
  zq::DrawStringWithFont(404, 256,
                         "\x8F\x63\x8F\x91\x82\xAB\x82\xE0\x82\xC5\x82\xAB\x82\xDC\x82\xB7",
                         zq::GetScreenColorValue(120, 240, 255), font, black, 1);
  zq::SetBlendMode(zq::kBlendNone, 0);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseArgs(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: %s [--window] [--frames N] [--screenshot FILE] [--data DIR] "
                 "[--movie FILE] [--direct3d]\n",
                 argv[0]);
    return 2;
  }
  if (o.frames < 0 && !o.window) o.frames = 300;
  // The window only when asked for, whatever the environment says.
  if (zq::UseWindowPresenter(o.window ? 1 : 0) == 0 && o.window)
    std::fprintf(stderr, "zq_demo: no window can be shown; running headless\n");

  zq::ChangeWindowMode(1);
  // Before the start: a hardware screen, on which the simulated Direct3D device draws graphs.
  if (o.direct3D) zq::ChooseDirect3DGraphs(1);
  if (zq::LibraryInit() != 0) {
    std::fprintf(stderr, "zq_demo: the library did not start (see AppLog.txt)\n");
    return 1;
  }
  if (o.window) zq::StartMessageThread();
  int result = 0;
  Graphs g;
  if (zq::RunScreenModeChange(kWidth, kHeight, 32, 60) != 0 || !LoadGraphs(o.data, g) ||
      zq::CreateMaskScreen() != 0) {
    std::fprintf(stderr, "zq_demo: start-up failed (data in %s; see AppLog.txt)\n", o.data.c_str());
    zq::LibraryEnd();
    return 1;
  }
  // Horizontal slats: mask bytes of 1 refuse drawing.
  for (int y = kPanelTop; y < kPanelBottom; y += 16)
    zq::FillMaskRect(kPanelLeft, y, kPanelRight, y + 8, 1);
  zq::SelectDrawScreen(zq::kDrawScreenBack);
  int movie = -1;
  if (!o.movie.empty()) {
    movie = zq::LoadGraphFromFileStd(o.movie.c_str());
    if (movie < 0)
      std::fprintf(stderr, "zq_demo: cannot play %s (see AppLog.txt)\n", o.movie.c_str());
    else
      zq::PlayMovieGraph(movie);
  }

  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Clock::time_point frameEnd = start;
  Clock::duration working{}, presenting{};
  int frame = 0;
  double fps = 0.0;  // of the last full 60 frames
  Clock::time_point periodStart = start;
  while (o.frames < 0 || frame < o.frames) {
    if (zq::ProcessMessage() != 0) break;  // the window was closed
    const Clock::time_point drawStart = Clock::now();
    if (frame > 0 && frame % 60 == 0) {
      fps = 60.0 / std::chrono::duration<double>(drawStart - periodStart).count();
      periodStart = drawStart;
    }
    DrawScene(g, frame);
    DrawText(frame, fps);
    if (movie >= 0) zq::DrawGraphRect(kWidth - 170, 10, kWidth - 10, 130, movie, 0);
    const Clock::time_point presentStart = Clock::now();
    if (zq::PresentByFlip() != 0) {
      std::fprintf(stderr, "zq_demo: presenting failed\n");
      result = 1;
      break;
    }
    const Clock::time_point presentEnd = Clock::now();
    working += presentEnd - drawStart;
    presenting += presentEnd - presentStart;
    ++frame;
    if (o.window) {
      // About 60 frames a second on screen.
      frameEnd += std::chrono::milliseconds(17);
      const Clock::time_point now = Clock::now();
      if (now > frameEnd + std::chrono::milliseconds(100)) frameEnd = now;  // far behind: no rush
      std::this_thread::sleep_until(frameEnd);
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf(
      "zq_demo: %d frames in %.2f s, %.1f frames per second, presenting %.0f%% of each frame\n",
      frame, seconds, seconds > 0.0 ? frame / seconds : 0.0,
      working.count() > 0 ? 100.0 * double(presenting.count()) / double(working.count()) : 0.0);

  if (!o.screenshot.empty() && result == 0) {
    if (zq::SaveScreenPng(o.screenshot.c_str()) == 0) {
      std::printf("zq_demo: screenshot of frame %d written to %s\n", frame - 1,
                  o.screenshot.c_str());
    } else {
      std::fprintf(stderr, "zq_demo: cannot write the screenshot %s\n", o.screenshot.c_str());
      result = 1;
    }
  }
  zq::DeleteAllGraphHandles();
  zq::LibraryEnd();
  if (zq::TrackedBlockCount() != 0) {
    std::fprintf(stderr, "zq_demo: memory blocks left unreleased (see AppLog.txt)\n");
    result = 1;
  }
  return result;
}
