#include "graphics/screen_readback.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/library_init.h"
#include "platform/present/present.h"
#include "platform/win/window.h"

namespace zq::gfx {

int GetDrawScreenPixel(int x, int y, uint32_t* value) {
  if (value == nullptr || g_DD.DirectDraw == nullptr) return -1;
  if (x < 0 || y < 0 || x >= g_DrawState.DrawScreenWidth || y >= g_DrawState.DrawScreenHeight)
    return -1;
  if (MEMIMG* image = g_DD.DrawTargetMemImg; image != nullptr) {
    if (image->Pixels == nullptr || x >= image->Width || y >= image->Height) return -1;
    // The front image follows the displayed surface only when drawing brings it up to date.
    if (image == &g_DD.SoftFrontImage) SyncSoftScreenFromSurface();
    const int bytes = image->Format->PixelByte;
    uint32_t v = 0;
    std::memcpy(&v, image->Pixels + int64_t(y) * image->Pitch + int64_t(x) * bytes,
                size_t(std::clamp(bytes, 0, 4)));
    *value = v;
    return 0;
  }
  platform::DirectDrawSurface* surface = g_DD.DrawTargetSurface;
  if (surface == nullptr) return -1;
  // Pending Direct3D draws first; the scene refuses a lock of its target.
  EndCurrentScene();
  // A surface target is addressed from the draw origin (the window's client area on the
  // primary surface).
  const int64_t sx = int64_t(x) + g_DrawState.DrawOrigin.left;
  const int64_t sy = int64_t(y) + g_DrawState.DrawOrigin.top;
  if (sx < 0 || sy < 0 || sx >= INT32_MAX || sy >= INT32_MAX) return -1;
  const platform::RECT r{int32_t(sx), int32_t(sy), int32_t(sx + 1), int32_t(sy + 1)};
  platform::SurfaceDesc desc;
  if (platform::Failed(surface->Lock(&r, &desc, platform::DDLOCK_WAIT))) return -1;
  const uint32_t bytes = std::min(desc.pixelFormat.rgbBitCount / 8, 4u);
  uint32_t v = 0;
  std::memcpy(&v, desc.surface, bytes);
  surface->Unlock(&r);
  *value = v;
  return 0;
}

int SaveScreenPng(const char* path) {
  if (path == nullptr)
    return base::LogAddString("保存するファイル名がありません in SaveScreenPng\n");
  // Before the program's first frame the screen holds only the start-up's black one.
  const platform::Frame frame =
      FramePresentedSinceModeSet() ? platform::GetLastPresentedFrame() : platform::Frame{};
  if (g_DD.DirectDraw == nullptr || frame.width <= 0 || frame.height <= 0)
    return base::LogAddString("画面がまだ表示されていないので保存できません in SaveScreenPng\n");
  platform::RECT r{0, 0, frame.width, frame.height};
  // In a window the presented frame is the desktop-sized primary surface: keep the client area.
  if (IsWindowedMode() && GetMainHwnd() != nullptr) {
    platform::RECT client{};
    GetMainWindowRect(&client);
    r = platform::RECT{client.left, client.top,
                       client.left + std::min(client.right - client.left, GetScreenWidth()),
                       client.top + std::min(client.bottom - client.top, GetScreenHeight())};
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, frame.width);
    r.bottom = std::min(r.bottom, frame.height);
  }
  if (r.right <= r.left || r.bottom <= r.top)
    return base::LogAddString(
        "ウインドウがデスクトップの外にあるので保存できません in SaveScreenPng\n");
  const uint32_t* first = frame.pixels.data() + int64_t(r.top) * frame.width + r.left;
  if (platform::WritePngFile(path, first, r.right - r.left, r.bottom - r.top, frame.width * 4,
                             platform::PixelFormatXRGB8888()) != 0)
    return base::LogAddFormat("画面を %s に保存できませんでした in SaveScreenPng", path);
  return 0;
}

}  // namespace zq::gfx
