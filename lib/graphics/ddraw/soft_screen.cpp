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
// that surface and to the screen. False when nothing remains. In 64 bits: the window may lie
// anywhere.
bool ClipToDisplay(RECT* r, int32_t originX, int32_t originY, int32_t surfaceW, int32_t surfaceH) {
  const int64_t left = std::max<int64_t>({r->left, 0, -int64_t(originX)});
  const int64_t top = std::max<int64_t>({r->top, 0, -int64_t(originY)});
  const int64_t right =
      std::min<int64_t>({r->right, GetScreenWidth(), int64_t(surfaceW) - originX});
  const int64_t bottom =
      std::min<int64_t>({r->bottom, GetScreenHeight(), int64_t(surfaceH) - originY});
  if (left >= right || top >= bottom) return false;
  *r = RECT{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
  return true;
}

// Converts a rectangle of a screen image out to the displayed surface; `written`, when given,
// receives the part of the surface it covered (empty when none).
int ImageToDisplay(const MEMIMG* image, RECT r, RECT* written = nullptr) {
  if (written != nullptr) *written = RECT{0, 0, 0, 0};
  LockedSurfaceView target(g_DD.PrimarySurface, DDLOCK_WAIT);
  if (!target.Ok()) return -1;
  int32_t ox, oy;
  ScreenOrigin(&ox, &oy);
  MEMIMG* view = target.View();
  if (!ClipToDisplay(&r, ox, oy, view->Width, view->Height)) return 0;
  const int32_t x = ox + r.left, y = oy + r.top, w = r.right - r.left, h = r.bottom - r.top;
  if (written != nullptr) *written = RECT{x, y, x + w, y + h};
  return TransferMemImgToSurface(view, image, r.left, r.top, w, h, x, y, 0, 0) < 0 ? -1 : 0;
}

// While a present writes its frame: the presenter's kept frame, which it replaces, needs no copy
// before the write.
struct ExpectedPresent {
  explicit ExpectedPresent(DirectDrawSurface* surface) { ExpectPresentOver(surface); }
  ~ExpectedPresent() { ExpectPresentOver(nullptr); }
  ExpectedPresent(const ExpectedPresent&) = delete;
  ExpectedPresent& operator=(const ExpectedPresent&) = delete;
};

}  // namespace

int PresentByFlip() {
  if (g_DD.DirectDraw == nullptr || g_DD.PrimarySurface == nullptr) return -1;
  WaitWhileInactive();
  // The frame's last Direct3D draws reach the back buffer, whose copy the scene would refuse.
  EndCurrentScene();
  // In a window only the rectangle written now is shown; the rest of the surface is the
  // desktop's.
  RECT written{0, 0, GetScreenWidth(), GetScreenHeight()};
  // The frame kept from the last present is replaced by this one, not copied before the write.
  const ExpectedPresent expected(g_DD.PrimarySurface);
  if (IsSoftwareScreenInUse()) {
    if (ImageToDisplay(&g_DD.SoftBackImage, RECT{0, 0, GetScreenWidth(), GetScreenHeight()},
                       &written) != 0)
      return -1;
    // The displayed surface now holds a frame that the front image has not seen.
    g_DD.FrontResyncFlag = 1;
  } else if (IsWindowedMode() || g_DD.BackSurface == nullptr) {
    if (IsWindowedMode()) GetMainWindowRect(&written);
    if (Failed(g_DD.PrimarySurface->Blt(&written, g_DD.BackSurface, nullptr, DDBLT_WAIT, nullptr)))
      return -1;
  } else {
    if (Failed(g_DD.PrimarySurface->Flip(nullptr, DDFLIP_WAIT))) return -1;
  }
  PresentSurface(g_DD.PrimarySurface, IsWindowedMode() ? &written : nullptr);
  CountPresent();
  return 0;
}

int FlushSoftScreenRect(const RECT* rect) {
  if (rect == nullptr || !IsSoftwareScreenInUse()) return -1;
  return ImageToDisplay(&g_DD.SoftFrontImage, *rect);
}

int SyncSoftScreenFromSurface() {
  if (!IsSoftwareScreenInUse() || !g_DD.FrontResyncFlag) return 0;
  LockedSurfaceView source(g_DD.PrimarySurface, DDLOCK_WAIT | DDLOCK_READONLY);
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
