// Shared by the image reader tests: test files, plain PNM sources, decoding from bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "base/memory.h"
#include "base/stream.h"
#include "graphics/image/graph_image.h"

namespace zq::test {

inline std::string TestDataPath(const std::string& relative) {
  return std::string(ZQ_TEST_DATA_DIR) + "/" + relative;
}

inline std::vector<uint8_t> ReadBytes(const std::string& relative) {
  std::ifstream in(TestDataPath(relative), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A plain (ASCII) PGM or PPM, as tools/make-test-images.sh writes the sources.
struct Pnm {
  int width = 0, height = 0, maxval = 0, channels = 0;
  std::vector<int> samples;  // row by row, channels interleaved
  int At(int x, int y, int channel = 0) const {
    return samples[(size_t(y) * width + x) * channels + channel];
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
inline int DecodeBytes(gfx::ImageReader reader, const uint8_t* data, size_t size,
                       gfx::GraphImage* image, size_t* position = nullptr) {
  base::DataStream stream{*base::GetMemoryStreamFunctions(), base::OpenMemoryStream(data, size)};
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

inline int DecodeBytes(gfx::ImageReader reader, const std::vector<uint8_t>& bytes,
                       gfx::GraphImage* image, size_t* position = nullptr) {
  return DecodeBytes(reader, bytes.data(), bytes.size(), image, position);
}

// A record filled with a pattern, to show that a declining reader leaves it alone.
inline gfx::GraphImage PatternedImage() {
  gfx::GraphImage image;
  std::memset(&image, 0xA5, sizeof image);
  image.Pixels = nullptr;
  return image;
}

// Depth, bytes a pixel, the red, green, blue and alpha masks and the uncovered bits.
inline void ExpectFormat(const gfx::ColorData& f, int depth, int bytes, uint32_t rm, uint32_t gm,
                         uint32_t bm, uint32_t am, uint32_t nm) {
  EXPECT_EQ(std::tuple(int(f.ColorBitDepth), int(f.PixelByte), f.RM, f.GM, f.BM, f.AM, f.NM),
            std::tuple(depth, bytes, rm, gm, bm, am, nm));
}

inline bool SameBytes(const gfx::GraphImage& a, const gfx::GraphImage& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// One run over hostile bytes: a decline (-1) leaves the record untouched, a decode (0) gives a
// consistent one. Returns the result.
inline int ExpectDeclinedOrConsistent(gfx::ImageReader reader, const std::vector<uint8_t>& bytes) {
  const gfx::GraphImage pattern = PatternedImage();
  gfx::GraphImage image = pattern;
  const int result = DecodeBytes(reader, bytes, &image);
  if (result == 0) {
    EXPECT_NE(image.Pixels, nullptr);
    EXPECT_GT(image.Width, 0);
    EXPECT_GT(image.Height, 0);
    EXPECT_GE(image.Pitch, image.Width * image.Format.PixelByte);
    gfx::ReleaseImageBuffers(&image);
  } else {
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(SameBytes(image, pattern));
  }
  return result;
}

// The file with each byte inverted in turn: declined or consistent, and declined when strict.
inline void ExpectEachByteInvertedHandled(gfx::ImageReader reader, const std::vector<uint8_t>& file,
                                          bool strict) {
  std::vector<uint8_t> damaged = file;
  for (size_t at = 0; at < file.size(); ++at) {
    SCOPED_TRACE("byte " + std::to_string(at));
    damaged[at] = uint8_t(~file[at]);
    const int result = ExpectDeclinedOrConsistent(reader, damaged);
    if (strict) {
      EXPECT_EQ(result, -1);
    }
    damaged[at] = file[at];
  }
}

// Feeds a reader every proper prefix of a file and every single-byte corruption of it (each
// byte inverted). Prefixes must all be declined with the record untouched; corruptions must
// be declined when strict, else either declined or decoded into a consistent record. Nothing
// may be printed, nothing may leak.
inline void CheckHostileVariants(gfx::ImageReader reader, const std::vector<uint8_t>& file,
                                 bool strictCorruption) {
  ASSERT_FALSE(file.empty());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const gfx::GraphImage pattern = PatternedImage();
  for (size_t cut = 0; cut < file.size(); ++cut) {
    gfx::GraphImage image = pattern;
    // A copy of just the prefix, so reading past it is an overflow the sanitizer sees.
    std::vector<uint8_t> prefix(file.begin(), file.begin() + cut);
    EXPECT_EQ(DecodeBytes(reader, prefix.data(), prefix.size(), &image), -1) << "cut " << cut;
    EXPECT_TRUE(SameBytes(image, pattern)) << "cut " << cut;
  }
  ExpectEachByteInvertedHandled(reader, file, strictCorruption);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace zq::test
