#include "graphics/mask.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "base/memory.h"
#include "base/rect.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/memimg_transfer.h"
#include "graphics/draw_state.h"
#include "graphics/image/convert_pixel_rect.h"
#include "graphics/library_init.h"
#include "platform/pixel_bytes.h"

namespace zq::gfx {

using platform::DirectDrawSurface;
using platform::RECT;

MaskScreen g_MaskScreen{};

namespace {

constexpr int kPatternAlign = 4;

bool HasScratch() {
  const MaskScreen& m = g_MaskScreen;
  if (IsSoftwareScreenInUse()) return m.ScratchImageFlag == 1 && IsMemImgValid(&m.ScratchImage);
  return m.ScratchSurface != nullptr;
}

// Mask active needs the wish, the flag, the pattern and a scratch to draw into: while the
// scratch is away (display rebuild) nothing may be redirected to it.
void RecomputeMaskActive() {
  const MaskScreen& m = g_MaskScreen;
  g_DrawState.MaskActive =
      (g_DrawState.MaskFlag != 0 && m.MaskScreenFlag != 0 && m.Pattern != nullptr && HasScratch())
          ? 1
          : 0;
}

void ReleaseScratch() {
  MaskScreen& m = g_MaskScreen;
  if (m.ScratchSurface != nullptr) {
    m.ScratchSurface->Release();
    m.ScratchSurface = nullptr;
  }
  if (m.ScratchImageFlag == 1) TermMemImg(&m.ScratchImage);
  m.ScratchImageFlag = 0;
  m.ScratchInVideoMemory = 0;
}

void FreePattern() {
  MaskScreen& m = g_MaskScreen;
  base::TrackedFree(m.Pattern);
  m.Pattern = nullptr;
  m.Pitch = 0;
  m.Width = 0;
  m.Height = 0;
}

int CreateScratchSurface(int32_t width, int32_t height) {
  MaskScreen& m = g_MaskScreen;
  if (g_DD.DirectDraw == nullptr) return base::LogAddLine("マスク用サーフェスの作成に失敗しました");
  platform::SurfaceDesc desc;
  desc.flags = platform::DDSD_CAPS | platform::DDSD_WIDTH | platform::DDSD_HEIGHT;
  desc.width = uint32_t(width);
  desc.height = uint32_t(height);
  // Direct3D must be able to render into it unless the screen keeps to system memory.
  desc.caps.caps =
      platform::DDSCAPS_OFFSCREENPLAIN |
      (g_DD.SoftwareScreenFlag ? platform::DDSCAPS_SYSTEMMEMORY : platform::DDSCAPS_3DDEVICE);
  DirectDrawSurface* surface = nullptr;
  if (platform::Failed(g_DD.DirectDraw->CreateSurface(desc, &surface)) || surface == nullptr)
    return base::LogAddLine("マスク用サーフェスの作成に失敗しました");
  const platform::ColorKey key{m.TransColor, m.TransColor};
  surface->SetColorKey(platform::DDCKEY_SRCBLT, &key);
  platform::SurfaceCaps caps;
  surface->GetCaps(&caps);
  m.ScratchSurface = surface;
  m.ScratchInVideoMemory = (caps.caps & platform::DDSCAPS_VIDEOMEMORY) ? 1 : 0;
  m.ScratchImageFlag = 0;
  return 0;
}

// The rectangle of a bracketed draw on the mask screen: clipped to the draw area, the pattern,
// the scratch and the target view, so neither copy nor the pattern read leaves any of them.
bool ClipMaskRect(RECT* rect, const MEMIMG* targetView) {
  const MaskScreen& m = g_MaskScreen;
  base::ClipRectToRect(rect, &g_DrawState.DrawArea);
  RECT limit{0, 0, m.Width, m.Height};
  if (m.ScratchImageFlag == 1) {
    limit.right = std::min(limit.right, m.ScratchImage.Width);
    limit.bottom = std::min(limit.bottom, m.ScratchImage.Height);
  }
  if (targetView != nullptr) {
    limit.right = std::min(limit.right, targetView->Width);
    limit.bottom = std::min(limit.bottom, targetView->Height);
  }
  base::ClipRectToRect(rect, &limit);
  return rect->left != rect->right && rect->top != rect->bottom;
}

// Where the rectangle's pixels lie on a target surface: the front screen of a hardware screen is
// the primary surface, with the screen at the window's client corner. A view is addressed in
// its own coordinates.
void TargetOffset(const MEMIMG* targetView, int32_t* dx, int32_t* dy) {
  *dx = 0;
  *dy = 0;
  if (targetView == nullptr && g_DrawState.DrawScreen == kDrawScreenFront &&
      !IsSoftwareScreenInUse()) {
    RECT client{};
    GetMainWindowRect(&client);
    *dx = client.left;
    *dy = client.top;
  }
}

// Writes the transparent colour into every scratch pixel of the rectangle whose mask byte is
// not 0. scratch addresses the rectangle's top-left pixel.
template <int kBytes>
void MarkRefused(uint8_t* scratch, int32_t scratchPitch, const RECT& r, uint32_t trans) {
  const MaskScreen& m = g_MaskScreen;
  const int32_t width = r.right - r.left;
  for (int32_t y = r.top; y < r.bottom; ++y, scratch += scratchPitch) {
    const uint8_t* mask = m.Pattern + int64_t(y) * m.Pitch + r.left;
    int32_t x = 0;
    while (x < width) {
      // Four mask bytes at a time: open stretches of the pattern pass quickly.
      if (x + 4 <= width) {
        uint32_t four;
        std::memcpy(&four, mask + x, 4);
        if (four == 0) {
          x += 4;
          continue;
        }
      }
      if (mask[x] != 0) std::memcpy(scratch + int64_t(x) * kBytes, &trans, kBytes);
      ++x;
    }
  }
}

void MarkRefusedPixels(uint8_t* scratch, int32_t scratchPitch, int bytesPerPixel, const RECT& r) {
  const uint32_t trans = g_MaskScreen.TransColor;
  // Other pixel widths are left as drawn.
  if (bytesPerPixel == 1 || bytesPerPixel == 2 || bytesPerPixel == 4)
    platform::WithPixelBytes(bytesPerPixel, [&](auto b) {
      MarkRefused<decltype(b)::value>(scratch, scratchPitch, r, trans);
    });
}

// Converts the view's rectangle into locked scratch memory that starts at the rectangle's corner
// and holds the screen's format.
int ConvertFromView(uint8_t* dest, int32_t destPitch, const MEMIMG* view, const RECT& r) {
  return ConvertPixelRect(dest, destPitch, GetScreenColorData(), view->Pixels, view->Pitch,
                          view->Format, nullptr, 0, nullptr, 0, 0, &r, 0, 0, 0, kDitherNone, 0, 0,
                          0);
}

}  // namespace

// ---- Requesting a mask screen -------------------------------------------------------------------

int CreateMaskScreen() {
  MaskScreen& m = g_MaskScreen;
  const int32_t wanted = m.MaskScreenFlag;
  m.MaskScreenFlag = 1;
  if (CreateMaskLayer(1, 1) != 0) {
    // Half a mask screen would refuse nothing reliably: drop what this call made.
    if (!wanted) {
      ReleaseScratch();
      FreePattern();
      m.MaskScreenFlag = 0;
    }
    RecomputeMaskActive();
    return -1;
  }
  RecomputeMaskActive();
  return 0;
}

uint8_t* GetMaskPattern(int32_t* pitch) {
  if (pitch != nullptr) *pitch = g_MaskScreen.Pitch;
  return g_MaskScreen.Pattern;
}

// ---- The layer ----------------------------------------------------------------------------------

int CreateMaskLayer(int32_t createPattern, int32_t createScratch) {
  MaskScreen& m = g_MaskScreen;
  // An unset screen mode counts as 640 x 480.
  const int32_t width = GetScreenWidth(), height = GetScreenHeight();

  // A pattern kept across a display rebuild serves only a screen of its own size.
  if (createPattern && m.Pattern != nullptr && (m.Width != width || m.Height != height))
    FreePattern();
  if (createPattern && m.Pattern == nullptr) {
    const int32_t pitch = (width + kPatternAlign - 1) / kPatternAlign * kPatternAlign;
    const size_t bytes = size_t(pitch) * size_t(height);
    auto* pattern = static_cast<uint8_t*>(ZQ_ALLOC(bytes));
    if (pattern == nullptr) return base::LogAddLine("マスク用メモリの確保に失敗しました");
    std::memset(pattern, 0, bytes);
    m.Pattern = pattern;
    m.Pitch = pitch;
    m.Width = width;
    m.Height = height;
  }

  if (createScratch && m.ScratchSurface == nullptr && m.ScratchImageFlag == 0) {
    if (IsSoftwareScreenInUse()) {
      if (CreateMemImgScreenFormat(&m.ScratchImage, width, height, -1) < 0)
        return base::LogAddLine("マスク用 MEMIMG の作成に失敗しました");
      m.ScratchImageFlag = 1;
      m.ScratchSurface = nullptr;
      m.ScratchInVideoMemory = 0;
      return 0;
    }
    if (CreateScratchSurface(width, height) != 0) return -1;
  }
  return 0;
}

int DeleteMaskLayer() {
  WaitWhileInactive();
  if (g_DrawState.MaskFlag) SetMaskEnabled(0);
  ReleaseScratch();
  FreePattern();
  g_MaskScreen.MaskScreenFlag = 0;
  RecomputeMaskActive();
  return 0;
}

int ReleaseMaskSurfaceObjects() {
  // The pattern is the user's work and outlives the display; only the scratch follows it.
  ReleaseScratch();
  RecomputeMaskActive();
  return 0;
}

int RecreateMaskScreen() {
  MaskScreen& m = g_MaskScreen;
  CreateMaskLayer(m.MaskScreenFlag, m.MaskScreenFlag);
  if (g_DrawState.MaskFlag) SetMaskEnabled(1);
  RecomputeMaskActive();
  return 0;
}

int MaskLayerExists() {
  return g_MaskScreen.MaskScreenFlag != 0 && g_MaskScreen.Pattern != nullptr ? 1 : 0;
}

int SetMaskEnabled(int32_t flag) {
  if (g_MaskScreen.Pattern == nullptr) return -1;
  GraphicsDrawState& ds = g_DrawState;
  ds.MaskFlag = flag;
  RecomputeMaskActive();
  // With the mask on, drawing goes to the scratch, which holds the screen at its own origin.
  if (IsPrimaryDrawTarget() && ds.MaskFlag == 0 && !IsSoftwareScreenInUse()) {
    GetMainWindowRect(&ds.DrawOrigin);
  } else {
    int width = 0, height = 0;
    QueryGraphDimensions(ds.DrawScreen, &width, &height);
    ds.DrawOrigin = RECT{0, 0, width, height};
  }
  G_D3D_ResetViewport(ds.MaskFlag);
  G_DD_ResetViewport(ds.MaskFlag);
  return 0;
}

int IsMaskEnabled() {
  return g_DrawState.MaskFlag;
}

DirectDrawSurface* GetMaskSurface() {
  return g_MaskScreen.ScratchSurface;
}

MEMIMG* GetMaskImage() {
  MaskScreen& m = g_MaskScreen;
  return m.ScratchImageFlag == 1 && IsMemImgValid(&m.ScratchImage) ? &m.ScratchImage : nullptr;
}

// ---- The bracket --------------------------------------------------------------------------------

int MaskPrepareRect(RECT rect, DirectDrawSurface* targetSurface, MEMIMG* targetView) {
  MaskScreen& m = g_MaskScreen;
  if (!HasScratch() || m.Pattern == nullptr) return 0;
  EndCurrentScene();
  if (!ClipMaskRect(&rect, targetView)) return 0;
  const int32_t w = rect.right - rect.left, h = rect.bottom - rect.top;

  if (IsSoftwareScreenInUse()) {
    if (targetView != nullptr)
      TransferToMemImg(targetView, nullptr, &m.ScratchImage, rect.left, rect.top, w, h, rect.left,
                       rect.top);
    return 0;
  }
  if (targetView == nullptr) {
    if (targetSurface == nullptr) return 0;
    int32_t dx, dy;
    TargetOffset(targetView, &dx, &dy);
    const RECT source{rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
    m.ScratchSurface->BltFast(rect.left, rect.top, targetSurface, &source,
                              platform::DDBLTFAST_NOCOLORKEY | platform::DDBLTFAST_WAIT);
    return 0;
  }
  platform::SurfaceDesc locked;
  if (platform::Failed(m.ScratchSurface->Lock(&rect, &locked,
                                              platform::DDLOCK_WAIT | platform::DDLOCK_WRITEONLY)))
    return 0;
  // The locked pointer addresses the rectangle's corner: the view's rectangle lands at (0, 0).
  ConvertFromView(static_cast<uint8_t*>(locked.surface), locked.pitch, targetView, rect);
  m.ScratchSurface->Unlock(&rect);
  return 0;
}

int MaskApplyRect(RECT rect, DirectDrawSurface* targetSurface, MEMIMG* targetView) {
  MaskScreen& m = g_MaskScreen;
  if (g_DrawState.MaskActive == 0 || !HasScratch() || m.Pattern == nullptr) return 0;
  EndCurrentScene();
  if (!ClipMaskRect(&rect, targetView)) return 0;
  const int32_t w = rect.right - rect.left, h = rect.bottom - rect.top;
  int32_t dx, dy;
  TargetOffset(targetView, &dx, &dy);

  if (IsSoftwareScreenInUse()) {
    MEMIMG& s = m.ScratchImage;
    const int bytes = s.Format->PixelByte;
    MarkRefusedPixels(s.Pixels + int64_t(rect.top) * s.Pitch + int64_t(rect.left) * bytes, s.Pitch,
                      bytes, rect);
    s.RunLengthFlag = 0;
    if (targetView != nullptr)
      TransferMemImgToSurface(targetView, &s, rect.left, rect.top, w, h, rect.left + dx,
                              rect.top + dy, m.TransColor, 1);
    return 0;
  }

  // Without the marks the copy back would ignore the mask: a failed lock drops the draw instead.
  platform::SurfaceDesc locked;
  if (platform::Failed(m.ScratchSurface->Lock(&rect, &locked,
                                              platform::DDLOCK_WAIT | platform::DDLOCK_WRITEONLY)))
    return 0;
  MarkRefusedPixels(static_cast<uint8_t*>(locked.surface), locked.pitch,
                    int(locked.pixelFormat.rgbBitCount / 8), rect);
  m.ScratchSurface->Unlock(&rect);

  if (targetView == nullptr) {
    if (targetSurface != nullptr)
      targetSurface->BltFast(rect.left + dx, rect.top + dy, m.ScratchSurface, &rect,
                             platform::DDBLTFAST_SRCCOLORKEY | platform::DDBLTFAST_WAIT);
    return 0;
  }

  // A view is read through system memory: a scratch in video memory goes via the work surface.
  DirectDrawSurface* source = m.ScratchSurface;
  RECT sourceRect = rect;
  if (m.ScratchInVideoMemory == 1) {
    source = GetWorkSurface();
    sourceRect = RECT{0, 0, w, h};
    if (source == nullptr || CopySurfaceRect(source, m.ScratchSurface, 0, 0, &rect, -1) != 0)
      return 0;
  }
  if (platform::Failed(
          source->Lock(&sourceRect, &locked, platform::DDLOCK_WAIT | platform::DDLOCK_READONLY)))
    return 0;
  const RECT at{0, 0, w, h};
  ConvertPixelRect(targetView->Pixels, targetView->Pitch, targetView->Format, locked.surface,
                   locked.pitch, GetScreenColorData(), nullptr, 0, nullptr, rect.left + dx,
                   rect.top + dy, &at, 0, 0, m.TransColor, kDitherNone, 0, 0, 1);
  targetView->RunLengthFlag = 0;
  source->Unlock(&sourceRect);
  return 0;
}

namespace {

// The current DirectDraw target: a view of its image when it is a set-up MEMIMG.
template <class Step>
int WithDrawTarget(int32_t left, int32_t top, int32_t right, int32_t bottom, Step step) {
  const RECT rect{left, top, right, bottom};
  MEMIMG* image = g_DD.DrawTargetMemImg;
  if (image != nullptr && IsMemImgValid(image)) {
    MEMIMG view;
    MakeMemImgView(&view, image, 0, 0, image->Width, image->Height);
    const int result = step(rect, nullptr, &view);
    // Writes through the view change the image itself: its run-length stream is stale.
    image->RunLengthFlag = 0;
    return result;
  }
  return step(rect, g_DD.DrawTargetSurface, nullptr);
}

}  // namespace

int BeginMaskedDraw(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  WithDrawTarget(left, top, right, bottom, MaskPrepareRect);
  return 0;
}

int EndMaskedDraw(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  WithDrawTarget(left, top, right, bottom, MaskApplyRect);
  return 0;
}

// ---- Mask handles -------------------------------------------------------------------------------

int DeleteMaskHandle(HandleValue handle) {
  if (handle < 0 || (handle & kHandleKindMask) != kMaskHandleKind) return -1;
  const int32_t slot = HandleSlot(handle);
  if (slot >= kMaskHandleSlots) return -1;
  MaskHandleEntry& e = g_MaskScreen.Handles[slot];
  if (e.InUse == 0 || (e.Check & (kHandleCheckCount - 1)) != HandleCheck(handle)) return -1;
  base::TrackedFree(e.Pattern);
  e = MaskHandleEntry{};
  return 0;
}

int DeleteAllMaskHandles() {
  for (int32_t slot = 0; slot < kMaskHandleSlots; ++slot) {
    const MaskHandleEntry& e = g_MaskScreen.Handles[slot];
    if (e.InUse == 1) DeleteMaskHandle(MakeHandleValue(HandleKind::kMask, slot, e.Check));
  }
  return 0;
}

}  // namespace zq::gfx
