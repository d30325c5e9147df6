#include "graphics/image/graph_image_ops.h"

#include <cstring>

#include "graphics/image/reader_io.h"
#include "platform/pixel_bytes.h"

namespace zq::gfx {
namespace {

template <int kBytes>
void MirrorRows(uint8_t* pixels, int64_t pitch, int width, int height) {
  for (int y = 0; y < height; ++y) {
    uint8_t* row = pixels + y * pitch;
    for (int i = 0, j = width - 1; i < j; ++i, --j) {
      uint8_t a[kBytes];
      std::memcpy(a, row + i * kBytes, kBytes);
      std::memcpy(row + i * kBytes, row + j * kBytes, kBytes);
      std::memcpy(row + j * kBytes, a, kBytes);
    }
  }
}

// The channel's top bit placed on bit 7; channels wider than 8 bits keep their top 8 bits.
uint32_t ChannelByte(uint32_t value, uint32_t mask, int shift, int width) {
  const uint32_t c = (value & mask) >> shift;
  return (width <= 8 ? c << (8 - width) : c >> (width - 8)) & 0xFF;
}

}  // namespace

int ReverseGraphImageX(GraphImage* image) {
  if (image->Width <= 0 || image->Height <= 0 || image->Pixels == nullptr) return -1;
  auto* pixels = static_cast<uint8_t*>(image->Pixels);
  // Other pixel widths are left as they are.
  const int bytes = image->Format.PixelByte;
  if (bytes >= 1 && bytes <= 4)
    platform::WithPixelBytes(bytes, [&](auto b) {
      MirrorRows<decltype(b)::value>(pixels, image->Pitch, image->Width, image->Height);
    });
  return 0;
}

uint32_t GetGraphImagePixel(const GraphImage* image, int32_t x, int32_t y) {
  if (image->Pixels == nullptr) return 0;
  if (x < 0 || y < 0 || x >= image->Width || y >= image->Height) return 0;
  const ColorData& f = image->Format;
  const uint8_t* p = static_cast<const uint8_t*>(image->Pixels) + int64_t(y) * image->Pitch +
                     int64_t(x) * f.PixelByte;
  switch (f.PixelByte) {
    case 1:
      return f.Palette[*p] & 0x00FFFFFF;
    case 2:
    case 3:
    case 4: {
      const uint32_t v = f.PixelByte == 2   ? reader_io::Le16(p)
                         : f.PixelByte == 3 ? uint32_t(p[0] | p[1] << 8 | p[2] << 16)
                                            : reader_io::Le32(p);
      const uint32_t alpha = f.AW != 0 ? ChannelByte(v, f.AM, f.AL & 31, f.AW) << 24 : 0;
      return ChannelByte(v, f.RM, f.RL & 31, f.RW) << 16 |
             ChannelByte(v, f.GM, f.GL & 31, f.GW) << 8 | ChannelByte(v, f.BM, f.BL & 31, f.BW) |
             alpha;
    }
    default:
      return 0;
  }
}

}  // namespace zq::gfx
