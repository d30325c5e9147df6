// Small image files built byte by byte, shared by the reader tests and the fuzz corpus generator.
#pragma once

#include <algorithm>
#include <cstddef>
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
  ByteWriter& Raw(std::initializer_list<uint8_t> bytes) { return Raw(Bytes(bytes)); }
  ByteWriter& Text(const char* text) {
    data_.insert(data_.end(), text, text + std::strlen(text));
    return *this;
  }
  ByteWriter& Zeros(size_t n) {
    data_.insert(data_.end(), n, 0);
    return *this;
  }
  void PatchU32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) data_[at + i] = uint8_t(v >> (8 * i));
  }
  size_t Size() const { return data_.size(); }
  const Bytes& Data() const { return data_; }

 private:
  Bytes data_;
};

// ---- BMP ----

struct BmpSpec {
  int bits = 24;
  uint32_t compression = 0;
  int32_t width = 1;
  int32_t height = 1;
  uint32_t coloursUsed = 0;
  std::vector<uint32_t> palette;  // entries written as stored (blue, green, red, reserved)
  std::vector<uint32_t> masks;    // written after the info header when given
  Bytes pixels;                   // the pixel data as stored
};

// File header, 40-byte info header, masks, colour table, pixel data; the data offset points
// right after the colour table.
inline Bytes BmpFile(const BmpSpec& s) {
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

struct TgaSpec {
  int imageType = 2;
  int colourMapType = 0;
  int mapFirst = 0;
  int mapLength = 0;
  int mapEntryBits = 0;
  int width = 1;
  int height = 1;
  int pixelBits = 24;
  int descriptor = 0;
  int xOrigin = 0;
  int yOrigin = 0;
  Bytes id;
  Bytes map;   // colour-map bytes as stored
  Bytes data;  // pixel or packet data as stored
  bool footer = false;
  uint32_t footerExtensionOffset = 0;
};

inline Bytes TgaFile(const TgaSpec& s) {
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

struct DdsSpec {
  uint32_t flags = 0x1007;  // caps, height, width, pixel format
  uint32_t width = 1;
  uint32_t height = 1;
  uint32_t pitch = 0;
  uint32_t pixelFlags = 0x40;
  uint32_t fourCC = 0;
  uint32_t bits = 32;
  uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0};
  Bytes data;
};

inline Bytes DdsFile(const DdsSpec& s) {
  ByteWriter w;
  w.Text("DDS ").U32(124).U32(s.flags).U32(s.height).U32(s.width).U32(s.pitch);
  w.U32(0).U32(0).Zeros(44);  // depth, mipmap count, reserved
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
  auto bmp = [&](const char* name, BmpSpec s) { out.push_back({"bmp", name, BmpFile(s)}); };
  const std::vector<uint32_t> grey16 = {0,        0x111111, 0x222222, 0x333333, 0x444444, 0x555555,
                                        0x666666, 0x777777, 0x888888, 0x999999, 0xAAAAAA, 0xBBBBBB,
                                        0xCCCCCC, 0xDDDDDD, 0xEEEEEE, 0xFFFFFF};
  bmp("1bit", {.bits = 1,
               .width = 10,
               .height = 2,
               .palette = {0x102030, 0xAABBCC},
               .pixels = bytesOf(8, 1)});
  bmp("4bit", {.bits = 4, .width = 5, .height = 2, .palette = grey16, .pixels = bytesOf(8, 2)});
  bmp("8bit_topdown", {.bits = 8,
                       .width = 5,
                       .height = -2,
                       .coloursUsed = 4,
                       .palette = {1, 2, 3, 4},
                       .pixels = bytesOf(16, 3)});
  bmp("16bit", {.bits = 16, .width = 3, .height = 2, .pixels = bytesOf(16, 4)});
  bmp("16bit_fields", {.bits = 16,
                       .compression = 3,
                       .width = 3,
                       .height = -1,
                       .masks = {0xF800, 0x07E0, 0x001F},
                       .pixels = bytesOf(8, 5)});
  bmp("24bit", {.bits = 24, .width = 3, .height = 2, .pixels = bytesOf(24, 6)});
  bmp("32bit", {.bits = 32, .width = 2, .height = 2, .pixels = bytesOf(16, 7)});
  bmp("32bit_fields", {.bits = 32,
                       .compression = 3,
                       .width = 1,
                       .height = 1,
                       .masks = {0x3FF00000, 0xFFC00, 0x3FF},
                       .pixels = bytesOf(4, 8)});
  bmp("rle8", {.bits = 8,
               .compression = 1,
               .width = 6,
               .height = 3,
               .coloursUsed = 2,
               .palette = {0, 0xFFFFFF},
               .pixels = {3, 5, 0, 3, 1, 2, 3, 4, 0, 0, 2, 7, 0, 2, 1, 1, 4, 9, 0, 1}});
  bmp("rle4",
      {.bits = 4,
       .compression = 2,
       .width = 7,
       .height = -2,
       .coloursUsed = 16,
       .palette = grey16,
       .pixels = {3, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 2, 0, 0, 5, 0x67, 0x89, 0xA0, 3, 0, 1}});

  out.push_back({"bgra", "8bit", BgraFile(0x08080808, 3, 2, bytesOf(24, 9))});
  out.push_back({"bgra", "16bit", BgraFile(0x10101010, 2, 2, bytesOf(32, 10))});

  auto tga = [&](const char* name, TgaSpec s) { out.push_back({"tga", name, TgaFile(s)}); };
  tga("type1", {.imageType = 1,
                .colourMapType = 1,
                .mapFirst = 2,
                .mapLength = 3,
                .mapEntryBits = 24,
                .width = 2,
                .height = 2,
                .pixelBits = 8,
                .descriptor = 0x20,
                .id = {7},
                .map = bytesOf(9, 11),
                .data = {2, 3, 4, 0}});
  tga("type2_16", {.imageType = 2,
                   .colourMapType = 1,
                   .mapLength = 2,
                   .mapEntryBits = 15,
                   .width = 2,
                   .height = 1,
                   .pixelBits = 16,
                   .id = {1, 2, 3},
                   .map = bytesOf(4, 12),
                   .data = bytesOf(4, 13)});
  tga("type2_24", {.imageType = 2,
                   .width = 3,
                   .height = 2,
                   .pixelBits = 24,
                   .descriptor = 0x10,
                   .data = bytesOf(18, 14)});
  tga("type2_32", {.imageType = 2,
                   .width = 2,
                   .height = 2,
                   .pixelBits = 32,
                   .descriptor = 0x28,
                   .data = bytesOf(16, 15),
                   .footer = true});
  tga("type9", {.imageType = 9,
                .colourMapType = 1,
                .mapLength = 2,
                .mapEntryBits = 16,
                .width = 2,
                .height = 2,
                .pixelBits = 8,
                .map = {0x34, 0x12, 0xFF, 0x7F},
                .data = {0x82, 1, 0x00, 0}});
  tga("type10", {.imageType = 10,
                 .width = 3,
                 .height = 2,
                 .pixelBits = 24,
                 .descriptor = 0x30,
                 .data = {0x81, 1, 2, 3, 0x02, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x80, 13, 14, 15},
                 .footer = true});

  auto dds = [&](const char* name, DdsSpec s) { out.push_back({"dds", name, DdsFile(s)}); };
  dds("argb", {.width = 2,
               .height = 2,
               .pixelFlags = 0x41,
               .bits = 32,
               .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
               .data = bytesOf(16, 16)});
  dds("pitch",
      {.flags = 0x100F, .width = 2, .height = 2, .pitch = 12, .bits = 32, .data = bytesOf(24, 17)});
  dds("r5g6b5", {.width = 3,
                 .height = 1,
                 .pixelFlags = 0x4,
                 .fourCC = 23,
                 .bits = 0,
                 .data = bytesOf(6, 18)});
  dds("r3g3b2", {.width = 3,
                 .height = 1,
                 .pixelFlags = 0x4,
                 .fourCC = 27,
                 .bits = 0,
                 .data = bytesOf(3, 19)});
  return out;
}

// ---- hostile files: small files that declare far more than they hold ----

// Big-endian fields and PNG chunks (length, type, data, CRC of type and data).
inline void PutBe(Bytes& b, uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void PngChunk(Bytes& b, const char* type, const Bytes& data, uint32_t length) {
  PutBe(b, length, 4);
  const size_t start = b.size();
  b.insert(b.end(), type, type + 4);
  b.insert(b.end(), data.begin(), data.end());
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = start; i < b.size(); ++i) {
    crc ^= b[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  PutBe(b, ~crc, 4);
}

// An 8-bit greyscale PNG whose image data is stored uncompressed (zlib stored blocks).
inline Bytes StoredPng(uint32_t width, uint32_t height, uint8_t grey) {
  Bytes raw;
  for (uint32_t y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), width, grey);
  }
  Bytes z = {0x78, 0x01};
  for (size_t at = 0; at < raw.size(); at += 65535) {
    const uint32_t n = uint32_t(std::min<size_t>(65535, raw.size() - at));
    z.push_back(at + n == raw.size() ? 1 : 0);
    z.insert(z.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
    z.insert(z.end(), raw.begin() + ptrdiff_t(at), raw.begin() + ptrdiff_t(at + n));
  }
  uint32_t a = 1, b = 0;
  for (uint8_t v : raw) a = (a + v) % 65521, b = (b + a) % 65521;
  PutBe(z, b << 16 | a, 4);
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  PutBe(ihdr, width, 4);
  PutBe(ihdr, height, 4);
  ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});  // 8 bits, greyscale
  PngChunk(png, "IHDR", ihdr, 13);
  PngChunk(png, "IDAT", z, uint32_t(z.size()));
  PngChunk(png, "IEND", {}, 0);
  return png;
}

