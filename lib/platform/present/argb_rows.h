// Rows of a 16-, 24- or 32-bit RGB format as 0xAARRGGBB words: what the presenter converts a
// kept frame with when it is read, shown in a window or written as a PNG file. Each channel is
// widened to 8 bits by repeating its top bits (Widen8). The row loop is chosen once per format:
// 5:6:5, 5:5:5 and X8R8G8B8 have loops of their own with the channel arithmetic known at
// compile time; other masks share one loop per pixel size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/pixel_channels.h"
#include "platform/types.h"

namespace zq::platform {

struct ArgbChannels {
  Widen8 r, g, b, a;
};

class ArgbRows {
 public:
  // withAlpha: the format's alpha (with PF_ALPHAPIXELS) goes to the top byte; otherwise, and
  // for a format without one, the top byte is 0.
  ArgbRows(const PixelFormat& format, bool withAlpha);
  // False for a depth other than 16, 24 or 32 bits or a missing colour mask.
  bool Ok() const { return row_ != nullptr; }
  bool HasAlpha() const { return ch_.a.mask != 0; }
  uint32_t PixelBytes() const { return bytes_; }
  // Converts `width` pixels from `in` to `out`. Only when Ok().
  void operator()(uint32_t* out, const uint8_t* in, ptrdiff_t width) const {
    row_(out, in, width, ch_);
  }

 private:
  using RowFn = void (*)(uint32_t*, const uint8_t*, ptrdiff_t, const ArgbChannels&);
  RowFn row_ = nullptr;
  ArgbChannels ch_;
  uint32_t bytes_ = 0;
};

}  // namespace zq::platform
