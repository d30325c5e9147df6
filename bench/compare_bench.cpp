// Our software renderer beside pixman, SDL2's software blitter and memcpy, on the same work
// in the same run. Each case draws one round onto a 640 x 480 destination with each
// contestant in turn: 64 sprites of 64 x 64 at scattered places, or one whole screen. All
// draw into the same destination bytes (and read the same source bytes where their formats
// allow). Before each contestant's round the destination gets the same starting pixels back
// and every source is read through, untimed, so each finds them equally warm in cache (SDL's
// fill writes past the cache) and the add never saturates; the order of the contestants
// changes with every iteration through all orders, so neither clock changes nor the state one
// contestant leaves for the next favour any of them. Before timing, each of
// our calls is run alone and must change the destination: a refused draw would otherwise
// show as a fast one.
//
// memcpy writes the same destination rectangles from a buffer of their size: our time over
// its time says how far each operation is from moving the bytes it writes.
//
// The reported time and "pixels/s" are ours. Counters: ours_us, memcpy_us, pixman_us and
// sdl_us per round. A table follows the run: our time, our time over memcpy's, the faster
// peer and our time over its time (below 1: ours is faster).
//
// The operations are equivalent in kind only. Our blend results follow our own rules to the
// bit; pixman works on premultiplied alpha with its own rounding, SDL with its own, so the
// pixels differ and are not compared here: this program measures time alone. Counterparts:
//   copy      plain blit                   | SRC                          | blit, no blending
//   key       colour-keyed blit            | OVER from a8r8g8b8 of alpha  | SDL_SetColorKey
//                                          | 0 or 255 (no colour key)     |
//   blend100  blend mode 1, parameter 100  | OVER through a solid mask    | alpha mod 100, BLEND
//                                          | of alpha 100                 |
//   alpha     source with alpha channel:   | OVER from a8r8g8b8           | ARGB8888 source, BLEND
//             bands of alpha 0, 255, random|                              |
//   alpharand the same, all alpha random   | OVER from a8r8g8b8           | ARGB8888 source, BLEND
//   add       blend mode 2, parameter 255  | ADD                          | BLENDMODE_ADD
//   sub       blend mode 3, parameter 255  | none                         | none
//   mul       blend mode 4                 | MULTIPLY                     | BLENDMODE_MOD
//   stretch   stretched blit, x2 each way  | SRC, scale transform,        | SDL_BlitScaled
//                                          | nearest filter               |
//   mirror    same-size blit mirrored      | SRC, mirroring transform,    | none
//             left to right                | nearest filter               |
//   rotate    rotated blit                 | OVER, rotation transform,    | none: SDL's surface API
//                                          | nearest filter, no repeat    | cannot rotate
//   triangle  the source on two triangles, | OVER through two triangles   | none
//             texels 1:1                   | (pixman_composite_triangles) |
//   fill      filled box, blend mode 0     | pixman_image_fill_rectangles | SDL_FillRect
//                                          | SRC                          |
//   addfill   filled box, blend mode 2,    | pixman_image_fill_rectangles | none: SDL_FillRect
//             parameter 255                | ADD                          | does not blend
//   convert   32-bit to 16-bit pixels      | SRC x8r8g8b8 to r5g6b5       | blit between formats
//   dither    the same, 4 x 4 ordered      | DISJOINT_OVER (SRC for the   | none: SDL cannot dither
//             dither                       | opaque source), ordered      |
//                                          | Bayer 8x8 dither             |
// Formats: r5g6b5 and x8r8g8b8 (SDL: RGB565 and XRGB8888) as our 16-bit and 32-bit pixels;
// pixman's adds read the 32-bit bytes as a8r8g8b8, their fast form. The conversions write a
// 16-bit destination from a 32-bit source and run only as 16-bit cases.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "graphics/ddraw/color_data.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"
#include "graphics/image/convert_pixel_rect.h"
#include "platform/types.h"
#include "softrender/boxes.h"
#include "softrender/draw_memimg.h"
#include "softrender/draw_memimg_stretched.h"
#include "softrender/rotated.h"
#include "softrender/triangle.h"

