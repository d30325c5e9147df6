// Test images over std::vector, the run-length stream built from its format table, and a
// plain reference model of the blend rules and of the unscaled blit, written from the
// rules with ordinary arithmetic (divisions, no tables, no packed helpers).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"

namespace zq::soft::blit_test {

// ---------------------------------------------------------------------------------------
// Images

inline int TestPixelBytes(int colorType, bool palette, bool alpha) {
  if (palette) return 1;
  if (colorType == gfx::kMemImgRgb565) return alpha ? 4 : 2;
  return 4;
}

// A MEMIMG over vectors it owns. Not copyable: the record points into the vectors.
class TestImage {
 public:
  TestImage(int w, int h, int colorType, bool palette = false, bool alpha = false,
            int padBytes = 0) {
    const int bytes = TestPixelBytes(colorType, palette, alpha);
    format_.ColorBitDepth = uint16_t(bytes * 8);
    format_.PixelByte = uint16_t(bytes);
    pixels_.assign(size_t(std::max(0, w * bytes + padBytes)) * size_t(std::max(h, 1)), 0);
    palette_.assign(256, 0);
    m.SetupMark = gfx::kMemImgSetupMark;
    m.ViewFlag = 0;
    m.Width = w;
    m.Height = h;
    m.Pitch = w * bytes + padBytes;
    m.PitchShift = -1;
    m.Format = &format_;
    m.TransColor = 0;
    m.ColorType = colorType;
    m.PaletteFlag = palette ? 1 : 0;
    m.PaletteCount = palette ? 256 : 0;
    m.Palette = palette ? palette_.data() : nullptr;
    m.AlphaFlag = alpha ? 1 : 0;
    m.RunLengthFlag = 0;
    m.RunLength = nullptr;
    m.Pixels = pixels_.data();
  }
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;

  int Bytes() const { return format_.PixelByte; }
  uint8_t* At(int x, int y) { return m.Pixels + ptrdiff_t(y) * m.Pitch + ptrdiff_t(x) * Bytes(); }
  const uint8_t* At(int x, int y) const {
    return m.Pixels + ptrdiff_t(y) * m.Pitch + ptrdiff_t(x) * Bytes();
  }

  // The raw value: index, 16-bit word, or 32-bit value (alpha sources: colour part only
  // for 16-bit, whole value for 32-bit).
  uint32_t Get(int x, int y) const {
    const uint8_t* p = At(x, y);
    if (m.PaletteFlag) return p[0];
    if (m.ColorType == gfx::kMemImgRgb565) return uint32_t(p[0] | (p[1] << 8));
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
  }
  void Set(int x, int y, uint32_t v) {
    uint8_t* p = At(x, y);
    if (m.PaletteFlag) {
      p[0] = uint8_t(v);
    } else if (m.ColorType == gfx::kMemImgRgb565) {
      p[0] = uint8_t(v);
      p[1] = uint8_t(v >> 8);
    } else {
      for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
    }
  }
  uint32_t Alpha(int x, int y) const { return At(x, y)[m.ColorType == gfx::kMemImgRgb565 ? 2 : 3]; }
  void SetAlpha(int x, int y, uint32_t a) {
    At(x, y)[m.ColorType == gfx::kMemImgRgb565 ? 2 : 3] = uint8_t(a);
  }
  // Palette entry i as a pixel value (2-byte entries for 16-bit images).
  void SetPaletteEntry(int i, uint32_t v) {
    auto* bytes = reinterpret_cast<uint8_t*>(palette_.data());
    if (m.ColorType == gfx::kMemImgRgb565) {
      bytes[i * 2] = uint8_t(v);
      bytes[i * 2 + 1] = uint8_t(v >> 8);
    } else {
      std::memcpy(bytes + i * 4, &v, 4);
    }
  }
  uint32_t PaletteEntry(int i) const {
    const auto* bytes = reinterpret_cast<const uint8_t*>(palette_.data());
    if (m.ColorType == gfx::kMemImgRgb565) return uint32_t(bytes[i * 2] | (bytes[i * 2 + 1] << 8));
    uint32_t v;
    std::memcpy(&v, bytes + i * 4, 4);
    return v;
  }

