// Shared by the image reader tests: test files, plain PNM sources, decoding from bytes, declines
// that leave the record alone, and the sweep of cut and damaged files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "base/memory.h"
#include "base/stream.h"
#include "graphics/image/graph_image.h"
#include "graphics/image/image_readers.h"
#include "graphics/image_samples.h"

namespace zq::test {

inline std::string TestDataPath(const std::string& relative) {
  return std::string(ZQ_TEST_DATA_DIR) + "/" + relative;
}

inline Bytes ReadBytes(const std::string& relative) {
  std::ifstream in(TestDataPath(relative), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A plain (ASCII) PGM or PPM, as tools/make-test-images.sh writes the sources.
struct Pnm {
  int width = 0, height = 0, maxval = 0, channels = 0;
  std::vector<int> samples;  // row by row, channels interleaved
  int At(int x, int y, int channel = 0) const {
    return samples[(size_t(y) * width + x) * channels + channel];
  }
  uint32_t Rgb(int x, int y) const {  // 0x00RRGGBB of an 8-bit PPM
    return uint32_t(At(x, y, 0)) << 16 | uint32_t(At(x, y, 1)) << 8 | uint32_t(At(x, y, 2));
  }
};

inline Pnm ReadPnm(const std::string& relative) {
  std::ifstream in(TestDataPath(relative));
  std::string magic;
  Pnm pnm;
  in >> magic >> pnm.width >> pnm.height >> pnm.maxval;
  pnm.channels = magic == "P2" ? 1 : magic == "P3" ? 3 : 0;
  const size_t count = size_t(pnm.width) * pnm.height * pnm.channels;
  pnm.samples.resize(count);
  for (size_t i = 0; i < count && in; ++i) in >> pnm.samples[i];
  if (!in || pnm.channels == 0) pnm = Pnm{};
  return pnm;
}

// Runs a reader over bytes through a memory stream. Checks that the reader leaves no tracked
// block behind on failure and exactly the pixel block on success; the stream's position after
// the call goes to *position when asked for.
inline int DecodeBytes(gfx::ImageReader reader, const Bytes& bytes, gfx::GraphImage* image,
                       size_t* position = nullptr) {
  base::DataStream stream{*base::GetMemoryStreamFunctions(),
                          base::OpenMemoryStream(bytes.data(), bytes.size())};
  EXPECT_NE(stream.handle, nullptr);
  if (stream.handle == nullptr) return -2;
  const size_t blocks = base::TrackedBlockCount();
  const int result = reader(&stream, image);
  EXPECT_EQ(base::TrackedBlockCount(), blocks + (result == 0 ? 1 : 0)) << "result " << result;
  if (position != nullptr)
    *position = static_cast<base::MemoryStreamState*>(stream.handle)->position;
  stream.functions.Close(stream.handle);
  return result;
}

// A record filled with a pattern, to show that a declining reader leaves it alone.
inline gfx::GraphImage PatternedImage() {
  gfx::GraphImage image;
  std::memset(&image, 0xA5, sizeof image);
  image.Pixels = nullptr;
  return image;
}

inline bool SameBytes(const gfx::GraphImage& a, const gfx::GraphImage& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Depth, bytes a pixel, the red, green, blue and alpha masks and the uncovered bits.
inline void ExpectFormat(const gfx::ColorData& f, int depth, int bytes, uint32_t rm, uint32_t gm,
                         uint32_t bm, uint32_t am, uint32_t nm) {
  EXPECT_EQ(std::tuple(int(f.ColorBitDepth), int(f.PixelByte), f.RM, f.GM, f.BM, f.AM, f.NM),
            std::tuple(depth, bytes, rm, gm, bm, am, nm));
}

// The reader must decline with -1, leave the record as it was and hold no block afterwards.
inline void ExpectDeclined(gfx::ImageReader reader, const Bytes& bytes) {
  gfx::GraphImage image = PatternedImage();
  EXPECT_EQ(DecodeBytes(reader, bytes, &image), -1);
  EXPECT_TRUE(SameBytes(image, PatternedImage()));
}

// A decoded image that releases itself.
struct Decoded {
  Decoded(gfx::ImageReader reader, const Bytes& bytes) {
    result = DecodeBytes(reader, bytes, &image);
  }
  ~Decoded() { gfx::ReleaseImageBuffers(&image); }
  Decoded(const Decoded&) = delete;
  Decoded& operator=(const Decoded&) = delete;

  const uint8_t* At(int x, int y) const {
    return static_cast<const uint8_t*>(image.Pixels) + size_t(y) * size_t(image.Pitch) +
           size_t(x) * image.Format.PixelByte;
  }
  // Bytes [0, count) of row y.
  Bytes Row(int y, size_t count) const { return Bytes(At(0, y), At(0, y) + count); }
  // Every byte of the pixel block, pitch padding included.
  Bytes Block() const { return Row(0, size_t(image.Pitch) * size_t(image.Height)); }

  int result = -1;
  gfx::GraphImage image{};
};

// One run over hostile bytes: a decline (-1) leaves the record untouched, a decode (0) gives a
// consistent one. Returns the result.
inline int ExpectDeclinedOrConsistent(gfx::ImageReader reader, const Bytes& bytes) {
  gfx::GraphImage image = PatternedImage();
  const int result = DecodeBytes(reader, bytes, &image);
  if (result == 0) {
    EXPECT_NE(image.Pixels, nullptr);
    EXPECT_GT(image.Width, 0);
    EXPECT_GT(image.Height, 0);
    EXPECT_GE(image.Pitch, image.Width * image.Format.PixelByte);
    gfx::ReleaseImageBuffers(&image);
  } else {
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(SameBytes(image, PatternedImage()));
  }
  return result;
}

// Feeds a reader every proper prefix of a file and the file with each byte inverted in turn:
// each is declined with the record untouched or decoded into a consistent record, without
// touching memory the reader does not own (the sanitizers watch), printing or leaking. Prefixes
// must be declined when cutsDecline, damaged files when flipsDecline.
inline void SweepHostileVariants(gfx::ImageReader reader, const Bytes& file, bool cutsDecline,
                                 bool flipsDecline) {
  ASSERT_FALSE(file.empty());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (size_t cut = 0; cut < file.size(); ++cut) {
    SCOPED_TRACE("prefix " + std::to_string(cut));
    // A copy of just the prefix, so reading past it is an overflow the sanitizer sees.
    const int result =
        ExpectDeclinedOrConsistent(reader, Bytes(file.begin(), file.begin() + ptrdiff_t(cut)));
    EXPECT_TRUE(!cutsDecline || result == -1) << result;
  }
  Bytes damaged = file;
  for (size_t at = 0; at < file.size(); ++at) {
    SCOPED_TRACE("byte " + std::to_string(at));
    damaged[at] = uint8_t(~file[at]);
    const int result = ExpectDeclinedOrConsistent(reader, damaged);
    EXPECT_TRUE(!flipsDecline || result == -1) << result;
    damaged[at] = file[at];
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace zq::test
