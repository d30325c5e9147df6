// Small images over a std::vector for renderer tests, and a guard that restores the draw
// state after each test.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "graphics/ddraw/color_data.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"

namespace zq::soft::test {

inline const gfx::ColorData* TestColorData(int bytes) {
  static gfx::ColorData one{}, two{}, four{};
  one.PixelByte = 1;
  two.PixelByte = 2;
  four.PixelByte = 4;
  return bytes == 1 ? &one : bytes == 2 ? &two : &four;
}

// An image of colour type 0 (16-bit) or 1 (32-bit); pitch in bytes (0 = tight), with a few
// guard bytes after the last row that must stay untouched.
struct TestImage {
  static constexpr size_t kGuard = 16;
  static constexpr uint8_t kGuardByte = 0xA5;
  std::vector<uint8_t> bytes;
  gfx::MEMIMG img{};
  int bpp = 2;

  TestImage(int colorType, int width, int height, int pitch = 0) {
    bpp = colorType == gfx::kMemImgRgb565 ? 2 : 4;
    if (pitch == 0) pitch = width * bpp;
    bytes.assign(size_t(pitch) * size_t(height) + kGuard, kGuardByte);
    std::memset(bytes.data(), 0, size_t(pitch) * size_t(height));
    img.SetupMark = gfx::kMemImgSetupMark;
    img.Width = width;
    img.Height = height;
    img.Pitch = pitch;
    img.PitchShift = -1;
    img.Format = TestColorData(bpp);
    img.ColorType = colorType;
    img.Pixels = bytes.data();
  }
  uint32_t Get(int x, int y) const {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + size_t(y) * img.Pitch + size_t(x) * bpp, bpp);
    return v;
  }
  void Set(int x, int y, uint32_t v) {
    std::memcpy(bytes.data() + size_t(y) * img.Pitch + size_t(x) * bpp, &v, bpp);
  }
  void FillAll(uint32_t v) {
    for (int y = 0; y < img.Height; ++y)
      for (int x = 0; x < img.Width; ++x) Set(x, y, v);
  }
  bool GuardIntact() const {
    for (size_t i = bytes.size() - kGuard; i < bytes.size(); ++i)
      if (bytes[i] != kGuardByte) return false;
    return true;
  }
  // Every pixel as a plain list, for whole-image comparisons.
  std::vector<uint32_t> Pixels() const {
    std::vector<uint32_t> out;
    for (int y = 0; y < img.Height; ++y)
      for (int x = 0; x < img.Width; ++x) out.push_back(Get(x, y));
    return out;
  }
};

// Sets a known draw state for the test and restores the previous one afterwards.
class DrawStateScope {
 public:
  DrawStateScope(int mode, int param, uint32_t bright = 0xFFFFFF,
                 platform::RECT area = {0, 0, 640, 480})
      : saved_(gfx::g_DrawState) {
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = param;
    gfx::g_DrawState.Bright = bright;
    gfx::g_DrawState.DrawArea = area;
  }
  ~DrawStateScope() { gfx::g_DrawState = saved_; }
  DrawStateScope(const DrawStateScope&) = delete;
  DrawStateScope& operator=(const DrawStateScope&) = delete;

 private:
  gfx::GraphicsDrawState saved_;
};

}  // namespace zq::soft::test
