// The per-pixel pipeline of the Direct3D stand-in (rules in pixel_pipeline.h).
#include "platform/d3d/pixel_pipeline.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "platform/d3d/device_state.h"
#include "platform/pixel_bytes.h"
#include "platform/pixel_channels.h"

namespace zq::platform {

namespace {

// ---- Arithmetic --------------------------------------------------------------------------------

// x / 255 truncated, for x up to 255 x 255.
constexpr uint32_t Div255(uint32_t x) {
  return (x + 1 + (x >> 8)) >> 8;
}
constexpr bool Div255Exact() {
  for (uint32_t x = 0; x <= 255 * 255; ++x)
    if (Div255(x) != x / 255 || (x * 32897) >> 23 != x / 255) return false;
  return true;
}
static_assert(Div255Exact());

constexpr uint32_t Channel8(uint32_t argb, int pos) {
  return (argb >> pos) & 0xFF;
}

// The four channels' positions in 0xAARRGGBB, in PixelLayout's order (red, green, blue, alpha).
constexpr int kPos[4] = {16, 8, 0, 24};

// ---- Pixel formats -----------------------------------------------------------------------------

// 16 or 32-bit pixels of any channel layout, through the widening tables.
template <int Bytes>
struct Generic {
  static constexpr int kBytes = Bytes;
  static uint32_t Load(const uint8_t* p) { return LoadPixel<Bytes>(p); }
  static void Store(uint8_t* p, uint32_t v) { StorePixel<Bytes>(p, v); }
  static uint32_t Widen(const PixelLayout& l, uint32_t raw) {
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c)
      out |= uint32_t(l.widen[c][(raw >> l.shift[c]) & l.mask[c]]) << kPos[c];
    return out;
  }
  static uint32_t Pack(const PixelLayout& l, uint32_t argb) { return l.Pack(argb); }
};

// 32-bit pixels whose channels already sit where 0xAARRGGBB has them.
struct Argb32 : Generic<4> {
  static uint32_t Widen(const PixelLayout& l, uint32_t raw) {
    return (raw & l.channelBits) | (l.width[3] ? 0 : 0xFF000000u);
  }
  static uint32_t Pack(const PixelLayout& l, uint32_t argb) { return argb & l.channelBits; }
};

template <class Fmt>
[[gnu::always_inline]] inline uint32_t Texel(const SampledTexture& tx, uint32_t raw) {
  if constexpr (std::is_same_v<Fmt, Argb32>)
    return (raw & tx.keep) | tx.fill;
  else
    return Fmt::Widen(*tx.layout, raw);
}

// ---- Addressing --------------------------------------------------------------------------------

struct Clamp {
  static int32_t At(int32_t i, int32_t size) { return i < 0 ? 0 : (i >= size ? size - 1 : i); }
};
struct WrapPow2 {
  static int32_t At(int32_t i, int32_t size) { return i & (size - 1); }
};
struct Wrap {
  static int32_t At(int32_t i, int32_t size) {
    const int32_t r = i % size;
    return r < 0 ? r + size : r;
  }
};

// ---- Sampling ----------------------------------------------------------------------------------

template <class Fmt, class Addr>
[[gnu::always_inline]] inline uint32_t Fetch(const SampledTexture& tx, int32_t i, int32_t j) {
  const uint8_t* row = tx.pixels + int64_t(Addr::At(j, tx.height)) * tx.pitch;
  return Fmt::Load(row + int64_t(Addr::At(i, tx.width)) * Fmt::kBytes);
}

[[gnu::always_inline]] inline bool Keyed(const SampledTexture& tx, uint32_t raw) {
  return (raw & tx.layout->channelBits) - tx.keyLow <= tx.keyHigh - tx.keyLow;
}

// The weighted sum of the four texels, per channel, computed exactly in 16-bit lanes: across
// first, h = c0 (256 - fx) + c1 fx (at most 65280), then h0 (256 - fy) + h1 fy as the high
// halves of the two products plus the carry out of their low halves.
#if defined(__SSE2__)
// The weights of the two passes: 256 - f in the low four lanes, f in the high four.
struct Weights {
  __m128i x, y;
};
[[gnu::always_inline]] inline Weights MakeWeights(uint32_t fx, uint32_t fy) {
  return {_mm_unpacklo_epi64(_mm_set1_epi16(int16_t(256 - fx)), _mm_set1_epi16(int16_t(fx))),
          _mm_unpacklo_epi64(_mm_set1_epi16(int16_t(256 - fy)), _mm_set1_epi16(int16_t(fy)))};
}

// Two texels side by side of a 32-bit ARGB texture, as read (alpha 255 when it has none).
[[gnu::always_inline]] inline __m128i TexelPair(const SampledTexture& tx, const uint8_t* p) {
  const __m128i raw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  return _mm_or_si128(_mm_and_si128(raw, _mm_set1_epi32(int(tx.keep))),
                      _mm_set1_epi32(int(tx.fill)));
}

// top: the bytes of c00 then c10 in the low 64 bits; bottom: c01 then c11.
[[gnu::always_inline]] inline uint32_t BilerpRows(__m128i top, __m128i bottom, const Weights& w) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i t = _mm_mullo_epi16(_mm_unpacklo_epi8(top, zero), w.x);
  const __m128i b = _mm_mullo_epi16(_mm_unpacklo_epi8(bottom, zero), w.x);
  const __m128i h = _mm_unpacklo_epi64(_mm_add_epi16(t, _mm_srli_si128(t, 8)),
                                       _mm_add_epi16(b, _mm_srli_si128(b, 8)));
  const __m128i lo = _mm_mullo_epi16(h, w.y), hi = _mm_mulhi_epu16(h, w.y);
  const __m128i loHigh = _mm_srli_si128(lo, 8);
  // The low halves overflowed exactly when the saturated sum differs from the wrapped one.
  const __m128i noCarry = _mm_cmpeq_epi16(_mm_add_epi16(lo, loHigh), _mm_adds_epu16(lo, loHigh));
  const __m128i carry = _mm_add_epi16(noCarry, _mm_set1_epi16(1));  // 0 or 1
  const __m128i v = _mm_add_epi16(_mm_add_epi16(hi, _mm_srli_si128(hi, 8)), carry);
  return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, zero)));
}

