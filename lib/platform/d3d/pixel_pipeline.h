// What the Direct3D stand-in does with each covered pixel: texture sampling, colour key, texture
// stages, alpha test, blending and writing. Everything the device state fixes is decided once per
// draw, when the pipeline is built, by choosing specialised loops; a span of pixels then runs
// through them.
//
// Rules:
// - Channels are 8 bits inside the pipeline. A texel, and a destination pixel read for blending,
//   has each channel widened as floor(c x 255 / (2^w - 1)) for a channel of w bits; a format
//   without alpha reads alpha 255.
// - Sampling (coordinates s, t in 1/256 texel as raster.h makes them, for the point sample):
//   point takes the texel (s >> 8, t >> 8); linear takes s' = s - 128, t' = t - 128, the texels
//   (i, j), (i+1, j), (i, j+1), (i+1, j+1) with i = s' >> 8, j = t' >> 8 and the weights
//   fx = s' & 255, fy = t' & 255, and per channel (c00 (256-fx)(256-fy) + c10 fx (256-fy) +
//   c01 (256-fx) fy + c11 fx fy) >> 16. Addressing per stage: clamp holds indexes inside the
//   texture, wrap takes them modulo its size.
// - Colour key (COLORKEYENABLE on, stage 0 on and reading its texture, which has a source colour
//   key): the pixel is discarded when the point-sampled texel, with only the bits of the texture's
//   four channel masks kept, lies within the key range cut the same way. Linear sampling filters
//   the texels as they are. Only stage 0's texture is keyed.
// - Stages 0 and 1: a stage whose colour operation is DISABLE ends the stages (with stage 0 off
//   the result is the diffuse colour). Colour (red, green, blue) and alpha each: SELECTARG1,
//   SELECTARG2 or MODULATE (a x b / 255 truncated, per channel) of the arguments TEXTURE (the
//   stage's texture, opaque white when none is bound), DIFFUSE and CURRENT (the previous stage's
//   result, the diffuse colour at stage 0); alpha DISABLE passes the current alpha.
// - Alpha test (ALPHATESTENABLE): the pixel is discarded unless its alpha is greater than (GREATER)
//   or at least (GREATEREQUAL) ALPHAREF; ALWAYS keeps every pixel.
// - Blending off: the pixel's channels are written. On: each channel (alpha too) is
//   min(255, s x Fs / 255 + d x Fd / 255), each product truncated, with the factors ZERO 0,
//   ONE 255, SRCCOLOR the source's same channel, SRCALPHA the source alpha, INVSRCALPHA 255 minus
//   it, INVDESTCOLOR 255 minus the destination's same channel.
// - Writing: each channel narrowed to the target's width w by dropping low bits (c >> (8 - w));
//   bits outside the target's four channel masks are written 0. narrow(widen(v)) = v for every
//   width, so an unchanged channel is copied exactly, and narrow(255 - widen(v)) = max - v, so
//   INVDESTCOLOR / ZERO with a white source inverts the target exactly at any width.
#pragma once

#include <cstdint>

#include "platform/ddraw/surface_access.h"

namespace zq::platform {

struct DeviceState;

// A drawable format's channels (red, green, blue, alpha) and its widening tables.
struct PixelLayout {
  explicit PixelLayout(const PixelFormat& f);
  uint32_t bytes;
  uint32_t shift[4];
  uint32_t mask[4];       // the channel's bits after the shift
  uint32_t width[4];      // 0 for a missing channel
  uint32_t channelBits;   // all four channel masks
  bool argb32;            // 32-bit with 8-bit channels at 16, 8, 0 and alpha at 24 or none
  uint8_t widen[4][256];  // raw channel value -> 8 bits (alpha 255 when missing)
  // 0xAARRGGBB narrowed into the format; other bits 0.
  uint32_t Pack(uint32_t argb) const;
};

// Sample positions of a run in 32.32 fixed point: the first pixel's and the step to the next.
struct SteppedCoords {
  int64_t s, t, ds, dt;
};

// One run of covered pixels in a row, with their sample positions (1/256 texel, for the point
// sample) for each sampling stage, given pixel by pixel or, with `stepped`, as SteppedCoords,
// and their diffuse colours (0xAARRGGBB). Filled field by field for every run (no initialiser:
// clearing it would cost more than some runs take to draw).
struct Fragments {
  int32_t y, x, n;
  bool stepped[2];
  SteppedCoords step[2];
  const int32_t* s[2];
  const int32_t* t[2];
  const uint32_t* diffuse;
};

inline constexpr int kSpanChunk = 256;  // most pixels a Fragments holds

// A run of stepped stage-0 positions for PixelPipeline::ShadeFusedRuns: row y, pixels x to
// x + n - 1.
struct FusedRun {
  int32_t y, x, n;
  SteppedCoords c;
};

// A texture as the samplers read it.
struct SampledTexture {
  const uint8_t* pixels = nullptr;
  int64_t pitch = 0;
  int32_t width = 0, height = 0;
  const PixelLayout* layout = nullptr;
  uint32_t keep = 0, fill = 0;       // 32-bit ARGB textures: texel & keep | fill
  uint32_t keyLow = 0, keyHigh = 0;  // channel bits of the key range
};

// Whether every texel that stepped positions over n pixels read lies inside the texture (the
// positions move linearly, so the first and the last bound them).
inline bool Inside(const SampledTexture& tx, bool linear, const SteppedCoords& c, int n) {
  auto inside = [&](int64_t first, int64_t step, int32_t size) {
    const int64_t a = first >> 32, b = (first + step * (n - 1)) >> 32;
    const int64_t lo = a < b ? a : b, hi = a < b ? b : a;
    if (!linear) return lo >= 0 && (hi >> 8) < size;
    return lo - 128 >= 0 && ((hi - 128) >> 8) + 1 < size;
  };
  return inside(c.s, c.ds, tx.width) && inside(c.t, c.dt, tx.height);
}

class PixelPipeline {
 public:
  // Takes every decision of the device state for one draw. textures[stage] is the stage's bound
  // texture (pixels null: none bound) with its layout.
  PixelPipeline(const DeviceState& state, const SurfaceAccess::View& target,
                const PixelLayout& targetLayout, const SurfaceAccess::View textures[2],
                const PixelLayout* textureLayouts[2]);

