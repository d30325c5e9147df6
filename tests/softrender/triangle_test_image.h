// Test images: a MEMIMG over a std::vector, with a padded pitch so that a wrong row
// address shows, and the draw state reset around each test.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"

namespace zq::soft::tri_test {

struct TestImage {
  std::vector<uint8_t> bytes;
  std::array<uint32_t, 256> palette{};
  gfx::MEMIMG img{};
  int bpp = 0;

  TestImage(int w, int h, int colorType, int paletteFlag = 0, int alphaFlag = 0) {
    bpp = (paletteFlag || colorType == 2) ? 1 : (colorType == 1 || alphaFlag) ? 4 : 2;
    const int pitch = w * bpp + 12;
    bytes.assign(size_t(pitch) * size_t(h > 0 ? h : 0), 0);
    img.SetupMark = gfx::kMemImgSetupMark;
    img.Width = w;
    img.Height = h;
    img.Pitch = pitch;
    img.PitchShift = -1;
    img.ColorType = colorType;
    img.PaletteFlag = paletteFlag;
    img.PaletteCount = paletteFlag ? 256 : 0;
    img.Palette = paletteFlag ? palette.data() : nullptr;
    img.AlphaFlag = alphaFlag;
    img.Pixels = bytes.data();
  }

  uint8_t* At(int x, int y) { return bytes.data() + size_t(y) * img.Pitch + size_t(x) * bpp; }
  // The pixel (colour word only for a 16-bit alpha texel).
  uint32_t Get(int x, int y) {
    uint32_t v = 0;
    std::memcpy(&v, At(x, y), bpp == 4 && img.ColorType == 0 ? 2 : bpp);
    return v;
  }
  void Set(int x, int y, uint32_t v) { std::memcpy(At(x, y), &v, bpp); }
  void Fill(uint32_t v) {
    for (int y = 0; y < img.Height; ++y)
      for (int x = 0; x < img.Width; ++x) Set(x, y, v);
  }
  // 16-bit texel with alpha: colour word, alpha byte, spare byte.
  void SetAlpha16(int x, int y, uint16_t colour, uint8_t alpha) {
    std::memcpy(At(x, y), &colour, 2);
    At(x, y)[2] = alpha;
    At(x, y)[3] = 0x5A;
  }
  void SetPalette16(int i, uint16_t v) {
    std::memcpy(reinterpret_cast<uint8_t*>(palette.data()) + 2 * i, &v, 2);
  }
  // Bytes of the row padding must never be written.
  bool PaddingClean() const {
    for (int y = 0; y < img.Height; ++y)
      for (int i = img.Width * bpp; i < img.Pitch; ++i)
        if (bytes[size_t(y) * img.Pitch + i] != 0) return false;
    return true;
  }
};

// A fresh draw state: copy mode, full parameter, bright off, draw area w x h, identity
// blend-graph table.
inline void ResetDrawState(int w, int h) {
  gfx::g_DrawState = gfx::GraphicsDrawState{};
  gfx::g_DrawState.DrawArea = {0, 0, w, h};
  gfx::g_DrawState.BlendMode = 0;
  gfx::g_DrawState.BlendParam = 255;
  gfx::g_DrawState.Bright = 0xFFFFFF;
  for (int i = 0; i < 256; ++i) gfx::BlendGraphTable[i] = uint8_t(i);
}

}  // namespace zq::soft::tri_test
