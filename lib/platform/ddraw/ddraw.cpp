// DirectDraw stand-in (see ddraw.h).
#include "platform/ddraw/ddraw.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/d3d/d3d.h"
#include "platform/ddraw/surface_access.h"
#include "platform/pixel_bytes.h"
#include "platform/pixel_channels.h"
#include "platform/size_limits.h"

namespace zq::platform {

namespace {

constexpr uint8_t kPoisonByte = 0xCD;
constexpr uint32_t kVideoMemoryTotal = 256u << 20;
// Surface memory starts on a cache line, as display memory does: rows at a line-aligned x then
// take no store across two lines (a 64 x 64 window's present measured 1.6x faster).
constexpr std::align_val_t kPixelAlignment{64};

struct Hooks {
  std::mutex mutex;
  std::vector<DirectDraw*> objects;
  bool refuseVideo = false;
  HRESULT failCreate = DD_OK;
  HRESULT failLock = DD_OK;
  uint32_t padding = 0;
  bool overlays = false;
  PixelFormat overlayFormat{};
  DDCaps overlayAlign{};
};
Hooks& G() {
  static Hooks hooks;
  return hooks;
}

HRESULT TakeFailure(HRESULT Hooks::*which) {
  std::lock_guard lock(G().mutex);
  HRESULT hr = G().*which;
  G().*which = DD_OK;
  return hr;
}

uint32_t PixelMask(uint32_t bits) {
  return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}

bool ValidRgbFormat(const PixelFormat& f) {
  if (f.flags & (PF_FOURCC | PF_ZBUFFER | PF_STENCILBUFFER | PF_ALPHA | PF_LUMINANCE |
                 PF_BUMPLUMINANCE | PF_BUMPDUDV))
    return false;
  if (f.rgbBitCount == 8) return (f.flags & PF_PALETTEINDEXED8) != 0;
  if (f.rgbBitCount != 16 && f.rgbBitCount != 24 && f.rgbBitCount != 32) return false;
  if (!(f.flags & PF_RGB) || !f.redMask || !f.greenMask || !f.blueMask) return false;
  uint32_t alpha = (f.flags & PF_ALPHAPIXELS) ? f.alphaMask : 0;
  uint32_t masks[4] = {f.redMask, f.greenMask, f.blueMask, alpha};
  uint32_t seen = 0;
  for (uint32_t m : masks) {
    if ((m & seen) || (m & ~PixelMask(f.rgbBitCount))) return false;
    seen |= m;
  }
  return true;
}

// A rectangle is refused only when inverted; everything else is clipped.
bool Inverted(const RECT& r) {
  return r.right < r.left || r.bottom < r.top;
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}
bool Empty(const RECT& r) {
  return r.left >= r.right || r.top >= r.bottom;
}

// One axis of a copy: destination range [d0, d1) mapped onto the source; only the destination
// steps whose source lies inside [0, srcLimit) are kept. Returns the source coordinate of each
// kept step and the first kept destination coordinate.
struct Axis {
  int32_t first = 0;
  std::vector<int32_t> src;
};
Axis MapAxis(int64_t dRectLo, int64_t dRectLen, int64_t sRectLo, int64_t sRectLen, int32_t d0,
             int32_t d1, int32_t srcLimit) {
  Axis a;
  for (int64_t d = d0; d < d1; ++d) {
    // Both factors can reach 2^32, so the product needs more than 64 bits.
    int64_t s = sRectLo + int64_t(__int128(d - dRectLo) * sRectLen / dRectLen);
    if (s < 0 || s >= srcLimit) {
      if (a.src.empty()) continue;
      break;  // the mapping only grows, so nothing further lands inside
    }
    if (a.src.empty()) a.first = int32_t(d);
    a.src.push_back(int32_t(s));
  }
  return a;
}

template <uint32_t Bytes, bool Keyed>
void CopyRows(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, const Axis& xs,
              const Axis& ys, uint32_t keyLow, uint32_t keyHigh) {
  // Unscaled across (the steps only grow): whole rows at once.
  const bool rows =
      !Keyed && !xs.src.empty() && size_t(xs.src.back() - xs.src.front()) + 1 == xs.src.size();
  for (size_t j = 0; j < ys.src.size(); ++j) {
    uint8_t* d = dst + int64_t(ys.first + int32_t(j)) * dstPitch + int64_t(xs.first) * Bytes;
    const uint8_t* s = src + int64_t(ys.src[j]) * srcPitch;
    if (rows) {
      std::memmove(d, s + int64_t(xs.src.front()) * Bytes, xs.src.size() * Bytes);
      continue;
    }
    for (size_t i = 0; i < xs.src.size(); ++i, d += Bytes) {
      const uint8_t* p = s + int64_t(xs.src[i]) * Bytes;
      if constexpr (Keyed) {
        uint32_t v = LoadPixel(p, Bytes);
        if (v >= keyLow && v <= keyHigh) continue;
      }
      std::memcpy(d, p, Bytes);
    }
  }
}

template <bool Keyed>
void CopyRowsBy(uint32_t bytes, uint8_t* dst, int32_t dstPitch, const uint8_t* src,
                int32_t srcPitch, const Axis& xs, const Axis& ys, uint32_t lo, uint32_t hi) {
  WithPixelBytes(int(bytes), [&](auto b) {
    CopyRows<decltype(b)::value, Keyed>(dst, dstPitch, src, srcPitch, xs, ys, lo, hi);
  });
}

// Every window hears of a change of the desktop's mode, whoever made it.
bool ChangeDesktop(int32_t width, int32_t height, const PixelFormat& format) {
  const Desktop before = GetDesktop();
  if (!SetDesktop(width, height, format)) return false;
  const Desktop after = GetDesktop();
  if (before.width != after.width || before.height != after.height ||
      before.bitsPerPixel != after.bitsPerPixel)
    PostWindowMessage({MessageKind::DisplayChange, after.width, after.height, after.bitsPerPixel});
  return true;
}

// Hands out the held object with a new reference, or null and missing when nothing is held.
template <class T>
HRESULT HandOutHeld(T* held, T** out, HRESULT missing) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = held;
  if (!held) return missing;
  held->AddRef();
  return DD_OK;
}

}  // namespace

