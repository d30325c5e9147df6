// Presenting, and moving pixels between the software screen's images and the displayed surface.
#include <algorithm>

#include "base/log.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/memimg_transfer.h"
#include "graphics/ddraw/surface_view.h"
#include "graphics/library_init.h"
#include "platform/present/present.h"

namespace zq::gfx {

using namespace platform;

namespace {

// Where the screen's pixel (0, 0) lies on the displayed surface: the window's client corner in
// a window, the surface's corner in full screen.
void ScreenOrigin(int32_t* x, int32_t* y) {
  *x = 0;
  *y = 0;
  if (IsWindowedMode()) {
    RECT window{};
    GetMainWindowRect(&window);
    *x = window.left;
    *y = window.top;
  }
}

// Clips the screen rectangle r, placed at the screen origin on a surface of the given size, to
// that surface and to the screen. False when nothing remains.
bool ClipToDisplay(RECT* r, int32_t originX, int32_t originY, int32_t surfaceW, int32_t surfaceH) {
  r->left = std::max({r->left, 0, -originX});
  r->top = std::max({r->top, 0, -originY});
  r->right = std::min({r->right, GetScreenWidth(), surfaceW - originX});
  r->bottom = std::min({r->bottom, GetScreenHeight(), surfaceH - originY});
  return r->left < r->right && r->top < r->bottom;
}

// Converts a rectangle of a screen image out to the displayed surface.
int ImageToDisplay(const MEMIMG* image, RECT r) {
  LockedSurfaceView target(g_DD.PrimarySurface, DDLOCK_WAIT);
  if (!target.Ok()) return -1;
  int32_t ox, oy;
  ScreenOrigin(&ox, &oy);
  MEMIMG* view = target.View();
  if (!ClipToDisplay(&r, ox, oy, view->Width, view->Height)) return 0;
  return TransferMemImgToSurface(view, image, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                 ox + r.left, oy + r.top, 0, 0) < 0
             ? -1
             : 0;
}

}  // namespace

int PresentByFlip() {
  if (g_DD.DirectDraw == nullptr || g_DD.PrimarySurface == nullptr) return -1;
  WaitWhileInactive();
  // The frame's last Direct3D draws reach the back buffer, whose copy the scene would refuse.
  EndCurrentScene();
  if (IsSoftwareScreenInUse()) {
    if (ImageToDisplay(&g_DD.SoftBackImage, RECT{0, 0, GetScreenWidth(), GetScreenHeight()}) != 0)
      return -1;
    // The displayed surface now holds a frame that the front image has not seen.
    g_DD.FrontResyncFlag = 1;
  } else if (IsWindowedMode() || g_DD.BackSurface == nullptr) {
    RECT dest{0, 0, GetScreenWidth(), GetScreenHeight()};
    if (IsWindowedMode()) GetMainWindowRect(&dest);
    if (Failed(g_DD.PrimarySurface->Blt(&dest, g_DD.BackSurface, nullptr, DDBLT_WAIT, nullptr)))
      return -1;
  } else {
    if (Failed(g_DD.PrimarySurface->Flip(nullptr, DDFLIP_WAIT))) return -1;
  }
  PresentSurface(g_DD.PrimarySurface);
  CountPresent();
  return 0;
}

int FlushSoftScreenRect(const RECT* rect) {
  if (rect == nullptr || !IsSoftwareScreenInUse()) return -1;
  return ImageToDisplay(&g_DD.SoftFrontImage, *rect);
}

int SyncSoftScreenFromSurface() {
  if (!IsSoftwareScreenInUse() || !g_DD.FrontResyncFlag) return 0;
  LockedSurfaceView source(g_DD.PrimarySurface, DDLOCK_WAIT);
  if (!source.Ok()) return 0;
  int32_t ox, oy;
  ScreenOrigin(&ox, &oy);
  MEMIMG* view = source.View();
  RECT r{0, 0, GetScreenWidth(), GetScreenHeight()};
  if (ClipToDisplay(&r, ox, oy, view->Width, view->Height))
    TransferToMemImg(view, nullptr, &g_DD.SoftFrontImage, ox + r.left, oy + r.top, r.right - r.left,
                     r.bottom - r.top, r.left, r.top);
  g_DD.FrontResyncFlag = 0;
  return 0;
}

}  // namespace zq::gfx