// BilerpRows for four pixels side by side at once: the texels (i, j) of the pixels in c00, their
// (i + 1, j) in c10, (i, j + 1) in c01 and (i + 1, j + 1) in c11, with the same weights.
[[gnu::always_inline]] inline __m128i Bilerp4(__m128i c00, __m128i c10, __m128i c01, __m128i c11,
                                              const Weights& w) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i wx0 = _mm_shuffle_epi32(w.x, 0x00), wx1 = _mm_shuffle_epi32(w.x, 0xAA);
  const __m128i wy0 = _mm_shuffle_epi32(w.y, 0x00), wy1 = _mm_shuffle_epi32(w.y, 0xAA);
  // Two pixels: across first, then down, as BilerpRows.
  auto two = [&](__m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i top = _mm_add_epi16(_mm_mullo_epi16(a, wx0), _mm_mullo_epi16(b, wx1));
    const __m128i bottom = _mm_add_epi16(_mm_mullo_epi16(c, wx0), _mm_mullo_epi16(d, wx1));
    const __m128i lo0 = _mm_mullo_epi16(top, wy0), lo1 = _mm_mullo_epi16(bottom, wy1);
    const __m128i hi = _mm_add_epi16(_mm_mulhi_epu16(top, wy0), _mm_mulhi_epu16(bottom, wy1));
    const __m128i noCarry = _mm_cmpeq_epi16(_mm_add_epi16(lo0, lo1), _mm_adds_epu16(lo0, lo1));
    return _mm_add_epi16(hi, _mm_add_epi16(noCarry, _mm_set1_epi16(1)));
  };
  const __m128i low = two(_mm_unpacklo_epi8(c00, zero), _mm_unpacklo_epi8(c10, zero),
                          _mm_unpacklo_epi8(c01, zero), _mm_unpacklo_epi8(c11, zero));
  const __m128i high = two(_mm_unpackhi_epi8(c00, zero), _mm_unpackhi_epi8(c10, zero),
                           _mm_unpackhi_epi8(c01, zero), _mm_unpackhi_epi8(c11, zero));
  return _mm_packus_epi16(low, high);
}

[[gnu::always_inline]] inline uint32_t Bilerp(uint32_t c00, uint32_t c10, uint32_t c01,
                                              uint32_t c11, uint32_t fx, uint32_t fy) {
  return BilerpRows(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(c00)), _mm_cvtsi32_si128(int(c10))),
                    _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(c01)), _mm_cvtsi32_si128(int(c11))),
                    MakeWeights(fx, fy));
}
#else
struct Weights {};
// Two channels a lane, 32 bits apart, so four weighted sums of 8-bit values (at most 255 x
// 65536) never spill into the next lane.
[[gnu::always_inline]] inline uint32_t Bilerp(uint32_t c00, uint32_t c10, uint32_t c01,
                                              uint32_t c11, uint32_t fx, uint32_t fy) {
  const uint64_t w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy,
                 w11 = fx * fy;
  auto lanes = [](uint32_t c) {
    return std::pair<uint64_t, uint64_t>{uint64_t(c & 0xFF) | uint64_t((c >> 16) & 0xFF) << 32,
                                         uint64_t((c >> 8) & 0xFF) | uint64_t(c >> 24) << 32};
  };
  const auto [b00, g00] = lanes(c00);
  const auto [b10, g10] = lanes(c10);
  const auto [b01, g01] = lanes(c01);
  const auto [b11, g11] = lanes(c11);
  const uint64_t rb = (b00 * w00 + b10 * w10 + b01 * w01 + b11 * w11) >> 16;
  const uint64_t ag = (g00 * w00 + g10 * w10 + g01 * w01 + g11 * w11) >> 16;
  return uint32_t(rb & 0xFF) | uint32_t((ag & 0xFF) << 8) | uint32_t(((rb >> 32) & 0xFF) << 16) |
         uint32_t(((ag >> 32) & 0xFF) << 24);
}
#endif

