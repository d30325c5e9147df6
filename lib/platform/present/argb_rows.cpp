// Row conversion to 0xAARRGGBB words (see argb_rows.h).
#include "platform/present/argb_rows.h"

#include "platform/pixel_bytes.h"

namespace zq::platform {

namespace {

// The channels as constants, so the row loop folds their arithmetic.
template <uint32_t Bits, uint32_t R, uint32_t G, uint32_t B>
struct FixedMasks {
  static constexpr int kBytes = int(Bits / 8);
  static constexpr ArgbChannels kChannels{Widen8(ChannelFromMask(R)), Widen8(ChannelFromMask(G)),
                                          Widen8(ChannelFromMask(B)), Widen8()};
  static ArgbChannels Get(const ArgbChannels&) { return kChannels; }
};

// The channels as the format gives them.
template <int Bytes>
struct AnyMasks {
  static constexpr int kBytes = Bytes;
  static ArgbChannels Get(const ArgbChannels& given) { return given; }
};

template <int B>
inline uint32_t Argb(const ArgbChannels& c, const uint8_t* p) {
  const uint32_t v = LoadPixel<B>(p);
  return c.a(v) << 24 | c.r(v) << 16 | c.g(v) << 8 | c.b(v);
}

template <class Masks>
[[gnu::noinline]] void Row(uint32_t* __restrict out, const uint8_t* __restrict in, ptrdiff_t width,
                           const ArgbChannels& given) {
  // A local copy: the stores to out could otherwise alias the channels and force reloads.
  const ArgbChannels c = Masks::Get(given);
  constexpr int kBytes = Masks::kBytes;
  // Blocks of a fixed count, which the compiler turns into vector code without a cost model
  // that allows for a remainder; the last pixels one by one.
  constexpr ptrdiff_t kBlock = 16;
  ptrdiff_t x = 0;
  for (; x + kBlock <= width; x += kBlock)
    for (ptrdiff_t i = 0; i < kBlock; ++i) out[x + i] = Argb<kBytes>(c, in + (x + i) * kBytes);
  for (; x < width; ++x) out[x] = Argb<kBytes>(c, in + x * kBytes);
}

bool IsFormat(const PixelFormat& f, uint32_t bits, uint32_t r, uint32_t g, uint32_t b) {
  return f.rgbBitCount == bits && f.redMask == r && f.greenMask == g && f.blueMask == b;
}

}  // namespace

ArgbRows::ArgbRows(const PixelFormat& f, bool withAlpha) {
  if (f.rgbBitCount != 16 && f.rgbBitCount != 24 && f.rgbBitCount != 32) return;
  if (!f.redMask || !f.greenMask || !f.blueMask) return;
  bytes_ = f.rgbBitCount / 8;
  const bool alpha = withAlpha && (f.flags & PF_ALPHAPIXELS) && f.alphaMask;
  ch_ = ArgbChannels{Widen8(ChannelFromMask(f.redMask)), Widen8(ChannelFromMask(f.greenMask)),
                     Widen8(ChannelFromMask(f.blueMask)),
                     alpha ? Widen8(ChannelFromMask(f.alphaMask)) : Widen8()};
  if (!alpha && IsFormat(f, 16, 0xF800, 0x07E0, 0x001F)) {
    row_ = &Row<FixedMasks<16, 0xF800, 0x07E0, 0x001F>>;
  } else if (!alpha && IsFormat(f, 16, 0x7C00, 0x03E0, 0x001F)) {
    row_ = &Row<FixedMasks<16, 0x7C00, 0x03E0, 0x001F>>;
  } else if (!alpha && IsFormat(f, 32, 0xFF0000, 0xFF00, 0xFF)) {
    row_ = &Row<FixedMasks<32, 0xFF0000, 0xFF00, 0xFF>>;
  } else {
    WithPixelBytes(int(bytes_), [this](auto b) { row_ = &Row<AnyMasks<decltype(b)::value>>; });
  }
}

}  // namespace zq::platform
