// Runs the same drawing on the software screen (the direct path) and on simulated surfaces of
// the same depth (the bracketed path) and compares the pixels of the back target's top-left
// region, which starts with a known pattern.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "support/library_fixture.h"

namespace zq::gfx::screencmp {

using zq::test::LibraryOptions;
using zq::test::LibrarySession;

constexpr int kW = 64, kH = 48;  // the region compared

inline uint32_t Pattern(int bits, int x, int y) {
  if (bits == 16)
    return uint32_t(((x * 3) & 0x1F) << 11 | ((y * 5) & 0x3F) << 5 | ((x + y) & 0x1F));
  return uint32_t((x * 7) & 0xFF) << 16 | uint32_t((y * 5) & 0xFF) << 8 | uint32_t((x + y) & 0xFF);
}

// The screen kinds compared: the software screen (direct path) and simulated surfaces of the
// same depth (bracketed path; 16-bit surfaces need a full-screen 16-bit mode).
inline LibraryOptions Options(bool software, int bits) {
  LibraryOptions o;
  o.bits = bits;
  o.softwareScreen = software;
  o.windowed = software || bits == 32;
  return o;
}

// Writes the pattern over the top-left region of the back target.
inline void PutPattern(int bits) {
  if (IsSoftwareScreenInUse()) {
    MEMIMG& img = g_DD.SoftBackImage;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint32_t v = Pattern(bits, x, y);
        std::memcpy(img.Pixels + int64_t(y) * img.Pitch + x * img.Format->PixelByte, &v,
                    img.Format->PixelByte);
      }
    return;
  }
  platform::SurfaceDesc d;
  ASSERT_EQ(g_DD.BackSurface->Lock(nullptr, &d, 0), platform::DD_OK);
  ASSERT_EQ(d.pixelFormat.rgbBitCount, uint32_t(bits));
  if (bits == 16) {
    ASSERT_EQ(d.pixelFormat.greenMask, 0x07E0u);
  }
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint32_t v = Pattern(bits, x, y);
      std::memcpy(static_cast<uint8_t*>(d.surface) + y * d.pitch + x * (bits / 8), &v, bits / 8);
    }
  g_DD.BackSurface->Unlock(nullptr);
}

inline std::vector<uint32_t> ReadRegion() {
  std::vector<uint32_t> out;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      if (IsSoftwareScreenInUse()) {
        const MEMIMG& img = g_DD.SoftBackImage;
        uint32_t v = 0;
        std::memcpy(&v, img.Pixels + int64_t(y) * img.Pitch + x * img.Format->PixelByte,
                    img.Format->PixelByte);
        out.push_back(v);
      } else {
        out.push_back(g_DD.BackSurface->TestGetPixel(x, y));
      }
    }
  return out;
}

// Starts the screen, patterns the back target, runs draw, returns the region.
inline std::vector<uint32_t> RunOn(bool software, int bits, const std::function<void()>& draw) {
  LibrarySession lib(Options(software, bits));
  EXPECT_EQ(IsSoftwareScreenInUse(), software ? 1 : 0);
  EXPECT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  PutPattern(bits);
  draw();
  g_DrawState.BlendMode = 0;
  g_DrawState.BlendParam = 0;
  g_DrawState.Bright = 0xFFFFFF;
  return ReadRegion();
}

inline uint32_t At(const std::vector<uint32_t>& region, int x, int y) {
  return region[size_t(y) * kW + size_t(x)];
}

// Both paths must give the same pixels; returns the software screen's.
inline std::vector<uint32_t> SameOnBothPaths(int bits, const std::function<void()>& draw) {
  const std::vector<uint32_t> direct = RunOn(true, bits, draw);
  const std::vector<uint32_t> bracketed = RunOn(false, bits, draw);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      EXPECT_EQ(At(direct, x, y), At(bracketed, x, y)) << bits << " bits at " << x << "," << y;
  return direct;
}

}  // namespace zq::gfx::screencmp
