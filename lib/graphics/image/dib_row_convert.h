// Our own transfer of device-independent-bitmap rows into 24-bit rows (bytes blue, green, red),
// as a DIB transfer to a 24-bit bitmap performs it: 1-bit indices through a two-entry colour
// table, 16- and 32-bit pixels through three channel masks.
#pragma once

#include <cstdint>

#include "graphics/image/reader_io.h"

namespace zq::gfx {

class DibRowTo24 {
 public:
  // 1 bit a pixel; palette entries are 0x00RRGGBB.
  static DibRowTo24 ForIndex1(uint32_t colour0, uint32_t colour1);
  // 16 or 32 bits a pixel with the given masks. X1R5G5B5 and X8R8G8B8 are the masks of the
  // uncompressed 16- and 32-bit rows.
  static DibRowTo24 ForMasks(int bitCount, uint32_t redMask, uint32_t greenMask, uint32_t blueMask);

  // Converts width pixels of row into 3 x width bytes at out.
  void Convert(const uint8_t* row, uint8_t* out, int width) const {
    convert_(*this, row, out, width);
  }

 private:
  using RowFunction = void (*)(const DibRowTo24&, const uint8_t*, uint8_t*, int);
  template <int kBitCount>
  static void ConvertRow(const DibRowTo24& self, const uint8_t* row, uint8_t* out, int width);

  RowFunction convert_ = nullptr;
  uint32_t colours_[2] = {};
  reader_io::ChannelTo8 red_{}, green_{}, blue_{};
};

}  // namespace zq::gfx
