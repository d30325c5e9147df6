// Windows BMP reader.
#include <algorithm>
#include <climits>
#include <cstring>
#include <span>
#include <utility>

#include "base/log.h"
#include "graphics/image/image_readers.h"
#include "graphics/image/reader_io.h"
#include "platform/gdi/bitmap.h"

namespace zq::gfx {
namespace {

using reader_io::Block;
using reader_io::Le16;
using reader_io::Le32;

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;

struct BmpHeader {
  int64_t dataOffset;
  int64_t infoSize;
  int32_t width;
  int32_t height;
  int bitCount;
  uint32_t compression;
  uint32_t coloursUsed;
};

bool IsSupportedBitCount(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Run-length data must be of the depth it encodes, bit fields of 16 or 32 bits.
bool CompressionFitsBitCount(uint32_t compression, int bits) {
  switch (compression) {
    case kBiRgb:
      return true;
    case kBiRle8:
      return bits == 8;
    case kBiRle4:
      return bits == 4;
    case kBiBitfields:
      return bits == 16 || bits == 32;
    default:
      return false;
  }
}

// Bytes of one stored row: whole bytes, then a multiple of 4.
int64_t FileRowSize(int bits, int64_t width) {
  return (bits * width + 31) / 32 * 4;
}

int64_t RoundUp4(int64_t n) {
  return (n + 3) & ~int64_t(3);
}

// ---- run-length data ----

// Decodes RLE8 or RLE4 data into one index byte a pixel. Pixels outside the image are dropped;
// decoding stops at the end-of-bitmap pair, below the last line, or at the end of the data.
template <bool kFourBit>
void DecodeRunLength(std::span<const uint8_t> data, uint8_t* pixels, int width, int height,
                     int64_t pitch, bool bottomUp) {
  size_t pos = 0;
  int64_t x = 0;
  int64_t line = 0;
  uint8_t* row = nullptr;
  auto selectRow = [&] {
    row = line < height ? pixels + (bottomUp ? height - 1 - line : line) * pitch : nullptr;
  };
  selectRow();
  while (row != nullptr && data.size() - pos >= 2) {
    const uint8_t count = data[pos];
    const uint8_t value = data[pos + 1];
    pos += 2;
    if (count > 0) {
      // A run; RLE4 alternates the high and low nibble.
      const int64_t end = std::min<int64_t>(x + count, width);
      for (int64_t i = x; i < end; ++i) {
        if constexpr (kFourBit)
          row[i] = ((i - x) & 1) ? value & 0x0F : value >> 4;
        else
          row[i] = value;
      }
      x += count;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++line;
        selectRow();
        break;
      case 1:  // end of bitmap
        return;
      case 2:  // delta
        if (data.size() - pos < 2) return;
        x += data[pos];
        line += data[pos + 1];
        pos += 2;
        selectRow();
        break;
      default: {  // literal pixels, padded to an even offset
        const size_t bytes = kFourBit ? (size_t(value) + 1) / 2 : value;
        const size_t available = std::min(bytes, data.size() - pos);
        const uint8_t* literal = data.data() + pos;
        const size_t pixelsThere = kFourBit ? available * 2 : available;
        const int64_t n = std::min<int64_t>(value, int64_t(pixelsThere));
        const int64_t end = std::min<int64_t>(x + n, width);
        for (int64_t i = x; i < end; ++i) {
          const int64_t k = i - x;
          if constexpr (kFourBit)
            row[i] = (k & 1) ? literal[k >> 1] & 0x0F : literal[k >> 1] >> 4;
          else
            row[i] = literal[k];
        }
        if (available < bytes) return;
        x += value;
        pos += bytes + (bytes & 1);
        if (pos > data.size()) return;
        break;
      }
    }
  }
}

// ---- the reader ----

// Reads the file and info headers; false when they are not a BMP we can decode safely.
bool ReadHeaders(base::DataStream* stream, int64_t fileSize, BmpHeader* h) {
  uint8_t file[14];
  uint8_t info[40];
  if (reader_io::ReadBytes(stream, file, sizeof file) == 0) return false;
  if (file[0] != 'B' || file[1] != 'M') return false;
  if (reader_io::ReadBytes(stream, info, sizeof info) == 0) return false;
  h->dataOffset = Le32(file + 10);
  h->infoSize = Le32(info + 0);
  h->width = int32_t(Le32(info + 4));
  h->height = int32_t(Le32(info + 8));
  h->bitCount = Le16(info + 14);
  h->compression = Le32(info + 16);
  h->coloursUsed = Le32(info + 32);
  // The 12-byte core header keeps its fields elsewhere; a header past the file is broken.
  if (h->infoSize < 40 || 14 + h->infoSize > fileSize) return false;
  if (!IsSupportedBitCount(h->bitCount)) return false;
  if (!CompressionFitsBitCount(h->compression, h->bitCount)) return false;
  if (h->dataOffset >= fileSize) return false;
  if (h->width <= 0 || h->height == 0 || h->height == INT_MIN) return false;
  return true;
}

// The colour table as 0x00RRGGBB entries; entries past the colours in use stay 0.
bool ReadColourTable(base::DataStream* stream, const BmpHeader& h, uint32_t* palette) {
  const uint32_t entries = 1u << h.bitCount;
  uint8_t table[256 * 4];
  reader_io::SeekTo(stream, 14 + h.infoSize);
  if (reader_io::ReadBytes(stream, table, entries * 4) == 0) return false;
  const uint32_t used = h.coloursUsed != 0 && h.coloursUsed < entries ? h.coloursUsed : entries;
  for (uint32_t i = 0; i < used; ++i) palette[i] = Le32(table + 4 * i) & 0x00FFFFFF;
  return true;
}

// Unpacks 4-bit rows, high nibble first, exactly width pixels a row.
void UnpackFourBitRows(const uint8_t* data, int64_t rowSize, uint8_t* pixels, int64_t pitch,
                       int width, int height, bool bottomUp) {
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = data + (bottomUp ? height - 1 - y : y) * rowSize;
    uint8_t* dst = pixels + y * pitch;
    int x = 0;
    for (; x + 1 < width; x += 2, ++src) {
      dst[x] = *src >> 4;
      dst[x + 1] = *src & 0x0F;
    }
    if (x < width) dst[x] = *src >> 4;
  }
}

// ---- every other depth: the platform's DIB transfer into 24-bit rows ----

// Owns a memory device context and a DIB section until the end of the conversion.
struct GdiScope {
  platform::HDC dc = nullptr;
  platform::HBITMAP section = nullptr;
  platform::HGDIOBJ previous = nullptr;
  ~GdiScope() {
    if (previous != nullptr) platform::SelectObject(dc, previous);
    if (dc != nullptr) platform::DeleteDC(dc);
    if (section != nullptr) platform::DeleteObject(section);
  }
};

// Transfers the stored rows (1 bit through the colour table, 16 and 32 bits plain or through the
// masks) into a top-down 24-bit DIB section and copies its rows, pitch bytes each, into a new
// block. The stored rows are freed once transferred. Null when the platform refuses the section
// or the rows (masks that overlap or do not fit the depth) or memory runs out.
Block ConvertRowsTo24(const BmpHeader& h, const uint32_t* palette, const uint32_t* masks,
                      Block data, int64_t pitch) {
  const int32_t height = h.height > 0 ? h.height : -h.height;
  platform::BITMAPINFO source{};
  source.bmiHeader = {40, h.width, h.height, 1, uint16_t(h.bitCount), h.compression, 0, 0, 0, 0, 0};
  if (h.bitCount == 1) std::memcpy(source.bmiColors, palette, 2 * sizeof(uint32_t));
  if (h.compression == kBiBitfields) std::memcpy(source.bmiColors, masks, 3 * sizeof(uint32_t));
  platform::BITMAPINFO target{};
  target.bmiHeader = {40, h.width, -height, 1, 24, platform::BI_RGB, 0, 0, 0, 0, 0};

  GdiScope gdi;
  void* bits = nullptr;
  gdi.dc = platform::CreateCompatibleDC(nullptr);
  if (gdi.dc != nullptr)
    gdi.section = platform::CreateDIBSection(gdi.dc, &target, platform::DIB_RGB_COLORS, &bits);
  if (gdi.section == nullptr || bits == nullptr) {
    base::LogAddString("ＤＩＢの作成に失敗しました3\n");
    return nullptr;
  }
  gdi.previous = platform::SelectObject(gdi.dc, gdi.section);
  const int32_t lines =
      platform::SetDIBitsToDevice(gdi.dc, 0, 0, uint32_t(h.width), uint32_t(height), 0, 0, 0,
                                  uint32_t(height), data.get(), &source, platform::DIB_RGB_COLORS);
  data.reset();
  if (lines == 0) return nullptr;
  Block out = reader_io::AllocBlock(pitch * height, false);
  if (!out) {
    base::LogAddString(
        "２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
    return nullptr;
  }
  std::memcpy(out.get(), bits, size_t(pitch * height));
  return out;
}

}  // namespace

int ReadBmpImage(base::DataStream* stream, GraphImage* image) {
  const int64_t fileSize = reader_io::StreamSize(stream);
  if (fileSize <= 0) return -1;
  BmpHeader h{};
  if (!ReadHeaders(stream, fileSize, &h)) return -1;

  const bool bottomUp = h.height > 0;
  const int width = h.width;
  const int height = bottomUp ? h.height : -h.height;
  const int64_t rowSize = FileRowSize(h.bitCount, width);
  const bool palettised = h.bitCount == 4 || h.bitCount == 8;
  const bool plain24 = h.bitCount == 24;
  const int64_t pitch = h.bitCount == 4         ? RoundUp4(width)
                        : palettised || plain24 ? rowSize
                                                : RoundUp4(3 * int64_t(width));
  const bool runLength = h.compression == kBiRle8 || h.compression == kBiRle4;
  // Both the output rows and the stored ones (read whole unless run-length coded) must fit.
  if (!reader_io::FitsImageLimits(width, height, runLength ? pitch : std::max(pitch, rowSize)))
    return -1;
  const int64_t storedBytes = runLength ? 0 : rowSize * height;
  if (!reader_io::HoldsHalfOf(fileSize - h.dataOffset, storedBytes)) return -1;

  GraphImage out{};
  uint32_t palette[256] = {};
  if (h.bitCount <= 8 && !ReadColourTable(stream, h, palette)) return -1;
  uint32_t masks[3] = {};
  if (h.compression == kBiBitfields) {
    uint8_t raw[12];
    reader_io::SeekTo(stream, 54);
    reader_io::ReadBytes(stream, raw, sizeof raw);
    for (int i = 0; i < 3; ++i) masks[i] = Le32(raw + 4 * i);
  }

  // The pixel data: run-length data as far as the file goes, plain rows as far as the image
  // needs (what the file lacks reads as zeros).
  reader_io::SeekTo(stream, h.dataOffset);
  const int64_t dataBytes =
      runLength ? std::min(fileSize - h.dataOffset, reader_io::kMaxBlockBytes) : storedBytes;
  Block data = reader_io::AllocBlock(dataBytes, false);
  if (!data) return -1;
  if (reader_io::ReadBytes(stream, data.get(), size_t(dataBytes)) == 0) return -1;

  Block pixels;
  if (runLength || h.bitCount == 4) {
    pixels = reader_io::AllocBlock(pitch * height, true);
    if (!pixels) return -1;
    if (h.compression == kBiRle8)
      DecodeRunLength<false>({data.get(), size_t(dataBytes)}, pixels.get(), width, height, pitch,
                             bottomUp);
    else if (h.compression == kBiRle4)
      DecodeRunLength<true>({data.get(), size_t(dataBytes)}, pixels.get(), width, height, pitch,
                            bottomUp);
    else
      UnpackFourBitRows(data.get(), rowSize, pixels.get(), pitch, width, height, bottomUp);
  } else if (h.bitCount == 8 || plain24) {
    // The stored rows are the pixels, turned upright when stored bottom to top.
    pixels = std::move(data);
    if (bottomUp) reader_io::ReverseRows(pixels.get(), pitch, height);
  } else {
    pixels = ConvertRowsTo24(h, palette, masks, std::move(data), pitch);
    if (!pixels) return -1;
  }

  if (palettised) {
    SetupColorDataPal8(&out.Format);
    std::memcpy(out.Format.Palette, palette, sizeof palette);
  } else {
    SetupColorDataRGB24(&out.Format);
  }
  reader_io::SetImagePixels(&out, width, height, pitch, pixels.release());
  *image = out;
  return 0;
}

}  // namespace zq::gfx
