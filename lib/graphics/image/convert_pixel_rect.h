// ConvertPixelRect: moves a rectangle of pixels between two images in memory whose pixel
// formats may differ, optionally building alpha, skipping a key, mirroring and dithering.
#pragma once

#include <cstdint>

#include "graphics/ddraw/color_data.h"
#include "platform/types.h"

namespace zq::gfx {

// Dither modes used when channels are narrowed.
inline constexpr int kDitherNone = 0;
inline constexpr int kDitherOrdered = 1;  // 4x4 Bayer matrix
inline constexpr int kDitherCarry = 2;    // dropped bits carried from pixel to pixel

// Converts srcRect of the source image into the destination at (dstX, dstY).
//  alpha/alphaPitch/alphaFormat: an optional separate alpha image addressed with srcRect;
//    a null pointer or a null / empty (depth 0) format means none.
//  mirror: each destination row is written right to left.
//  keyToAlpha: pixels equal to keyColor (0x00RRGGBB, compared at destination precision)
//    get alpha 0, the others full alpha.
//  skipKey: source pixels equal to keyColor (a raw source value) leave the destination as is.
//  zeroColor: R, G, B written as 0. alphaFromRed: the source's red becomes the alpha.
// Result: -1 for an empty or reversed rectangle, a depth other than 8, 16, 24, 32, or an
// 8-bit destination fed from another depth; the largest index copied on the palette copy;
// else 0. Allocates nothing and logs nothing. In-place conversion (same buffer, pitch and
// bytes per pixel, mirror off) is supported.
int ConvertPixelRect(void* dst, int32_t dstPitch, const ColorData* dstFormat, const void* src,
                     int32_t srcPitch, const ColorData* srcFormat, const void* alpha,
                     int32_t alphaPitch, const ColorData* alphaFormat, int32_t dstX, int32_t dstY,
                     const platform::RECT* srcRect, int mirror, int keyToAlpha, uint32_t keyColor,
                     int ditherMode, int zeroColor, int alphaFromRed, int skipKey);

}  // namespace zq::gfx