uint32_t RefCounted::Release() {
  if (--refs_ == 0) {
    delete this;
    return 0;
  }
  return refs_;
}

// ---- Clipper ---------------------------------------------------------------------------------

HRESULT DirectDrawClipper::SetHWnd(uint32_t flags, Window* window) {
  if (flags != 0) return DDERR_INVALIDPARAMS;
  window_ = window;
  list_.clear();
  return DD_OK;
}

HRESULT DirectDrawClipper::GetHWnd(Window** window) const {
  if (!window) return DDERR_INVALIDPARAMS;
  *window = window_;
  return DD_OK;
}

HRESULT DirectDrawClipper::SetClipList(const std::vector<RECT>* rects, uint32_t flags) {
  if (flags != 0) return DDERR_INVALIDPARAMS;
  if (rects) {
    for (const RECT& r : *rects)
      if (Inverted(r)) return DDERR_INVALIDRECT;
    list_ = *rects;
  } else {
    list_.clear();
  }
  if (!list_.empty()) window_ = nullptr;
  return DD_OK;
}

HRESULT DirectDrawClipper::GetClipList(std::vector<RECT>* rects) const {
  if (!rects) return DDERR_INVALIDPARAMS;
  rects->clear();
  if (window_) {
    if (!IsWindow(window_)) return DDERR_NOCLIPLIST;
    rects->push_back(window_->GetClientRect());
    return DD_OK;
  }
  if (list_.empty()) return DDERR_NOCLIPLIST;
  *rects = list_;
  return DD_OK;
}

// ---- Palette ---------------------------------------------------------------------------------

HRESULT DirectDrawPalette::GetEntries(uint32_t, uint32_t start, uint32_t count,
                                      PaletteEntry* out) const {
  if (!out || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
  std::copy(entries_ + start, entries_ + start + count, out);
  return DD_OK;
}

HRESULT DirectDrawPalette::SetEntries(uint32_t, uint32_t start, uint32_t count,
                                      const PaletteEntry* in) {
  if (!in || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
  std::copy(in, in + count, entries_ + start);
  return DD_OK;
}

// ---- Surface ---------------------------------------------------------------------------------

DirectDrawSurface::~DirectDrawSurface() {
  BeforeChange();
  if (dc_) DeleteSurfaceDC(dc_);
  if (chainNext_) {
    chainNext_->chainFront_ = nullptr;
    chainNext_->Release();
  }
  if (zbuffer_) zbuffer_->Release();
  if (clipper_) clipper_->Release();
  if (palette_) palette_->Release();
  ::operator delete[](pixels_, kPixelAlignment);
  if (!owner_) return;  // never registered
  {
    std::lock_guard lock(G().mutex);
    auto& list = owner_->surfaces_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (owner_->primary_ == this) owner_->primary_ = nullptr;
  }
  owner_->Release();
}

void DirectDrawSurface::BeforeChange() {
  if (auto* hook = changeHook_) {
    changeHook_ = nullptr;
    hook(this);
  }
}

bool DirectDrawSurface::CheckLost() {
  // Managed textures are brought back by the runtime itself, so only the test hook loses them.
  if (!lost_ && (caps_.caps & DDSCAPS_VIDEOMEMORY) && !(caps_.caps2 & DDSCAPS2_TEXTUREMANAGE) &&
      lossSerial_ != GetDisplayLossSerial())
    lost_ = true;
  return lost_;
}

bool DirectDrawSurface::KeyedPixel(uint32_t v) const {
  return hasKey_ && v >= key_.low && v <= key_.high;
}

HRESULT DirectDrawSurface::QueryInterface(InterfaceId id, void** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (id != InterfaceId::DirectDrawSurface7 && id != InterfaceId::DirectDrawSurface4)
    return E_NOINTERFACE;
  AddRef();
  *out = this;
  return DD_OK;
}

HRESULT DirectDrawSurface::Lock(const RECT* rect, SurfaceDesc* desc, uint32_t flags) {
  if (!desc) return DDERR_INVALIDPARAMS;
  if (HRESULT hr = TakeFailure(&Hooks::failLock); hr != DD_OK) return hr;
  if (CheckLost()) return DDERR_SURFACELOST;
  if (Busy()) return DDERR_SURFACEBUSY;
  RECT r{0, 0, width_, height_};
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->right > width_ || rect->bottom > height_ ||
        rect->left >= rect->right || rect->top >= rect->bottom)
      return DDERR_INVALIDRECT;
    r = *rect;
  }
  if (!(flags & DDLOCK_READONLY)) BeforeChange();
  GetSurfaceDesc(desc);
  desc->flags |= DDSD_LPSURFACE;
  desc->surface = Row(r.top) + int64_t(r.left) * BytesPerPixel();
  locked_ = true;
  return DD_OK;
}