template <class Fmt, class Addr, bool Linear, bool Key>
void Sample(const SampledTexture& tx, const int32_t* s, const int32_t* t, int n, uint32_t* out,
            uint8_t* alive) {
  for (int k = 0; k < n; ++k) {
    if constexpr (!Linear) {
      const uint32_t raw = Fetch<Fmt, Addr>(tx, s[k] >> 8, t[k] >> 8);
      if constexpr (Key)
        if (Keyed(tx, raw)) alive[k] = 0;
      out[k] = Texel<Fmt>(tx, raw);
    } else {
      if constexpr (Key)
        if (Keyed(tx, Fetch<Fmt, Addr>(tx, s[k] >> 8, t[k] >> 8))) alive[k] = 0;
      const int32_t sl = s[k] - 128, tl = t[k] - 128;
      const int32_t i = sl >> 8, j = tl >> 8;
      out[k] = Bilerp(Texel<Fmt>(tx, Fetch<Fmt, Addr>(tx, i, j)),
                      Texel<Fmt>(tx, Fetch<Fmt, Addr>(tx, i + 1, j)),
                      Texel<Fmt>(tx, Fetch<Fmt, Addr>(tx, i, j + 1)),
                      Texel<Fmt>(tx, Fetch<Fmt, Addr>(tx, i + 1, j + 1)), uint32_t(sl & 255),
                      uint32_t(tl & 255));
    }
  }
}

// Whole-texel steps (a 1:1 or whole-ratio draw) keep the linear weights along a run.
bool WholeSteps(const SteppedCoords& c) {
  constexpr int64_t kFraction = (int64_t(1) << 40) - 1;  // below one texel in 32.32 of 1/256
  return ((c.ds | c.dt) & kFraction) == 0;
}

// The sample at a position whose texels all lie inside the texture (no addressing); with Key,
// *keyed tells whether the key discards it. FixedWeights: linear weights given in w.
template <class Fmt, bool Linear, bool Key, bool FixedWeights>
[[gnu::always_inline]] inline uint32_t SampleInsideAt(const SampledTexture& tx, int32_t si,
                                                      int32_t ti, bool* keyed,
                                                      [[maybe_unused]] const Weights& w) {
  auto at = [&](int32_t i, int32_t j) {
    return Fmt::Load(tx.pixels + int64_t(j) * tx.pitch + int64_t(i) * Fmt::kBytes);
  };
  if constexpr (!Linear) {
    const uint32_t raw = at(si >> 8, ti >> 8);
    if constexpr (Key) *keyed = Keyed(tx, raw);
    return Texel<Fmt>(tx, raw);
  } else {
    if constexpr (Key) *keyed = Keyed(tx, at(si >> 8, ti >> 8));
    const int32_t sl = si - 128, tl = ti - 128, i = sl >> 8, j = tl >> 8;
#if defined(__SSE2__)
    if constexpr (std::is_same_v<Fmt, Argb32>) {
      const uint8_t* p = tx.pixels + int64_t(j) * tx.pitch + int64_t(i) * 4;
      return BilerpRows(TexelPair(tx, p), TexelPair(tx, p + tx.pitch),
                        FixedWeights ? w : MakeWeights(uint32_t(sl & 255), uint32_t(tl & 255)));
    }
#endif
    return Bilerp(Texel<Fmt>(tx, at(i, j)), Texel<Fmt>(tx, at(i + 1, j)),
                  Texel<Fmt>(tx, at(i, j + 1)), Texel<Fmt>(tx, at(i + 1, j + 1)),
                  uint32_t(sl & 255), uint32_t(tl & 255));
  }
}

// Runs f with Whole (std::bool_constant) and the weights: Whole for whole-texel steps (a 1:1 or
// whole-ratio draw) that the loops take by stepping a texel pointer, with point sampling or with
// linear sampling of a 32-bit ARGB texture (then with the weights, fixed along the run).
template <class Fmt, bool Linear, class F>
[[gnu::always_inline]] inline void WithSteps(const SteppedCoords& c, F&& f) {
  if constexpr (!Linear) {
    if (WholeSteps(c)) return f(std::true_type{}, Weights{});
  }
#if defined(__SSE2__)
  if constexpr (Linear && std::is_same_v<Fmt, Argb32>) {
    if (WholeSteps(c)) {
      const int32_t sl = int32_t(c.s >> 32) - 128, tl = int32_t(c.t >> 32) - 128;
      f(std::true_type{}, MakeWeights(uint32_t(sl & 255), uint32_t(tl & 255)));
      return;
    }
  }
#endif
  f(std::false_type{}, Weights{});
}

// Stepped positions all inside the texture.
template <class Fmt, bool Linear, bool Key>
void SampleInside(const SampledTexture& tx, const SteppedCoords& c, int n, uint32_t* out,
                  uint8_t* alive) {
  WithSteps<Fmt, Linear>(c, [&](auto whole, const Weights& w) {
    constexpr bool kFixed = whole && Linear;
    int64_t s = c.s, t = c.t;
    for (int k = 0; k < n; ++k, s += c.ds, t += c.dt) {
      bool keyed = false;
      out[k] = SampleInsideAt<Fmt, Linear, Key, kFixed>(tx, int32_t(s >> 32), int32_t(t >> 32),
                                                        &keyed, w);
      if constexpr (Key)
        if (keyed) alive[k] = 0;
    }
  });
}

// ---- Stages and the alpha test -----------------------------------------------------------------

[[gnu::always_inline]] inline uint32_t ModulateRgb(uint32_t a, uint32_t b) {
  return Div255(Channel8(a, 16) * Channel8(b, 16)) << 16 |
         Div255(Channel8(a, 8) * Channel8(b, 8)) << 8 | Div255(Channel8(a, 0) * Channel8(b, 0));
}

template <bool ModColor, bool ModAlpha>
void Combine(const uint32_t* c1, const uint32_t* c2, const uint32_t* a1, const uint32_t* a2, int n,
             uint32_t* out) {
  for (int k = 0; k < n; ++k) {
    const uint32_t rgb = ModColor ? ModulateRgb(c1[k], c2[k]) : (c1[k] & 0xFFFFFF);
    const uint32_t a =
        ModAlpha ? Div255((a1[k] >> 24) * (a2[k] >> 24)) << 24 : (a1[k] & 0xFF000000);
    out[k] = rgb | a;
  }
}