  // Builds the run-length stream from the current pixels and marks it current.
  void BuildRuns() {
    runs_.clear();
    for (int y = 0; y < m.Height; ++y) {
      int x = 0;
      while (x < m.Width) {
        const int type = Classify(x, y);
        int n = 1;
        while (n < 64 && x + n < m.Width && Classify(x + n, y) == type) ++n;
        runs_.push_back(uint8_t((type << 6) | (n - 1)));
        x += n;
      }
      runs_.push_back(0xC0);
    }
    runs_.resize(size_t(m.Width + 5) * size_t(m.Height), 0xC0);
    m.RunLength = runs_.data();
    m.RunLengthFlag = 1;
  }
  std::vector<uint8_t>& Runs() { return runs_; }

  std::vector<uint8_t>& PixelBytes() { return pixels_; }
  const std::vector<uint8_t>& PixelBytes() const { return pixels_; }

  gfx::MEMIMG m{};

 private:
  int Classify(int x, int y) const {
    if (m.AlphaFlag && !m.PaletteFlag) {
      const uint32_t a = Alpha(x, y);
      return a == 0 ? 0 : (a == 255 ? 1 : 2);
    }
    return Get(x, y) == m.TransColor ? 0 : 1;
  }

  gfx::ColorData format_{};
  std::vector<uint8_t> pixels_;
  std::vector<uint32_t> palette_;
  std::vector<uint8_t> runs_;
};

// ---------------------------------------------------------------------------------------
// Reference model of one pixel.

inline int64_t FloorDiv(int64_t x, int64_t m) {
  int64_t q = x / m;
  if (x % m != 0 && ((x < 0) != (m < 0))) --q;
  return q;
}

struct RefPixelCase {
  bool is16 = true;
  int mode = 0;
  int param = 0;
  uint32_t bright = 0xFFFFFF;
  bool srcAlphaChannel = false;  // the source has an alpha channel
  bool runPath = false;          // drawn from the run-length stream
};

// New destination pixel for S over D; b and a are -1 when absent.
inline uint32_t RefBlend(const RefPixelCase& k, uint32_t S, uint32_t D, int b, int a) {
  const int w16[3] = {5, 6, 5}, sh16[3] = {11, 5, 0};
  const int w32[3] = {8, 8, 8}, sh32[3] = {16, 8, 0};
  const int* W = k.is16 ? w16 : w32;
  const int* SH = k.is16 ? sh16 : sh32;
  const int64_t p = k.param;
  int mode = k.mode;
  if (mode == 1 && p == 255) mode = 0;
  if ((mode == 1 || mode == 2 || mode == 3) && p == 0) return D;
  const bool brightOn = (k.bright & 0xFFFFFF) != 0xFFFFFF;
  const int64_t bc[3] = {(k.bright >> 16) & 255, (k.bright >> 8) & 255, k.bright & 255};
  auto mul = [](int64_t x, int64_t y) { return x * y / 255; };
  const bool hb = b >= 0, ha = a >= 0;
  int64_t s[3], d[3], sb[3], out[3];
  for (int i = 0; i < 3; ++i) {
    s[i] = (S >> SH[i]) & ((1u << W[i]) - 1);
    d[i] = (D >> SH[i]) & ((1u << W[i]) - 1);
    sb[i] = brightOn ? mul(bc[i], s[i]) : s[i];
  }
  auto assemble = [&](uint32_t upper) {
    uint32_t v = upper;
    for (int i = 0; i < 3; ++i) v |= uint32_t(out[i]) << SH[i];
    return v;
  };
  const uint32_t keep = k.is16 ? 0 : (D & 0xFF000000u);
  switch (mode) {
    case 0:
      if (!hb && !ha) {
        if (!brightOn) return S;
        for (int i = 0; i < 3; ++i) out[i] = sb[i];
        return assemble(keep);
      }
      for (int i = 0; i < 3; ++i)
        out[i] = (hb && ha) ? d[i] + FloorDiv((sb[i] - d[i]) * b * a, 65536)
                            : d[i] + FloorDiv((sb[i] - d[i]) * (hb ? b : a), 256);
      return assemble(keep);
    case 1:
      if (!hb && !ha) {
        if (!brightOn && !k.srcAlphaChannel && !k.runPath) {
          if (p == 128) {
            return k.is16 ? ((S >> 1) & 0x7BEF) + ((D >> 1) & 0x7BEF)
                          : ((S >> 1) & 0x7F7F7F) + ((D >> 1) & 0x7F7F7F);
          }
          for (int i = 0; i < 3; ++i) {
            const int64_t t = p / 4;
            out[i] = k.is16 ? (s[i] * t + d[i] * (63 - t)) / 63
                            : d[i] + FloorDiv((s[i] - d[i]) * p, 256);
          }
        } else {
          for (int i = 0; i < 3; ++i)
            out[i] = k.is16 ? d[i] + (p * (sb[i] - d[i])) / 255  // truncates toward zero
                            : d[i] + FloorDiv((sb[i] - d[i]) * p, 256);
        }
      } else {
        for (int i = 0; i < 3; ++i) {
          if (hb && ha) {
            out[i] = d[i] + FloorDiv((sb[i] - d[i]) * b * a * p, int64_t(1) << 24);
          } else {
            out[i] = d[i] + FloorDiv((sb[i] - d[i]) * (hb ? b : a) * p, 65536);
          }
        }
      }
      return assemble(keep);
    case 2:
    case 3: {
      for (int i = 0; i < 3; ++i) {
        if (k.is16) {
          if (ha && !hb) {
            int64_t t = s[i] * a / 256;
            if (brightOn) t = mul(bc[i], t);
            out[i] = mul(p, t);
          } else if (!ha && !hb) {
            out[i] = mul(p, sb[i]);
          } else if (hb && !ha) {
            out[i] = mul(p, sb[i] * b / 256);
          } else {
            out[i] = mul(p, sb[i] * b * a / 65536);
          }
        } else {
          if (!ha && !hb) {
            out[i] = mul(p, sb[i]);
          } else if (ha && hb) {
            out[i] = sb[i] * b * a * p / (int64_t(1) << 24);
          } else {
            out[i] = sb[i] * (hb ? b : a) * p / 65536;
          }
        }
      }
      const uint32_t s2 = assemble(0);
      if (mode == 2) {
        if (k.is16) {
          const uint32_t sum = (s2 & 0xF7DF) + (D & 0xF7DF);
          const uint32_t c = sum & 0x10820;
          return (sum | (c - (c >> 5)) | ((s2 | D) & 0x0820)) & 0xFFFF;
        }
        const uint32_t sum = (s2 & 0xFEFEFF) + (D & 0xFEFEFF);
        const uint32_t c = sum & 0x1010100;
        return sum | (c - (c >> 8)) | ((s2 | D) & 0x10100);
      }
      if (k.is16) {
        const uint32_t t = (D | 0x10820) - (s2 & 0xF7DF);
        const uint32_t g = t & 0x10820;
        return (t & (g - (g >> 5))) & 0xFFFF;
      }
      const uint32_t t = (D | 0x1010100) - (s2 & 0xFEFEFEFF);
      const uint32_t g = t & 0x1010100;
      return t & (g - (g >> 8));
    }
    case 4:
      for (int i = 0; i < 3; ++i) {
        const int64_t scale = int64_t(1) << W[i];
        if (hb && ha) {
          out[i] = sb[i] * b * a * d[i] / (scale << 16);
        } else if (hb || ha) {
          out[i] = sb[i] * (hb ? b : a) * d[i] / (scale << 8);
        } else {
          out[i] = sb[i] * d[i] / scale;
        }
      }
      return assemble(keep);
    default:
      return D;
  }
}

// ---------------------------------------------------------------------------------------
// Reference model of the whole blit. dst is written; src and blend are read as they are
// (pass copies to model a self-draw).

struct RefState {
  int mode = 0;
  int param = 0;
  uint32_t bright = 0xFFFFFF;
  platform::RECT area{0, 0, 640, 480};
  const uint8_t* blendTable = nullptr;  // 256 entries
};

inline void RefDraw(TestImage& dst, const TestImage& src, int x, int y, int transFlag,
                    const TestImage* blend, const RefState& st) {
  const gfx::MEMIMG& s = src.m;
  gfx::MEMIMG& d = dst.m;
  if (s.ColorType != d.ColorType || d.PaletteFlag || d.AlphaFlag) return;
  if (d.ColorType != 0 && d.ColorType != 1) return;
  if (st.mode < 0 || st.mode > 4) return;
  const int64_t L = std::max<int64_t>(st.area.left, 0), T = std::max<int64_t>(st.area.top, 0);
  const int64_t R = std::min<int64_t>(st.area.right, d.Width);
  const int64_t B = std::min<int64_t>(st.area.bottom, d.Height);
  const bool inside = x >= L && y >= T && int64_t(x) + s.Width <= R && int64_t(y) + s.Height <= B;
  const bool runPath = transFlag == 1 && s.RunLengthFlag == 1 && inside;
  RefPixelCase k;
  k.is16 = d.ColorType == 0;
  k.mode = st.mode;
  k.param = st.param;
  k.bright = st.bright;
  k.srcAlphaChannel = s.AlphaFlag && !s.PaletteFlag;
  k.runPath = runPath;
  const bool paletted = s.PaletteFlag != 0;
  const uint32_t key = paletted ? (s.TransColor & 0xFF)
                       : k.is16 ? (s.TransColor & 0xFFFF)
                                : s.TransColor;
  bool drewSomething = false;
  auto drawOne = [&](int sx, int sy, bool withAlpha) {
    const uint32_t S = paletted ? src.PaletteEntry(int(src.Get(sx, sy))) : src.Get(sx, sy);
    const int bv = blend ? st.blendTable[blend->At(sx, sy)[0]] : -1;
    const int av = withAlpha ? int(src.Alpha(sx, sy)) : -1;
    dst.Set(x + sx, y + sy, RefBlend(k, S, dst.Get(x + sx, y + sy), bv, av));
  };
  if (runPath) {
    const uint8_t* code = s.RunLength;
    for (int sy = 0; sy < s.Height; ++sy) {
      int sx = 0;
      for (;;) {
        const uint8_t c = *code++;
        if ((c >> 6) == 3) break;
        const int n = (c & 63) + 1;
        for (int i = 0; i < n; ++i, ++sx) {
          if ((c >> 6) == 0) continue;
          drawOne(sx, sy, (c >> 6) == 2 && k.srcAlphaChannel);
          drewSomething = true;
        }
      }
    }
  } else {
    for (int sy = 0; sy < s.Height; ++sy) {
      for (int sx = 0; sx < s.Width; ++sx) {
        const int64_t dx = int64_t(x) + sx, dy = int64_t(y) + sy;
        if (dx < L || dx >= R || dy < T || dy >= B) continue;
        bool withAlpha = false;
        if (k.srcAlphaChannel) {
          const uint32_t a = src.Alpha(sx, sy);
          if (transFlag != 0) {
            if (a == 0) continue;
            withAlpha = a != 255;
          } else {
            withAlpha = true;
          }
        } else if (transFlag != 0 && src.Get(sx, sy) == key) {
          continue;
        }
        drawOne(sx, sy, withAlpha);
        drewSomething = true;
      }
    }
  }
  (void)drewSomething;
}

// Sets the draw state for one test and puts the previous one back afterwards.
class DrawStateScope {
 public:
  DrawStateScope() : saved_(gfx::g_DrawState) {
    std::memcpy(savedTable_, gfx::BlendGraphTable, 256);
  }
  ~DrawStateScope() {
    gfx::g_DrawState = saved_;
    std::memcpy(gfx::BlendGraphTable, savedTable_, 256);
  }
  void Set(const RefState& st) {
    gfx::g_DrawState.BlendMode = st.mode;
    gfx::g_DrawState.BlendParam = st.param;
    gfx::g_DrawState.Bright = st.bright;
    gfx::g_DrawState.DrawArea = st.area;
    if (st.blendTable) std::memcpy(gfx::BlendGraphTable, st.blendTable, 256);
  }

 private:
  gfx::GraphicsDrawState saved_;
  uint8_t savedTable_[256];
};

}  // namespace zq::soft::blit_test