HRESULT DirectDrawSurface::Unlock(const RECT*) {
  if (!locked_) return DDERR_NOTLOCKED;
  locked_ = false;
  return DD_OK;
}

HRESULT DirectDrawSurface::Blt(const RECT* destRect, DirectDrawSurface* src, const RECT* srcRect,
                               uint32_t flags, const BltFx* fx) {
  const RECT whole{0, 0, width_, height_};
  RECT d = destRect ? *destRect : whole;
  if (Inverted(d)) return DDERR_INVALIDRECT;
  if (CheckLost()) return DDERR_SURFACELOST;
  if (Busy()) return DDERR_SURFACEBUSY;
  BeforeChange();

  // The destination pixels that may be written: inside the surface and the clip list.
  std::vector<RECT> clip;
  if (clipper_) {
    if (clipper_->GetClipList(&clip) != DD_OK) clip.clear();
    for (RECT& c : clip) c = Intersect(Intersect(c, whole), d);
  } else {
    clip.push_back(Intersect(whole, d));
  }

  if (flags & DDBLT_COLORFILL) {
    if (!fx) return DDERR_INVALIDPARAMS;
    const uint32_t value = fx->fillColor & PixelMask(format_.rgbBitCount);
    for (const RECT& c : clip) {
      if (Empty(c)) continue;
      WithPixelBytes(int(BytesPerPixel()),
                     [&](auto b) { FillPixelRect<decltype(b)::value>(pixels_, pitch_, c, value); });
    }
    return DD_OK;
  }

  if (!src) return DDERR_INVALIDPARAMS;
  RECT s = srcRect ? *srcRect : RECT{0, 0, src->width_, src->height_};
  if (Inverted(s)) return DDERR_INVALIDRECT;
  if (src->CheckLost()) return DDERR_SURFACELOST;
  if (src->Busy()) return DDERR_SURFACEBUSY;
  if (src->format_.rgbBitCount != format_.rgbBitCount) return DDERR_INVALIDPIXELFORMAT;
  if (Empty(s) || Empty(d)) return DD_OK;

  // A copy within one surface reads from a snapshot so overlapping rows are not read twice.
  std::vector<uint8_t> snapshot;
  const uint8_t* from = src->pixels_;
  if (src == this) {
    snapshot.assign(pixels_, pixels_ + int64_t(pitch_) * height_);
    from = snapshot.data();
  }
  const bool keyed = (flags & DDBLT_KEYSRC) && src->hasKey_;
  for (const RECT& c : clip) {
    if (Empty(c)) continue;
    Axis xs = MapAxis(d.left, int64_t(d.right) - d.left, s.left, int64_t(s.right) - s.left, c.left,
                      c.right, src->width_);
    Axis ys = MapAxis(d.top, int64_t(d.bottom) - d.top, s.top, int64_t(s.bottom) - s.top, c.top,
                      c.bottom, src->height_);
    if (xs.src.empty() || ys.src.empty()) continue;
    if (keyed)
      CopyRowsBy<true>(BytesPerPixel(), pixels_, pitch_, from, src->pitch_, xs, ys, src->key_.low,
                       src->key_.high);
    else
      CopyRowsBy<false>(BytesPerPixel(), pixels_, pitch_, from, src->pitch_, xs, ys, 0, 0);
  }
  return DD_OK;
}

HRESULT DirectDrawSurface::BltFast(int32_t x, int32_t y, DirectDrawSurface* src,
                                   const RECT* srcRect, uint32_t flags) {
  if (!src) return DDERR_INVALIDPARAMS;
  RECT s = srcRect ? *srcRect : RECT{0, 0, src->width_, src->height_};
  if (Inverted(s)) return DDERR_INVALIDRECT;
  if (CheckLost() || src->CheckLost()) return DDERR_SURFACELOST;
  if (Busy() || src->Busy()) return DDERR_SURFACEBUSY;
  if (src->format_.rgbBitCount != format_.rgbBitCount) return DDERR_INVALIDPIXELFORMAT;
  BeforeChange();
  const int64_t w = int64_t(s.right) - s.left, h = int64_t(s.bottom) - s.top;
  if (w == 0 || h == 0) return DD_OK;
  // Destination rectangle in 64 bits, then clipped to the surface (no clipper here).
  const int64_t dl = x, dt = y, dr = dl + w, db = dt + h;
  RECT c{int32_t(std::clamp<int64_t>(dl, 0, width_)), int32_t(std::clamp<int64_t>(dt, 0, height_)),
         int32_t(std::clamp<int64_t>(dr, 0, width_)), int32_t(std::clamp<int64_t>(db, 0, height_))};
  if (Empty(c)) return DD_OK;
  std::vector<uint8_t> snapshot;
  const uint8_t* from = src->pixels_;
  if (src == this) {
    snapshot.assign(pixels_, pixels_ + int64_t(pitch_) * height_);
    from = snapshot.data();
  }
  Axis xs = MapAxis(dl, w, s.left, w, c.left, c.right, src->width_);
  Axis ys = MapAxis(dt, h, s.top, h, c.top, c.bottom, src->height_);
  if (xs.src.empty() || ys.src.empty()) return DD_OK;
  if ((flags & DDBLTFAST_SRCCOLORKEY) && src->hasKey_)
    CopyRowsBy<true>(BytesPerPixel(), pixels_, pitch_, from, src->pitch_, xs, ys, src->key_.low,
                     src->key_.high);
  else
    CopyRowsBy<false>(BytesPerPixel(), pixels_, pitch_, from, src->pitch_, xs, ys, 0, 0);
  return DD_OK;
}

