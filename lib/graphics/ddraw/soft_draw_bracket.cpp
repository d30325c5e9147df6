#include "graphics/ddraw/soft_draw_bracket.h"

#include <algorithm>
#include <cstring>

#include "base/memory.h"
#include "base/rect.h"
#include "graphics/ddraw/blend_graph.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/image/convert_pixel_rect.h"
#include "graphics/mask.h"

namespace zq::gfx {

using platform::DirectDrawSurface;
using platform::RECT;

namespace {

// One locked rectangle of a surface.
struct SurfaceLock {
  DirectDrawSurface* surface = nullptr;  // null: nothing locked
  RECT rect{};                           // surface pixels
  uint8_t* pointer = nullptr;            // the rectangle's first pixel
  int32_t pitch = 0;
};

// A copy of a locked rectangle in a MEMIMG format, for surfaces whose format is not one.
struct WorkCopy {
  uint8_t* block = nullptr;  // tracked; null: no copy
  int32_t pitch = 0;
  int32_t left = 0;  // the column of the copied rectangle in the block
};

struct BracketState {
  bool active = false;
  SurfaceLock target;
  SurfaceLock source;
  WorkCopy targetCopy;
  WorkCopy sourceCopy;
  ColorData targetFormat{};
  ColorData sourceFormat{};
  // The system-memory work surface stands in for the target; copied back at the end.
  DirectDrawSurface* copyBackTo = nullptr;
  RECT copyBackRect{};
  // The fast blit chosen instead of a software draw.
  DirectDrawSurface* blitTarget = nullptr;
  DirectDrawSurface* blitSource = nullptr;
  int32_t blitX = 0;
  int32_t blitY = 0;
  RECT blitRect{};
  RECT savedDrawArea{};
  MEMIMG workTarget{};
  MEMIMG workSource{};
};

BracketState g_bracket;

// The work images take the screen's colour type whatever the surfaces hold, so a draw on a
// surface screen gives the pixels the software screen of the same depth would.
bool IsMemImgFormat(const ColorData& format) {
  return IsSameColorData(&format, GetMemImgColorData(ScreenImageColorType(), 0, 0)) == 1;
}

bool SurfaceFormat(DirectDrawSurface* surface, ColorData* format) {
  platform::PixelFormat pf{};
  if (platform::Failed(surface->GetPixelFormat(&pf))) return false;
  ColorDataFromPixelFormat(&pf, format);
  // The renderers draw 16- and 32-bit pixels; palettised and odd depths are not converted.
  return format->ColorBitDepth == 16 || format->ColorBitDepth == 24 || format->ColorBitDepth == 32;
}

bool LockRect(DirectDrawSurface* surface, const RECT& rect, SurfaceLock* lock) {
  platform::SurfaceDesc desc;
  if (platform::Failed(surface->Lock(&rect, &desc, platform::DDLOCK_WAIT))) return false;
  lock->surface = surface;
  lock->rect = rect;
  lock->pointer = static_cast<uint8_t*>(desc.surface);
  lock->pitch = desc.pitch;
  return true;
}

void Unlock(SurfaceLock* lock) {
  if (lock->surface != nullptr) lock->surface->Unlock(&lock->rect);
  *lock = SurfaceLock{};
}

void FreeCopy(WorkCopy* copy) {
  base::TrackedFree(copy->block);
  *copy = WorkCopy{};
}

// Converts one pixel value between two formats, as the work copies convert their pixels.
uint32_t ConvertPixelValue(uint32_t value, const ColorData* from, const ColorData* to) {
  uint8_t in[4], out[4] = {};
  std::memcpy(in, &value, 4);
  const RECT one{0, 0, 1, 1};
  ConvertPixelRect(out, 4, to, in, 4, from, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0, kDitherNone,
                   0, 0, 0);
  uint32_t result = 0;
  std::memcpy(&result, out, to->PixelByte);
  return result;
}

// Copies the locked rectangle into a new block in the MEMIMG format of the given colour type.
// The block's rows are as wide as the image it stands in for (rowPixels), with the rectangle
// at column left, so a work image over it has rows that hold its whole width. first receives
// the address of the rectangle's first pixel in the block.
bool MakeWorkCopy(const SurfaceLock& lock, const ColorData* from, int colorType, int32_t rowPixels,
                  int32_t left, WorkCopy* copy, uint8_t** first) {
  const ColorData* to = GetMemImgColorData(colorType, 0, 0);
  const int64_t w = int64_t(lock.rect.right) - lock.rect.left;
  const int64_t h = int64_t(lock.rect.bottom) - lock.rect.top;
  if (left < 0 || int64_t(left) + w > rowPixels) return false;
  const int64_t pitch = int64_t(rowPixels) * to->PixelByte;
  if (pitch > INT32_MAX || pitch * h > INT32_MAX) return false;
  copy->block = static_cast<uint8_t*>(ZQ_ALLOC(size_t(pitch * h)));
  if (copy->block == nullptr) return false;
  copy->pitch = int32_t(pitch);
  copy->left = left;
  const RECT all{0, 0, int32_t(w), int32_t(h)};
  ConvertPixelRect(copy->block, copy->pitch, to, lock.pointer, lock.pitch, from, nullptr, 0,
                   nullptr, left, 0, &all, 0, 0, 0, kDitherNone, 0, 0, 0);
  *first = copy->block + int64_t(left) * to->PixelByte;
  return true;
}

// Pixel pointer such that (x, y) of the rectangle's own coordinate space addresses first +
// (x - left, y - top). Computed on integers: the origin may lie outside the block, and only
// pixels inside the rectangle are ever addressed.
uint8_t* OriginFor(uint8_t* first, int32_t pitch, int bytes, int32_t left, int32_t top) {
  const intptr_t offset = intptr_t(left) * bytes + intptr_t(top) * pitch;
  return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(first) - uintptr_t(offset));
}

void SetUpWorkImage(MEMIMG* image, int width, int height, int colorType, int32_t pitch,
                    uint8_t* pixels, uint32_t transColor) {
  *image = MEMIMG{};
  image->SetupMark = kMemImgSetupMark;
  image->ViewFlag = 1;
  image->Width = width;
  image->Height = height;
  image->Pitch = pitch;
  image->PitchShift = -1;
  image->Format = GetMemImgColorData(colorType, 0, 0);
  image->TransColor = transColor;
  image->ColorType = colorType;
  image->Pixels = pixels;
}

bool Opaque() {
  const int mode = g_DrawState.BlendMode;
  return (mode == 0 || (mode == 1 && g_DrawState.BlendParam == 255)) &&
         GetBlendGraphMemImg() == nullptr && (g_DrawState.Bright & 0xFFFFFF) == 0xFFFFFF;
}

void ReleaseAll() {
  Unlock(&g_bracket.source);
  Unlock(&g_bracket.target);
  FreeCopy(&g_bracket.sourceCopy);
  FreeCopy(&g_bracket.targetCopy);
  g_bracket.copyBackTo = nullptr;
  g_bracket.blitTarget = nullptr;
  g_bracket.blitSource = nullptr;
  g_DD.SoftWorkTargetImage = nullptr;
  g_DD.SoftWorkSourceImage = nullptr;
}

int Fail() {
  ReleaseAll();
  g_bracket.active = false;
  return -1;
}

// The target when it is a MEMIMG: the image, or a view of it at the draw origin.
bool PrepareImageTarget(MEMIMG* image) {
  const int32_t ox = g_DrawState.DrawOrigin.left, oy = g_DrawState.DrawOrigin.top;
  if (ox == 0 && oy == 0) {
    g_DD.SoftWorkTargetImage = image;
    return true;
  }
  if (ox < 0 || oy < 0 || ox >= image->Width || oy >= image->Height) return false;
  MakeMemImgView(&g_bracket.workTarget, image, ox, oy, image->Width - ox, image->Height - oy);
  g_DD.SoftWorkTargetImage = &g_bracket.workTarget;
  return true;
}

// Copies rect of the surface to the same place of the system-memory work surface, when that has
// the surface's format and room for the rectangle. The work surface, or null.
DirectDrawSurface* CopyToWorkSurface(DirectDrawSurface* surface, const ColorData& format,
                                     const RECT& rect) {
  DirectDrawSurface* work = GetWorkSurface();
  if (work == nullptr || work == surface) return nullptr;
  ColorData workFormat{};
  platform::SurfaceDesc desc;
  if (!SurfaceFormat(work, &workFormat) || IsSameColorData(&workFormat, &format) != 1 ||
      platform::Failed(work->GetSurfaceDesc(&desc)) || rect.right > int32_t(desc.width) ||
      rect.bottom > int32_t(desc.height))
    return nullptr;
  const uint32_t flags = platform::DDBLTFAST_NOCOLORKEY | platform::DDBLTFAST_WAIT;
  return platform::Succeeded(work->BltFast(rect.left, rect.top, surface, &rect, flags)) ? work
                                                                                        : nullptr;
}

// The target surface's rectangle (surface pixels) presented in draw-screen coordinates.
bool PrepareSurfaceTarget(DirectDrawSurface* surface, const RECT& clipped, const RECT& surfRect,
                          bool withPiece, bool sourceAlpha, int convertColor, uint32_t* color) {
  ColorData& format = g_bracket.targetFormat;
  if (!SurfaceFormat(surface, &format)) return false;
  const int colorType = ScreenImageColorType();
  const ColorData* workFormat = GetMemImgColorData(colorType, 0, 0);
  const bool converts = !IsMemImgFormat(format);
  const bool opaqueDirect = convertColor != 0 && converts && !withPiece && Opaque() &&
                            format.PixelByte == workFormat->PixelByte;
  const bool readsDestination =
      g_DrawState.BlendMode != 0 || GetBlendGraphMemImg() != nullptr || sourceAlpha;
  platform::SurfaceCaps caps;
  surface->GetCaps(&caps);
  const bool video = (caps.caps & platform::DDSCAPS_VIDEOMEMORY) != 0;

  SurfaceLock& lock = g_bracket.target;
  uint8_t* first = nullptr;
  int32_t pitch = 0;
  if (converts && !opaqueDirect) {
    if (!LockRect(surface, surfRect, &lock) ||
        !MakeWorkCopy(lock, &format, colorType,
                      std::max(g_DrawState.DrawScreenWidth, clipped.right), clipped.left,
                      &g_bracket.targetCopy, &first))
      return false;
    pitch = g_bracket.targetCopy.pitch;
    if (convertColor != 0 && color != nullptr)
      *color = ConvertPixelValue(*color, &format, workFormat);
  } else {
    // Reading video memory pixel by pixel is slow: a blend works on a system-memory copy.
    DirectDrawSurface* work = nullptr;
    if (!converts && readsDestination && video) work = CopyToWorkSurface(surface, format, surfRect);
    const bool viaWork = work != nullptr;
    if (viaWork) {
      if (!LockRect(work, surfRect, &lock)) return false;
      g_bracket.copyBackTo = surface;
      g_bracket.copyBackRect = surfRect;
    } else if (!LockRect(surface, surfRect, &lock)) {
      return false;
    }
    first = lock.pointer;
    pitch = lock.pitch;
  }
  SetUpWorkImage(&g_bracket.workTarget, g_DrawState.DrawScreenWidth, g_DrawState.DrawScreenHeight,
                 colorType, pitch,
                 OriginFor(first, pitch, workFormat->PixelByte, clipped.left, clipped.top), 0);
  g_DD.SoftWorkTargetImage = &g_bracket.workTarget;
  return true;
}

// The piece in piece coordinates, srcRect (piece pixels) readable.
bool PrepareSource(const Surface2DRecord* piece, SurfaceDataRecord* data, const RECT& srcRect) {
  if (data->SoftwareFlag) {
    MEMIMG* image = &data->Image;
    if (!IsMemImgValid(image)) return false;
    if (piece->SrcX == 0 && piece->SrcY == 0 && piece->Width == image->Width &&
        piece->Height == image->Height) {
      g_DD.SoftWorkSourceImage = image;
    } else {
      MakeMemImgView(&g_bracket.workSource, image, piece->SrcX, piece->SrcY, piece->Width,
                     piece->Height);
      g_DD.SoftWorkSourceImage = &g_bracket.workSource;
    }
    return true;
  }
  DirectDrawSurface* surface = data->Surface;
  ColorData& format = g_bracket.sourceFormat;
  if (surface == nullptr || !SurfaceFormat(surface, &format)) return false;
  const RECT storeRect{srcRect.left + piece->SrcX, srcRect.top + piece->SrcY,
                       srcRect.right + piece->SrcX, srcRect.bottom + piece->SrcY};
  if (!LockRect(surface, storeRect, &g_bracket.source)) return false;
  const int colorType = ScreenImageColorType();
  const ColorData* workFormat = GetMemImgColorData(colorType, 0, 0);
  const uint32_t key = PackColorByData(&format, (data->ColorKey >> 16) & 0xFF,
                                       (data->ColorKey >> 8) & 0xFF, data->ColorKey & 0xFF, 255);
  uint8_t* first = g_bracket.source.pointer;
  int32_t pitch = g_bracket.source.pitch;
  uint32_t transColor = key;
  if (!IsMemImgFormat(format)) {
    if (!MakeWorkCopy(g_bracket.source, &format, colorType, piece->Width, srcRect.left,
                      &g_bracket.sourceCopy, &first))
      return false;
    pitch = g_bracket.sourceCopy.pitch;
    transColor = ConvertPixelValue(key, &format, workFormat);
  }
  SetUpWorkImage(&g_bracket.workSource, piece->Width, piece->Height, colorType, pitch,
                 OriginFor(first, pitch, workFormat->PixelByte, srcRect.left, srcRect.top),
                 transColor);
  g_DD.SoftWorkSourceImage = &g_bracket.workSource;
  return true;
}

}  // namespace

