#include "graphics/library_init.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <string>
#include <thread>

#include "base/file_access.h"
#include "base/lock.h"
#include "base/log.h"
#include "base/memory.h"
#include "base/system.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/movie.h"
#include "graphics/restore.h"
#include "platform/present/sdl_window.h"

namespace zq::gfx {

using platform::Message;
using platform::MessageKind;
using platform::Window;

namespace {

constexpr const char* kWindowClass = "ZqLib";

struct LibraryState {
  int initialised = 0;
  int ending = 0;
  int windowed = 1;
  int active = 1;
  int processing = 0;
  int rebuildDue = 0;
  Window* window = nullptr;
  DesktopScreenInfo desktop{};
  std::string startDir;
};

LibraryState g_lib;

void EndForFatalError() {
  LibraryEnd();
}

// The display changed under the library: the movies let go of their surfaces, the new screen
// format is read, everything is made again and the movies go on.
void FollowDisplayChange() {
  ReleaseAllMovieSurfaces();
  GetScreenColorInfo();
  RebuildGraphicsAfterModeChange();
  PlayAllMovieGraphs();
}

}  // namespace

int IsLibraryInitialised() {
  return g_lib.initialised;
}
int IsLibraryEnding() {
  return g_lib.ending;
}
int IsWindowedMode() {
  return g_lib.windowed;
}
int IsApplicationActive() {
  return g_lib.active;
}
Window* GetMainHwnd() {
  return g_lib.window;
}
const DesktopScreenInfo& GetDesktopScreenInfo() {
  return g_lib.desktop;
}

int ChangeWindowMode(int windowed) {
  if (g_lib.initialised) return -1;
  g_lib.windowed = windowed ? 1 : 0;
  return 0;
}

int GetMainWindowRect(platform::RECT* rect) {
  if (rect == nullptr) return -1;
  if (g_lib.window == nullptr || !platform::IsWindow(g_lib.window)) {
    *rect = platform::RECT{0, 0, 0, 0};
    return 0;
  }
  platform::RECT r = g_lib.window->GetClientRect();
  const int32_t toolbar = g_lib.window->ToolbarHeight();
  r.top += toolbar;
  r.bottom += toolbar;
  *rect = r;
  return 0;
}

int QueryScreenSize(int* width, int* height) {
  base::LibraryLockGuard lock;
  if (width != nullptr) *width = GetScreenWidth();
  if (height != nullptr) *height = GetScreenHeight();
  return 0;
}

int LogSystemInfo() {
  base::LogAddString("システムの情報\n");
  base::LogIndentIn();
  utsname name{};
  if (uname(&name) == 0)
    base::LogAddFormat("OS  %s %s %s", name.sysname, name.release, name.machine);
  base::LogAddFormat("CPU の数  %u", std::thread::hardware_concurrency());
  if (base::IsMmxUsable()) base::LogAddString("ＭＭＸ命令を使用します\n");
  base::LogAddFormat("デスクトップ  %dx%d %dbit", g_lib.desktop.Width, g_lib.desktop.Height,
                     g_lib.desktop.ColorBits);
  base::LogIndentOut();
  return 0;
}

int ReleaseInputDevices() {
  base::LogAddString("入力関連の終了処理... 完了\n");
  return 0;
}

void MainWindowProc(Window& window, const Message& message) {
  // Messages still queued when the library ends arrive after the graphics are gone: nothing may
  // be restored or rebuilt then.
  if (g_lib.ending && message.kind != MessageKind::Close) return;
  switch (message.kind) {
    case MessageKind::Activate:
      g_lib.active = 1;
      if (g_lib.rebuildDue) {
        // Back to full screen: video memory went with the screen, restoring in place is not
        // enough.
        g_lib.rebuildDue = 0;
        FollowDisplayChange();
      } else {
        RestoreAllGraphSurfaces();
        PlayAllMovieGraphs();
      }
      break;
    case MessageKind::Deactivate:
      g_lib.active = 0;
      if (!g_lib.windowed)
        g_lib.rebuildDue = 1;
      else
        PauseAllMovieGraphs();
      break;
    case MessageKind::DisplayChange: {
      if (!g_lib.windowed) break;
      const int32_t w = message.a, h = message.b, bits = int32_t(message.c);
      DesktopScreenInfo& desk = g_lib.desktop;
      if (w == desk.Width && h == desk.Height && bits == desk.ColorBits) break;
      desk = DesktopScreenInfo{w, h, bits};
      if (HasGraphRestoreCallback() && bits != 24 && w >= GetScreenWidth() &&
          h >= GetScreenHeight()) {
        FollowDisplayChange();
      } else {
        base::LogAddString(
            "復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
        base::LogAddString(
            "またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
        platform::PostWindowMessage(Message{MessageKind::Close});
      }
      break;
    }
    case MessageKind::Move:
    case MessageKind::Resize:
      // The client area changed: the front buffer's origin and visible part with it.
      UpdateDrawAreaForWindow();
      break;
    case MessageKind::Close:
      platform::DestroyWindow(&window);
      break;
    default:
      break;
  }
}

int ProcessMessage() {
  // Under the lock first: the message thread and the program's thread both come here.
  base::LibraryLockGuard lock;
  if (g_lib.processing) return 0;
  if (g_lib.window == nullptr || !platform::IsWindow(g_lib.window)) return -1;
  g_lib.processing = 1;
  // Cleared however the handling ends, so a failed message does not block the next ones.
  struct Processing {
    ~Processing() { g_lib.processing = 0; }
  } processing;
  // The presenter window's events become messages (on the thread that opened it only).
  platform::PollPresenterEvents();
  platform::PumpMessages();
  return platform::IsWindow(g_lib.window) ? 0 : -1;
}

int StartMessageThread() {
  base::LibraryLockGuard lock;
  if (!g_lib.initialised || g_lib.ending) return -1;
  const bool started = platform::StartMessageThread([] {
    try {
      base::LibraryLockGuard held;
      // Once the window is gone nothing handles the queue: drop what is left so the thread
      // does not wake for it again.
      if (ProcessMessage() != 0) platform::PumpMessages();
    } catch (const std::bad_alloc&) {
      // What a message asked for could not be done; the thread goes on with the next.
      base::LogAddString("メモリの確保に失敗しました in MessageThread\n");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(17));
  });
  return started ? 0 : -1;
}

void StopMessageThread() {
  platform::StopMessageThread();
}

int WaitWhileInactive() {
  // Inside the window procedure nothing can change the activation: do not wait there.
  if (g_lib.active || !g_lib.initialised || g_lib.processing) return 0;
  while (!g_lib.active && !g_lib.ending) {
    if (ProcessMessage() != 0) break;
    if (!g_lib.active) platform::WaitForMessage(17);
  }
  RestoreAllGraphSurfaces();
  return 0;
}

namespace {

// Undoes a start-up that did not reach its end, however it left: what it made goes again, so a
// later LibraryInit starts from nothing.
class StartUndo {
 public:
  explicit StartUndo(int windowed) : windowed_(windowed) {}
  StartUndo(const StartUndo&) = delete;
  StartUndo& operator=(const StartUndo&) = delete;
  ~StartUndo() {
    if (done_) return;
    try {
      if (g_lib.initialised) {
        // The full shutdown, which takes down whatever part of the graphics stands.
        g_lib.ending = 0;
        LibraryEnd();
      } else {
        base::LogClose();
      }
    } catch (...) {
      // Memory ran out in the undo itself: what is left is dropped below all the same.
    }
    base::SetLibraryEndHook(nullptr);
    if (g_lib.window != nullptr && platform::IsWindow(g_lib.window))
      platform::DestroyWindow(g_lib.window);
    g_lib = LibraryState{};
    g_lib.windowed = windowed_;
  }
  void Done() { done_ = true; }

 private:
  int windowed_;
  bool done_ = false;
};

}  // namespace

int LibraryInit() {
  // A second start is refused, whether by this program or another holding the window class.
  if (g_lib.initialised || platform::FindWindowByClass(kWindowClass) != nullptr) return -1;
  base::LibraryLockGuard lock;
  const int windowed = g_lib.windowed;
  g_lib = LibraryState{};
  g_lib.windowed = windowed;
  StartUndo undo(windowed);

  char dir[4096];
  g_lib.startDir = getcwd(dir, sizeof dir) != nullptr ? dir : ".";
  // Relative file names are found from the start directory, whatever was current before.
  base::FileAccessSetDir(g_lib.startDir.c_str());
  if (base::LogOpen(g_lib.startDir.c_str()) != 0) {
    // The library runs without its log; say so once, where the program's user can see it.
    std::fprintf(stderr, "zqlib: cannot write the log AppLog.txt in %s; running without a log\n",
                 g_lib.startDir.c_str());
  }
  base::LogAddString("ZqLib の初期化処理を開始します\n");
  base::LogIndentIn();

  const platform::Desktop desk = platform::GetDesktop();
  g_lib.desktop = DesktopScreenInfo{desk.width, desk.height, int32_t(desk.bitsPerPixel)};
  if (g_lib.windowed && desk.bitsPerPixel == 24) {
    base::LogAddString("２４ビットカラーのデスクトップでのウインドウモードには対応していません\n");
    base::LogIndentOut();
    return -1;
  }
  LogSystemInfo();
  SetGraphRestoreCallback(nullptr);

  platform::WindowDesc wd;
  wd.className = kWindowClass;
  wd.title = kWindowClass;
  wd.clientRect = platform::RECT{0, 0, 640, 480};
  wd.windowed = g_lib.windowed == 1;
  wd.proc = MainWindowProc;
  g_lib.window = platform::CreateMainWindow(wd);
  if (g_lib.window == nullptr) {
    base::LogAddString("ウインドウの作成に失敗しました\n");
    base::LogIndentOut();
    return -1;
  }
  g_lib.initialised = 1;
  base::SetLibraryEndHook(&EndForFatalError);

  if (StartGraphics(g_lib.window) != 0) {
    base::LogIndentOut();
    base::LogAddString("グラフィックの初期化に失敗しました\n");
    return -1;
  }

  // The draw-screen check: a drawable graph must be selectable as the draw screen.
  SetCreateOptionFlag(1);
  const HandleValue check = CreateEmptyGraph(256, 256);
  SetCreateOptionFlag(0);
  if (check < 0 || SelectDrawScreen(check) != 0 || g_DrawState.DrawScreen != check)
    base::LogAddString("描画可能画面の作成に失敗しました\n");
  SelectDrawScreen(kDrawScreenFront);
  if (check >= 0) DeleteGraphHandle(check, 0);

  base::LogIndentOut();
  base::LogAddString("ZqLib の初期化処理は正常に終了しました\n");
  undo.Done();
  return 0;
}

int LibraryEnd() {
  if (!g_lib.initialised || g_lib.ending) return -1;
  base::LibraryLockGuard lock;
  g_lib.ending = 1;
  EndGraphics();
  if (g_lib.window != nullptr && platform::IsWindow(g_lib.window)) {
    platform::DestroyWindow(g_lib.window);
    // The window is gone once its Destroy message has been handed out.
    for (int i = 0; i < 10000 && platform::IsWindow(g_lib.window); ++i) {
      platform::PumpMessages();
    }
  }
  base::FileAccessSetDir(g_lib.startDir.c_str());
  base::LogAddString("ZqLib の終了処理が完了しました\n");
  base::TrackedReportLeaks();
  base::LogClose();
  base::SetLibraryEndHook(nullptr);
  const int windowed = g_lib.windowed;
  g_lib = LibraryState{};
  g_lib.windowed = windowed;
  return 0;
}

}  // namespace zq::gfx
