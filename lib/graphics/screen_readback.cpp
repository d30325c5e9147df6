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
  if (platform::Failed(surface->Lock(&r, &desc, platform::DDLOCK_WAIT | platform::DDLOCK_READONLY)))
    return -1;
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
  // In a window the presented frame is the window's part of the desktop, placed at its corner:
  // empty when none of it is on the desktop.
  const bool windowed = IsWindowedMode() && GetMainHwnd() != nullptr;
  if (g_DD.DirectDraw == nullptr || !FramePresentedSinceModeSet() ||
      (!windowed && frame.pixels.empty()))
    return base::LogAddString("画面がまだ表示されていないので保存できません in SaveScreenPng\n");
  int64_t left = frame.left, top = frame.top, right = left + frame.width,
          bottom = top + frame.height;
  if (windowed) {
    platform::RECT client{};
    GetMainWindowRect(&client);
    left = std::max<int64_t>(left, client.left);
    top = std::max<int64_t>(top, client.top);
    right = std::min<int64_t>(
        right,
        client.left + std::min<int64_t>(int64_t(client.right) - client.left, GetScreenWidth()));
    bottom = std::min<int64_t>(
        bottom,
        client.top + std::min<int64_t>(int64_t(client.bottom) - client.top, GetScreenHeight()));
  }
  if (right <= left || bottom <= top)
    return base::LogAddString(
        "ウインドウがデスクトップの外にあるので保存できません in SaveScreenPng\n");
  const uint32_t* first =
      frame.pixels.data() + (top - frame.top) * frame.width + (left - frame.left);
  if (platform::WritePngFile(path, first, int32_t(right - left), int32_t(bottom - top),
                             frame.width * 4, platform::PixelFormatXRGB8888()) != 0)
    return base::LogAddFormat("画面を %s に保存できませんでした in SaveScreenPng", path);
  return 0;
}

}  // namespace zq::gfx
