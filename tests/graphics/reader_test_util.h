// Running an image reader over bytes in memory, and the checks every reader test shares.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/memory.h"
#include "base/stream.h"
#include "graphics/image/graph_image.h"
#include "graphics/image/image_readers.h"
#include "graphics/image_samples.h"

namespace zq::test {

inline int RunReader(gfx::ImageReader reader, const Bytes& bytes, gfx::GraphImage* image) {
  base::DataStream stream{*base::GetMemoryStreamFunctions(),
                          base::OpenMemoryStream(bytes.data(), bytes.size())};
  const int result = reader(&stream, image);
  stream.functions.Close(stream.handle);
  return result;
}

inline bool IsEmptyRecord(const gfx::GraphImage& image) {
  static const gfx::GraphImage kEmpty{};
  return std::memcmp(&image, &kEmpty, sizeof image) == 0;
}

// The reader must decline with -1, leave the record empty and hold no block afterwards.
inline void ExpectDeclined(gfx::ImageReader reader, const Bytes& bytes) {
  const size_t blocks = base::TrackedBlockCount();
  gfx::GraphImage image{};
  EXPECT_EQ(RunReader(reader, bytes, &image), -1);
  EXPECT_TRUE(IsEmptyRecord(image));
  EXPECT_EQ(base::TrackedBlockCount(), blocks);
  gfx::ReleaseImageBuffers(&image);
}

// A decoded image that releases itself.
struct Decoded {
  explicit Decoded(gfx::ImageReader reader, const Bytes& bytes) {
    result = RunReader(reader, bytes, &image);
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

inline void ExpectFormat(const gfx::ColorData& f, int depth, int bytes, uint32_t rm, uint32_t gm,
                         uint32_t bm, uint32_t am, uint32_t nm) {
  EXPECT_EQ(f.ColorBitDepth, depth);
  EXPECT_EQ(f.PixelByte, bytes);
  EXPECT_EQ(f.RM, rm);
  EXPECT_EQ(f.GM, gm);
  EXPECT_EQ(f.BM, bm);
  EXPECT_EQ(f.AM, am);
  EXPECT_EQ(f.NM, nm);
}

// Every prefix of a valid file must decline, or decode, without touching memory it does not own
// (the sanitizers watch) and without leaking.
inline void SweepPrefixes(gfx::ImageReader reader, const Bytes& file) {
  const size_t blocks = base::TrackedBlockCount();
  for (size_t n = 0; n <= file.size(); ++n) {
    const Bytes prefix(file.begin(), file.begin() + ptrdiff_t(n));
    gfx::GraphImage image{};
    const int result = RunReader(reader, prefix, &image);
    EXPECT_TRUE(result == 0 || result == -1) << "prefix " << n;
    if (result != 0) {
      EXPECT_TRUE(IsEmptyRecord(image)) << "prefix " << n;
    }
    gfx::ReleaseImageBuffers(&image);
    EXPECT_EQ(base::TrackedBlockCount(), blocks) << "prefix " << n;
  }
}

}  // namespace zq::test