namespace {

using namespace zq;
using Clock = std::chrono::steady_clock;

constexpr int kW = 640, kH = 480;
constexpr int kSprites = 64, kSpriteSide = 64;
constexpr int kBlendParam = 100;  // not 128, which SDL's 16-bit blitter treats specially

enum Op {
  kCopy,
  kKey,
  kBlend,
  kAlpha,
  kAlphaRandom,
  kAdd,
  kSub,
  kMul,
  kStretch,
  kMirror,
  kRotate,
  kTriangle,
  kFill,
  kAddFill,
  kConvert,
  kDither,
  kOps
};
const char* const kOpNames[] = {"copy", "key",     "blend100", "alpha",  "alpharand", "add",
                                "sub",  "mul",     "stretch",  "mirror", "rotate",    "triangle",
                                "fill", "addfill", "convert",  "dither"};
enum Lib { kOurs, kMemcpy, kPixman, kSdl, kLibs };

// Pixels over a vector, rows pitch bytes apart.
struct Plane {
  Plane(int width, int height, int bytesPerPixel)
      : w(width), h(height), bpp(bytesPerPixel), pitch(width * bytesPerPixel) {
    bytes.assign(size_t(pitch) * size_t(height), 0);
  }
  uint8_t* At(int x, int y) { return bytes.data() + size_t(y) * pitch + size_t(x) * bpp; }
  int w, h, bpp, pitch;
  std::vector<uint8_t> bytes;
};

// Our image record over a plane. Not copyable: the record points at its own format.
struct OurImage {
  OurImage(Plane& p, int colorType, bool alpha) {
    format.PixelByte = uint16_t(p.bpp);
    format.ColorBitDepth = uint16_t(p.bpp * 8);
    m.SetupMark = gfx::kMemImgSetupMark;
    m.Width = p.w;
    m.Height = p.h;
    m.Pitch = p.pitch;
    m.PitchShift = -1;
    m.Format = &format;
    m.ColorType = colorType;
    m.AlphaFlag = alpha ? 1 : 0;
    m.Pixels = p.bytes.data();
  }
  OurImage(const OurImage&) = delete;
  OurImage& operator=(const OurImage&) = delete;
  gfx::ColorData format{};
  gfx::MEMIMG m{};
};

struct PixmanUnref {
  void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using PixmanImage = std::unique_ptr<pixman_image_t, PixmanUnref>;

// Rows of a plane are 4-byte aligned (vector storage, even widths), as pixman requires.
PixmanImage PixmanOver(Plane& p, pixman_format_code_t format) {
  return PixmanImage(pixman_image_create_bits(
      format, p.w, p.h, reinterpret_cast<uint32_t*>(p.bytes.data()), p.pitch));
}

struct SdlFree {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using SdlSurface = std::unique_ptr<SDL_Surface, SdlFree>;

SdlSurface SdlOver(Plane& p, uint32_t format) {
  return SdlSurface(
      SDL_CreateRGBSurfaceWithFormatFrom(p.bytes.data(), p.w, p.h, p.bpp * 8, p.pitch, format));
}

constexpr uint32_t kKey16 = 0xF81F, kKey32 = 0x00FF00FF;

uint32_t Expand5(uint32_t v) {
  return v << 3 | v >> 2;
}
uint32_t Expand6(uint32_t v) {
  return v << 2 | v >> 4;
}

bool IsConversion(Op op) {
  return op == kConvert || op == kDither;
}

// One round of work with each contestant over shared pixels.
class Scene {
 public:
  Scene(Op op, bool is16, bool full) : op_(op), is16_(is16), full_(full) {
    const int bpp = is16 ? 2 : 4;
    const int colorType = is16 ? gfx::kMemImgRgb565 : gfx::kMemImgXrgb8888;
    const bool alpha = op == kAlpha || op == kAlphaRandom;
    // The conversions read 32-bit pixels and write 16-bit ones.
    const int srcBpp = alpha || IsConversion(op) ? 4 : bpp;
    // The stretch doubles each way; everything else draws its source at its own size.
    const int side = op == kStretch ? kSpriteSide / 2 : kSpriteSide;
    srcW_ = full ? (op == kStretch ? kW / 2 : kW) : side;
    srcH_ = full ? (op == kStretch ? kH / 2 : kH) : side;
    outW_ = op == kStretch ? srcW_ * 2 : srcW_;
    outH_ = op == kStretch ? srcH_ * 2 : srcH_;

    screen_ = std::make_unique<Plane>(kW, kH, bpp);
    source_ = std::make_unique<Plane>(srcW_, srcH_, srcBpp);
    copy_ = std::make_unique<Plane>(outW_, outH_, bpp);
    ourScreen_ = std::make_unique<OurImage>(*screen_, colorType, false);
    ourSource_ = std::make_unique<OurImage>(*source_, colorType, alpha);
    ourSource_->m.TransColor = is16 ? kKey16 : kKey32;

    // Sprite-like content: 16 x 16 bands of key colour (alpha 0), opaque colour (alpha 255)
    // and colour of random alpha (everywhere random for alpharand). Pixman and SDL get the
    // same colours in their own formats where ours has none of theirs.
    std::mt19937 rng(1);
    for (auto& b : screen_->bytes) b = uint8_t(rng());
    for (auto& b : copy_->bytes) b = uint8_t(rng());
    start_ = screen_->bytes;
    const bool ownPixmanSource = op == kKey || alpha;
    const bool ownSdlSource = alpha;
    if (ownPixmanSource) pixmanSourcePlane_ = std::make_unique<Plane>(srcW_, srcH_, 4);
    if (ownSdlSource) sdlSourcePlane_ = std::make_unique<Plane>(srcW_, srcH_, 4);
    const bool src16 = is16 && !IsConversion(op);
    for (int y = 0; y < srcH_; ++y) {
      for (int x = 0; x < srcW_; ++x) {
        const int band = op == kAlphaRandom ? 2 : (x / 16 + y / 16) % 4;
        const uint32_t key = src16 ? kKey16 : kKey32;
        const uint32_t c = band == 0 ? key : uint32_t(rng()) & (src16 ? 0xFFFFu : 0xFFFFFFu);
        const uint32_t a = band == 0 ? 0 : band == 1 ? 255 : uint32_t(rng() & 0xFF);
        uint8_t* p = source_->At(x, y);
        if (src16) {
          p[0] = uint8_t(c);
          p[1] = uint8_t(c >> 8);
          if (alpha) {
            p[2] = uint8_t(a);
            p[3] = 0;
          }
        } else {
          for (int i = 0; i < 3; ++i) p[i] = uint8_t(c >> (8 * i));
          p[3] = uint8_t(alpha ? a : 0);
        }
        const uint32_t r = src16 ? Expand5(c >> 11) : (c >> 16) & 0xFF;
        const uint32_t g = src16 ? Expand6((c >> 5) & 0x3F) : (c >> 8) & 0xFF;
        const uint32_t b = src16 ? Expand5(c & 0x1F) : c & 0xFF;
        if (ownPixmanSource) {
          // Premultiplied; the key stands for alpha 0, every other pixel is opaque.
          const uint32_t pa = op == kKey ? (band == 0 ? 0 : 255) : a;
          const uint32_t v = pa << 24 | (r * pa / 255) << 16 | (g * pa / 255) << 8 | b * pa / 255;
          std::memcpy(pixmanSourcePlane_->At(x, y), &v, 4);
        }
        if (ownSdlSource) {
          const uint32_t v = a << 24 | r << 16 | g << 8 | b;
          std::memcpy(sdlSourcePlane_->At(x, y), &v, 4);
        }
      }
    }

    // Places: top-left corners of sprites and boxes, centres and angles of turned sprites.
    const int count = full ? 1 : kSprites;
    std::uniform_int_distribution<int> px(0, kW - outW_), py(0, kH - outH_);
    std::uniform_real_distribution<float> pa(-3.14159f, 3.14159f);
    for (int i = 0; i < count; ++i) {
      const int x = px(rng), y = py(rng);
      places_.push_back({x, y, x + outW_ / 2, y + outH_ / 2, full ? 0.3f : pa(rng)});
    }

    SetUpPixman();
    SetUpSdl();
  }