template <bool OrEqual>
void AlphaTest(const uint32_t* c, int n, uint32_t ref, uint8_t* alive) {
  for (int k = 0; k < n; ++k) {
    const uint32_t a = c[k] >> 24;
    if (OrEqual ? a < ref : a <= ref) alive[k] = 0;
  }
}

// ---- Blending and writing ----------------------------------------------------------------------

// The four channels of v times one factor (0..255), each / 255 truncated, two channels a lane.
[[gnu::always_inline]] inline uint32_t ScaleAll(uint32_t v, uint32_t f) {
  uint32_t rb = (v & 0x00FF00FF) * f, ag = ((v >> 8) & 0x00FF00FF) * f;
  rb = ((rb + 0x00010001 + ((rb >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
  ag = ((ag + 0x00010001 + ((ag >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
  return rb | ag << 8;
}

// Each channel of v times the same channel of f, / 255 truncated.
[[gnu::always_inline]] inline uint32_t ScaleEach(uint32_t v, uint32_t f) {
  uint32_t out = 0;
  for (int pos = 0; pos < 32; pos += 8) out |= Div255(Channel8(v, pos) * Channel8(f, pos)) << pos;
  return out;
}

// Channel by channel, held at 255.
[[gnu::always_inline]] inline uint32_t AddSaturated(uint32_t a, uint32_t b) {
  uint32_t rb = (a & 0x00FF00FF) + (b & 0x00FF00FF);
  uint32_t ag = ((a >> 8) & 0x00FF00FF) + ((b >> 8) & 0x00FF00FF);
  const uint32_t rbOver = rb & 0x01000100, agOver = ag & 0x01000100;
  rb = (rb | (rbOver - (rbOver >> 8))) & 0x00FF00FF;
  ag = (ag | (agOver - (agOver >> 8))) & 0x00FF00FF;
  return rb | ag << 8;
}

// v (the source or the destination) times the factor F.
template <uint32_t F>
[[gnu::always_inline]] inline uint32_t Term(uint32_t v, uint32_t src, uint32_t dst) {
  if constexpr (F == D3DBLEND_ZERO) return 0;
  if constexpr (F == D3DBLEND_ONE) return v;
  if constexpr (F == D3DBLEND_SRCCOLOR) return ScaleEach(v, src);
  if constexpr (F == D3DBLEND_SRCALPHA) return ScaleAll(v, src >> 24);
  if constexpr (F == D3DBLEND_INVSRCALPHA) return ScaleAll(v, 255 - (src >> 24));
  if constexpr (F == D3DBLEND_INVDESTCOLOR) return ScaleEach(v, ~dst);
}

template <uint32_t Fs, uint32_t Fd>
[[gnu::always_inline]] inline uint32_t Blend(uint32_t src, uint32_t dst) {
  // s a / 255 + d (255 - a) / 255 never exceeds 255: no channel carries into the next.
  if constexpr (Fs == D3DBLEND_SRCALPHA && Fd == D3DBLEND_INVSRCALPHA)
    return Term<Fs>(src, src, dst) + Term<Fd>(dst, src, dst);
  if constexpr (Fs == D3DBLEND_ZERO) return Term<Fd>(dst, src, dst);
  if constexpr (Fd == D3DBLEND_ZERO) return Term<Fs>(src, src, dst);
  if constexpr (Fs != D3DBLEND_ZERO && Fd != D3DBLEND_ZERO &&
                !(Fs == D3DBLEND_SRCALPHA && Fd == D3DBLEND_INVSRCALPHA))
    return AddSaturated(Term<Fs>(src, src, dst), Term<Fd>(dst, src, dst));
}

// One pixel written (Fs 0: blending off).
template <class Tgt, uint32_t Fs, uint32_t Fd>
[[gnu::always_inline]] inline void WritePixel(const PixelLayout& l, uint8_t* p, uint32_t c) {
  if constexpr (Fs == 0) {
    Tgt::Store(p, Tgt::Pack(l, c));
  } else if constexpr (Fs == D3DBLEND_SRCALPHA && Fd == D3DBLEND_INVSRCALPHA) {
    // An opaque pixel gives the source without reading the destination.
    if (c >> 24 == 255)
      Tgt::Store(p, Tgt::Pack(l, c));
    else
      Tgt::Store(p, Tgt::Pack(l, Blend<Fs, Fd>(c, Tgt::Widen(l, Tgt::Load(p)))));
  } else {
    Tgt::Store(p, Tgt::Pack(l, Blend<Fs, Fd>(c, Tgt::Widen(l, Tgt::Load(p)))));
  }
}

template <class Tgt, uint32_t Fs, uint32_t Fd, bool Discards>
void Write(const PixelLayout& l, uint8_t* row, int x, const uint32_t* c, const uint8_t* alive,
           int n) {
  uint8_t* p = row + int64_t(x) * Tgt::kBytes;
  for (int k = 0; k < n; ++k, p += Tgt::kBytes) {
    if constexpr (Discards)
      if (!alive[k]) continue;
    WritePixel<Tgt, Fs, Fd>(l, p, c[k]);
  }
}

#if defined(__SSE2__)
// Four pixels of a 32-bit ARGB target blended by source alpha / inverse source alpha (the
// arithmetic of Blend, eight channels a register).
[[gnu::always_inline]] inline void BlendAlpha4(const PixelLayout& l, uint8_t* p, __m128i src) {
  const __m128i zero = _mm_setzero_si128(), bits = _mm_set1_epi32(int(l.channelBits));
  __m128i* out = reinterpret_cast<__m128i*>(p);
  const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(src, opaque), opaque)) == 0xFFFF) {
    _mm_storeu_si128(out, _mm_and_si128(src, bits));  // four opaque pixels are their source
    return;
  }
  const __m128i dst = _mm_or_si128(_mm_and_si128(_mm_loadu_si128(out), bits),
                                   _mm_set1_epi32(l.width[3] ? 0 : int(0xFF000000u)));
  auto half = [&](__m128i s, __m128i d) {
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
    const __m128i inv = _mm_sub_epi16(_mm_set1_epi16(255), a);
    // x / 255 truncated as (x * 32897) >> 23, exact for every x up to 255 x 255.
    auto div255 = [](__m128i x) {
      return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(int16_t(32897))), 7);
    };
    return _mm_add_epi16(div255(_mm_mullo_epi16(s, a)), div255(_mm_mullo_epi16(d, inv)));
  };
  const __m128i lo = half(_mm_unpacklo_epi8(src, zero), _mm_unpacklo_epi8(dst, zero));
  const __m128i hi = half(_mm_unpackhi_epi8(src, zero), _mm_unpackhi_epi8(dst, zero));
  _mm_storeu_si128(out, _mm_and_si128(_mm_packus_epi16(lo, hi), bits));
}
#endif

// The whole run in one loop, for a draw that writes its stage-0 texture as sampled: stepped
// positions inside the texture, no alpha test, blending off or source alpha / inverse source
// alpha.
// One: a run of one pixel (small sprites have many), the sample and the write alone. The target
// is no texture, layout or position: stores to it need not reload them.
template <class Fmt, bool Linear, bool Key, class Tgt, uint32_t Fs, uint32_t Fd, bool One>
[[gnu::always_inline]] inline void Fused(const SampledTexture& tx, const PixelLayout& l,
                                         uint8_t* row, int x, const SteppedCoords& c, int n) {
  if constexpr (One) {
    bool keyed = false;
    const uint32_t color = SampleInsideAt<Fmt, Linear, Key, false>(
        tx, int32_t(c.s >> 32), int32_t(c.t >> 32), &keyed, Weights{});
    if constexpr (Key)
      if (keyed) return;
    WritePixel<Tgt, Fs, Fd>(l, row + int64_t(x) * Tgt::kBytes, color);
    return;
  }
  WithSteps<Fmt, Linear>(c, [&](auto whole, const Weights& w) {
    int64_t s = c.s, t = c.t;
    // Whole-texel steps move the texel (point) or the texel pairs (linear) by a fixed stride.
    const int32_t shift = Linear ? 128 : 0;
    const int32_t i0 = (int32_t(s >> 32) - shift) >> 8, j0 = (int32_t(t >> 32) - shift) >> 8;
    const uint8_t* q = tx.pixels + int64_t(j0) * tx.pitch + int64_t(i0) * Fmt::kBytes;
    const int64_t dq = (c.dt >> 40) * tx.pitch + (c.ds >> 40) * Fmt::kBytes;
    // The next pixel's sample.
    auto next = [&](bool* keyed) {
      // (Unblended point runs keep to per-pixel positions: the library always blends, and a
      // faster copy would only widen the gap to the blended and linear forms, which this device
      // keeps within 2 and 3 times it.)
      if constexpr (whole && !Linear && Fs != 0) {
        const uint32_t raw = Fmt::Load(q);
        if constexpr (Key) *keyed = Keyed(tx, raw);
        q += dq;
        return Texel<Fmt>(tx, raw);
      }
#if defined(__SSE2__)
      if constexpr (whole && Linear && !Key) {
        const uint32_t v = BilerpRows(TexelPair(tx, q), TexelPair(tx, q + tx.pitch), w);
        q += dq;
        return v;
      }
#endif
      const uint32_t v = SampleInsideAt < Fmt, Linear, Key,
                     whole && Linear > (tx, int32_t(s >> 32), int32_t(t >> 32), keyed, w);
      s += c.ds;
      t += c.dt;
      return v;
    };
    uint8_t* p = row + int64_t(x) * Tgt::kBytes;
    int k = 0;
#if defined(__SSE2__)
    if constexpr (std::is_same_v<Tgt, Argb32> && (Fs == D3DBLEND_SRCALPHA || Fs == 0) && !Key) {
      const __m128i bits = _mm_set1_epi32(int(l.channelBits));
      auto write4 = [&](__m128i four) {
        if constexpr (Fs == 0)  // four pixels written as Pack writes them
          _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_and_si128(four, bits));
        else
          BlendAlpha4(l, p, four);
      };
      // 1:1 runs of a 32-bit ARGB texture read four texels side by side (a blended run; an
      // unblended one has no arithmetic to share the loads with).
      if constexpr (whole && std::is_same_v<Fmt, Argb32> && (Linear || Fs != 0)) {
        if (dq == 4) {
          const __m128i keep = _mm_set1_epi32(int(tx.keep)), fill = _mm_set1_epi32(int(tx.fill));
          auto texels = [&](const uint8_t* at) {  // as read
            return _mm_or_si128(
                _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), keep), fill);
          };
          for (; k + 4 <= n; k += 4, p += 16, q += 16) {
            if constexpr (Linear)
              write4(Bilerp4(texels(q), texels(q + 4), texels(q + tx.pitch),
                             texels(q + tx.pitch + 4), w));
            else
              write4(texels(q));
          }
        }
      }
      if constexpr (!whole && !Linear && std::is_same_v<Fmt, Argb32>) {
        // Four texels fetched as they are and taken as read together.
        const __m128i keep = _mm_set1_epi32(int(tx.keep)), fill = _mm_set1_epi32(int(tx.fill));
        auto raw = [&] {
          const uint32_t v = Fmt::Load(tx.pixels + (t >> 40) * tx.pitch + (s >> 40) * 4);
          s += c.ds;
          t += c.dt;
          return int(v);
        };
        for (; k + 4 <= n; k += 4, p += 16) {
          const int r0 = raw(), r1 = raw(), r2 = raw();
          write4(_mm_or_si128(_mm_and_si128(_mm_setr_epi32(r0, r1, r2, raw()), keep), fill));
        }
      }
      for (; k + 4 <= n; k += 4, p += 16) {
        const int c0 = int(next(nullptr)), c1 = int(next(nullptr)), c2 = int(next(nullptr));
        write4(_mm_setr_epi32(c0, c1, c2, int(next(nullptr))));
      }
    }
#endif
    for (; k < n; ++k, p += Tgt::kBytes) {
      bool keyed = false;
      const uint32_t color = next(&keyed);
      if constexpr (Key)
        if (keyed) continue;
      WritePixel<Tgt, Fs, Fd>(l, p, color);
    }
  });
}