HRESULT DirectDrawSurface::SetColorKey(uint32_t flags, const ColorKey* key) {
  if (flags != DDCKEY_SRCBLT) return DDERR_INVALIDPARAMS;
  if (!key) {
    hasKey_ = false;
    return DD_OK;
  }
  const uint32_t mask = PixelMask(format_.rgbBitCount);
  key_ = ColorKey{key->low & mask, key->high & mask};
  hasKey_ = true;
  return DD_OK;
}

HRESULT DirectDrawSurface::GetColorKey(uint32_t flags, ColorKey* key) const {
  if (flags != DDCKEY_SRCBLT || !key) return DDERR_INVALIDPARAMS;
  if (!hasKey_) return DDERR_NOCOLORKEY;
  *key = key_;
  return DD_OK;
}

HRESULT DirectDrawSurface::IsLost() {
  return CheckLost() ? DDERR_SURFACELOST : DD_OK;
}

HRESULT DirectDrawSurface::Restore() {
  if (!CheckLost()) return DD_OK;
  if (displayBits_ != 0) {
    Desktop desk = GetDesktop();
    if (desk.width != displayWidth_ || desk.height != displayHeight_ ||
        desk.bitsPerPixel != displayBits_)
      return DDERR_WRONGMODE;
  }
  for (DirectDrawSurface* s = this; s; s = s->chainNext_) {
    s->BeforeChange();
    std::memset(s->pixels_, kPoisonByte, size_t(int64_t(s->pitch_) * s->height_));
    s->lost_ = false;
    s->lossSerial_ = GetDisplayLossSerial();
  }
  return DD_OK;
}

HRESULT DirectDrawSurface::GetSurfaceDesc(SurfaceDesc* desc) const {
  if (!desc) return DDERR_INVALIDPARAMS;
  *desc = SurfaceDesc{};
  desc->flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
  desc->width = uint32_t(width_);
  desc->height = uint32_t(height_);
  desc->pitch = pitch_;
  desc->pixelFormat = format_;
  desc->caps = caps_;
  if (hasKey_) {
    desc->flags |= DDSD_CKSRCBLT;
    desc->ckSrcBlt = key_;
  }
  if (caps_.caps & DDSCAPS_PRIMARYSURFACE) {
    uint32_t n = 0;
    for (const DirectDrawSurface* s = chainNext_; s; s = s->chainNext_) ++n;
    desc->flags |= DDSD_BACKBUFFERCOUNT;
    desc->backBufferCount = n;
  }
  return DD_OK;
}

HRESULT DirectDrawSurface::GetCaps(SurfaceCaps* caps) const {
  if (!caps) return DDERR_INVALIDPARAMS;
  *caps = caps_;
  return DD_OK;
}

HRESULT DirectDrawSurface::GetPixelFormat(PixelFormat* format) const {
  if (!format) return DDERR_INVALIDPARAMS;
  *format = format_;
  return DD_OK;
}

HRESULT DirectDrawSurface::AddAttachedSurface(DirectDrawSurface* surface) {
  if (!surface || surface == this || surface->owner_ != owner_) return DDERR_INVALIDPARAMS;
  if (zbuffer_ == surface) return DDERR_SURFACEALREADYATTACHED;
  if (!(surface->caps_.caps & DDSCAPS_ZBUFFER) || (caps_.caps & DDSCAPS_ZBUFFER) || zbuffer_ ||
      surface->width_ != width_ || surface->height_ != height_)
    return DDERR_CANNOTATTACHSURFACE;
  surface->AddRef();
  zbuffer_ = surface;
  return DD_OK;
}

HRESULT DirectDrawSurface::DeleteAttachedSurface(uint32_t flags, DirectDrawSurface* surface) {
  if (flags != 0) return DDERR_INVALIDPARAMS;
  if (surface && surface == chainNext_) return DDERR_CANNOTDETACHSURFACE;
  if (!zbuffer_ || (surface && surface != zbuffer_)) return DDERR_SURFACENOTATTACHED;
  DirectDrawSurface* z = zbuffer_;
  zbuffer_ = nullptr;
  z->Release();
  return DD_OK;
}

HRESULT DirectDrawSurface::GetAttachedSurface(const SurfaceCaps& caps, DirectDrawSurface** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  DirectDrawSurface* found = nullptr;
  if (caps.caps & DDSCAPS_BACKBUFFER)
    found = chainNext_;
  else if (caps.caps & DDSCAPS_ZBUFFER)
    found = zbuffer_;
  if (!found) return DDERR_NOTFOUND;
  found->AddRef();
  *out = found;
  return DD_OK;
}

