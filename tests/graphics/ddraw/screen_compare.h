// Runs the same drawing on the software screen (the direct path) and on simulated surfaces of
// the same depth (the bracketed path) and compares the pixels of the back target's top-left
// region, which starts with a known pattern.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "graphics/ddraw/display.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/target_pixels.h"
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
  if (!IsSoftwareScreenInUse()) {
    platform::PixelFormat f;
    g_DD.BackSurface->GetPixelFormat(&f);
    ASSERT_EQ(f.rgbBitCount, uint32_t(bits));
    ASSERT_EQ(f.greenMask, bits == 16 ? 0x07E0u : 0xFF00u);
  }
  const platform::RECT region{0, 0, kW, kH};
  if (IsSoftwareScreenInUse()) {
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        test::SetImagePixel(g_DD.SoftBackImage, x, y, Pattern(bits, x, y));
  } else {
    test::FillSurface(
        g_DD.BackSurface, [&](int x, int y) { return Pattern(bits, x, y); }, &region);
  }
}

inline std::vector<uint32_t> ReadRegion() {
  std::vector<uint32_t> out;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      out.push_back(IsSoftwareScreenInUse() ? test::ImagePixel(g_DD.SoftBackImage, x, y)
                                            : g_DD.BackSurface->TestGetPixel(x, y));
  return out;
}

// A w x h graph, in the store kind the screen gives (or an image with systemMem), whose pixel
// (x, y) holds value(x, y).
inline HandleValue GraphOf(int w, int h, const std::function<uint32_t(int, int)>& value,
                           int systemMem = 0) {
  g_DrawState.CreateSystemMem = systemMem;
  const HandleValue graph = CreateGraphWithOptions(w, h, 0, 0, 0);
  g_DrawState.CreateSystemMem = 0;
  EXPECT_GE(graph, 0);
  const HandleValue data = LookupSurface2DRecord(GetGraphRecord(graph)->Pieces[0])->SurfaceData;
  int32_t pitch = 0;
  void* p = nullptr;
  const ColorData* format = nullptr;
  EXPECT_GE(LockSurfaceData(data, &pitch, &p, 0, nullptr, &format), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t v = value(x, y);
      std::memcpy(static_cast<uint8_t*>(p) + int64_t(y) * pitch + x * format->PixelByte, &v,
                  format->PixelByte);
    }
  UnlockSurfaceData(data, nullptr);
  return graph;
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