int BeginSoftDrawOnSurface(const Surface2DRecord* piece, int fastBlit, const RECT* srcRect,
                           const RECT* destRect, int convertColor, uint32_t* color) {
  if (IsSoftwareScreenInUse()) return 0;
  if (destRect == nullptr) return -1;
  // A begin without its end (a caller's fault) must not leave locks behind.
  if (g_bracket.active) EndSoftDrawOnSurface();

  const bool maskActive = g_DrawState.MaskActive == 1;
  MEMIMG* targetImage = maskActive ? nullptr : g_DD.DrawTargetMemImg;
  DirectDrawSurface* targetSurface = maskActive ? GetMaskSurface() : g_DD.DrawTargetSurface;
  if (targetImage == nullptr && targetSurface == nullptr) return -1;

  RECT clipped = *destRect;
  base::ClipRectToRect(&clipped, &g_DrawState.DrawArea);
  // The rectangle on the surface, kept inside it.
  const int32_t ox = g_DrawState.DrawOrigin.left, oy = g_DrawState.DrawOrigin.top;
  int32_t targetWidth = 0, targetHeight = 0;
  if (targetImage != nullptr) {
    targetWidth = targetImage->Width;
    targetHeight = targetImage->Height;
  } else {
    platform::SurfaceDesc desc;
    if (platform::Failed(targetSurface->GetSurfaceDesc(&desc))) return -1;
    targetWidth = int32_t(desc.width);
    targetHeight = int32_t(desc.height);
  }
  const RECT bounds{-ox, -oy, targetWidth - ox, targetHeight - oy};
  base::ClipRectToRect(&clipped, &bounds);
  if (base::IsRectEmpty(clipped)) return -1;
  const RECT surfRect{clipped.left + ox, clipped.top + oy, clipped.right + ox, clipped.bottom + oy};

  SurfaceDataRecord* data = nullptr;
  RECT src{};
  if (piece != nullptr) {
    data = GetSurfaceDataRecord(piece->SurfaceData);
    if (data == nullptr) return -1;
    src = srcRect != nullptr ? *srcRect : RECT{0, 0, piece->Width, piece->Height};
    const RECT whole{0, 0, piece->Width, piece->Height};
    base::ClipRectToRect(&src, &whole);
    if (base::IsRectEmpty(src)) return -1;
  }
  const bool sourceAlpha = data != nullptr && (data->Options.AlphaChFlag == 1 ||
                                               (data->SoftwareFlag && data->Image.AlphaFlag == 1));

  g_bracket.active = true;
  g_bracket.savedDrawArea = g_DrawState.DrawArea;

  if (fastBlit == 1 && piece != nullptr && targetImage == nullptr && !maskActive &&
      !data->SoftwareFlag && data->Surface != nullptr && !sourceAlpha &&
      g_DrawState.BlendMode == 0 && GetBlendGraphMemImg() == nullptr &&
      (g_DrawState.Bright & 0xFFFFFF) == 0xFFFFFF) {
    ColorData from{}, to{};
    if (SurfaceFormat(data->Surface, &from) && SurfaceFormat(targetSurface, &to) &&
        IsSameColorData(&from, &to) == 1) {
      // The source rectangle starts where the destination did; cut it as the clip cut that.
      const int32_t dx = clipped.left - destRect->left, dy = clipped.top - destRect->top;
      RECT s{src.left + dx, src.top + dy, 0, 0};
      s.right = std::min(src.right, s.left + (clipped.right - clipped.left));
      s.bottom = std::min(src.bottom, s.top + (clipped.bottom - clipped.top));
      if (base::IsRectEmpty(s)) {
        g_bracket.active = false;
        return -1;
      }
      g_bracket.blitTarget = targetSurface;
      g_bracket.blitSource = data->Surface;
      g_bracket.blitX = surfRect.left;
      g_bracket.blitY = surfRect.top;
      g_bracket.blitRect = RECT{s.left + piece->SrcX, s.top + piece->SrcY, s.right + piece->SrcX,
                                s.bottom + piece->SrcY};
      return 1;
    }
  }

  const bool targetOk =
      targetImage != nullptr
          ? PrepareImageTarget(targetImage)
          : PrepareSurfaceTarget(targetSurface, clipped, surfRect, piece != nullptr, sourceAlpha,
                                 convertColor, color);
  if (!targetOk) return Fail();
  if (piece != nullptr && !PrepareSource(piece, data, src)) return Fail();
  g_DrawState.DrawArea = clipped;
  return 0;
}

