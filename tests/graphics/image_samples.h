// Small image files built byte by byte, shared by the reader tests and the fuzz corpus generator.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

// The specs below are written with designated initializers that leave the other fields at their
// defaults; g++ 12 warns about that although nothing is left uninitialised.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zq::test {

using Bytes = std::vector<uint8_t>;

// Appends little-endian fields to a byte vector.
class ByteWriter {
 public:
  ByteWriter& U8(uint32_t v) {
    data_.push_back(uint8_t(v));
    return *this;
  }
  ByteWriter& U16(uint32_t v) { return U8(v).U8(v >> 8); }
  ByteWriter& U32(uint32_t v) { return U16(v).U16(v >> 16); }
  ByteWriter& Raw(const Bytes& bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  ByteWriter& Text(const char* text) {
    data_.insert(data_.end(), text, text + std::strlen(text));
    return *this;
  }
  const Bytes& Data() const { return data_; }

 private:
  Bytes data_;
};

// ---- BMP ----

// The fields of a BMP file that the tests vary; BmpFile writes the file they describe.
struct BmpFileLayout {
  int bits = 24;
  uint32_t compression = 0;
  int32_t width = 1, height = 1;
  uint32_t coloursUsed = 0;
  std::vector<uint32_t> palette;  // entries written as stored (blue, green, red, reserved)
  std::vector<uint32_t> masks;    // written after the info header when given
  Bytes pixels;                   // the pixel data as stored
};

// File header, 40-byte info header, masks, colour table, pixel data; the data offset points
// right after the colour table.
inline Bytes BmpFile(const BmpFileLayout& s) {
  ByteWriter w;
  const uint32_t offBits = uint32_t(14 + 40 + 4 * s.masks.size() + 4 * s.palette.size());
  w.Text("BM").U32(uint32_t(offBits + s.pixels.size())).U32(0).U32(offBits);
  w.U32(40).U32(uint32_t(s.width)).U32(uint32_t(s.height)).U16(1).U16(uint32_t(s.bits));
  w.U32(s.compression).U32(uint32_t(s.pixels.size())).U32(2835).U32(2835);
  w.U32(s.coloursUsed).U32(0);
  for (uint32_t m : s.masks) w.U32(m);
  for (uint32_t p : s.palette) w.U32(p);
  w.Raw(s.pixels);
  return w.Data();
}

// ---- raw BGRA ----

inline Bytes BgraFile(uint32_t code, uint32_t width, uint32_t height, const Bytes& pixels) {
  ByteWriter w;
  w.Text("BGRA").U32(code).U32(width).U32(height).Raw(pixels);
  return w.Data();
}

// ---- TGA ----

// The fields of a TGA file that the tests vary; TgaFile writes the file they describe.
struct TgaFileLayout {
  int imageType = 2, colourMapType = 0, mapFirst = 0, mapLength = 0, mapEntryBits = 0;
  int width = 1, height = 1, pixelBits = 24, descriptor = 0, xOrigin = 0, yOrigin = 0;
  Bytes id;
  Bytes map;   // colour-map bytes as stored
  Bytes data;  // pixel or packet data as stored
  bool footer = false;
  uint32_t footerExtensionOffset = 0;
};

inline Bytes TgaFile(const TgaFileLayout& s) {
  ByteWriter w;
  w.U8(uint32_t(s.id.size())).U8(uint32_t(s.colourMapType)).U8(uint32_t(s.imageType));
  w.U16(uint32_t(s.mapFirst)).U16(uint32_t(s.mapLength)).U8(uint32_t(s.mapEntryBits));
  w.U16(uint32_t(s.xOrigin))
      .U16(uint32_t(s.yOrigin))
      .U16(uint32_t(s.width))
      .U16(uint32_t(s.height));
  w.U8(uint32_t(s.pixelBits)).U8(uint32_t(s.descriptor));
  w.Raw(s.id).Raw(s.map).Raw(s.data);
  if (s.footer) w.U32(s.footerExtensionOffset).U32(0).Text("TRUEVISION-XFILE").Text(".").U8(0);
  return w.Data();
}

// ---- DDS ----

// The fields of a DDS file that the tests vary; DdsFile writes the file they describe.
struct DdsFileLayout {
  uint32_t flags = 0x1007;  // caps, height, width, pixel format
  uint32_t width = 1, height = 1, pitch = 0, pixelFlags = 0x40, fourCC = 0, bits = 32;
  uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0};
  Bytes data;
};

inline Bytes DdsFile(const DdsFileLayout& s) {
  ByteWriter w;
  w.Text("DDS ").U32(124).U32(s.flags).U32(s.height).U32(s.width).U32(s.pitch);
  w.U32(0).U32(0).Raw(Bytes(44, 0));  // depth, mipmap count, reserved
  w.U32(32).U32(s.pixelFlags).U32(s.fourCC).U32(s.bits);
  for (uint32_t m : s.masks) w.U32(m);
  w.U32(0x1000).U32(0).U32(0).U32(0).U32(0);  // caps, reserved
  w.Raw(s.data);
  return w.Data();
}

// ---- a sample of each variant, for the prefix sweep and the fuzz corpus ----

struct SampleFile {
  const char* kind;  // "bmp", "bgra", "tga" or "dds"
  std::string name;
  Bytes bytes;
};

