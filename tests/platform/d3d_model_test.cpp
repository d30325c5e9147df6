// Random draws on the Direct3D stand-in against a small model written straight from its rules
// (raster.h, pixel_pipeline.h): pixel by pixel, exactly or in long double, with no shared code.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <random>
#include <vector>

#include "platform/d3d/d3d.h"
#include "platform/d3d_test_support.h"

namespace zq::platform {
namespace {

using Argb = std::array<uint32_t, 4>;  // a, r, g, b

// A format's channels a, r, g, b: widened as read, narrowed as written.
struct Fmt {
  PixelFormat f;
  uint32_t shift[4], bits[4];
  explicit Fmt(const PixelFormat& p) : f(p) {
    const uint32_t masks[4] = {p.alphaMask, p.redMask, p.greenMask, p.blueMask};
    for (int i = 0; i < 4; ++i) {
      shift[i] = masks[i] ? uint32_t(std::countr_zero(masks[i])) : 0;
      bits[i] = uint32_t(std::popcount(masks[i]));
    }
  }
  Argb Read(uint32_t raw) const {
    Argb out;
    for (int i = 0; i < 4; ++i) {
      const uint32_t max = (1u << bits[i]) - 1;
      out[i] = bits[i] ? ((raw >> shift[i]) & max) * 255 / max : (i == 0 ? 255 : 0);
    }
    return out;
  }
  uint32_t Write(const Argb& v) const {
    uint32_t raw = 0;
    for (int i = 0; i < 4; ++i) raw |= bits[i] ? (v[i] >> (8 - bits[i])) << shift[i] : 0;
    return raw;
  }
  uint32_t Bits() const { return f.redMask | f.greenMask | f.blueMask | f.alphaMask; }
};

using StageStates = std::array<uint32_t, D3DTSS_FILTER + 1>;  // by D3DTSS_*
using RenderStates = std::array<uint32_t, D3DRENDERSTATE_COLORKEYENABLE + 1>;

struct Tex {
  const Fmt* fmt = nullptr;
  int w = 0, h = 0;
  std::vector<uint32_t> raw;
  bool keyed = false;
  uint32_t key = 0;
  uint32_t Raw(const StageStates& st, int i, int j) const {
    auto at = [&](int k, int n) {
      return st[D3DTSS_ADDRESS] == D3DTADDRESS_CLAMP ? std::clamp(k, 0, n - 1) : ((k % n) + n) % n;
    };
    return raw[size_t(at(j, h) * w + at(i, w))];
  }
  // The sample at s, t (1/256 texel, point position) and whether the key discards it.
  Argb Sample(const StageStates& st, int64_t s, int64_t t, bool keyOn, bool* discard) const {
    auto floor256 = [](int64_t v) { return int(std::floor(double(v) / 256)); };
    const uint32_t point = Raw(st, floor256(s), floor256(t));
    if (keyOn && keyed && (point & fmt->Bits()) == (key & fmt->Bits())) *discard = true;
    if (st[D3DTSS_FILTER] == D3DTFILTER_POINT) return fmt->Read(point);
    const int i = floor256(s - 128), j = floor256(t - 128);
    const int64_t fx = s - 128 - int64_t(i) * 256, fy = t - 128 - int64_t(j) * 256;
    const Argb c00 = fmt->Read(Raw(st, i, j)), c10 = fmt->Read(Raw(st, i + 1, j)),
               c01 = fmt->Read(Raw(st, i, j + 1)), c11 = fmt->Read(Raw(st, i + 1, j + 1));
    Argb out;
    for (int k = 0; k < 4; ++k)
      out[k] = uint32_t((c00[k] * (256 - fx) * (256 - fy) + c10[k] * fx * (256 - fy) +
                         c01[k] * (256 - fx) * fy + c11[k] * fx * fy) >>
                        16);
    return out;
  }
};

struct Scene {
  Tex tex[2];
  bool bound[2] = {};
  StageStates stage[2];
  RenderStates rs{};
};

// Stage 0 is keyed when it is on and one of its operations reads its texture.
bool ReadsTexture(const StageStates& m) {
  auto reads = [](uint32_t op, uint32_t a1, uint32_t a2) {
    return (op != D3DTOP_SELECTARG2 && op != D3DTOP_DISABLE && a1 == D3DTA_TEXTURE) ||
           ((op == D3DTOP_SELECTARG2 || op == D3DTOP_MODULATE) && a2 == D3DTA_TEXTURE);
  };
  return m[D3DTSS_COLOROP] != D3DTOP_DISABLE &&
         (reads(m[D3DTSS_COLOROP], m[D3DTSS_COLORARG1], m[D3DTSS_COLORARG2]) ||
          reads(m[D3DTSS_ALPHAOP], m[D3DTSS_ALPHAARG1], m[D3DTSS_ALPHAARG2]));
}

Argb Unpack(uint32_t c) {
  return {c >> 24, (c >> 16) & 255, (c >> 8) & 255, c & 255};
}

// floor(sum(value(i) w[i]) / area + 1/2) exactly: the values (floats times integers, exact in a
// long double) scaled by a power of two to integers, the sums in 128 bits.
template <class F>
int64_t RoundExactly(F value, const int64_t w[3], int64_t area) {
  long double u[3];
  int k = 0;
  for (int i = 0; i < 3; ++i) {
    u[i] = value(i);
    for (long double x = std::ldexp(u[i], k); x != std::floor(x); x *= 2) ++k;
  }
  __int128 num = 0;
  for (int i = 0; i < 3; ++i) num += __int128(std::ldexp(u[i], k)) * w[i];
  const __int128 den = __int128(area) << k, n2 = 2 * num + den, d2 = 2 * den;
  return int64_t(n2 >= 0 ? n2 / d2 : -((-n2 + d2 - 1) / d2));
}

// The model of one triangle drawn onto `pixels` (raw values of a target of format `fmt`).
void ModelTriangle(const Scene& sc, const Fmt& fmt, int W, const RECT& vp, const D3DTLVERTEX2 v[3],
                   std::vector<uint32_t>& pixels) {
  int64_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = int64_t(std::floor(double(v[i].sx) * 16 + 0.5));
    Y[i] = int64_t(std::floor(double(v[i].sy) * 16 + 0.5));
  }
  auto cross = [&](int a, int b, int64_t px, int64_t py) {
    return (X[b] - X[a]) * (py - Y[a]) - (Y[b] - Y[a]) * (px - X[a]);
  };
  const int64_t signedArea = cross(0, 1, X[2], Y[2]), area = std::abs(signedArea);
  if (area == 0) return;
  const bool linear = v[0].rhw == v[1].rhw && v[1].rhw == v[2].rhw;
  const RenderStates& rs = sc.rs;
  for (int y = vp.top; y < vp.bottom; ++y)
    for (int x = vp.left; x < vp.right; ++x) {
      int64_t w[3];  // the barycentric weights times the area
      bool in = true;
      for (int e = 0; e < 3; ++e) {
        const int a = e, b = (e + 1) % 3, c = (e + 2) % 3;
        w[c] = cross(a, b, 16 * x, 16 * y) * (signedArea > 0 ? 1 : -1);
        if (w[c] == 0) {  // on the edge: only a top edge or a left one takes the centre
          const bool top = Y[a] == Y[b] && Y[c] > Y[a];
          const bool left = Y[a] != Y[b] && ((Y[a] - Y[b] > 0) == (cross(a, b, X[c], Y[c]) > 0));
          in &= top || left;
        }
        in &= w[c] >= 0;
      }
      if (!in) continue;
      // Exactly with equal 1/w, else perspective-correct in long double; rounded half up.
      auto interpolate = [&](auto value) {
        if (linear) return RoundExactly(value, w, area);
        long double num = 0, den = 0;
        for (int i = 0; i < 3; ++i) {
          num += (long double)value(i) * v[i].rhw * w[i];
          den += (long double)v[i].rhw * w[i];
        }
        return int64_t(std::floor(num / den + 0.5L));
      };
      Argb diffuse;
      for (int k = 0; k < 4; ++k)
        diffuse[k] = uint32_t(interpolate([&](int i) { return Unpack(v[i].color)[k]; }));
      bool discard = false;
      Argb texel[2] = {{255, 255, 255, 255}, {255, 255, 255, 255}};
      for (int s = 0; s < 2; ++s) {
        if (!sc.bound[s]) continue;
        const Tex& t = sc.tex[s];
        const bool p = sc.stage[s][D3DTSS_TEXCOORDINDEX] == 1;
        const int64_t S =
            interpolate([&](int i) { return (long double)(p ? v[i].tu2 : v[i].tu) * t.w * 256; });
        const int64_t T =
            interpolate([&](int i) { return (long double)(p ? v[i].tv2 : v[i].tv) * t.h * 256; });
        const bool keyOn = rs[D3DRENDERSTATE_COLORKEYENABLE] && s == 0 && ReadsTexture(sc.stage[0]);
        texel[s] = t.Sample(sc.stage[s], S, T, keyOn, &discard);
      }
      Argb cur = diffuse;
      for (int s = 0; s < 2; ++s) {
        const StageStates& m = sc.stage[s];
        if (m[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        auto arg = [&](uint32_t a) {
          return a == D3DTA_TEXTURE ? texel[s] : a == D3DTA_DIFFUSE ? diffuse : cur;
        };
        auto op = [](uint32_t o, uint32_t p, uint32_t q) {
          return o == D3DTOP_SELECTARG1 ? p : o == D3DTOP_SELECTARG2 ? q : p * q / 255;
        };
        Argb next;
        for (int k = 1; k < 4; ++k)
          next[k] = op(m[D3DTSS_COLOROP], arg(m[D3DTSS_COLORARG1])[k], arg(m[D3DTSS_COLORARG2])[k]);
        next[0] =
            m[D3DTSS_ALPHAOP] == D3DTOP_DISABLE
                ? cur[0]
                : op(m[D3DTSS_ALPHAOP], arg(m[D3DTSS_ALPHAARG1])[0], arg(m[D3DTSS_ALPHAARG2])[0]);
        cur = next;
      }
      if (rs[D3DRENDERSTATE_ALPHATESTENABLE] &&
          (rs[D3DRENDERSTATE_ALPHAFUNC] == D3DCMP_GREATER ? cur[0] <= rs[D3DRENDERSTATE_ALPHAREF]
                                                          : cur[0] < rs[D3DRENDERSTATE_ALPHAREF]))
        discard = true;
      if (discard) continue;
      uint32_t& out = pixels[size_t(y * W + x)];
      if (rs[D3DRENDERSTATE_ALPHABLENDENABLE]) {
        const Argb d = fmt.Read(out), src = cur;
        for (int k = 0; k < 4; ++k) {
          const uint32_t factor[] = {0, 0, 255, src[k], src[0], 255 - src[0], 255 - d[k]};
          cur[k] = std::min<uint32_t>(255, src[k] * factor[rs[D3DRENDERSTATE_SRCBLEND]] / 255 +
                                               d[k] * factor[rs[D3DRENDERSTATE_DESTBLEND]] / 255);
        }
      }
      out = fmt.Write(cur);
    }
}

TEST_F(D3DFixture, RandomDrawsMatchAModelOfTheRules) {
  // A device without the power-of-two rule, so wrapping meets odd sizes too.
  D3DDEVICEDESC7 desc = d3dtest::DefaultDevices()[1].desc;
  desc.dwTextureCaps = 0;
  d3dtest::SetDevices({{"any size", "HAL", desc}});
  static const std::vector<Fmt> formats = {Fmt(k565), Fmt(k1555), Fmt(k4444), Fmt(kX8888),
                                           Fmt(kA8888)};
  std::mt19937 rng(21);
  auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
  auto real = [&](double lo, double hi) {
    return float(std::uniform_real_distribution<double>(lo, hi)(rng));
  };
  int mismatches = 0;
  for (int trial = 0; trial < 20000 && mismatches == 0; ++trial) {
    // Library draws: its states, a flat colour (white half the time), mostly alpha blending.
    // Kinds: 0 an axis-aligned quad of whole texels a pixel (1:1 or 2:1) on power-of-two
    // textures, mostly inside them; 1 coordinates spread over thousands of texels; 4
    // axis-aligned rectangles as two triangles, in any direction, corners often on quarter
    // pixels, often repeated elsewhere; else anything.
    const bool library = pick(2) == 0;
    const uint32_t kind = library ? pick(2) * 4 : pick(5);
    const Fmt& tf = formats[pick(5)];
    const int W = 1 + int(pick(kind == 0 ? 40 : 13)), H = 1 + int(pick(kind == 0 ? 16 : 13));
    SurfacePtr tgt = Make(uint32_t(W), uint32_t(H), tf.f, kTarget);
    Direct3DDevice* dev = nullptr;
    ASSERT_EQ(d3d->CreateDevice(kHal, tgt.get(), &dev), DD_OK);
    std::vector<SurfacePtr> keep;
    Scene sc;
    const bool keyAndTest = pick(3) == 0;
    for (uint32_t s = 0; s < 2; ++s) {
      Tex& t = sc.tex[s];
      t.fmt = &formats[library && pick(2) ? 4 : pick(5)];  // the library's alpha images: 8:8:8:8
      t.w = kind == 0 ? 1 << (3 + pick(3)) : 1 + int(pick(5));
      t.h = kind == 0 ? 1 << pick(5) : 1 + int(pick(5));
      for (int i = 0; i < t.w * t.h; ++i) t.raw.push_back(rng() & t.fmt->Bits());
      sc.bound[s] = library ? s == 0 : pick(4) != 0;
      const uint32_t ops[] = {D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE};
      StageStates& m = sc.stage[s];
      m = {0,
           s == 1 && pick(3) == 0 ? D3DTOP_DISABLE : ops[pick(3)],
           pick(3),
           pick(3),
           pick(4) + 1,
           pick(3),
           pick(3),
           pick(2),
           pick(2) ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP,
           pick(2) ? D3DTFILTER_LINEAR : D3DTFILTER_POINT};
      if (library) {  // colour texture x diffuse, alpha texture x diffuse or texture alone
        m[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        m[D3DTSS_COLORARG1] = m[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        m[D3DTSS_COLORARG2] = m[D3DTSS_ALPHAARG2] = D3DTA_DIFFUSE;
        m[D3DTSS_ALPHAOP] = pick(2) ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
        m[D3DTSS_TEXCOORDINDEX] = 0;
      }
      for (uint32_t k = D3DTSS_COLOROP; k <= D3DTSS_FILTER; ++k)
        ASSERT_EQ(dev->SetTextureStageState(s, D3DTEXTURESTAGESTATETYPE(k), m[k]), DD_OK);
      if (!sc.bound[s]) continue;
      keep.push_back(Make(uint32_t(t.w), uint32_t(t.h), t.fmt->f));
      Paint(keep.back().get(), [&](int x, int y) { return t.raw[size_t(y * t.w + x)]; });
      if (s == 0 && keyAndTest) {  // a key of a texel's channel bits, other bits changed
        t.keyed = true;
        t.key = t.raw[pick(uint32_t(t.raw.size()))] | (rng() & ~t.fmt->Bits() & 0xFFFF);
        ColorKey k{t.key, t.key};
        keep.back()->SetColorKey(DDCKEY_SRCBLT, &k);
      }
      ASSERT_EQ(dev->SetTexture(s, keep.back().get()), DD_OK);
    }
    const uint32_t modes[5][2] = {{D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
                                  {D3DBLEND_SRCALPHA, D3DBLEND_ONE},
                                  {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO},
                                  {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR},
                                  {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA}};
    const uint32_t mode = pick(2) ? 0 : pick(5);
    RenderStates& rs = sc.rs;
    rs[D3DRENDERSTATE_CULLMODE] = D3DCULL_NONE;
    rs[D3DRENDERSTATE_ALPHABLENDENABLE] = pick(3) != 0;
    rs[D3DRENDERSTATE_SRCBLEND] = library ? modes[mode][0] : 1 + pick(6);
    rs[D3DRENDERSTATE_DESTBLEND] = library ? modes[mode][1] : 1 + pick(6);
    rs[D3DRENDERSTATE_ALPHATESTENABLE] = keyAndTest && pick(2);
    rs[D3DRENDERSTATE_ALPHAREF] = pick(256);
    rs[D3DRENDERSTATE_ALPHAFUNC] = pick(2) ? D3DCMP_GREATER : D3DCMP_GREATEREQUAL;
    rs[D3DRENDERSTATE_COLORKEYENABLE] = keyAndTest;
    for (uint32_t k = D3DRENDERSTATE_ZENABLE; k <= D3DRENDERSTATE_COLORKEYENABLE; ++k)
      ASSERT_EQ(dev->SetRenderState(D3DRENDERSTATETYPE(k), rs[k]), DD_OK);

    // The target's starting pixels, then 1 to 3 triangles.
    std::vector<uint32_t> model(size_t(W * H));
    for (uint32_t& p : model) p = rng() & tf.Bits();
    Paint(tgt.get(), [&](int x, int y) { return model[size_t(y * W + x)]; });
    std::vector<D3DTLVERTEX2> tris(3 * (1 + pick(3)));
    const bool perspective = kind > 1 && pick(4) == 0;
    const bool white = library && kind == 4 ? pick(4) != 0 : pick(library ? 2 : 3) == 0;
    const uint32_t flat = white ? 0xFFFFFFFFu : rng();
    const float spread = kind == 1 ? 1000 : 1;
    for (D3DTLVERTEX2& vx : tris) {
      const float u = real(-1.5, 2.5) * spread, v = real(-1.5, 2.5) * spread;
      vx = {real(-3, W + 3),
            real(-3, H + 3),
            0,
            perspective ? real(0.25, 4) : 1.0f,
            library || pick(2) ? flat : uint32_t(rng()),
            u,
            v,
            pick(2) ? u : real(-1.5, 2.5),
            pick(2) ? v : real(-1.5, 2.5)};
    }
    if (kind == 0) {
      const int tw = sc.tex[0].w, th = sc.tex[0].h, rx = 1 + int(pick(2)), ry = 1 + int(pick(2));
      const uint32_t a0 = pick(uint32_t(64 * tw)), b0 = pick(uint32_t(64 * th));  // from the left
      // Mostly as large as the texture allows from there.
      const uint32_t fitW = std::max<uint32_t>(1, (256 * uint32_t(tw) - a0) / (256 * uint32_t(rx)));
      const uint32_t fitH = std::max<uint32_t>(1, (256 * uint32_t(th) - b0) / (256 * uint32_t(ry)));
      const float x0 = float(pick(uint32_t(W) / 2 + 1)) - 0.5f,
                  y0 = float(pick(uint32_t(H))) - 0.5f;
      const float w = float(1 + pick(pick(4) ? fitW : uint32_t(W)));
      const float h = float(1 + pick(pick(4) ? fitH : uint32_t(H)));
      const float u0 = float(a0) / float(256 * tw), v0 = float(b0) / float(256 * th);
      const float u1 = u0 + w * float(rx) / float(tw), v1 = v0 + h * float(ry) / float(th);
      auto at = [&](float x, float y, float u, float v) {
        return D3DTLVERTEX2{x, y, 0, 1, tris[0].color, u, v, u, v};
      };
      tris = {at(x0, y0, u0, v0),     at(x0 + w, y0, u1, v0), at(x0, y0 + h, u0, v1),
              at(x0, y0 + h, u0, v1), at(x0 + w, y0, u1, v0), at(x0 + w, y0 + h, u1, v1)};
    }
    if (kind == 4) {  // after a lone triangle a quarter of the time
      tris.resize(pick(4) ? 0 : 3);
      auto at = [&](int n) {  // on quarter pixels (pixel centres included) or anywhere
        return pick(3) ? float(int(pick(uint32_t(4 * n + 8))) - 4) / 4 : real(-3, n + 3);
      };
      for (uint32_t q = 1 + pick(6); q > 0; --q) {
        if (tris.size() >= 6 && pick(3)) {  // the last quad again, moved by whole pixels
          // Or nearly: moved a quarter pixel more, or one vertex's colour or coordinate changed.
          const uint32_t near = pick(8);
          const float dx = float(int(pick(3)) - 1) + (near == 0 ? 0.25f : 0.0f),
                      dy = float(int(pick(3)) - 1) + (near == 1 ? 0.25f : 0.0f);
          for (size_t i = tris.size() - 6, end = tris.size(); i < end; ++i) {
            tris.push_back(tris[i]);
            tris.back().sx += dx, tris.back().sy += dy;
          }
          D3DTLVERTEX2& v = tris[tris.size() - 1 - pick(6)];
          if (near == 2) v.color ^= 1u << pick(32);
          if (near == 3) v.tv += 0.125f;
          continue;
        }
        const float x[2] = {at(W), at(W)}, y[2] = {at(H), at(H)};
        const double lo = pick(2) ? -1.5 : 0, hi = lo < 0 ? 2.5 : 1;  // inside the texture or not
        const float u[2] = {real(lo, hi), real(lo, hi)}, v[2] = {real(lo, hi), real(lo, hi)};
        const bool flatQuad = pick(4) != 0;
        auto corner = [&](int i, int j) {
          const uint32_t c = flatQuad ? flat : rng();
          return D3DTLVERTEX2{x[i], y[j], 0, 1, c, u[i], v[j], u[i], v[j]};
        };
        const D3DTLVERTEX2 tl = corner(0, 0), tr = corner(1, 0), bl = corner(0, 1);
        // The second triangle's copies of the shared corners may carry other attributes.
        const bool same = pick(4) != 0;
        tris.insert(tris.end(),
                    {tl, tr, bl, same ? bl : corner(0, 1), same ? tr : corner(1, 0), corner(1, 1)});
      }
    }
    // A viewport a third of the time.
    RECT vp{0, 0, W, H};
    if (pick(3) == 0) {
      vp.left = int32_t(pick(uint32_t(W))), vp.top = int32_t(pick(uint32_t(H)));
      vp.right = vp.left + 1 + int32_t(pick(uint32_t(W - vp.left)));
      vp.bottom = vp.top + 1 + int32_t(pick(uint32_t(H - vp.top)));
      const D3DVIEWPORT7 view{uint32_t(vp.left),
                              uint32_t(vp.top),
                              uint32_t(vp.right - vp.left),
                              uint32_t(vp.bottom - vp.top),
                              0,
                              1};
      ASSERT_EQ(dev->SetViewport(&view), DD_OK);
    }
    ASSERT_EQ(dev->BeginScene(), DD_OK);
    ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX2, tris.data(),
                                 uint32_t(tris.size()), 0),
              DD_OK);
    ASSERT_EQ(dev->EndScene(), DD_OK);
    for (size_t i = 0; i < tris.size(); i += 3) ModelTriangle(sc, tf, W, vp, &tris[i], model);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        if (tgt->TestGetPixel(x, y) != model[size_t(y * W + x)]) {
          ADD_FAILURE() << "trial " << trial << " pixel " << x << "," << y << ": " << std::hex
                        << tgt->TestGetPixel(x, y) << " model " << model[size_t(y * W + x)];
          ++mismatches;
        }
    dev->Release();
  }
}

}  // namespace
}  // namespace zq::platform