  bool Has(Lib lib) const {
    if (lib == kPixman) return op_ != kSub;
    if (lib == kSdl)
      return op_ != kRotate && op_ != kSub && op_ != kMirror && op_ != kTriangle &&
             op_ != kDither && op_ != kAddFill;
    return true;
  }
  // False when pixman or SDL could not wrap the pixels, or an SDL call failed: their times
  // would be those of doing nothing.
  bool Ready() const {
    return pixmanScreen_ && pixmanSource_ && pixmanMask_ && sdlScreen_ && sdlSource_ && !sdlFailed_;
  }

  // Each of our calls alone, from the starting pixels: the index of the first one that left
  // the destination as it was, or -1 when every one changed it.
  int FirstIdleCall() {
    for (size_t i = 0; i < places_.size(); ++i) {
      Restart(kOurs);
      DrawOurs(places_[i]);
      if (screen_->bytes == start_) return int(i);
    }
    return -1;
  }

  double PixelsPerRound() const { return double(places_.size()) * outW_ * outH_; }
  std::string Label() const {
    return std::string(is16_ ? "16-bit " : "32-bit ") +
           (full_ ? "full screen"
                  : std::to_string(kSprites) + " sprites of " + std::to_string(outW_) + "x" +
                        std::to_string(outH_));
  }

