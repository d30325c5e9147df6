// Shared by the graph-loading tests: image files written into the session directory, a graph's
// store read back pixel by pixel, and the colour models the stores are checked against.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/file_access.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/graph.h"
#include "graphics/surface_data.h"
#include "image_samples.h"

namespace zq::test {

// Points the file-access layer's current directory at the session's for the scope (the layer
// keeps its own, taken from the process on first use).
class FileDirScope {
 public:
  explicit FileDirScope(const std::filesystem::path& dir) {
    char previous[4096];
    if (base::FileAccessGetDir(previous, sizeof previous) == 0) previous_ = previous;
    EXPECT_EQ(base::FileAccessSetDir(dir.c_str()), 0);
  }
  ~FileDirScope() {
    if (!previous_.empty()) base::FileAccessSetDir(previous_.c_str());
  }
  FileDirScope(const FileDirScope&) = delete;
  FileDirScope& operator=(const FileDirScope&) = delete;

 private:
  std::string previous_;
};

// Writes bytes to a file of the current directory (the session's) and returns its name.
inline std::string WriteFile(const std::string& name, const Bytes& bytes) {
  std::ofstream out(name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  EXPECT_TRUE(out.good()) << name;
  return name;
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

using ColourAt = std::function<uint32_t(int x, int y)>;  // 0x00RRGGBB

// A top-down 24-bit BMP whose pixel (x, y) has the given colour.
inline Bytes Bmp24(int width, int height, const ColourAt& colour) {
  const int stride = (width * 3 + 3) & ~3;
  Bytes pixels(size_t(stride) * height, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colour(x, y);
      uint8_t* p = &pixels[size_t(y) * stride + size_t(x) * 3];
      p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
    }
  return BmpFile({.bits = 24, .width = width, .height = -height, .pixels = pixels});
}

// A top-down 8-bit BMP with a 256-entry palette; index(x, y) gives each pixel.
inline Bytes Bmp8(int width, int height, std::vector<uint32_t> palette,
                  const std::function<uint8_t(int, int)>& index) {
  const int stride = (width + 3) & ~3;
  Bytes pixels(size_t(stride) * height, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels[size_t(y) * stride + size_t(x)] = index(x, y);
  palette.resize(256, 0);
  return BmpFile(
      {.bits = 8, .width = width, .height = -height, .palette = palette, .pixels = pixels});
}

// A colour that differs at every position of a small picture.
inline uint32_t Pattern(int x, int y) {
  return uint32_t((x * 37 + 11) & 0xFF) << 16 | uint32_t((y * 53 + 7) & 0xFF) << 8 |
         uint32_t((x * 29 + y * 17) & 0xFF);
}

// ---- The store behind a graph ----

inline const gfx::Surface2DRecord* PieceOf(gfx::HandleValue graph) {
  const gfx::GraphRecord* g = gfx::GetGraphRecord(graph);
  return g != nullptr && g->PieceCount >= 1 ? gfx::LookupSurface2DRecord(g->Pieces[0]) : nullptr;
}

inline const gfx::SurfaceDataRecord* StoreOf(gfx::HandleValue graph) {
  const gfx::Surface2DRecord* p = PieceOf(graph);
  return p != nullptr ? gfx::GetSurfaceDataRecord(p->SurfaceData) : nullptr;
}

// The raw pixel at (x, y) of the graph in its software store (1, 2 or 4 bytes).
inline uint32_t StorePixel(gfx::HandleValue graph, int x, int y) {
  const gfx::Surface2DRecord* p = PieceOf(graph);
  const gfx::SurfaceDataRecord* rec = StoreOf(graph);
  if (p == nullptr || rec == nullptr || rec->Image.Pixels == nullptr) {
    ADD_FAILURE() << "no software store";
    return 0xDEADBEEF;
  }
  const gfx::MEMIMG& img = rec->Image;
  const int bytes = img.Format->PixelByte;
  uint32_t v = 0;
  std::memcpy(&v, img.Pixels + int64_t(p->SrcY + y) * img.Pitch + int64_t(p->SrcX + x) * bytes,
              size_t(bytes));
  return v;
}

// ---- Colour models ----

// An 8-bit-per-channel colour into 5:6:5: each channel's top bits.
inline uint32_t Rgb565(uint32_t c) {
  return ((c >> 19) & 0x1F) << 11 | ((c >> 10) & 0x3F) << 5 | ((c >> 3) & 0x1F);
}
// Into the 32-bit store without alpha: the unused byte written full.
inline uint32_t Xrgb(uint32_t c) {
  return 0xFF000000u | (c & 0xFFFFFF);
}

}  // namespace zq::test
