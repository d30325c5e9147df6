// The software-draw bracket. A surface rectangle is handed to the rasterizers either as the
// locked memory itself (when the surface already holds the work format) or as a converted
// copy in system memory, which the end converts back. The work images and their locks exist
// once: the bracket runs under the library's lock and never nests.
#include "graphics/ddraw/soft_draw_bracket.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/rect.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"
#include "graphics/image/convert_pixel_rect.h"
#include "graphics/surface_data.h"
#include "platform/ddraw/ddraw.h"

namespace zq::gfx {
namespace {

using platform::DirectDrawSurface;
using platform::RECT;

// One locked rectangle of a surface and, when the surface's format is not the work format
// (or the draw must not work on the surface itself), its converted copy.
struct LockedRect {
  DirectDrawSurface* surface = nullptr;
  RECT rect{};                // in surface coordinates
  uint8_t* locked = nullptr;  // the rectangle's top-left pixel in the surface
  int32_t lockedPitch = 0;
  ColorData surfaceFormat{};
  bool converted = false;
  std::vector<uint8_t> copy;  // the rectangle alone, in the work format
  int32_t copyPitch = 0;

  int32_t Width() const { return rect.right - rect.left; }
  int32_t Height() const { return rect.bottom - rect.top; }
  // The work pixels' top-left and pitch.
  uint8_t* WorkPixels() { return converted ? copy.data() : locked; }
  int32_t WorkPitch() const { return converted ? copyPitch : lockedPitch; }
};

struct Bracket {
  bool open = false;
  LockedRect target;
  LockedRect source;
  MEMIMG targetImage{};
  MEMIMG sourceImage{};
};

Bracket g_bracket;

int WorkColorType() {
  return GetScreenColorBitDepth() == 16 ? kMemImgRgb565 : kMemImgXrgb8888;
}

const ColorData* WorkFormat() {
  return GetMemImgColorData(WorkColorType(), 0, 0);
}

// A pixel pointer such that (x, y) addresses topLeft at (left, top). Computed on integers:
// the pointer itself may lie outside the buffer, every address formed from it does not.
uint8_t* OriginFor(uint8_t* topLeft, int32_t pitch, int bytes, int32_t left, int32_t top) {
  const intptr_t offset = intptr_t(top) * pitch + intptr_t(left) * bytes;
  return reinterpret_cast<uint8_t*>(reinterpret_cast<intptr_t>(topLeft) - offset);
}

// Locks r of s. The work is the locked memory itself when the surface holds the work format,
// or when allowDirect and the pixel sizes match; otherwise (and always with forceCopy) a copy
// converted into the work format. 0, or -1 with nothing left locked.
int LockRect(DirectDrawSurface* s, const RECT& r, bool forceCopy, bool allowDirect,
             LockedRect* out) {
  *out = LockedRect{};
  platform::SurfaceDesc desc;
  if (s == nullptr || platform::Failed(s->Lock(&r, &desc, platform::DDLOCK_WAIT))) return -1;
  out->surface = s;
  out->rect = r;
  out->locked = static_cast<uint8_t*>(desc.surface);
  out->lockedPitch = desc.pitch;
  ColorDataFromPixelFormat(&desc.pixelFormat, &out->surfaceFormat);
  const ColorData* work = WorkFormat();
  const bool same = IsSameColorData(&out->surfaceFormat, work) == 1;
  const bool sameSize = out->surfaceFormat.PixelByte == work->PixelByte;
  if (!forceCopy && (same || (allowDirect && sameSize))) return 0;

  out->converted = true;
  out->copyPitch = out->Width() * work->PixelByte;
  out->copy.assign(size_t(out->copyPitch) * size_t(out->Height()), 0);
  const RECT all{0, 0, out->Width(), out->Height()};
  if (ConvertPixelRect(out->copy.data(), out->copyPitch, work, out->locked, out->lockedPitch,
                       &out->surfaceFormat, nullptr, 0, nullptr, 0, 0, &all, 0, 0, 0, kDitherNone,
                       0, 0, 0) < 0) {
    s->Unlock(&r);
    *out = LockedRect{};
    return -1;
  }
  return 0;
}

// Unlocks l, converting its copy back first when writeBack; forgets it either way.
void ReleaseRect(LockedRect* l, bool writeBack) {
  if (l->surface == nullptr) return;
  if (writeBack && l->converted) {
    const RECT all{0, 0, l->Width(), l->Height()};
    ConvertPixelRect(l->locked, l->lockedPitch, &l->surfaceFormat, l->copy.data(), l->copyPitch,
                     WorkFormat(), nullptr, 0, nullptr, 0, 0, &all, 0, 0, 0, kDitherNone, 0, 0, 0);
  }
  l->surface->Unlock(&l->rect);
  *l = LockedRect{};
}

// A screen pixel value rewritten into the work format through the same conversion.
uint32_t ConvertColor(uint32_t value, const ColorData& from) {
  uint32_t out = 0;
  const RECT one{0, 0, 1, 1};
  ConvertPixelRect(&out, 4, WorkFormat(), &value, 4, &from, nullptr, 0, nullptr, 0, 0, &one, 0, 0,
                   0, kDitherNone, 0, 0, 0);
  return out;
}

// A work image over pixels addressed in its own coordinates.
void SetUpWorkImage(MEMIMG* m, int32_t width, int32_t height, uint8_t* origin, int32_t pitch) {
  *m = MEMIMG{};
  m->SetupMark = kMemImgSetupMark;
  m->ViewFlag = 1;
  m->Width = width;
  m->Height = height;
  m->Pitch = pitch;
  m->PitchShift = -1;
  m->ColorType = WorkColorType();
  m->Format = WorkFormat();
  m->Pixels = origin;
}

// Blend mode 0, or 1 at full strength, with no per-pixel alpha and no blend graph: the draw
// never reads the destination.
bool IsOpaqueDraw(const SurfaceDataRecord* sourceData) {
  const GraphicsDrawState& s = g_DrawState;
  const bool full = s.BlendMode == 0 || (s.BlendMode == 1 && s.BlendParam == 255);
  const bool alpha = sourceData != nullptr && sourceData->Options.AlphaChFlag != 0;
  return full && !alpha && s.BlendGraph == -1;
}

bool IsVideoMemory(DirectDrawSurface* s) {
  platform::SurfaceCaps caps;
  return s != nullptr && platform::Succeeded(s->GetCaps(&caps)) &&
         (caps.caps & platform::DDSCAPS_VIDEOMEMORY) != 0;
}

// The destination side; 0, or -1 with nothing locked.
int BeginTarget(const RECT& r, const SurfaceDataRecord* sourceData, int colorConversion,
                uint32_t* color) {
  const GraphicsDrawState& s = g_DrawState;
  const int32_t ox = s.DrawOrigin.left, oy = s.DrawOrigin.top;
  // The mask layer is not built: while it is, its scratch surface is the target here.
  if (s.MaskActive) return -1;

  if (MEMIMG* image = g_DD.DrawTargetMemImg; image != nullptr) {
    // An image in system memory needs no lock: itself, or a view at the target's offset.
    if (ox == 0 && oy == 0) {
      g_DD.SoftWorkTargetImage = image;
    } else {
      MakeMemImgView(&g_bracket.targetImage, image, ox, oy, image->Width - ox, image->Height - oy);
      g_DD.SoftWorkTargetImage = &g_bracket.targetImage;
    }
    return 0;
  }

  DirectDrawSurface* surface = g_DD.DrawTargetSurface;
  const bool opaque = IsOpaqueDraw(sourceData);
  const bool forceCopy = !opaque && IsVideoMemory(surface);
  const RECT onSurface{r.left + ox, r.top + oy, r.right + ox, r.bottom + oy};
  LockedRect& t = g_bracket.target;
  if (LockRect(surface, onSurface, forceCopy, colorConversion != 0 && opaque, &t) != 0) return -1;
  if (colorConversion != 0 && color != nullptr && t.converted)
    *color = ConvertColor(*color, t.surfaceFormat);
  const int bytes = WorkFormat()->PixelByte;
  SetUpWorkImage(&g_bracket.targetImage, s.DrawScreenWidth, s.DrawScreenHeight,
                 OriginFor(t.WorkPixels(), t.WorkPitch(), bytes, r.left, r.top), t.WorkPitch());
  g_DD.SoftWorkTargetImage = &g_bracket.targetImage;
  return 0;
}

// The source side; 0, or -1 with nothing of it locked.
int BeginSource(const Surface2DRecord& piece, SurfaceDataRecord& data, const RECT* srcRect) {
  const int32_t w = piece.Width, h = piece.Height;
  if (data.SoftwareFlag) {
    if (piece.SrcX == 0 && piece.SrcY == 0 && w == data.Width && h == data.Height) {
      g_DD.SoftWorkSourceImage = &data.Image;
    } else {
      MakeMemImgView(&g_bracket.sourceImage, &data.Image, piece.SrcX, piece.SrcY, w, h);
      g_DD.SoftWorkSourceImage = &g_bracket.sourceImage;
    }
    return 0;
  }
  const RECT whole{0, 0, w, h};
  RECT read = srcRect != nullptr ? *srcRect : whole;
  base::ClipRectToRect(&read, &whole);
  if (base::IsRectEmpty(read)) read = whole;
  const RECT onSurface{read.left + piece.SrcX, read.top + piece.SrcY, read.right + piece.SrcX,
                       read.bottom + piece.SrcY};
  LockedRect& l = g_bracket.source;
  if (LockRect(data.Surface, onSurface, false, false, &l) != 0) return -1;
  const ColorData* work = WorkFormat();
  SetUpWorkImage(&g_bracket.sourceImage, w, h,
                 OriginFor(l.WorkPixels(), l.WorkPitch(), work->PixelByte, read.left, read.top),
                 l.WorkPitch());
  const uint32_t key = data.ColorKey;
  g_bracket.sourceImage.TransColor =
      PackColorByData(work, int(key >> 16 & 0xFF), int(key >> 8 & 0xFF), int(key & 0xFF), 0);
  g_DD.SoftWorkSourceImage = &g_bracket.sourceImage;
  return 0;
}

}  // namespace

int BeginSoftDrawOnSurface(const Surface2DRecord* piece, int /*fastBlit*/, const RECT* srcRect,
                           const RECT* destRect, int colorConversion, uint32_t* color) {
  if (IsSoftwareScreenInUse()) return 0;
  if (g_bracket.open) EndSoftDrawOnSurface();  // never left open by a caller that pairs
  if (destRect == nullptr) return -1;
  RECT r = *destRect;
  base::ClipRectToRect(&r, &g_DrawState.DrawArea);
  if (base::IsRectEmpty(r)) return -1;

  SurfaceDataRecord* data = nullptr;
  if (piece != nullptr) {
    data = GetSurfaceDataRecord(piece->SurfaceData);
    if (data == nullptr) return -1;
  }
  g_DD.SoftWorkTargetImage = nullptr;
  g_DD.SoftWorkSourceImage = nullptr;
  if (BeginTarget(r, data, colorConversion, color) != 0) return -1;
  if (piece != nullptr && BeginSource(*piece, *data, srcRect) != 0) {
    // Release what the target side took, so that no later end touches it.
    ReleaseRect(&g_bracket.target, false);
    g_DD.SoftWorkTargetImage = nullptr;
    return -1;
  }
  g_bracket.open = true;
  return 0;
}

int EndSoftDrawOnSurface() {
  if (IsSoftwareScreenInUse() || !g_bracket.open) return 0;
  ReleaseRect(&g_bracket.target, true);
  ReleaseRect(&g_bracket.source, false);
  g_bracket.open = false;
  return 0;
}

}  // namespace zq::gfx