  // The destination's starting pixels back, and every source read through, the one lib reads
  // last: it finds its source as warm as the others find theirs.
  void Restart(Lib lib) {
    std::memcpy(screen_->bytes.data(), start_.data(), start_.size());
    const Plane* own = lib == kMemcpy                         ? copy_.get()
                       : lib == kPixman && pixmanSourcePlane_ ? pixmanSourcePlane_.get()
                       : lib == kSdl && sdlSourcePlane_       ? sdlSourcePlane_.get()
                                                              : source_.get();
    uint64_t sum = 0;
    auto read = [&sum](const Plane* p) {
      for (size_t i = 0; i + 8 <= p->bytes.size(); i += 64) {
        uint64_t v;
        std::memcpy(&v, p->bytes.data() + i, 8);
        sum += v;
      }
    };
    for (const Plane* p :
         {source_.get(), pixmanSourcePlane_.get(), sdlSourcePlane_.get(), copy_.get()}) {
      if (p && p != own) read(p);
    }
    read(own);
    benchmark::DoNotOptimize(sum);
  }

  void Draw(Lib lib) {
    switch (lib) {
      case kOurs:
        for (const Place& p : places_) DrawOurs(p);
        break;
      case kMemcpy:
        for (const Place& p : places_) {
          for (int y = 0; y < outH_; ++y)
            std::memcpy(screen_->At(p.x, p.y + y), copy_->At(0, y), size_t(copy_->pitch));
        }
        break;
      case kPixman:
        DrawPixman();
        break;
      default:
        DrawSdl();
        break;
    }
  }

 private:
  // Top-left corner of the written rectangle; centre and angle of a turned sprite.
  struct Place {
    int x, y, cx, cy;
    float angle;
  };

  static constexpr uint32_t kFill16 = 0x1234, kFill32 = 0x00123456;