template <class Fmt, bool Linear, bool Key, class Tgt, uint32_t Fs, uint32_t Fd>
void FusedRuns(const SampledTexture& tx, const PixelLayout& l, uint8_t* pixels, int64_t pitch,
               const FusedRun* runs, int count) {
  for (int i = 0; i < count; ++i) {
    const FusedRun& r = runs[i];
    uint8_t* row = pixels + int64_t(r.y) * pitch;
    if (r.n == 1)
      Fused<Fmt, Linear, Key, Tgt, Fs, Fd, true>(tx, l, row, r.x, r.c, 1);
    else
      Fused<Fmt, Linear, Key, Tgt, Fs, Fd, false>(tx, l, row, r.x, r.c, r.n);
  }
}

// ---- Choosing the loops ------------------------------------------------------------------------

template <class F>
auto WithBool(bool b, F&& f) {
  return b ? f(std::true_type{}) : f(std::false_type{});
}

// f(format type): the layout's pixel access.
template <class F>
auto WithFormat(const PixelLayout& l, F&& f) {
  if (l.argb32) return f(Argb32{});
  return l.bytes == 2 ? f(Generic<2>{}) : f(Generic<4>{});
}

template <class F>
auto WithAddress(uint32_t address, int32_t w, int32_t h, F&& f) {
  if (address == D3DTADDRESS_CLAMP) return f(Clamp{});
  if (std::has_single_bit(uint32_t(w)) && std::has_single_bit(uint32_t(h))) return f(WrapPow2{});
  return f(Wrap{});
}