// A greyscale JPEG of one flat grey level: one quantisation table, one Huffman code of one bit
// for a DC difference of 0 and one for the end of block, so each block is the two bits 00.
// Arithmetic coding (frame type 0xC9) instead keeps `data` as its coded bytes.
inline Bytes FlatJpeg(uint16_t width, uint16_t height, bool arithmetic, int components,
                      const Bytes& data) {
  Bytes j = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
  j.insert(j.end(), 64, 1);
  j.insert(j.end(), {0xFF, uint8_t(arithmetic ? 0xC9 : 0xC0)});
  PutBe(j, 8 + 3 * components, 2);
  j.push_back(8);
  PutBe(j, height, 2);
  PutBe(j, width, 2);
  j.push_back(uint8_t(components));
  for (int c = 1; c <= components; ++c) j.insert(j.end(), {uint8_t(c), 0x11, 0});
  if (!arithmetic) {
    for (uint8_t table : {0x00, 0x10}) {  // DC 0, then AC 0: one code of length 1, symbol 0
      j.insert(j.end(), {0xFF, 0xC4, 0, 20, table, 1});
      j.insert(j.end(), 15, 0);
      j.push_back(0);
    }
  }
  j.insert(j.end(), {0xFF, 0xDA});
  PutBe(j, 6 + 2 * components, 2);
  j.push_back(uint8_t(components));
  for (int c = 1; c <= components; ++c) j.insert(j.end(), {uint8_t(c), 0});
  j.insert(j.end(), {0, 63, 0});
  j.insert(j.end(), data.begin(), data.end());
  j.insert(j.end(), {0xFF, 0xD9});
  return j;
}