  void SetUpPixman() {
    // pixman adds 32-bit pixels fast only with an alpha byte (x8r8g8b8 takes its general path,
    // some three times slower), so the add sees the same bytes as a8r8g8b8.
    const pixman_format_code_t screenFormat = is16_                            ? PIXMAN_r5g6b5
                                              : op_ == kAdd || op_ == kAddFill ? PIXMAN_a8r8g8b8
                                                                               : PIXMAN_x8r8g8b8;
    pixmanScreen_ = PixmanOver(*screen_, screenFormat);
    pixmanSource_ = pixmanSourcePlane_  ? PixmanOver(*pixmanSourcePlane_, PIXMAN_a8r8g8b8)
                    : IsConversion(op_) ? PixmanOver(*source_, PIXMAN_x8r8g8b8)
                                        : PixmanOver(*source_, screenFormat);
    const pixman_color_t maskColor{0, 0, 0, uint16_t(kBlendParam * 257)};
    pixmanMask_.reset(pixman_image_create_solid_fill(&maskColor));
    if (op_ == kStretch || op_ == kRotate || op_ == kMirror) {
      pixman_image_set_filter(pixmanSource_.get(), PIXMAN_FILTER_NEAREST, nullptr, 0);
      pixman_image_set_repeat(pixmanSource_.get(), PIXMAN_REPEAT_NONE);
    }
    if (op_ == kStretch) {
      pixman_transform_t t;
      pixman_transform_init_scale(&t, pixman_double_to_fixed(double(srcW_) / outW_),
                                  pixman_double_to_fixed(double(srcH_) / outH_));
      pixman_image_set_transform(pixmanSource_.get(), &t);
    }
    if (op_ == kMirror) {
      // Destination column x reads source column width - 1 - x.
      pixman_transform_t t;
      pixman_transform_init_identity(&t);
      t.matrix[0][0] = pixman_int_to_fixed(-1);
      t.matrix[0][2] = pixman_int_to_fixed(srcW_);
      pixman_image_set_transform(pixmanSource_.get(), &t);
    }
    if (op_ == kDither) pixman_image_set_dither(pixmanScreen_.get(), PIXMAN_DITHER_ORDERED_BAYER_8);
    const uint32_t c = is16_ ? kFill16 : kFill32;
    const uint32_t r = is16_ ? Expand5(c >> 11) : (c >> 16) & 0xFF;
    const uint32_t g = is16_ ? Expand6((c >> 5) & 0x3F) : (c >> 8) & 0xFF;
    const uint32_t b = is16_ ? Expand5(c & 0x1F) : c & 0xFF;
    pixmanFill_ = {uint16_t(r * 257), uint16_t(g * 257), uint16_t(b * 257), 0xFFFF};
  }