int EndSoftDrawOnSurface() {
  if (IsSoftwareScreenInUse() || !g_bracket.active) return 0;
  SurfaceLock& target = g_bracket.target;
  if (g_bracket.targetCopy.block != nullptr && target.surface != nullptr) {
    const int32_t left = g_bracket.targetCopy.left;
    const RECT all{left, 0, left + target.rect.right - target.rect.left,
                   target.rect.bottom - target.rect.top};
    ConvertPixelRect(target.pointer, target.pitch, &g_bracket.targetFormat,
                     g_bracket.targetCopy.block, g_bracket.targetCopy.pitch,
                     GetMemImgColorData(ScreenImageColorType(), 0, 0), nullptr, 0, nullptr, 0, 0,
                     &all, 0, 0, 0, kDitherNone, 0, 0, 0);
  }
  DirectDrawSurface* copyBackTo = g_bracket.copyBackTo;
  DirectDrawSurface* work = target.surface;
  const RECT copyRect = g_bracket.copyBackRect;
  Unlock(&g_bracket.source);
  Unlock(&g_bracket.target);
  if (copyBackTo != nullptr && work != nullptr)
    copyBackTo->BltFast(copyRect.left, copyRect.top, work, &copyRect,
                        platform::DDBLTFAST_NOCOLORKEY | platform::DDBLTFAST_WAIT);
  ReleaseAll();
  g_DrawState.DrawArea = g_bracket.savedDrawArea;
  g_bracket.active = false;
  return 0;
}