HRESULT DirectDrawSurface::Flip(DirectDrawSurface*, uint32_t) {
  if (!(caps_.caps & DDSCAPS_PRIMARYSURFACE) || !chainNext_) return DDERR_NOTFLIPPABLE;
  if (!(owner_->level_ & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
  for (DirectDrawSurface* s = this; s; s = s->chainNext_) {
    if (s->CheckLost()) return DDERR_SURFACELOST;
    if (s->Busy()) return DDERR_SURFACEBUSY;
  }
  // The front takes the first back buffer's pixels, each back buffer the next one's, and the
  // last back buffer the old front's.
  for (DirectDrawSurface* s = this; s; s = s->chainNext_) s->BeforeChange();
  uint8_t* oldFront = pixels_;
  DirectDrawSurface* s = this;
  for (; s->chainNext_; s = s->chainNext_) s->pixels_ = s->chainNext_->pixels_;
  s->pixels_ = oldFront;
  return DD_OK;
}

HRESULT DirectDrawSurface::UpdateOverlay(const RECT* srcRect, DirectDrawSurface* dest,
                                         const RECT* destRect, uint32_t flags, const void*) {
  if (!(caps_.caps & DDSCAPS_OVERLAY)) return DDERR_NOOVERLAYHW;
  if (!dest || !(dest->caps_.caps & DDSCAPS_PRIMARYSURFACE)) return DDERR_INVALIDPARAMS;
  if ((flags & DDOVER_SHOW) && (flags & DDOVER_HIDE)) return DDERR_INVALIDPARAMS;
  if (flags & DDOVER_HIDE) {
    ++overlay_.calls;
    overlay_.shown = false;
    return DD_OK;
  }
  if (!(flags & DDOVER_SHOW) || !destRect) return DDERR_INVALIDPARAMS;
  const RECT s = srcRect ? *srcRect : RECT{0, 0, width_, height_};
  if (Empty(s) || Empty(*destRect) || s.left < 0 || s.top < 0 || s.right > width_ ||
      s.bottom > height_)
    return DDERR_INVALIDRECT;
  ++overlay_.calls;
  overlay_.shown = true;
  overlay_.src = s;
  overlay_.dest = *destRect;
  return DD_OK;
}

HRESULT DirectDrawSurface::SetClipper(DirectDrawClipper* clipper) {
  ReplaceHeld(clipper_, clipper);
  return DD_OK;
}

HRESULT DirectDrawSurface::GetClipper(DirectDrawClipper** out) {
  return HandOutHeld(clipper_, out, DDERR_NOCLIPPERATTACHED);
}

HRESULT DirectDrawSurface::SetPalette(DirectDrawPalette* palette) {
  if (palette && format_.rgbBitCount != 8) return DDERR_INVALIDPIXELFORMAT;
  ReplaceHeld(palette_, palette);
  return DD_OK;
}

HRESULT DirectDrawSurface::GetPalette(DirectDrawPalette** out) {
  return HandOutHeld(palette_, out, DDERR_NOPALETTEATTACHED);
}

HRESULT DirectDrawSurface::GetDC(HDC* dc) {
  if (!dc) return DDERR_INVALIDPARAMS;
  *dc = nullptr;
  if (caps_.caps & DDSCAPS_ZBUFFER) return DDERR_INVALIDPARAMS;
  if (CheckLost()) return DDERR_SURFACELOST;
  if (Busy()) return DDERR_SURFACEBUSY;
  BeforeChange();
  PixelTarget t;
  t.top = pixels_;
  t.width = width_;
  t.height = height_;
  t.pitch = pitch_;
  t.bitCount = format_.rgbBitCount;
  t.redMask = format_.redMask;
  t.greenMask = format_.greenMask;
  t.blueMask = format_.blueMask;
  RGBQUAD colors[256]{};
  if (t.bitCount == 8 && palette_) {
    for (int i = 0; i < 256; ++i) {
      const PaletteEntry& e = palette_->entries_[i];
      colors[i] = RGBQUAD{e.blue, e.green, e.red, 0};
    }
    t.colors = colors;
    t.colorCount = 256;
  }
  dc_ = CreateSurfaceDC(t);
  if (!dc_) return DDERR_OUTOFMEMORY;
  *dc = dc_;
  return DD_OK;
}

HRESULT DirectDrawSurface::ReleaseDC(HDC dc) {
  if (!dc || dc != dc_) return DDERR_INVALIDPARAMS;
  DeleteSurfaceDC(dc_);
  dc_ = nullptr;
  return DD_OK;
}

uint32_t DirectDrawSurface::TestGetPixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return LoadPixel(Row(y) + int64_t(x) * BytesPerPixel(), BytesPerPixel());
}

std::vector<uint8_t> DirectDrawSurface::TestReadBack() const {
  const size_t row = size_t(width_) * BytesPerPixel();
  std::vector<uint8_t> out(row * size_t(height_));
  for (int32_t y = 0; y < height_; ++y) std::memcpy(out.data() + row * size_t(y), Row(y), row);
  return out;
}

const uint8_t* DirectDrawSurface::TestPixels() const {
  return pixels_;
}

// ---- DirectDraw ------------------------------------------------------------------------------

HRESULT DirectDrawCreateEx(DirectDraw** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = new (std::nothrow) DirectDraw();
  if (!*out) return DDERR_OUTOFMEMORY;
  std::lock_guard lock(G().mutex);
  G().objects.push_back(*out);
  return DD_OK;
}

DirectDraw::~DirectDraw() {
  RestoreDisplayMode();
  std::lock_guard lock(G().mutex);
  auto& list = G().objects;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

HRESULT DirectDraw::QueryInterface(InterfaceId id, void** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (id == InterfaceId::Direct3D7) {
    Direct3D* d3d = nullptr;
    const HRESULT hr = CreateDirect3D(this, &d3d);
    *out = d3d;
    return hr;
  }
  if (id != InterfaceId::DirectDraw7 && id != InterfaceId::DirectDraw4 &&
      id != InterfaceId::DirectDraw)
    return E_NOINTERFACE;
  AddRef();
  *out = this;
  return DD_OK;
}

HRESULT DirectDraw::SetCooperativeLevel(Window* window, uint32_t flags) {
  const bool normal = flags & DDSCL_NORMAL, exclusive = flags & DDSCL_EXCLUSIVE;
  if (normal == exclusive) return DDERR_INVALIDPARAMS;
  if (exclusive) {
    if (!(flags & DDSCL_FULLSCREEN) || !IsWindow(window)) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(G().mutex);
    for (DirectDraw* other : G().objects)
      if (other != this && (other->level_ & DDSCL_EXCLUSIVE)) return DDERR_EXCLUSIVEMODEALREADYSET;
  } else {
    RestoreDisplayMode();
  }
  window_ = window;
  level_ = flags;
  return DD_OK;
}

std::vector<DisplayMode> ListDisplayModes() {
  static constexpr int32_t kSizes[][2] = {{640, 480},  {800, 600},   {1024, 768},
                                          {1280, 720}, {1280, 1024}, {1920, 1080}};
  std::vector<DisplayMode> modes;
  const Desktop desk = GetDesktop();
  for (uint32_t bits : {8u, 16u, 24u, 32u}) {
    bool desktopListed = false;
    for (const auto& s : kSizes) {
      modes.push_back({s[0], s[1], bits});
      desktopListed |= s[0] == desk.width && s[1] == desk.height;
    }
    if (!desktopListed) modes.push_back({desk.width, desk.height, bits});
  }
  return modes;
}

HRESULT DirectDraw::SetDisplayMode(int32_t width, int32_t height, uint32_t bitsPerPixel, uint32_t,
                                   uint32_t) {
  if (!(level_ & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
  bool listed = false;
  for (const DisplayMode& m : ListDisplayModes())
    listed |= m.width == width && m.height == height && m.bitsPerPixel == bitsPerPixel;
  if (!listed) return DDERR_INVALIDMODE;
  if (!modeChanged_) savedDesktop_ = GetDesktop();
  if (!ChangeDesktop(width, height, AdapterPixelFormat(bitsPerPixel))) return DDERR_INVALIDMODE;
  modeChanged_ = true;
  return DD_OK;
}

HRESULT DirectDraw::RestoreDisplayMode() {
  if (modeChanged_) {
    ChangeDesktop(savedDesktop_.width, savedDesktop_.height, savedDesktop_.format);
    modeChanged_ = false;
  }
  return DD_OK;
}

HRESULT DirectDraw::EnumDisplayModes(
    uint32_t, const SurfaceDesc* filter,
    const std::function<bool(const SurfaceDesc&)>& callback) const {
  if (!callback) return DDERR_INVALIDPARAMS;
  for (const DisplayMode& m : ListDisplayModes()) {
    SurfaceDesc d;
    d.flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
    d.width = uint32_t(m.width);
    d.height = uint32_t(m.height);
    d.pitch = (m.width * int32_t(m.bitsPerPixel / 8) + 3) & ~3;
    d.refreshRate = 60;
    d.pixelFormat = AdapterPixelFormat(m.bitsPerPixel);
    if (filter) {
      if ((filter->flags & DDSD_WIDTH) && filter->width != d.width) continue;
      if ((filter->flags & DDSD_HEIGHT) && filter->height != d.height) continue;
      if ((filter->flags & DDSD_PIXELFORMAT) && filter->pixelFormat.rgbBitCount != m.bitsPerPixel)
        continue;
    }
    if (!callback(d)) break;
  }
  return DD_OK;
}

HRESULT DirectDraw::GetDisplayMode(SurfaceDesc* desc) const {
  if (!desc) return DDERR_INVALIDPARAMS;
  const Desktop desk = GetDesktop();
  *desc = SurfaceDesc{};
  desc->flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
  desc->width = uint32_t(desk.width);
  desc->height = uint32_t(desk.height);
  desc->pitch = (desk.width * int32_t(desk.bitsPerPixel / 8) + 3) & ~3;
  desc->refreshRate = 60;
  desc->pixelFormat = desk.format;
  return DD_OK;
}

HRESULT DirectDraw::GetCaps(DDCaps* driver, DDCaps* emulation) const {
  if (!driver && !emulation) return DDERR_INVALIDPARAMS;
  DDCaps caps;
  caps.caps = DDCAPS_BLT | DDCAPS_BLTSTRETCH | DDCAPS_COLORKEY | DDCAPS_BLTCOLORFILL;
  caps.ckeyCaps = DDCKEYCAPS_SRCBLT;
  if (emulation) *emulation = caps;
  if (driver) {
    std::lock_guard lock(G().mutex);
    if (G().overlays) {
      const DDCaps& a = G().overlayAlign;
      caps.caps |= DDCAPS_OVERLAY | (a.caps & (DDCAPS_ALIGNBOUNDARYDEST | DDCAPS_ALIGNSIZEDEST |
                                               DDCAPS_ALIGNBOUNDARYSRC | DDCAPS_ALIGNSIZESRC));
      caps.alignBoundarySrc = a.alignBoundarySrc;
      caps.alignSizeSrc = a.alignSizeSrc;
      caps.alignBoundaryDest = a.alignBoundaryDest;
      caps.alignSizeDest = a.alignSizeDest;
    }
    uint64_t used = 0;
    for (const DirectDrawSurface* s : surfaces_)
      if (s->caps_.caps & DDSCAPS_VIDEOMEMORY) used += uint64_t(s->pitch_) * uint64_t(s->height_);
    caps.vidMemTotal = kVideoMemoryTotal;
    caps.vidMemFree =
        G().refuseVideo || used >= kVideoMemoryTotal ? 0 : uint32_t(kVideoMemoryTotal - used);
    *driver = caps;
  }
  return DD_OK;
}

HRESULT DirectDraw::NewSurface(int32_t width, int32_t height, const PixelFormat& format,
                               uint32_t caps, uint32_t caps2, DirectDrawSurface** out) {
  uint32_t padding;
  {
    std::lock_guard lock(G().mutex);
    padding = G().padding;
  }
  const int64_t pitch =
      (int64_t(width) * (format.rgbBitCount / 8) + 3) / 4 * 4 + (int64_t(padding) + 3) / 4 * 4;
  if (pitch > kMaxBlockBytes || pitch * height > kMaxBlockBytes) return DDERR_INVALIDPARAMS;
  auto* s = new (std::nothrow) DirectDrawSurface();
  if (!s) return DDERR_OUTOFMEMORY;
  s->pixels_ = new (kPixelAlignment, std::nothrow) uint8_t[size_t(pitch * height)]();
  if (!s->pixels_) {
    delete s;  // never registered: the destructor must not run its bookkeeping
    return DDERR_OUTOFMEMORY;
  }
  s->width_ = width;
  s->height_ = height;
  s->pitch_ = int32_t(pitch);
  s->format_ = format;
  s->format_.size = sizeof(PixelFormat);
  s->caps_ = SurfaceCaps{caps, caps2};
  s->lossSerial_ = GetDisplayLossSerial();
  try {
    std::lock_guard lock(G().mutex);
    surfaces_.push_back(s);
  } catch (const std::bad_alloc&) {
    delete s;  // not registered yet: no bookkeeping
    return DDERR_OUTOFMEMORY;
  }
  s->owner_ = this;
  AddRef();
  *out = s;
  return DD_OK;
}

HRESULT DirectDraw::CreatePrimary(const SurfaceDesc& desc, DirectDrawSurface** out) {
  const uint32_t caps = desc.caps.caps;
  if (primary_) return DDERR_PRIMARYSURFACEALREADYEXISTS;
  if (desc.flags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT)) return DDERR_INVALIDPARAMS;
  if (caps & (DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE | DDSCAPS_ZBUFFER | DDSCAPS_OFFSCREENPLAIN))
    return DDERR_INVALIDCAPS;
  uint32_t backs = 0;
  if (caps & DDSCAPS_FLIP) {
    if (!(caps & DDSCAPS_COMPLEX) || !(desc.flags & DDSD_BACKBUFFERCOUNT) ||
        desc.backBufferCount == 0 || desc.backBufferCount > 3)
      return DDERR_INVALIDPARAMS;
    if (!(level_ & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
    backs = desc.backBufferCount;
    std::lock_guard lock(G().mutex);
    if (G().refuseVideo) return DDERR_OUTOFVIDEOMEMORY;
  }
  const Desktop desk = GetDesktop();
  const uint32_t memory = DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;
  const uint32_t chain = backs ? (DDSCAPS_FLIP | DDSCAPS_COMPLEX) : 0;
  const uint32_t device = caps & DDSCAPS_3DDEVICE;
  DirectDrawSurface* front = nullptr;
  HRESULT hr = NewSurface(
      desk.width, desk.height, desk.format,
      DDSCAPS_PRIMARYSURFACE | memory | chain | device | (backs ? DDSCAPS_FRONTBUFFER : 0), 0,
      &front);
  if (hr != DD_OK) return hr;
  DirectDrawSurface* last = front;
  for (uint32_t i = 0; i < backs; ++i) {
    DirectDrawSurface* back = nullptr;
    hr = NewSurface(desk.width, desk.height, desk.format,
                    DDSCAPS_BACKBUFFER | memory | chain | device, 0, &back);
    if (hr != DD_OK) {
      front->Release();
      return hr;
    }
    back->chainFront_ = front;
    last->chainNext_ = back;
    last = back;
  }
  for (DirectDrawSurface* s = front; s; s = s->chainNext_) {
    s->displayWidth_ = desk.width;
    s->displayHeight_ = desk.height;
    s->displayBits_ = desk.bitsPerPixel;
  }
  primary_ = front;
  *out = front;
  return DD_OK;
}

HRESULT DirectDraw::CreateSurface(const SurfaceDesc& desc, DirectDrawSurface** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (HRESULT hr = TakeFailure(&Hooks::failCreate); hr != DD_OK) return hr;
  if (!(desc.flags & DDSD_CAPS)) return DDERR_INVALIDPARAMS;
  uint32_t caps = desc.caps.caps;
  if (caps & DDSCAPS_OVERLAY) return CreateOverlay(desc, out);
  if ((caps & DDSCAPS_SYSTEMMEMORY) && (caps & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDCAPS;
  if (caps & DDSCAPS_PRIMARYSURFACE) return CreatePrimary(desc, out);
  if (caps & (DDSCAPS_BACKBUFFER | DDSCAPS_FRONTBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX))
    return DDERR_INVALIDCAPS;
  if ((desc.flags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT))
    return DDERR_INVALIDPARAMS;
  if (desc.width == 0 || desc.height == 0 || desc.width > uint32_t(kMaxImageSide) ||
      desc.height > uint32_t(kMaxImageSide))
    return DDERR_INVALIDPARAMS;

  PixelFormat format;
  if (caps & DDSCAPS_ZBUFFER) {
    if (caps & (DDSCAPS_TEXTURE | DDSCAPS_OFFSCREENPLAIN)) return DDERR_INVALIDCAPS;
    uint32_t bits = 16;
    if (desc.flags & DDSD_PIXELFORMAT) {
      const PixelFormat& f = desc.pixelFormat;
      if (!(f.flags & PF_ZBUFFER) ||
          (f.rgbBitCount != 16 && f.rgbBitCount != 24 && f.rgbBitCount != 32))
        return DDERR_INVALIDPIXELFORMAT;
      bits = f.rgbBitCount;
    }
    format = PixelFormat{sizeof(PixelFormat), PF_ZBUFFER, 0, bits, 0, 0, 0, 0};
  } else if (desc.flags & DDSD_PIXELFORMAT) {
    if (!ValidRgbFormat(desc.pixelFormat)) return DDERR_INVALIDPIXELFORMAT;
    format = desc.pixelFormat;
    if (!(format.flags & PF_ALPHAPIXELS)) format.alphaMask = 0;
  } else {
    format = GetDesktop().format;
  }

  bool refuse;
  {
    std::lock_guard lock(G().mutex);
    refuse = G().refuseVideo;
  }
  if (caps & DDSCAPS_VIDEOMEMORY) {
    if (refuse) return DDERR_OUTOFVIDEOMEMORY;
    caps |= DDSCAPS_LOCALVIDMEM;
  } else if (!(caps & DDSCAPS_SYSTEMMEMORY)) {
    caps |= refuse ? DDSCAPS_SYSTEMMEMORY : (DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM);
  }
  DirectDrawSurface* s = nullptr;
  HRESULT hr =
      NewSurface(int32_t(desc.width), int32_t(desc.height), format, caps, desc.caps.caps2, &s);
  if (hr != DD_OK) return hr;
  if (desc.flags & DDSD_CKSRCBLT) s->SetColorKey(DDCKEY_SRCBLT, &desc.ckSrcBlt);
  *out = s;
  return DD_OK;
}

HRESULT DirectDraw::CreateOverlay(const SurfaceDesc& desc, DirectDrawSurface** out) {
  PixelFormat format;
  {
    std::lock_guard lock(G().mutex);
    if (!G().overlays) return DDERR_NOOVERLAYHW;
    if (G().refuseVideo) return DDERR_OUTOFVIDEOMEMORY;
    format = G().overlayFormat;
  }
  const uint32_t caps = desc.caps.caps;
  if ((caps & ~(DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM)) != 0)
    return DDERR_INVALIDCAPS;
  if ((desc.flags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT)) !=
          (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT) ||
      desc.width == 0 || desc.height == 0 || desc.width > uint32_t(kMaxImageSide) ||
      desc.height > uint32_t(kMaxImageSide))
    return DDERR_INVALIDPARAMS;
  const PixelFormat& f = desc.pixelFormat;
  const bool same = (f.flags & PF_FOURCC)
                        ? (format.flags & PF_FOURCC) && f.fourCC == format.fourCC
                        : !(format.flags & PF_FOURCC) && f.rgbBitCount == format.rgbBitCount &&
                              f.redMask == format.redMask && f.greenMask == format.greenMask &&
                              f.blueMask == format.blueMask;
  if (!same) return DDERR_INVALIDPIXELFORMAT;
  // Packed YUV overlays hold two bytes a pixel.
  if (format.flags & PF_FOURCC) format.rgbBitCount = 16;
  return NewSurface(int32_t(desc.width), int32_t(desc.height), format,
                    DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM, 0, out);
}

HRESULT DirectDraw::CreateClipper(uint32_t flags, DirectDrawClipper** out) {
  if (!out || flags != 0) return DDERR_INVALIDPARAMS;
  *out = new (std::nothrow) DirectDrawClipper();
  return *out ? DD_OK : DDERR_OUTOFMEMORY;
}

HRESULT DirectDraw::CreatePalette(uint32_t flags, const PaletteEntry* entries,
                                  DirectDrawPalette** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!(flags & DDPCAPS_8BIT) || !entries) return DDERR_INVALIDPARAMS;
  auto* p = new (std::nothrow) DirectDrawPalette();
  if (!p) return DDERR_OUTOFMEMORY;
  std::copy(entries, entries + 256, p->entries_);
  *out = p;
  return DD_OK;
}

// ---- Test hooks ------------------------------------------------------------------------------

namespace ddtest {

void MakeAllSurfacesLost() {
  std::lock_guard lock(G().mutex);
  for (DirectDraw* dd : G().objects)
    for (DirectDrawSurface* s : SurfaceAccess::Surfaces(dd)) SurfaceAccess::MarkLost(s);
}

void SetRefuseVideoMemory(bool refuse) {
  std::lock_guard lock(G().mutex);
  G().refuseVideo = refuse;
}

void FailNextCreateSurface(HRESULT code) {
  std::lock_guard lock(G().mutex);
  G().failCreate = code;
}

void FailNextLock(HRESULT code) {
  std::lock_guard lock(G().mutex);
  G().failLock = code;
}

void SetPitchPadding(uint32_t bytes) {
  std::lock_guard lock(G().mutex);
  G().padding = std::min<uint32_t>(bytes, 4096);
}

void SetOverlaySupport(const PixelFormat* format, const DDCaps* align) {
  std::lock_guard lock(G().mutex);
  G().overlays = format != nullptr;
  G().overlayFormat = format ? *format : PixelFormat{};
  G().overlayAlign = align ? *align : DDCaps{};
}

int LiveSurfaceCount() {
  std::lock_guard lock(G().mutex);
  int n = 0;
  for (DirectDraw* dd : G().objects) n += int(SurfaceAccess::Surfaces(dd).size());
  return n;
}

void Reset() {
  std::lock_guard lock(G().mutex);
  G().refuseVideo = false;
  G().failCreate = DD_OK;
  G().failLock = DD_OK;
  G().padding = 0;
  G().overlays = false;
  G().overlayAlign = DDCaps{};
}

}  // namespace ddtest

}  // namespace zq::platform