  void SetUpSdl() {
    const uint32_t screenFormat = is16_ ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888;
    sdlScreen_ = SdlOver(*screen_, screenFormat);
    sdlSource_ = sdlSourcePlane_     ? SdlOver(*sdlSourcePlane_, SDL_PIXELFORMAT_ARGB8888)
                 : IsConversion(op_) ? SdlOver(*source_, SDL_PIXELFORMAT_XRGB8888)
                                     : SdlOver(*source_, screenFormat);
    SDL_Surface* s = sdlSource_.get();
    if (!s) return;
    switch (op_) {
      case kKey:
        SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_NONE);
        SDL_SetColorKey(s, SDL_TRUE, is16_ ? kKey16 : kKey32);
        break;
      case kBlend:
        SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_BLEND);
        SDL_SetSurfaceAlphaMod(s, kBlendParam);
        break;
      case kAlpha:
      case kAlphaRandom:
        SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_BLEND);
        break;
      case kAdd:
        SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_ADD);
        SDL_SetSurfaceAlphaMod(s, 255);
        break;
      case kMul:
        SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_MOD);
        break;
      default:
        SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_NONE);
        break;
    }
  }

  void DrawOurs(const Place& p) {
    gfx::GraphicsDrawState& state = gfx::g_DrawState;
    state = gfx::GraphicsDrawState{};
    state.DrawArea = {0, 0, kW, kH};
    state.BlendMode = op_ == kBlend                    ? 1
                      : op_ == kAdd || op_ == kAddFill ? 2
                      : op_ == kSub                    ? 3
                      : op_ == kMul                    ? 4
                                                       : 0;
    state.BlendParam = op_ == kBlend ? kBlendParam : 255;
    state.Bright = 0xFFFFFF;
    gfx::MEMIMG* dst = &ourScreen_->m;
    const gfx::MEMIMG* src = &ourSource_->m;
    const platform::RECT rect{p.x, p.y, p.x + outW_, p.y + outH_};
    switch (op_) {
      case kCopy:
      case kBlend:
      case kAdd:
      case kSub:
      case kMul:
        soft::DrawMemImg(dst, src, p.x, p.y, 0, nullptr);
        break;
      case kKey:
      case kAlpha:
      case kAlphaRandom:
        // The key on: with an alpha channel, alpha 0 skips and 255 copies, as pixman's and
        // SDL's blends shortcut those pixels too.
        soft::DrawMemImg(dst, src, p.x, p.y, 1, nullptr);
        break;
      case kStretch:
        soft::DrawMemImgStretched(dst, src, rect, 0, nullptr);
        break;
      case kMirror:
        soft::DrawMemImgStretched(dst, src, {rect.right, rect.top, rect.left, rect.bottom}, 0,
                                  nullptr);
        break;
      case kRotate:
        soft::DrawMemImgRotated(dst, src, p.cx, p.cy, p.angle, 1.0f, 0, 0, nullptr);
        break;
      case kTriangle: {
        const int32_t corners[8] = {rect.left, rect.top,    rect.right, rect.top,
                                    rect.left, rect.bottom, rect.right, rect.bottom};
        soft::DrawMemImgQuad(dst, src, corners, 0, nullptr);
        break;
      }
      case kFill:
      case kAddFill:
        soft::FillMemImgBox(dst, &rect, is16_ ? kFill16 : kFill32);
        break;
      case kConvert:
      case kDither: {
        const platform::RECT all{0, 0, srcW_, srcH_};
        gfx::ConvertPixelRect(screen_->bytes.data(), screen_->pitch, &screenFormat_,
                              source_->bytes.data(), source_->pitch, &sourceFormat_, nullptr, 0,
                              nullptr, p.x, p.y, &all, 0, 0, 0,
                              op_ == kDither ? gfx::kDitherOrdered : gfx::kDitherNone, 0, 0, 0);
        break;
      }
      default:
        break;
    }
  }

  void DrawPixman() {
    pixman_image_t* dst = pixmanScreen_.get();
    pixman_image_t* src = pixmanSource_.get();
    for (const Place& p : places_) {
      switch (op_) {
        case kCopy:
        case kStretch:
        case kMirror:
        case kConvert:
          pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, p.x, p.y, outW_,
                                   outH_);
          break;
        case kDither:
          // Its SRC fast path ignores the dither; the disjoint OVER of an opaque source gives
          // the same pixels through the general path, which dithers.
          pixman_image_composite32(PIXMAN_OP_DISJOINT_OVER, src, nullptr, dst, 0, 0, 0, 0, p.x, p.y,
                                   outW_, outH_);
          break;
        case kKey:
        case kAlpha:
        case kAlphaRandom:
          pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, p.x, p.y, outW_,
                                   outH_);
          break;
        case kBlend:
          pixman_image_composite32(PIXMAN_OP_OVER, src, pixmanMask_.get(), dst, 0, 0, 0, 0, p.x,
                                   p.y, outW_, outH_);
          break;
        case kAdd:
          pixman_image_composite32(PIXMAN_OP_ADD, src, nullptr, dst, 0, 0, 0, 0, p.x, p.y, outW_,
                                   outH_);
          break;
        case kMul:
          pixman_image_composite32(PIXMAN_OP_MULTIPLY, src, nullptr, dst, 0, 0, 0, 0, p.x, p.y,
                                   outW_, outH_);
          break;
        case kRotate:
          DrawPixmanRotated(p);
          break;
        case kTriangle: {
          // The two triangles of our quad, source texel (0, 0) on the top-left corner.
          auto pt = [](int x, int y) {
            return pixman_point_fixed_t{pixman_int_to_fixed(x), pixman_int_to_fixed(y)};
          };
          const int l = p.x, t = p.y, r = p.x + outW_, b = p.y + outH_;
          const pixman_triangle_t tris[2] = {{pt(l, t), pt(r, t), pt(l, b)},
                                             {pt(r, t), pt(l, b), pt(r, b)}};
          pixman_composite_triangles(PIXMAN_OP_OVER, src, dst, PIXMAN_a8, -l, -t, 0, 0, 2, tris);
          break;
        }
        case kFill:
        case kAddFill: {
          const pixman_rectangle16_t r{int16_t(p.x), int16_t(p.y), uint16_t(outW_),
                                       uint16_t(outH_)};
          pixman_image_fill_rectangles(op_ == kFill ? PIXMAN_OP_SRC : PIXMAN_OP_ADD, dst,
                                       &pixmanFill_, 1, &r);
          break;
        }
        default:
          break;
      }
    }
  }

  // The source turned clockwise about its centre onto (x, y): the transform maps screen
  // points back into the source, over the box our rotated blit would write.
  void DrawPixmanRotated(const Place& p) {
    platform::RECT box;
    const platform::RECT clip{0, 0, kW, kH};
    if (!soft::RotatedWriteBox(srcW_, srcH_, p.cx, p.cy, p.angle, 1.0f, 0, clip, &box)) return;
    const double c = std::cos(double(p.angle)), s = std::sin(double(p.angle));
    const double cx = p.cx, cy = p.cy, sx = srcW_ >> 1, sy = srcH_ >> 1;
    pixman_transform_t t;
    pixman_transform_init_identity(&t);
    t.matrix[0][0] = pixman_double_to_fixed(c);
    t.matrix[0][1] = pixman_double_to_fixed(s);
    t.matrix[0][2] = pixman_double_to_fixed(sx - c * cx - s * cy);
    t.matrix[1][0] = pixman_double_to_fixed(-s);
    t.matrix[1][1] = pixman_double_to_fixed(c);
    t.matrix[1][2] = pixman_double_to_fixed(sy + s * cx - c * cy);
    pixman_image_set_transform(pixmanSource_.get(), &t);
    pixman_image_composite32(PIXMAN_OP_OVER, pixmanSource_.get(), nullptr, pixmanScreen_.get(),
                             box.left, box.top, 0, 0, box.left, box.top, box.right - box.left,
                             box.bottom - box.top);
  }

  void DrawSdl() {
    SDL_Surface* dst = sdlScreen_.get();
    SDL_Surface* src = sdlSource_.get();
    for (const Place& p : places_) {
      SDL_Rect r{p.x, p.y, outW_, outH_};
      switch (op_) {
        case kStretch:
          sdlFailed_ |= SDL_BlitScaled(src, nullptr, dst, &r) < 0;
          break;
        case kFill:
          sdlFailed_ |= SDL_FillRect(dst, &r, is16_ ? kFill16 : kFill32) < 0;
          break;
        default:
          sdlFailed_ |= SDL_BlitSurface(src, nullptr, dst, &r) < 0;
          break;
      }
    }
  }

  static gfx::ColorData Format(bool is16) {
    gfx::ColorData c{};
    if (is16) {
      gfx::SetupColorDataFromMasks(&c, 16, 0xF800, 0x07E0, 0x001F, 0);
    } else {
      gfx::SetupColorDataFromMasks(&c, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    }
    return c;
  }

  Op op_;
  bool is16_, full_;
  int srcW_ = 0, srcH_ = 0, outW_ = 0, outH_ = 0;
  std::unique_ptr<Plane> screen_, source_, copy_, pixmanSourcePlane_, sdlSourcePlane_;
  std::vector<uint8_t> start_;
  std::unique_ptr<OurImage> ourScreen_, ourSource_;
  gfx::ColorData screenFormat_ = Format(is16_), sourceFormat_ = Format(false);
  PixmanImage pixmanScreen_, pixmanSource_, pixmanMask_;
  pixman_color_t pixmanFill_{};
  SdlSurface sdlScreen_, sdlSource_;
  bool sdlFailed_ = false;
  std::vector<Place> places_;
};

