// Images for renderer tests: a MEMIMG over vectors it owns (pixels with optional row padding
// and guard bytes after the last row, a 256-entry palette, the run-length stream), and one
// guard that sets the draw state for a test and puts the previous one back.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "graphics/ddraw/color_data.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"

namespace zq::test {

// Row padding of the rasterizer tests' images, so that a wrong row address shows.
inline constexpr int kRowPad = 12;

// Bytes a pixel: 1 for a palettised or one-channel (colour type 2) image, 4 for 32-bit and for
// 16-bit with alpha channel (colour word, alpha byte, spare byte), else 2.
inline int TestPixelBytes(int colorType, bool palette, bool alpha) {
  if (palette || colorType == 2) return 1;
  if (colorType == gfx::kMemImgRgb565) return alpha ? 4 : 2;
  return 4;
}

// The pixel descriptor of each size; shared, so it outlives every image that points to it.
inline const gfx::ColorData* TestColorData(int bytes) {
  static const gfx::ColorData* const kData = [] {
    static gfx::ColorData d[3]{};
    for (int i = 0; i < 3; ++i) {
      d[i].PixelByte = uint16_t(1 << i);
      d[i].ColorBitDepth = uint16_t(8 << i);
    }
    return d;
  }();
  return &kData[bytes == 1 ? 0 : bytes == 2 ? 1 : 2];
}

// The record points into the vectors: a copy points into its own (moving keeps the storage).
struct TestImage {
  static constexpr size_t kGuard = 16;  // bytes after the last row that must stay untouched
  static constexpr uint8_t kGuardByte = 0xA5;

  std::vector<uint8_t> bytes;     // rows (padding zero), then the guard
  std::vector<uint32_t> palette;  // 256 entries: 2-byte entries for 16-bit images
  std::vector<uint8_t> runs;      // run-length stream, once built
  gfx::MEMIMG img{};
  int bpp = 0;

  // padBytes: bytes of padding after each row, so that a wrong row address shows.
  TestImage(int w, int h, int colorType, bool withPalette = false, bool alpha = false,
            int padBytes = 0)
      : palette(256, 0) {
    bpp = TestPixelBytes(colorType, withPalette, alpha);
    const int pitch = w * bpp + padBytes;
    const size_t rowBytes = size_t(std::max(0, pitch)) * size_t(std::max(0, h));
    bytes.assign(rowBytes + kGuard, kGuardByte);
    std::fill_n(bytes.begin(), rowBytes, uint8_t(0));
    img.SetupMark = gfx::kMemImgSetupMark;
    img.Width = w;
    img.Height = h;
    img.Pitch = pitch;
    img.PitchShift = -1;
    img.Format = TestColorData(bpp);
    img.ColorType = colorType;
    img.PaletteFlag = withPalette ? 1 : 0;
    img.PaletteCount = withPalette ? 256 : 0;
    img.Palette = withPalette ? palette.data() : nullptr;
    img.AlphaFlag = alpha ? 1 : 0;
    img.Pixels = bytes.data();
  }
  TestImage(TestImage&&) = default;
  TestImage(const TestImage& o)
      : bytes(o.bytes), palette(o.palette), runs(o.runs), img(o.img), bpp(o.bpp) {
    img.Pixels = Repoint(o.img.Pixels, o.bytes, bytes);
    img.Palette = Repoint(o.img.Palette, o.palette, palette);
    img.RunLength = Repoint(o.img.RunLength, o.runs, runs);
  }
  TestImage& operator=(const TestImage&) = delete;

  int Bytes() const { return bpp; }
  uint8_t* At(int x, int y) { return img.Pixels + ptrdiff_t(y) * img.Pitch + ptrdiff_t(x) * bpp; }
  const uint8_t* At(int x, int y) const {
    return img.Pixels + ptrdiff_t(y) * img.Pitch + ptrdiff_t(x) * bpp;
  }

  // The raw value: index, 16-bit word (the colour word of a 16-bit alpha pixel), or 32-bit
  // value (alpha included).
  uint32_t Get(int x, int y) const {
    uint32_t v = 0;
    std::memcpy(&v, At(x, y), ValueBytes());
    return v;
  }
  void Set(int x, int y, uint32_t v) { std::memcpy(At(x, y), &v, ValueBytes()); }
  void Fill(uint32_t v) {
    for (int y = 0; y < img.Height; ++y)
      for (int x = 0; x < img.Width; ++x) Set(x, y, v);
  }
  // Every pixel as a plain list, for whole-image comparisons.
  std::vector<uint32_t> Pixels() const {
    std::vector<uint32_t> out;
    for (int y = 0; y < img.Height; ++y)
      for (int x = 0; x < img.Width; ++x) out.push_back(Get(x, y));
    return out;
  }