// One row of the hostile-file table: the reproducer of a fault, or a normal file at the edge of
// what the readers accept. `log` is the cause a decline must name in its one log line; null when
// the file must decode, to width x height.
struct HostileFile {
  const char* kind;
  std::string name;
  Bytes bytes;
  const char* log;
  int width, height;
  size_t maxPeakBytes;  // what decoding may hold in tracked memory at once, at most
};

inline std::vector<HostileFile> HostileFiles() {
  constexpr const char* kTooBig = "画像のサイズが大きすぎます";
  constexpr const char* kCut = "画像ファイルが途中で切れています";
  constexpr size_t kSmall = 1 << 20;  // what a refusal may cost: headers, tables, codec state
  const Bytes eight(8, 0x5A);
  std::vector<HostileFile> out;
  auto decodes = [&](const char* kind, const char* name, Bytes bytes, int w, int h, int pitch) {
    out.push_back({kind, name, std::move(bytes), nullptr, w, h, size_t(pitch) * h + kSmall});
  };
  auto declines = [&](const char* kind, const char* name, Bytes bytes, const char* log) {
    out.push_back({kind, name, std::move(bytes), log, 0, 0, kSmall});
  };

  // An arithmetic-coded scan of 9472 x 60695 colour pixels that ends after four bytes.
  declines("jpeg", "arithmetic_cut", FlatJpeg(9472, 60695, true, 3, {0x12, 0x34, 0x56, 0x78}),
           kCut);
  // A text chunk claiming 2^31 - 1 bytes in an 80-byte file.
  Bytes png = StoredPng(1, 1, 0);
  png.resize(33);  // signature and header chunk
  PngChunk(png, "tEXt", Bytes(39, 'x'), 0x7FFFFFFF);
  png.resize(80);
  declines("png", "text_length_2g", png, kCut);
  declines("bmp", "32bit_3_6g",
           BmpFile({.bits = 32, .width = 32767, .height = 16384, .pixels = Bytes(16, 1)}), kCut);
  declines("bgra", "2g", BgraFile(0x08080808, 32768, 16383, {1, 2}), kCut);
  declines("dds", "pitch_2g",
           DdsFile({.flags = 0x100F, .pitch = 0x7FFFFFFF, .bits = 32, .data = eight}), kTooBig);
  declines("tga", "4095_square",
           TgaFile({.width = 4095, .height = 4095, .pixelBits = 32, .data = eight}), kCut);

  // The widest rows each reader takes, holding exactly half of their pixel bytes where the rule
  // applies; a byte less, or a pitch a byte longer, is refused.
  const Bytes halfRow(196608, 7);
  decodes("bmp", "widest_half", BmpFile({.width = 65535, .height = 2, .pixels = halfRow}), 65535, 2,
          196608);
  declines("bmp", "widest_under_half",
           BmpFile({.width = 65535, .height = 2, .pixels = Bytes(196607, 7)}), kCut);
  decodes("bgra", "widest_half", BgraFile(0x08080808, 65535, 2, Bytes(262140, 7)), 65535, 2,
          262140);
  decodes("tga", "widest_half", TgaFile({.width = 4095, .height = 2, .data = Bytes(12285, 7)}),
          4095, 2, 12285);
  decodes("dds", "widest_padded",
          DdsFile({.flags = 0x100F, .width = 65535, .pitch = 262204, .data = Bytes(131102, 7)}),
          65535, 1, 262204);
  declines("dds", "widest_padded_too_far",
           DdsFile({.flags = 0x100F, .width = 65535, .pitch = 262205, .data = Bytes(262205, 7)}),
           kTooBig);
  decodes("png", "widest", StoredPng(65535, 2, 9), 65535, 2, 65535);
  decodes("jpeg", "widest", FlatJpeg(65500, 8, false, 1, Bytes((65500 + 7) / 8 / 4, 0)), 65500, 8,
          65500);
  return out;
}

}  // namespace zq::test
