// The reproducers of faults found in the image readers (each a small file that declares far more
// than it holds), and normal files at the edge of what the readers accept. Built byte by byte:
// fuzz/make_reader_corpus.cpp writes the reproducers as seeds of the fuzz corpus, and the reader
// tests (tests/graphics/hostile_files_test.cpp) decode every row of the table.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "graphics/image_samples.h"

namespace zq::test {

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
// Arithmetic coding (frame type 0xC9) instead keeps `data` as its coded bytes. A restart
// interval other than 0 is declared ahead of the scan.
inline Bytes FlatJpeg(uint16_t width, uint16_t height, bool arithmetic, int components,
                      const Bytes& data, uint16_t restartInterval = 0) {
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
  if (restartInterval != 0) {
    j.insert(j.end(), {0xFF, 0xDD, 0, 4});
    PutBe(j, restartInterval, 2);
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
  // The same scan ending at a restart marker in a file without restart intervals.
  declines("jpeg", "arithmetic_cut_at_restart",
           FlatJpeg(9472, 60695, true, 3, {0x12, 0x34, 0x56, 0x78, 0xFF, 0xD1}), kCut);
  // Restart intervals of 65535 blocks, each ending at once: 64 MB of pixels from 17 markers.
  // It goes straight into its block, and is declined once too many rows came from no data.
  Bytes markers;
  for (uint8_t m = 0; m < 17; ++m) markers.insert(markers.end(), {0xFF, uint8_t(0xD0 + m % 8)});
  out.push_back({"jpeg", "arithmetic_empty_intervals",
                 FlatJpeg(8192, 8192, true, 1, markers, 65535), kCut, 0, 0,
                 (size_t(64) << 20) + kSmall});
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