  uint32_t Alpha(int x, int y) const {
    return At(x, y)[img.ColorType == gfx::kMemImgRgb565 ? 2 : 3];
  }
  void SetAlpha(int x, int y, uint32_t a) {
    At(x, y)[img.ColorType == gfx::kMemImgRgb565 ? 2 : 3] = uint8_t(a);
  }
  // A 16-bit alpha pixel whole: colour word, alpha byte, and a spare byte that must be ignored.
  void SetAlpha16(int x, int y, uint16_t colour, uint8_t alpha) {
    std::memcpy(At(x, y), &colour, 2);
    At(x, y)[2] = alpha;
    At(x, y)[3] = 0x5A;
  }

  // Palette entry i as a pixel value (2-byte entries for 16-bit images).
  void SetPaletteEntry(int i, uint32_t v) {
    std::memcpy(reinterpret_cast<uint8_t*>(palette.data()) + i * EntryBytes(), &v, EntryBytes());
  }
  uint32_t PaletteEntry(int i) const {
    uint32_t v = 0;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(palette.data()) + i * EntryBytes(),
                EntryBytes());
    return v;
  }

  // Builds the run-length stream from the current pixels and marks it current: per row, runs
  // of up to 64 pixels of one type (0 skipped, 1 drawn, 2 drawn with alpha) and an end code,
  // the whole stream padded to (width + 5) bytes a row.
  void BuildRuns() {
    runs.clear();
    for (int y = 0; y < img.Height; ++y) {
      int x = 0;
      while (x < img.Width) {
        const int type = Classify(x, y);
        int n = 1;
        while (n < 64 && x + n < img.Width && Classify(x + n, y) == type) ++n;
        runs.push_back(uint8_t((type << 6) | (n - 1)));
        x += n;
      }
      runs.push_back(0xC0);
    }
    runs.resize(size_t(img.Width + 5) * size_t(img.Height), 0xC0);
    img.RunLength = runs.data();
    img.RunLengthFlag = 1;
  }

  // The guard bytes after the last row are as they were.
  bool GuardIntact() const {
    return std::all_of(bytes.end() - kGuard, bytes.end(),
                       [](uint8_t b) { return b == kGuardByte; });
  }
  // The row padding was never written.
  bool PaddingClean() const {
    for (int y = 0; y < img.Height; ++y)
      for (int i = img.Width * bpp; i < img.Pitch; ++i)
        if (bytes[size_t(y) * img.Pitch + i] != 0) return false;
    return true;
  }

 private:
  // p at the same place in to as it is in from (p itself when it is outside from).
  template <class P, class T>
  static P* Repoint(P* p, const std::vector<T>& from, std::vector<T>& to) {
    const auto* b = reinterpret_cast<const uint8_t*>(from.data());
    const auto* q = reinterpret_cast<const uint8_t*>(p);
    if (q < b || q >= b + from.size() * sizeof(T)) return p;
    return reinterpret_cast<P*>(reinterpret_cast<uint8_t*>(to.data()) + (q - b));
  }
  int ValueBytes() const { return img.ColorType == gfx::kMemImgRgb565 && bpp == 4 ? 2 : bpp; }
  int EntryBytes() const { return img.ColorType == gfx::kMemImgRgb565 ? 2 : 4; }
  int Classify(int x, int y) const {
    if (img.AlphaFlag && !img.PaletteFlag) {
      const uint32_t a = Alpha(x, y);
      return a == 0 ? 0 : (a == 255 ? 1 : 2);
    }
    return Get(x, y) == img.TransColor ? 0 : 1;
  }
};

// Sets the draw state for one test and puts the previous one (blend-graph table included)
// back afterwards.
class DrawStateScope {
 public:
  DrawStateScope() : saved_(gfx::g_DrawState) {
    std::memcpy(savedTable_, gfx::BlendGraphTable, sizeof savedTable_);
  }
  DrawStateScope(int mode, int param, uint32_t bright = 0xFFFFFF,
                 platform::RECT area = {0, 0, 640, 480})
      : DrawStateScope() {
    Set(mode, param, bright, area);
  }
  ~DrawStateScope() {
    gfx::g_DrawState = saved_;
    std::memcpy(gfx::BlendGraphTable, savedTable_, sizeof savedTable_);
  }
  DrawStateScope(const DrawStateScope&) = delete;
  DrawStateScope& operator=(const DrawStateScope&) = delete;

  // table: 256 blend-graph entries, or null to leave the table as it is.
  void Set(int mode, int param, uint32_t bright, platform::RECT area,
           const uint8_t* table = nullptr) {
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = param;
    gfx::g_DrawState.Bright = bright;
    gfx::g_DrawState.DrawArea = area;
    if (table) std::memcpy(gfx::BlendGraphTable, table, 256);
  }

 private:
  gfx::GraphicsDrawState saved_;
  uint8_t savedTable_[256];
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

}  // namespace zq::test
