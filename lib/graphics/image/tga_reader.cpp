// Truevision TGA reader: colour-mapped (types 1, 9) and true-colour (types 2, 10) images of 16, 24
// or 32 bits, plain or run-length encoded, in any of the four row orders.
#include <algorithm>
#include <cstring>

#include "graphics/image/graph_image_ops.h"
#include "graphics/image/image_readers.h"
#include "graphics/image/reader_io.h"
#include "platform/pixel_bytes.h"

namespace zq::gfx {
namespace {

using reader_io::Block;
using reader_io::Le16;
using reader_io::Le32;

constexpr int kFooterBytes = 26;
constexpr int kMaxSide = 4096;  // widths and heights must stay below this

struct TgaHeader {
  int idLength;
  int colourMapType;
  int imageType;
  int mapFirst;
  int mapLength;
  int mapEntryBits;
  int xOrigin;
  int yOrigin;
  int width;
  int height;
  int pixelBits;
  int descriptor;
};

TgaHeader ParseHeader(const uint8_t* h) {
  return {h[0],        h[1],         h[2],         Le16(h + 3),  Le16(h + 5), h[7],
          Le16(h + 8), Le16(h + 10), Le16(h + 12), Le16(h + 14), h[16],       h[17]};
}

// A footer counts only with the signature and a zero extension-area offset.
bool HasFooter(base::DataStream* stream, int64_t fileSize) {
  if (fileSize < kFooterBytes) return false;
  uint8_t footer[kFooterBytes];
  reader_io::SeekTo(stream, fileSize - kFooterBytes);
  if (reader_io::ReadBytes(stream, footer, sizeof footer) == 0) return false;
  return std::memcmp(footer + 8, "TRUEVISION-XFILE", 16) == 0 && Le32(footer) == 0;
}

// Decodes packets of kBytes-byte values into count values at out (which starts zeroed). Stops
// after count values or at the end of the data, whichever comes first.
template <int kBytes>
void DecodePackets(const uint8_t* data, size_t size, uint8_t* out, int64_t count) {
  size_t pos = 0;
  int64_t done = 0;
  while (done < count && pos < size) {
    const uint8_t head = data[pos++];
    const int64_t n = std::min<int64_t>((head & 0x7F) + 1, count - done);
    if (head & 0x80) {
      if (size - pos < kBytes) return;
      for (int64_t i = 0; i < n; ++i) std::memcpy(out + (done + i) * kBytes, data + pos, kBytes);
      pos += kBytes;
      done += n;
    } else {
      const int64_t whole = std::min<int64_t>(n, int64_t((size - pos) / kBytes));
      std::memcpy(out + done * kBytes, data + pos, size_t(whole * kBytes));
      pos += size_t(whole * kBytes);
      done += whole;
      if (whole < n) return;
    }
  }
}

void DecodePacketsOf(int bytes, const uint8_t* data, size_t size, uint8_t* out, int64_t count) {
  platform::WithPixelBytes(
      bytes, [&](auto b) { DecodePackets<decltype(b)::value>(data, size, out, count); });
}

// Replaces each index by its colour-map entry of kBytes bytes.
template <int kBytes>
void LookUpMap(const uint8_t* indices, const uint8_t* map, uint8_t* out, int64_t count) {
  for (int64_t i = 0; i < count; ++i)
    std::memcpy(out + i * kBytes, map + indices[i] * kBytes, kBytes);
}

void LookUpMapOf(int bytes, const uint8_t* indices, const uint8_t* map, uint8_t* out,
                 int64_t count) {
  switch (bytes) {
    case 2:
      return LookUpMap<2>(indices, map, out, count);
    case 3:
      return LookUpMap<3>(indices, map, out, count);
    default:
      return LookUpMap<4>(indices, map, out, count);
  }
}

void SetFormat(int depth, ColorData* format) {
  std::memset(format, 0, sizeof *format);
  if (depth == 16)
    SetupColorDataFromMasks(format, 16, 0x7C00, 0x03E0, 0x001F, 0);
  else if (depth == 24)
    SetupColorDataRGB24(format);
  else  // a 32-bit TGA always carries alpha
    SetupColorDataFromMasks(format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
}

}  // namespace

int ReadTgaImage(base::DataStream* stream, GraphImage* image) {
  const int64_t fileSize = reader_io::StreamSize(stream);
  if (fileSize <= 0) return -1;
  const bool footer = HasFooter(stream, fileSize);

  uint8_t raw[18];
  reader_io::SeekTo(stream, 0);
  if (reader_io::ReadBytes(stream, raw, sizeof raw) == 0) return -1;
  const TgaHeader h = ParseHeader(raw);
  const bool mapped = h.imageType == 1 || h.imageType == 9;
  const bool compressed = h.imageType == 9 || h.imageType == 10;
  if (h.imageType != 1 && h.imageType != 2 && h.imageType != 9 && h.imageType != 10) return -1;
  if (h.xOrigin != 0 || h.yOrigin != 0) return -1;
  if (h.width == 0 || h.height == 0 || h.width >= kMaxSide || h.height >= kMaxSide) return -1;
  const int depth = mapped ? h.mapEntryBits : h.pixelBits;
  if (depth != 16 && depth != 24 && depth != 32) return -1;
  // Indices are one byte each and name entries of a 256-entry map.
  if (mapped && (h.pixelBits != 8 || h.mapFirst + h.mapLength > 256)) return -1;

  const int bytes = depth / 8;
  const int64_t pitch = int64_t(h.width) * bytes;
  const int64_t pixelCount = int64_t(h.width) * h.height;
  int64_t position = 18 + h.idLength;
  if (!mapped && h.colourMapType == 1)
    position += int64_t(h.mapLength) * ((h.mapEntryBits + 7) / 8);

  // Plain data: the colour map, then an index byte or a pixel value for each pixel.
  const int64_t dataStart = position + (mapped ? int64_t(h.mapLength) * bytes : 0);
  const int64_t dataEnd = fileSize - (footer ? kFooterBytes : 0);
  if (!compressed &&
      !reader_io::HoldsHalfOf(dataEnd - dataStart, pixelCount * (mapped ? 1 : bytes)))
    return -1;

  Block pixels = reader_io::AllocBlock(pitch * h.height, true);
  if (!pixels) return -1;

  // Colour map: the file's entries placed from the first index on; the rest stay zero.
  uint8_t map[256 * 4] = {};
  if (mapped) {
    reader_io::SeekTo(stream, position);
    const size_t mapBytes = size_t(h.mapLength) * bytes;
    if (reader_io::ReadBytes(stream, map + h.mapFirst * bytes, mapBytes) == 0) return -1;
    position += int64_t(mapBytes);
  }
  reader_io::SeekTo(stream, position);

  // The values as stored: indices for mapped images, pixels for true-colour ones.
  const int valueBytes = mapped ? 1 : bytes;
  Block indices;
  uint8_t* values = pixels.get();
  if (mapped) {
    indices = reader_io::AllocBlock(pixelCount, true);
    if (!indices) return -1;
    values = indices.get();
  }
  if (compressed) {
    const int64_t dataSize = std::min(dataEnd - position, reader_io::kMaxBlockBytes);
    Block data = reader_io::AllocBlock(dataSize, false);
    if (!data) return -1;
    if (reader_io::ReadBytes(stream, data.get(), size_t(dataSize)) == 0) return -1;
    DecodePacketsOf(valueBytes, data.get(), size_t(dataSize), values, pixelCount);
  } else if (reader_io::ReadBytes(stream, values, size_t(pixelCount * valueBytes)) == 0) {
    return -1;
  }
  if (mapped) LookUpMapOf(bytes, indices.get(), map, pixels.get(), pixelCount);

  GraphImage out{};
  SetFormat(depth, &out.Format);
  reader_io::SetImagePixels(&out, h.width, h.height, pitch, pixels.release());
  // Stored bottom to top unless bit 5 is set, left to right unless bit 4 is set.
  if ((h.descriptor & 0x20) == 0)
    reader_io::ReverseRows(static_cast<uint8_t*>(out.Pixels), pitch, h.height);
  if (h.descriptor & 0x10) ReverseGraphImageX(&out);
  *image = out;
  return 0;
}

}  // namespace zq::gfx
