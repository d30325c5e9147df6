// Flat-colour blend arithmetic: one colour combined with destination pixels in blend modes
// 0 to 4, for 16-bit 5:6:5 and 32-bit destinations. Shared by filled boxes, lines and
// flat-colour triangle spans, which must give identical pixels.
//
// Use: settle the colour once per call (bright scaling, parameter rows, shortcuts), then
// let WithFlatOp pick the one specialised per-pixel operation and hand it to the caller's
// loop. The operations are small value objects, so each loop is compiled per mode and depth
// and tests nothing per pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "graphics/ddraw/memimg.h"
#include "platform/types.h"
#include "softrender/packed_ops.h"
#include "softrender/soft_tables.h"

namespace zq::soft {

inline constexpr int kFlatNone = -1;  // draws nothing
inline constexpr int kFlatCopy = 0;
inline constexpr int kFlatAlpha = 1;
inline constexpr int kFlatAdd = 2;
inline constexpr int kFlatSub = 3;
inline constexpr int kFlatMul = 4;

// ---- Pixel access ---------------------------------------------------------------------------
// Pixels are reached through byte pointers (pitches are byte counts and need not be multiples
// of the pixel size), so every access goes through memcpy: no alignment assumption.

template <typename Pixel>
inline Pixel LoadPixel(const uint8_t* p) {
  Pixel v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename Pixel>
inline void StorePixel(uint8_t* p, Pixel v) {
  std::memcpy(p, &v, sizeof v);
}

// ---- Per-call preparation -------------------------------------------------------------------

// True when the bright colour changes anything (its byte above the low 24 bits is ignored).
constexpr bool IsBrightOn(uint32_t bright) {
  return (bright & 0xFFFFFFu) != 0xFFFFFFu;
}

// Bright scaling of boxes and lines: each channel times its bright byte, shifted right by 8,
// so even a bright byte of 255 lowers a channel (31 becomes 30). Call only when bright is on.
constexpr uint32_t BrightScaleShift16(uint32_t color, uint32_t bright) {
  const uint32_t br = (bright >> 16) & 0xFF, bg = (bright >> 8) & 0xFF, bb = bright & 0xFF;
  color &= 0xFFFF;
  const uint32_t r = ((color >> 11) * br) >> 8;
  const uint32_t g = (((color & 0x7E0) >> 5) * bg) >> 8;
  const uint32_t b = ((color & 0x1F) * bb) >> 8;
  return r << 11 | g << 5 | b;
}

constexpr uint32_t BrightScaleShift32(uint32_t color, uint32_t bright) {
  const uint32_t br = (bright >> 16) & 0xFF, bg = (bright >> 8) & 0xFF, bb = bright & 0xFF;
  const uint32_t r = (((color >> 16) & 0xFF) * br) >> 8;
  const uint32_t g = (((color >> 8) & 0xFF) * bg) >> 8;
  const uint32_t b = ((color & 0xFF) * bb) >> 8;
  return (color & 0xFF000000u) | r << 16 | g << 8 | b;
}

// The parameter shortcuts: which operation a blend mode and parameter come down to.
// Alpha blend at 255 is a copy; alpha, additive and subtractive at 0 draw nothing;
// multiplicative ignores the parameter; a mode outside 0..4 draws nothing.
constexpr int ResolveFlatMode(int32_t mode, uint32_t param) {
  switch (uint32_t(mode)) {
    case 0:
      return kFlatCopy;
    case 1:
      return param == 255 ? kFlatCopy : param == 0 ? kFlatNone : kFlatAlpha;
    case 2:
      return param == 0 ? kFlatNone : kFlatAdd;
    case 3:
      return param == 0 ? kFlatNone : kFlatSub;
    case 4:
      return kFlatMul;
    default:
      return kFlatNone;
  }
}

// The values every flat operation may read, fixed for one call.
struct FlatColor {
  uint32_t color;   // the colour after any bright scaling (16-bit: low 16 bits)
  uint32_t scaled;  // the colour scaled per channel by param / 255 (additive, subtractive)
  uint32_t param;   // blend parameter 0..255
};

// Builds the per-call values from a prepared colour. Pixel selects the depth.
template <typename Pixel>
constexpr FlatColor MakeFlatColor(uint32_t color, uint32_t param) {
  param &= 0xFF;
  const int32_t* m = SoftMulTable256[param];
  FlatColor c{};
  c.param = param;
  if constexpr (sizeof(Pixel) == 2) {
    c.color = color & 0xFFFF;
    c.scaled = uint32_t(m[c.color >> 11]) << 11 | uint32_t(m[(c.color & 0x7E0) >> 5]) << 5 |
               uint32_t(m[c.color & 0x1F]);
  } else {
    c.color = color;
    c.scaled = uint32_t(m[color & 0xFF]) | uint32_t(m[(color >> 8) & 0xFF]) << 8 |
               uint32_t(m[(color >> 16) & 0xFF]) << 16;
  }
  return c;
}

// ---- Per-pixel operations -------------------------------------------------------------------
// FlatOp<Pixel, Mode>: operator()(d) gives the new destination pixel. kWritesOnly marks the
// copy, whose result does not depend on the destination.

template <typename Pixel, int Mode>
struct FlatOp;

template <typename Pixel>
struct FlatOp<Pixel, kFlatCopy> {
  static constexpr bool kWritesOnly = true;
  Pixel s;
  explicit constexpr FlatOp(const FlatColor& c) : s(Pixel(c.color)) {}
  constexpr Pixel operator()(Pixel) const { return s; }
};

// 16-bit alpha blend: each field moves towards the colour by p*(s - d)/255, truncated toward
// zero. The colour is fixed for the call, so the new value of each field depends only on the
// destination field: three small tables built once hold it, already shifted into place.
template <>
struct FlatOp<uint16_t, kFlatAlpha> {
  static constexpr bool kWritesOnly = false;
  uint16_t r[32], g[64], b[32];
  explicit constexpr FlatOp(const FlatColor& c) : r{}, g{}, b{} {
    const int32_t* dp = &SoftDiffMulTable256[c.param][255];
    const int sr = int(c.color >> 11), sg = int((c.color >> 5) & 0x3F), sb = int(c.color & 0x1F);
    for (int d = 0; d < 32; ++d) r[d] = uint16_t((d + dp[sr - d]) << 11);
    for (int d = 0; d < 64; ++d) g[d] = uint16_t((d + dp[sg - d]) << 5);
    for (int d = 0; d < 32; ++d) b[d] = uint16_t(d + dp[sb - d]);
  }
  constexpr uint16_t operator()(uint16_t d) const {
    return uint16_t(r[d >> 11] | g[(d >> 5) & 0x3F] | b[d & 0x1F]);
  }
};

// 32-bit alpha blend: ((s - d)*p + (d << 8)) >> 8 per colour byte equals
// (s*p + d*(256 - p)) >> 8, whose terms are never negative and stay below 2^16, so blue and
// red share one multiply in separate 16-bit lanes. The fourth byte of d is kept.
template <>
struct FlatOp<uint32_t, kFlatAlpha> {
  static constexpr bool kWritesOnly = false;
  uint32_t rbColor, gColor, inv;
  explicit constexpr FlatOp(const FlatColor& c)
      : rbColor((c.color & 0x00FF00FFu) * c.param),
        gColor((c.color & 0x0000FF00u) * c.param),
        inv(256 - c.param) {}
  constexpr uint32_t operator()(uint32_t d) const {
    const uint32_t rb = (((d & 0x00FF00FFu) * inv + rbColor) >> 8) & 0x00FF00FFu;
    const uint32_t g = (((d & 0x0000FF00u) * inv + gColor) >> 8) & 0x0000FF00u;
    return (d & 0xFF000000u) | rb | g;
  }
};

template <typename Pixel>
struct FlatOp<Pixel, kFlatAdd> {
  static constexpr bool kWritesOnly = false;
  uint32_t s;
  explicit constexpr FlatOp(const FlatColor& c) : s(c.scaled) {}
  constexpr Pixel operator()(Pixel d) const {
    if constexpr (sizeof(Pixel) == 2)
      return Pixel(AddPixelSaturated16(s, d));
    else
      return AddPixelSaturated32(s, d);
  }
};

template <typename Pixel>
struct FlatOp<Pixel, kFlatSub> {
  static constexpr bool kWritesOnly = false;
  uint32_t s;
  explicit constexpr FlatOp(const FlatColor& c) : s(c.scaled) {}
  constexpr Pixel operator()(Pixel d) const {
    if constexpr (sizeof(Pixel) == 2)
      return Pixel(SubPixelSaturated16(s, d));
    else
      return SubPixelSaturated32(s, d);
  }
};

// Multiplicative: 16-bit fields (s*d) >> 5 (green >> 6); 32-bit colour bytes (s*d) >> 8 with
// the fourth byte of d kept.
template <>
struct FlatOp<uint16_t, kFlatMul> {
  static constexpr bool kWritesOnly = false;
  uint32_t sr, sg, sb;
  explicit constexpr FlatOp(const FlatColor& c)
      : sr(c.color >> 11), sg((c.color >> 5) & 0x3F), sb(c.color & 0x1F) {}
  constexpr uint16_t operator()(uint16_t d) const {
    const uint32_t r = (sr * (uint32_t(d) >> 11)) >> 5;
    const uint32_t g = (sg * ((uint32_t(d) >> 5) & 0x3F)) >> 6;
    const uint32_t b = (sb * (uint32_t(d) & 0x1F)) >> 5;
    return uint16_t(r << 11 | g << 5 | b);
  }
};

template <>
struct FlatOp<uint32_t, kFlatMul> {
  static constexpr bool kWritesOnly = false;
  uint32_t sr, sg, sb;
  explicit constexpr FlatOp(const FlatColor& c)
      : sr((c.color >> 16) & 0xFF), sg((c.color >> 8) & 0xFF), sb(c.color & 0xFF) {}
  constexpr uint32_t operator()(uint32_t d) const {
    const uint32_t r = (sr * ((d >> 16) & 0xFF)) >> 8;
    const uint32_t g = (sg * ((d >> 8) & 0xFF)) >> 8;
    const uint32_t b = (sb * (d & 0xFF)) >> 8;
    return (d & 0xFF000000u) | r << 16 | g << 8 | b;
  }
};

// Calls body(op) once with the operation of a resolved mode (ResolveFlatMode); kFlatNone
// calls nothing. body is a generic lambda, so its loop is compiled once per operation.
template <typename Pixel, typename Body>
void WithFlatOp(int resolvedMode, const FlatColor& c, Body&& body) {
  switch (resolvedMode) {
    case kFlatCopy:
      body(FlatOp<Pixel, kFlatCopy>(c));
      break;
    case kFlatAlpha:
      body(FlatOp<Pixel, kFlatAlpha>(c));
      break;
    case kFlatAdd:
      body(FlatOp<Pixel, kFlatAdd>(c));
      break;
    case kFlatSub:
      body(FlatOp<Pixel, kFlatSub>(c));
      break;
    case kFlatMul:
      body(FlatOp<Pixel, kFlatMul>(c));
      break;
    default:
      break;
  }
}

// ---- Destinations ---------------------------------------------------------------------------

// The rectangle a flat drawing may touch: the draw area cut to the image's own size.
// Returns false when nothing is left.
constexpr bool FlatDrawBounds(const gfx::MEMIMG& image, const platform::RECT& drawArea,
                              platform::RECT* out) {
  platform::RECT r = drawArea;
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > image.Width) r.right = image.Width;
  if (r.bottom > image.Height) r.bottom = image.Height;
  *out = r;
  return r.left < r.right && r.top < r.bottom;
}

// Depth of a destination that flat drawing accepts: 2 or 4 bytes a pixel, or 0 when refused
// (no pixels, a palettised or alpha-channel image, a colour type other than 16-bit 5:6:5 and
// 32-bit, or a pixel size that disagrees with the colour type).
constexpr int FlatDestinationBytes(const gfx::MEMIMG* image) {
  if (image == nullptr || image->Pixels == nullptr || image->Format == nullptr) return 0;
  if (image->PaletteFlag != 0 || image->AlphaFlag != 0) return 0;
  const int bytes = image->ColorType == gfx::kMemImgRgb565     ? 2
                    : image->ColorType == gfx::kMemImgXrgb8888 ? 4
                                                               : 0;
  return bytes != 0 && image->Format->PixelByte == bytes ? bytes : 0;
}

// Address of pixel (x, y); the offset is formed in pointer width, so large pitches and
// negative (bottom-up) pitches do not overflow.
inline uint8_t* PixelAddress(const gfx::MEMIMG& image, int32_t x, int32_t y, int bytes) {
  return image.Pixels + std::ptrdiff_t(y) * image.Pitch + std::ptrdiff_t(x) * bytes;
}

// Calls body(op) with the operation for the current draw state and a box or line colour
// (bright by the shift rule), for a destination of the given depth (2 or 4 bytes).
// A parameter outside 0..255 (the draw state is only ever set to that range) is clamped, so it
// can never index past a table row.
template <typename Body>
void WithBoxFlatOp(int bytes, uint32_t color, int32_t mode, int32_t blendParam, uint32_t bright,
                   Body&& body) {
  const uint32_t param = blendParam < 0 ? 0u : blendParam > 255 ? 255u : uint32_t(blendParam);
  const int resolved = ResolveFlatMode(mode, param);
  if (resolved == kFlatNone) return;
  if (bytes == 2) {
    color &= 0xFFFF;
    if (IsBrightOn(bright)) color = BrightScaleShift16(color, bright);
    WithFlatOp<uint16_t>(resolved, MakeFlatColor<uint16_t>(color, param), body);
  } else {
    if (IsBrightOn(bright)) color = BrightScaleShift32(color, bright);
    WithFlatOp<uint32_t>(resolved, MakeFlatColor<uint32_t>(color, param), body);
  }
}

}  // namespace zq::soft
