// Reader of the library's raw "BGRA" format: a 16-byte header, then rows of blue, green, red and
// alpha channels of 8 or 16 bits each.
#include <cstring>

#include "graphics/image/image_readers.h"
#include "graphics/image/reader_io.h"

namespace zq::gfx {
namespace {

constexpr uint32_t kEightBitChannels = 0x08080808;
constexpr uint32_t kSixteenBitChannels = 0x10101010;
constexpr int64_t kHeaderBytes = 16;

}  // namespace

int ReadBgraImage(base::DataStream* stream, GraphImage* image) {
  const int64_t fileSize = reader_io::StreamSize(stream);
  uint8_t header[kHeaderBytes];
  if (reader_io::ReadBytes(stream, header, sizeof header) == 0) return -1;
  if (std::memcmp(header, "BGRA", 4) != 0) return -1;
  const uint32_t code = reader_io::Le32(header + 4);
  if (code != kEightBitChannels && code != kSixteenBitChannels) return -1;
  const int64_t width = reader_io::Le32(header + 8);
  const int64_t height = reader_io::Le32(header + 12);
  if (width == 0 || height == 0) return -1;
  const int64_t pitch = 4 * width;
  if (!reader_io::FitsImageLimits(width, height, pitch)) return -1;
  const int64_t storedBytes = (code == kEightBitChannels ? pitch : 2 * pitch) * height;
  if (!reader_io::HoldsHalfOf(fileSize - kHeaderBytes, storedBytes)) return -1;

  reader_io::Block pixels = reader_io::AllocBlock(pitch * height, false);
  if (!pixels) return -1;
  if (code == kEightBitChannels) {
    if (reader_io::ReadBytes(stream, pixels.get(), size_t(pitch * height)) == 0) return -1;
  } else {
    // Each 16-bit channel keeps its high byte.
    reader_io::Block row = reader_io::AllocBlock(8 * width, false);
    if (!row) return -1;
    for (int64_t y = 0; y < height; ++y) {
      if (reader_io::ReadBytes(stream, row.get(), size_t(8 * width)) == 0) return -1;
      uint8_t* dst = pixels.get() + y * pitch;
      for (int64_t i = 0; i < 4 * width; ++i) dst[i] = row.get()[2 * i + 1];
    }
  }

  GraphImage out{};
  SetupColorDataRGB24(&out.Format);
  out.Format.ColorBitDepth = 32;
  out.Format.PixelByte = 4;
  out.Format.AW = 8;
  out.Format.AL = 24;
  out.Format.AM = 0xFF000000;
  reader_io::SetImagePixels(&out, width, height, pitch, pixels.release());
  *image = out;
  return 0;
}

}  // namespace zq::gfx
