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

TEST(PackedOps, Add16AtChannelLimits) {
  EXPECT_EQ(Pixel16::Add<uint32_t>(0xFFFF, 0xFFFF), 0xFFFFu);
  // Lowest bits of red and green: 1 + 1 keeps 1, blue adds exactly.
  EXPECT_EQ(Pixel16::Add<uint32_t>(0x0821, 0x0821), 0x0822u);
  EXPECT_EQ(Pixel16::Add<uint32_t>(0x0020, 0x0020), 0x0020u);
  // Blue 16 + 16 saturates at 31 and its overflow sets the lowest green bit.
  EXPECT_EQ(Pixel16::Add<uint32_t>(0x0010, 0x0010), 0x003Fu);
  EXPECT_EQ(Pixel16::Add<uint32_t>(0x001F, 0x0001), 0x003Fu);
  // Green 32 + 32: upper five bits saturate, lowest stays 0 (62); red's lowest bit gets the
  // overflow.
  EXPECT_EQ(Pixel16::Add<uint32_t>(0x0400, 0x0400), 0x0FC0u);
  // Green 63 + 0 stays 63; 62 + 2 saturates to 62 (lowest bits both 0, no blue overflow).
  EXPECT_EQ(Pixel16::Add<uint32_t>(0x07E0, 0), 0x07E0u);
  EXPECT_EQ(Pixel16::Add<uint32_t>(0x07C0, 0x0040), 0x0FC0u);
  // Red 16 + 16 saturates at 31 and nothing spills beyond 16 bits.
  EXPECT_EQ(Pixel16::Add<uint32_t>(0x8000, 0x8000), 0xF800u);
  EXPECT_EQ(Pixel16::Add<uint32_t>(0xF800, 0x0800), 0xF800u);
  // Red 15 + 0: upper four bits 7, lowest bit from the operand.
  EXPECT_EQ(Pixel16::Add<uint32_t>(0x7800, 0), 0x7800u);
}

TEST(PackedOps, Add32AtChannelLimits) {
  EXPECT_EQ(Pixel32::Add<uint32_t>(0x00FFFFFF, 0x00FFFFFF), 0x01FFFFFFu);
  // Blue 128 + 128 saturates; its overflow sets green's lowest bit.
  EXPECT_EQ(Pixel32::Add<uint32_t>(0x00000080, 0x00000080), 0x000001FFu);
  // Green overflow saturates green and sets red's lowest bit.
  EXPECT_EQ(Pixel32::Add<uint32_t>(0x00008000, 0x00008000), 0x0001FF00u);
  // Red overflow saturates red and makes the fourth byte 1.
  EXPECT_EQ(Pixel32::Add<uint32_t>(0x00800000, 0x00800000), 0x01FF0000u);
  // The fourth bytes of both operands are dropped.
  EXPECT_EQ(Pixel32::Add<uint32_t>(0xFF000000, 0xFF000000), 0x00000000u);
  EXPECT_EQ(Pixel32::Add<uint32_t>(0x00000001, 0x7F000001), 0x00000002u);
  // Lowest bits of green and red: 1 + 1 keeps 1.
  EXPECT_EQ(Pixel32::Add<uint32_t>(0x00010100, 0x00010100), 0x00010100u);
}

TEST(PackedOps, Sub16AtChannelLimits) {
  EXPECT_EQ(Pixel16::Sub<uint32_t>(0x1234, 0x1234), 0x0800u);
  EXPECT_EQ(Pixel16::Sub<uint32_t>(0, 0x1234), 0x1A14u);
  EXPECT_EQ(Pixel16::Sub<uint32_t>(0, 0xFFFF), 0xFFDFu);
  EXPECT_EQ(Pixel16::Sub<uint32_t>(0, 0), 0x0800u);
  EXPECT_EQ(Pixel16::Sub<uint32_t>(0xFFFF, 0xFFFF), 0x0800u);
  // Everything borrows: all zero.
  EXPECT_EQ(Pixel16::Sub<uint32_t>(0xFFFF, 0), 0x0000u);
  // Blue borrow alone: blue 0, red's lowest bit still carries green's no-borrow flag.
  EXPECT_EQ(Pixel16::Sub<uint32_t>(0x0001, 0x0000), 0x0800u);
  // Green borrow: green 0 and red's lowest bit 0.
  EXPECT_EQ(Pixel16::Sub<uint32_t>(0x0040, 0x0000), 0x0000u);
  // Red borrow on the upper four bits (1 >> 1 < 2 >> 1).
  EXPECT_EQ(Pixel16::Sub<uint32_t>(0x1000, 0x0800), 0x0000u);
  // The lowest green and red bits of S are ignored.
  EXPECT_EQ(Pixel16::Sub<uint32_t>(0x0821, 0x0821), 0x0800u);
}

TEST(PackedOps, Sub32AtChannelLimits) {
  EXPECT_EQ(Pixel32::Sub<uint32_t>(0x00123456, 0x00123456), 0x00010100u);
  EXPECT_EQ(Pixel32::Sub<uint32_t>(0, 0xFF123456), 0x00133556u);
  EXPECT_EQ(Pixel32::Sub<uint32_t>(0x00FFFFFF, 0), 0x00000000u);
  // Blue borrow clears green's lowest bit; green's no-borrow still sets red's.
  EXPECT_EQ(Pixel32::Sub<uint32_t>(0x00000001, 0), 0x00010000u);
  // The fourth byte is always 0, whatever either operand holds there.
  EXPECT_EQ(Pixel32::Sub<uint32_t>(0xFF000000, 0), 0x00010100u);
  EXPECT_EQ(Pixel32::Sub<uint32_t>(0, 0xFFFFFFFF), 0x00FFFFFFu);
}

// Every combination of channel values at and around the limits, and random pixels, against
// the channel-by-channel model.
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