  // Whether stage `stage` samples its texture, and whether the diffuse colour is read (`white`:
  // the triangle's diffuse is 0xFFFFFFFF at every vertex, so modulating by it is skipped).
  bool Samples(int stage) const { return sample_[stage] != nullptr; }
  bool NeedsDiffuse(bool white) const { return (white ? white_ : plain_).diffuse; }

  void Shade(const Fragments& f, bool white) const;
  // The one-loop form of a run whose only sampled stage is stage 0, with stepped positions, and
  // whose result is that stage's texel: whether the draw has it for the diffuse (`white` as
  // above), and the run drawn by it when its texels all lie inside the texture (false, nothing
  // drawn, when they do not). Shade takes the same loop for such a run.
  bool HasFused(bool white) const { return fused_[white]; }
  bool RunInside(const SteppedCoords& c, int n) const {
    return Inside(texture_[0], linear_[0], c, n);
  }
  // Runs in that form, each reading inside the texture, moved by (dx, dy) pixels, drawn in one
  // call (one loop for each: a run's pixels never overlap another's).
  void ShadeFusedRuns(const FusedRun* runs, int count, int32_t dx = 0, int32_t dy = 0) const {
    fusedRuns_(texture_[0], target_,
               targetPixels_ + int64_t(dy) * targetPitch_ + int64_t(dx) * target_.bytes,
               targetPitch_, runs, count);
  }

  using SampleFn = void (*)(const SampledTexture&, const int32_t* s, const int32_t* t, int n,
                            uint32_t* out, uint8_t* alive);
  using InsideFn = void (*)(const SampledTexture&, const SteppedCoords& c, int n, uint32_t* out,
                            uint8_t* alive);
  using CombineFn = void (*)(const uint32_t* c1, const uint32_t* c2, const uint32_t* a1,
                             const uint32_t* a2, int n, uint32_t* out);
  using TestFn = void (*)(const uint32_t* c, int n, uint32_t ref, uint8_t* alive);
  using WriteFn = void (*)(const PixelLayout&, uint8_t* row, int x, const uint32_t* c,
                           const uint8_t* alive, int n);
  using FusedRunsFn = void (*)(const SampledTexture&, const PixelLayout&, uint8_t* pixels,
                               int64_t pitch, const FusedRun* runs, int count);

 private:
  struct Step {
    CombineFn fn;
    uint8_t c1, c2, a1, a2, out;  // buffer numbers (pixel_pipeline.cpp)
    bool modColor, modAlpha;      // else c1 and a1 are selected
  };
  struct Steps {
    Step step[2];
    int count = 0;
    uint8_t result = 0;
    bool diffuse = false;  // the diffuse colour is read
    bool texture[2] = {};  // a stage's operations read its texture
  };
  static Steps Resolve(const DeviceState& state, const bool bound[2], bool white);

  SampledTexture texture_[2];
  SampleFn sample_[2] = {};
  InsideFn inside_[2] = {};  // stepped positions whose texels all lie inside the texture
  bool linear_[2] = {};
  Steps plain_, white_;
  TestFn test_ = nullptr;
  uint32_t ref_ = 0;
  WriteFn write_ = nullptr;
  bool fused_[2] = {};  // plain, white: the runs in one loop when the draw allows it
  FusedRunsFn fusedRuns_ = nullptr;
  bool discards_ = false;
  const PixelLayout& target_;
  uint8_t* targetPixels_;
  int64_t targetPitch_;
  // One span's working buffers.
  struct Scratch {
    uint32_t texels[2][kSpanChunk];
    uint32_t current[2][kSpanChunk];
    int32_t positions[2][kSpanChunk];
    uint8_t alive[kSpanChunk];
  };
  mutable Scratch scratch_;
};

}  // namespace zq::platform
