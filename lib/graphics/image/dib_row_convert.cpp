#include "graphics/image/dib_row_convert.h"

namespace zq::gfx {

DibRowTo24 DibRowTo24::ForIndex1(uint32_t colour0, uint32_t colour1) {
  DibRowTo24 c;
  c.convert_ = &ConvertRow<1>;
  c.colours_[0] = colour0;
  c.colours_[1] = colour1;
  return c;
}

DibRowTo24 DibRowTo24::ForMasks(int bitCount, uint32_t redMask, uint32_t greenMask,
                                uint32_t blueMask) {
  DibRowTo24 c;
  c.convert_ = bitCount == 16 ? &ConvertRow<16> : &ConvertRow<32>;
  c.red_ = reader_io::MakeChannelTo8(redMask);
  c.green_ = reader_io::MakeChannelTo8(greenMask);
  c.blue_ = reader_io::MakeChannelTo8(blueMask);
  return c;
}

template <int kBitCount>
void DibRowTo24::ConvertRow(const DibRowTo24& self, const uint8_t* row, uint8_t* out, int width) {
  for (int x = 0; x < width; ++x, out += 3) {
    if constexpr (kBitCount == 1) {
      const uint32_t colour = self.colours_[(row[x >> 3] >> (7 - (x & 7))) & 1];
      out[0] = uint8_t(colour);
      out[1] = uint8_t(colour >> 8);
      out[2] = uint8_t(colour >> 16);
    } else {
      const uint32_t pixel =
          kBitCount == 16 ? reader_io::Le16(row + 2 * x) : reader_io::Le32(row + 4 * size_t(x));
      out[0] = uint8_t(self.blue_(pixel));
      out[1] = uint8_t(self.green_(pixel));
      out[2] = uint8_t(self.red_(pixel));
    }
  }
}

}  // namespace zq::gfx
