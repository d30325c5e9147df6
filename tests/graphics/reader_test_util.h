// Checks shared by the BMP, BGRA, TGA and DDS reader tests, on top of the common reader support.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/memory.h"
#include "graphics/image/graph_image.h"
#include "graphics/image/image_readers.h"
#include "graphics/image_reader_support.h"
#include "graphics/image_samples.h"

namespace zq::test {

// The reader must decline with -1, leave the record as it was and hold no block afterwards.
inline void ExpectDeclined(gfx::ImageReader reader, const Bytes& bytes) {
  const gfx::GraphImage pattern = PatternedImage();
  gfx::GraphImage image = pattern;
  EXPECT_EQ(DecodeBytes(reader, bytes, &image), -1);
  EXPECT_TRUE(SameBytes(image, pattern));
}

// A decoded image that releases itself.
struct Decoded {
  explicit Decoded(gfx::ImageReader reader, const Bytes& bytes) {
    result = DecodeBytes(reader, bytes, &image);
  }
  ~Decoded() { gfx::ReleaseImageBuffers(&image); }
  Decoded(const Decoded&) = delete;
  Decoded& operator=(const Decoded&) = delete;

  // Bytes [0, count) of row y.
  Bytes Row(int y, size_t count) const {
    const auto* p = static_cast<const uint8_t*>(image.Pixels) + size_t(y) * size_t(image.Pitch);
    return Bytes(p, p + count);
  }
  // Every byte of the pixel block, pitch padding included.
  Bytes Block() const {
    const auto* p = static_cast<const uint8_t*>(image.Pixels);
    return Bytes(p, p + size_t(image.Pitch) * size_t(image.Height));
  }

  int result = -1;
  gfx::GraphImage image{};
};

// Every prefix of a file, and the file with each byte inverted in turn, must decline or decode
// without touching memory the reader does not own (the sanitizers watch) and without leaking.
// Cut pixel data is allowed to decode (the missing bytes read as zeros).
inline void SweepHostileVariants(gfx::ImageReader reader, const Bytes& file) {
  for (size_t n = 0; n <= file.size(); ++n) {
    SCOPED_TRACE("prefix " + std::to_string(n));
    // A copy of just the prefix, so reading past it is an overflow the sanitizer sees.
    ExpectDeclinedOrConsistent(reader, Bytes(file.begin(), file.begin() + ptrdiff_t(n)));
  }
  ExpectEachByteInvertedHandled(reader, file, false);
}

}  // namespace zq::test