template <class F>
auto WithFactor(uint32_t factor, F&& f) {
  switch (factor) {
    case D3DBLEND_ZERO:
      return f(std::integral_constant<uint32_t, D3DBLEND_ZERO>{});
    case D3DBLEND_ONE:
      return f(std::integral_constant<uint32_t, D3DBLEND_ONE>{});
    case D3DBLEND_SRCCOLOR:
      return f(std::integral_constant<uint32_t, D3DBLEND_SRCCOLOR>{});
    case D3DBLEND_SRCALPHA:
      return f(std::integral_constant<uint32_t, D3DBLEND_SRCALPHA>{});
    case D3DBLEND_INVSRCALPHA:
      return f(std::integral_constant<uint32_t, D3DBLEND_INVSRCALPHA>{});
    default:
      return f(std::integral_constant<uint32_t, D3DBLEND_INVDESTCOLOR>{});
  }
}

PixelPipeline::WriteFn ChooseWrite(const PixelLayout& l, bool blend, uint32_t fs, uint32_t fd,
                                   bool discards) {
  return WithFormat(l, [&](auto fmt) {
    using Tgt = decltype(fmt);
    return WithBool(discards, [&](auto d) -> PixelPipeline::WriteFn {
      if (!blend) return &Write<Tgt, 0, 0, d>;
      return WithFactor(fs, [&](auto s) {
        return WithFactor(fd,
                          [&](auto t) -> PixelPipeline::WriteFn { return &Write<Tgt, s, t, d>; });
      });
    });
  });
}

PixelPipeline::FusedRunsFn ChooseFused(const PixelLayout& texture, bool linear, bool key,
                                       const PixelLayout& target, bool alphaBlend) {
  return WithFormat(texture, [&](auto fmt) {
    return WithBool(linear, [&](auto lin) {
      return WithBool(key, [&](auto k) {
        return WithFormat(target, [&](auto tgt) {
          return WithBool(alphaBlend, [&](auto blend) -> PixelPipeline::FusedRunsFn {
            constexpr uint32_t fs = blend ? uint32_t(D3DBLEND_SRCALPHA) : 0u;
            constexpr uint32_t fd = blend ? uint32_t(D3DBLEND_INVSRCALPHA) : 0u;
            return &FusedRuns<decltype(fmt), lin, k, decltype(tgt), fs, fd>;
          });
        });
      });
    });
  });
}

