#include "softrender/blend_ops.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "flat_reference.h"

namespace zq::soft {
namespace {

using test::RefAdd16;
using test::RefAdd32;
using test::RefSub16;
using test::RefSub32;

// Every pair of channel values at and around the limits (and random pixels) against the
// channel model.
TEST(PackedOps, AgreeWithChannelModel) {
  const std::vector<uint32_t> v5 = {0, 1, 2, 14, 15, 16, 17, 30, 31};
  const std::vector<uint32_t> v6 = {0, 1, 2, 30, 31, 32, 33, 62, 63};
  std::vector<uint32_t> p16;
  for (uint32_t r : v5)
    for (uint32_t g : v6)
      for (uint32_t b : v5) p16.push_back(r << 11 | g << 5 | b);
  for (uint32_t s : p16)
    for (uint32_t d : p16) {
      ASSERT_EQ(Pixel16::Add<uint32_t>(s, d), RefAdd16(s, d)) << std::hex << s << " " << d;
      ASSERT_EQ(Pixel16::Sub<uint32_t>(s, d), RefSub16(s, d)) << std::hex << s << " " << d;
    }
  const std::vector<uint32_t> v8 = {0, 1, 2, 126, 127, 128, 129, 254, 255};
  std::vector<uint32_t> p32;
  for (uint32_t x : {0u, 1u, 0xFFu})
    for (uint32_t r : v8)
      for (uint32_t g : v8)
        for (uint32_t b : v8) p32.push_back(x << 24 | r << 16 | g << 8 | b);
  std::mt19937 rng(7);
  for (int i = 0; i < 200000; ++i) {
    const uint32_t s = p32[rng() % p32.size()], d = p32[rng() % p32.size()];
    ASSERT_EQ(Pixel32::Add<uint32_t>(s, d), RefAdd32(s, d)) << std::hex << s << " " << d;
    ASSERT_EQ(Pixel32::Sub<uint32_t>(s, d), RefSub32(s, d)) << std::hex << s << " " << d;
  }
  for (int i = 0; i < 500000; ++i) {
    const uint32_t s16 = rng() & 0xFFFF, d16 = rng() & 0xFFFF, s32 = rng(), d32 = rng();
    ASSERT_EQ(Pixel16::Add<uint32_t>(s16, d16), RefAdd16(s16, d16));
    ASSERT_EQ(Pixel16::Sub<uint32_t>(s16, d16), RefSub16(s16, d16));
    ASSERT_EQ(Pixel32::Add<uint32_t>(s32, d32), RefAdd32(s32, d32));
    ASSERT_EQ(Pixel32::Sub<uint32_t>(s32, d32), RefSub32(s32, d32));
  }
}

}  // namespace
}  // namespace zq::soft