void BM_Compare(benchmark::State& state, Op op, bool is16, bool full) {
  Scene scene(op, is16, full);
  if (!scene.Ready()) {
    state.SkipWithError("pixman or SDL could not wrap the pixels");
    return;
  }
  if (const int idle = scene.FirstIdleCall(); idle >= 0) {
    state.SkipWithError(
        ("our call " + std::to_string(idle) + " left the destination unchanged").c_str());
    return;
  }
  std::array<double, kLibs> total{};
  // Each round takes the next of all orders of the contestants, so each follows every other
  // equally often: what one leaves in the caches (SDL writes past them) burdens none alone.
  std::array<Lib, kLibs> order{kOurs, kMemcpy, kPixman, kSdl};
  for (auto _ : state) {
    double ours = 0;
    for (const Lib lib : order) {
      if (!scene.Has(lib)) continue;
      scene.Restart(lib);
      benchmark::ClobberMemory();
      const auto t0 = Clock::now();
      scene.Draw(lib);
      benchmark::ClobberMemory();
      const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
      total[lib] += seconds;
      if (lib == kOurs) ours = seconds;
    }
    state.SetIterationTime(ours);
    std::next_permutation(order.begin(), order.end());
  }
  if (!scene.Ready()) {
    state.SkipWithError("an SDL call failed");
    return;
  }
  const double n = double(state.iterations());
  state.counters["pixels/s"] =
      benchmark::Counter(scene.PixelsPerRound(), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["ours_us"] = total[kOurs] / n * 1e6;
  state.counters["memcpy_us"] = total[kMemcpy] / n * 1e6;
  if (scene.Has(kPixman)) state.counters["pixman_us"] = total[kPixman] / n * 1e6;
  if (scene.Has(kSdl)) state.counters["sdl_us"] = total[kSdl] / n * 1e6;
  state.SetLabel(scene.Label());
}

// The console output, then one table from the same runs.
class RatioTable : public benchmark::ConsoleReporter {
 public:
  // Counters in columns; colour only on a terminal.
  RatioTable() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With repetitions the median stands for the case; otherwise the single run.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      if (run.error_occurred) continue;
      const std::string name = run.run_name.function_name;
      if (rows_.count(name) == 0) order_.push_back(name);
      std::map<std::string, double>& row = rows_[name];
      row.clear();
      for (const auto& [key, counter] : run.counters) row[key] = counter.value;
    }
  }

  void PrintTable() const {
    std::printf("\nOur time, and over memcpy's and the faster peer's for the same work\n");
    std::printf("%-28s %10s %12s %10s %12s\n", "operation", "zqlib us", "zqlib/memcpy", "best peer",
                "zqlib/peer");
    for (const std::string& name : order_) {
      const std::map<std::string, double>& row = rows_.at(name);
      auto value = [&](const char* key) {
        const auto it = row.find(key);
        return it == row.end() ? -1.0 : it->second;
      };
      const double ours = value("ours_us"), copy = value("memcpy_us");
      const double pixman = value("pixman_us"), sdl = value("sdl_us");
      const char* peer = "-";
      double best = -1;
      if (pixman > 0) peer = "pixman", best = pixman;
      if (sdl > 0 && (best < 0 || sdl < best)) peer = "SDL", best = sdl;
      std::printf("%-28s %10.1f %12.2f %10s", name.c_str(), ours, copy > 0 ? ours / copy : 0.0,
                  peer);
      if (best > 0) {
        std::printf(" %12.2f\n", ours / best);
      } else {
        std::printf(" %12s\n", "-");
      }
    }
  }

 private:
  // Counter values by case name.
  std::map<std::string, std::map<std::string, double>> rows_;
  std::vector<std::string> order_;
};

void RegisterAll() {
  for (int op = 0; op < kOps; ++op) {
    for (bool is16 : {true, false}) {
      // The conversions write 16-bit pixels from 32-bit ones.
      if (IsConversion(Op(op)) && !is16) continue;
      for (bool full : {false, true}) {
        const std::string name = std::string(kOpNames[op]) + (is16 ? "/16-bit" : "/32-bit") +
                                 (full ? "/screen" : "/sprites");
        benchmark::RegisterBenchmark(name.c_str(), BM_Compare, Op(op), is16, full)->UseManualTime();
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterAll();
  RatioTable table;
  benchmark::RunSpecifiedBenchmarks(&table);
  table.PrintTable();
  benchmark::Shutdown();
  return 0;
}
