// Reading and writing the pixels of draw targets, mask scratches and surfaces in tests, whether
// they are MEMIMGs (software screen) or simulated DirectDraw surfaces (hardware screen).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "graphics/ddraw/display.h"
#include "graphics/ddraw/memimg.h"
#include "platform/ddraw/ddraw.h"

namespace zq::test {

using gfx::g_DD;
using gfx::MEMIMG;

inline uint32_t ImagePixel(const MEMIMG& img, int x, int y) {
  uint32_t v = 0;
  std::memcpy(&v, img.Pixels + int64_t(y) * img.Pitch + int64_t(x) * img.Format->PixelByte,
              img.Format->PixelByte);
  return v;
}

inline void SetImagePixel(MEMIMG& img, int x, int y, uint32_t v) {
  std::memcpy(img.Pixels + int64_t(y) * img.Pitch + int64_t(x) * img.Format->PixelByte, &v,
              img.Format->PixelByte);
  img.RunLengthFlag = 0;
}

// Writes value(x, y) into every pixel of the surface's rectangle (null = whole surface).
inline void FillSurface(platform::DirectDrawSurface* s,
                        const std::function<uint32_t(int, int)>& value,
                        const platform::RECT* rect = nullptr) {
  platform::SurfaceDesc desc;
  ASSERT_TRUE(platform::Succeeded(s->Lock(nullptr, &desc, platform::DDLOCK_WAIT)));
  const int bytes = int(desc.pixelFormat.rgbBitCount / 8);
  const platform::RECT r =
      rect ? *rect : platform::RECT{0, 0, int32_t(desc.width), int32_t(desc.height)};
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) {
      const uint32_t v = value(x, y);
      std::memcpy(
          static_cast<uint8_t*>(desc.surface) + int64_t(y) * desc.pitch + int64_t(x) * bytes, &v,
          size_t(bytes));
    }
  s->Unlock(nullptr);
}

inline void FillImage(MEMIMG& img, const std::function<uint32_t(int, int)>& value) {
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x) SetImagePixel(img, x, y, value(x, y));
}

// The current DirectDraw draw target, in draw-screen coordinates (origin ox, oy on a surface).
inline uint32_t TargetPixel(int x, int y, int ox = 0, int oy = 0) {
  if (g_DD.DrawTargetMemImg != nullptr) return ImagePixel(*g_DD.DrawTargetMemImg, x, y);
  return g_DD.DrawTargetSurface->TestGetPixel(x + ox, y + oy);
}

inline void FillTarget(const std::function<uint32_t(int, int)>& value) {
  if (g_DD.DrawTargetMemImg != nullptr)
    FillImage(*g_DD.DrawTargetMemImg, value);
  else
    FillSurface(g_DD.DrawTargetSurface, value);
}

}  // namespace zq::test