uint32_t SoftDrawWorkColor(uint32_t targetColor) {
  if (!g_bracket.active || g_bracket.targetCopy.block == nullptr) return targetColor;
  return ConvertPixelValue(targetColor, &g_bracket.targetFormat,
                           GetMemImgColorData(ScreenImageColorType(), 0, 0));
}

uint32_t ScreenColorToWorkColor(uint32_t screenColor) {
  const ColorData* screen = GetScreenColorData();
  if (IsSoftwareScreenInUse() || IsMemImgFormat(*screen)) return screenColor;
  return ConvertPixelValue(screenColor, screen, GetMemImgColorData(ScreenImageColorType(), 0, 0));
}

int IsSoftDrawConverting() {
  return g_bracket.active && g_bracket.targetCopy.block != nullptr ? 1 : 0;
}

int SoftDrawHardwareBlit(int transparent) {
  if (!g_bracket.active || g_bracket.blitTarget == nullptr) return -1;
  const uint32_t flags = platform::DDBLTFAST_WAIT | (transparent ? platform::DDBLTFAST_SRCCOLORKEY
                                                                 : platform::DDBLTFAST_NOCOLORKEY);
  return platform::Succeeded(g_bracket.blitTarget->BltFast(
             g_bracket.blitX, g_bracket.blitY, g_bracket.blitSource, &g_bracket.blitRect, flags))
             ? 0
             : -1;
}

}  // namespace zq::gfx