inline std::vector<SampleFile> SampleFiles() {
  std::vector<SampleFile> out;
  auto bytesOf = [](size_t n, int start) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(start + 37 * int(i));
    return b;
  };
  auto bmp = [&](const char* name, BmpFileLayout s) { out.push_back({"bmp", name, BmpFile(s)}); };
  auto tga = [&](const char* name, TgaFileLayout s) { out.push_back({"tga", name, TgaFile(s)}); };
  auto dds = [&](const char* name, DdsFileLayout s) { out.push_back({"dds", name, DdsFile(s)}); };
  std::vector<uint32_t> grey16;
  for (uint32_t i = 0; i < 16; ++i) grey16.push_back(i * 0x111111);
  // clang-format off
  bmp("1bit", {.bits = 1, .width = 10, .height = 2, .palette = {0x102030, 0xAABBCC},
               .pixels = bytesOf(8, 1)});
  bmp("4bit", {.bits = 4, .width = 5, .height = 2, .palette = grey16, .pixels = bytesOf(8, 2)});
  bmp("8bit_topdown", {.bits = 8, .width = 5, .height = -2, .coloursUsed = 4,
                       .palette = {1, 2, 3, 4}, .pixels = bytesOf(16, 3)});
  bmp("16bit", {.bits = 16, .width = 3, .height = 2, .pixels = bytesOf(16, 4)});
  bmp("16bit_fields", {.bits = 16, .compression = 3, .width = 3, .height = -1,
                       .masks = {0xF800, 0x07E0, 0x001F}, .pixels = bytesOf(8, 5)});
  bmp("24bit", {.bits = 24, .width = 3, .height = 2, .pixels = bytesOf(24, 6)});
  bmp("32bit", {.bits = 32, .width = 2, .height = 2, .pixels = bytesOf(16, 7)});
  bmp("32bit_fields", {.bits = 32, .compression = 3, .width = 1, .height = 1,
                       .masks = {0x3FF00000, 0xFFC00, 0x3FF}, .pixels = bytesOf(4, 8)});
  bmp("rle8", {.bits = 8, .compression = 1, .width = 6, .height = 3, .coloursUsed = 2,
               .palette = {0, 0xFFFFFF},
               .pixels = {3, 5, 0, 3, 1, 2, 3, 4, 0, 0, 2, 7, 0, 2, 1, 1, 4, 9, 0, 1}});
  bmp("rle4", {.bits = 4, .compression = 2, .width = 7, .height = -2, .coloursUsed = 16,
               .palette = grey16,
               .pixels = {3, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 2, 0, 0, 5, 0x67, 0x89, 0xA0,
                          3, 0, 1}});
  out.push_back({"bgra", "8bit", BgraFile(0x08080808, 3, 2, bytesOf(24, 9))});
  out.push_back({"bgra", "16bit", BgraFile(0x10101010, 2, 2, bytesOf(32, 10))});
  tga("type1", {.imageType = 1, .colourMapType = 1, .mapFirst = 2, .mapLength = 3,
                .mapEntryBits = 24, .width = 2, .height = 2, .pixelBits = 8, .descriptor = 0x20,
                .id = {7}, .map = bytesOf(9, 11), .data = {2, 3, 4, 0}});
  tga("type2_16", {.imageType = 2, .colourMapType = 1, .mapLength = 2, .mapEntryBits = 15,
                   .width = 2, .height = 1, .pixelBits = 16, .id = {1, 2, 3},
                   .map = bytesOf(4, 12), .data = bytesOf(4, 13)});
  tga("type2_24", {.imageType = 2, .width = 3, .height = 2, .pixelBits = 24, .descriptor = 0x10,
                   .data = bytesOf(18, 14)});
  tga("type2_32", {.imageType = 2, .width = 2, .height = 2, .pixelBits = 32, .descriptor = 0x28,
                   .data = bytesOf(16, 15), .footer = true});
  tga("type9", {.imageType = 9, .colourMapType = 1, .mapLength = 2, .mapEntryBits = 16,
                .width = 2, .height = 2, .pixelBits = 8, .map = {0x34, 0x12, 0xFF, 0x7F},
                .data = {0x82, 1, 0x00, 0}});
  tga("type10", {.imageType = 10, .width = 3, .height = 2, .pixelBits = 24, .descriptor = 0x30,
                 .data = {0x81, 1, 2, 3, 0x02, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x80, 13, 14, 15},
                 .footer = true});
  dds("argb", {.width = 2, .height = 2, .pixelFlags = 0x41, .bits = 32,
               .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, .data = bytesOf(16, 16)});
  dds("pitch", {.flags = 0x100F, .width = 2, .height = 2, .pitch = 12, .bits = 32,
                .data = bytesOf(24, 17)});
  dds("r5g6b5", {.width = 3, .height = 1, .pixelFlags = 0x4, .fourCC = 23, .bits = 0,
                 .data = bytesOf(6, 18)});
  dds("r3g3b2", {.width = 3, .height = 1, .pixelFlags = 0x4, .fourCC = 27, .bits = 0,
                 .data = bytesOf(3, 19)});
  // clang-format on
  return out;
}

}  // namespace zq::test