PixelPipeline::SampleFn ChooseSample(const SampledTexture& tx, uint32_t address, bool linear,
                                     bool key) {
  return WithFormat(*tx.layout, [&](auto fmt) {
    return WithAddress(address, tx.width, tx.height, [&](auto addr) {
      return WithBool(linear, [&](auto lin) {
        return WithBool(key, [&](auto k) -> PixelPipeline::SampleFn {
          return &Sample<decltype(fmt), decltype(addr), lin, k>;
        });
      });
    });
  });
}

// ---- Buffers -----------------------------------------------------------------------------------

enum Buffer : uint8_t { kDiffuse, kTexture0, kTexture1, kCurrent0, kCurrent1, kWhite, kBuffers };

const uint32_t* WhiteSpan() {
  static const auto white = [] {
    std::array<uint32_t, kSpanChunk> w;
    w.fill(0xFFFFFFFFu);
    return w;
  }();
  return white.data();
}

}  // namespace

// ---- PixelLayout -------------------------------------------------------------------------------

PixelLayout::PixelLayout(const PixelFormat& f) {
  bytes = f.rgbBitCount / 8;
  const uint32_t masks[4] = {f.redMask, f.greenMask, f.blueMask,
                             (f.flags & PF_ALPHAPIXELS) ? f.alphaMask : 0};
  channelBits = 0;
  for (int c = 0; c < 4; ++c) {
    const Channel ch = ChannelFromMask(masks[c]);
    shift[c] = ch.shift;
    width[c] = ch.width;
    mask[c] = ch.width ? (1u << ch.width) - 1 : 0;
    channelBits |= masks[c];
  }
  argb32 = bytes == 4 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF &&
           (masks[3] == 0 || masks[3] == 0xFF000000u);
  if (argb32) return;  // read and written without the tables
  for (int c = 0; c < 4; ++c) {
    if (width[c] == 0) {
      widen[c][0] = c == 3 ? 255 : 0;
      continue;
    }
    for (uint32_t v = 0; v <= mask[c]; ++v) widen[c][v] = uint8_t(v * 255 / mask[c]);
  }
}

uint32_t PixelLayout::Pack(uint32_t argb) const {
  uint32_t out = 0;
  for (int c = 0; c < 4; ++c) out |= (Channel8(argb, kPos[c]) >> (8 - width[c])) << shift[c];
  return out;
}

// ---- PixelPipeline -----------------------------------------------------------------------------

PixelPipeline::Steps PixelPipeline::Resolve(const DeviceState& state, const bool bound[2],
                                            bool white) {
  Steps out;
  uint8_t current = kDiffuse;
  for (int s = 0; s < 2; ++s) {
    const uint32_t* v = state.stages[s].value;
    if (v[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
    const uint8_t texture = bound[s] ? uint8_t(kTexture0 + s) : uint8_t(kWhite);
    auto arg = [&](uint32_t a) {
      return a == D3DTA_TEXTURE ? texture : a == D3DTA_DIFFUSE ? uint8_t(kDiffuse) : current;
    };
    // One operation on two arguments: modulating by white (or by a white diffuse) selects.
    auto op = [&](uint32_t operation, uint32_t arg1, uint32_t arg2, uint8_t& a, uint8_t& b) {
      a = arg(operation == D3DTOP_SELECTARG2 ? arg2 : arg1);
      b = arg(arg2);
      const bool modulate = operation == D3DTOP_MODULATE;
      out.texture[s] |= texture != kWhite && (a == texture || (modulate && b == texture));
      if (!modulate) return false;
      auto isWhite = [&](uint8_t x) { return x == kWhite || (white && x == kDiffuse); };
      if (isWhite(b)) return false;
      if (isWhite(a)) {
        a = b;
        return false;
      }
      return true;
    };
    Step st{};
    st.modColor = op(v[D3DTSS_COLOROP], v[D3DTSS_COLORARG1], v[D3DTSS_COLORARG2], st.c1, st.c2);
    if (v[D3DTSS_ALPHAOP] == D3DTOP_DISABLE)
      st.a1 = st.a2 = current;
    else
      st.modAlpha = op(v[D3DTSS_ALPHAOP], v[D3DTSS_ALPHAARG1], v[D3DTSS_ALPHAARG2], st.a1, st.a2);
    if (!st.modColor && !st.modAlpha && st.c1 == st.a1) {
      current = st.c1;  // the stage passes one buffer through
      continue;
    }
    st.out = uint8_t(kCurrent0 + s);
    st.fn = st.modColor ? (st.modAlpha ? &Combine<true, true> : &Combine<true, false>)
                        : (st.modAlpha ? &Combine<false, true> : &Combine<false, false>);
    out.step[out.count++] = st;
    current = st.out;
  }
  out.result = current;
  auto reads = [&](uint8_t b) {
    bool r = out.result == b;
    for (int i = 0; i < out.count; ++i) {
      const Step& st = out.step[i];
      r |= st.c1 == b || st.a1 == b || (st.modColor && st.c2 == b) || (st.modAlpha && st.a2 == b);
    }
    return r;
  };
  out.diffuse = reads(kDiffuse);
  return out;
}

PixelPipeline::PixelPipeline(const DeviceState& state, const SurfaceAccess::View& target,
                             const PixelLayout& targetLayout, const SurfaceAccess::View textures[2],
                             const PixelLayout* textureLayouts[2])
    : target_(targetLayout), targetPixels_(target.pixels), targetPitch_(target.pitch) {
  const uint32_t* rs = state.render;
  const bool bound[2] = {textures[0].pixels != nullptr, textures[1].pixels != nullptr};
  plain_ = Resolve(state, bound, false);
  white_ = Resolve(state, bound, true);  // reads no texture that plain_ does not
  for (int s = 0; s < 2; ++s) {
    if (!plain_.texture[s]) continue;  // unbound or not read
    const SurfaceAccess::View& v = textures[s];
    SampledTexture& tx = texture_[s];
    tx.pixels = v.pixels;
    tx.pitch = v.pitch;
    tx.width = v.width;
    tx.height = v.height;
    tx.layout = textureLayouts[s];
    tx.keep = tx.layout->width[3] ? 0xFFFFFFFFu : 0x00FFFFFFu;
    tx.fill = tx.layout->width[3] ? 0 : 0xFF000000u;
    bool key = s == 0 && rs[D3DRENDERSTATE_COLORKEYENABLE] && v.hasKey;
    if (key) {
      tx.keyLow = v.key.low & tx.layout->channelBits;
      tx.keyHigh = v.key.high & tx.layout->channelBits;
      key = tx.keyLow <= tx.keyHigh;  // an empty range keys nothing
    }
    discards_ |= key;
    const uint32_t* st = state.stages[s].value;
    linear_[s] = st[D3DTSS_FILTER] == D3DTFILTER_LINEAR;
    sample_[s] = ChooseSample(tx, st[D3DTSS_ADDRESS], linear_[s], key);
    inside_[s] = WithFormat(*tx.layout, [&](auto fmt) {
      return WithBool(linear_[s], [&](auto lin) {
        return WithBool(key,
                        [&](auto k) -> InsideFn { return &SampleInside<decltype(fmt), lin, k>; });
      });
    });
  }
  if (rs[D3DRENDERSTATE_ALPHATESTENABLE] && rs[D3DRENDERSTATE_ALPHAFUNC] != D3DCMP_ALWAYS) {
    test_ = rs[D3DRENDERSTATE_ALPHAFUNC] == D3DCMP_GREATER ? &AlphaTest<false> : &AlphaTest<true>;
    ref_ = rs[D3DRENDERSTATE_ALPHAREF];
    discards_ = true;
  }
  const bool blend = rs[D3DRENDERSTATE_ALPHABLENDENABLE] != 0;
  write_ = ChooseWrite(targetLayout, blend, rs[D3DRENDERSTATE_SRCBLEND],
                       rs[D3DRENDERSTATE_DESTBLEND], discards_);
  // The common draws in one loop: the stage-0 texture written as sampled.
  const bool alphaBlend = blend && rs[D3DRENDERSTATE_SRCBLEND] == D3DBLEND_SRCALPHA &&
                          rs[D3DRENDERSTATE_DESTBLEND] == D3DBLEND_INVSRCALPHA;
  if (sample_[0] && !sample_[1] && !test_ && (!blend || alphaBlend)) {
    for (int w = 0; w < 2; ++w) {
      const Steps& st = w ? white_ : plain_;
      fused_[w] = st.count == 0 && st.result == kTexture0;
    }
    if (fused_[0] || fused_[1])
      fusedRuns_ =
          ChooseFused(*texture_[0].layout, linear_[0], discards_, targetLayout, alphaBlend);
  }
}

void PixelPipeline::Shade(const Fragments& f, bool white) const {
  if (fused_[white] && f.stepped[0] && RunInside(f.step[0], f.n)) {
    const FusedRun run{f.y, f.x, f.n, f.step[0]};
    ShadeFusedRuns(&run, 1);
    return;
  }
  const Steps& steps = white ? white_ : plain_;
  auto& texels = scratch_.texels;
  auto& current = scratch_.current;
  auto& positions = scratch_.positions;
  uint8_t* alive = scratch_.alive;
  const uint32_t* buffers[kBuffers] = {f.diffuse,  texels[0],  texels[1],
                                       current[0], current[1], WhiteSpan()};
  if (discards_) std::memset(alive, 1, size_t(f.n));
  for (int s = 0; s < 2; ++s) {
    if (!sample_[s]) continue;
    if (!f.stepped[s]) {
      sample_[s](texture_[s], f.s[s], f.t[s], f.n, texels[s], alive);
    } else if (Inside(texture_[s], linear_[s], f.step[s], f.n)) {
      inside_[s](texture_[s], f.step[s], f.n, texels[s], alive);
    } else {
      int64_t ps = f.step[s].s, pt = f.step[s].t;
      for (int k = 0; k < f.n; ++k, ps += f.step[s].ds, pt += f.step[s].dt) {
        positions[0][k] = int32_t(ps >> 32);
        positions[1][k] = int32_t(pt >> 32);
      }
      sample_[s](texture_[s], positions[0], positions[1], f.n, texels[s], alive);
    }
  }
  for (int i = 0; i < steps.count; ++i) {
    const Step& st = steps.step[i];
    st.fn(buffers[st.c1], buffers[st.c2], buffers[st.a1], buffers[st.a2], f.n,
          current[st.out - kCurrent0]);
  }
  if (test_) test_(buffers[steps.result], f.n, ref_, alive);
  write_(target_, targetPixels_ + int64_t(f.y) * targetPitch_, f.x, buffers[steps.result], alive,
         f.n);
}

}  // namespace zq::platform
