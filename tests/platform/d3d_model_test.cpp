// Random draws on the Direct3D stand-in against a small model written straight from its rules
// (raster.h, pixel_pipeline.h): pixel by pixel, in long double, with no shared code.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "platform/d3d/d3d.h"
#include "platform/d3d_test_support.h"

namespace zq::platform {
namespace {

struct Chan {
  uint32_t shift, bits;
};
Chan Of(uint32_t mask) {
  if (!mask) return {0, 0};
  return {uint32_t(std::countr_zero(mask)), uint32_t(std::popcount(mask))};
}

struct Fmt {
  PixelFormat f;
  Chan c[4];  // a, r, g, b
  explicit Fmt(const PixelFormat& p) : f(p) {
    c[0] = Of(p.alphaMask);
    c[1] = Of(p.redMask);
    c[2] = Of(p.greenMask);
    c[3] = Of(p.blueMask);
  }
  // Widened channels a, r, g, b.
  std::array<uint32_t, 4> Read(uint32_t raw) const {
    std::array<uint32_t, 4> out;
    for (int i = 0; i < 4; ++i) {
      const uint32_t max = (1u << c[i].bits) - 1;
      out[i] = c[i].bits ? ((raw >> c[i].shift) & max) * 255 / max : (i == 0 ? 255 : 0);
    }
    return out;
  }
  uint32_t Write(const std::array<uint32_t, 4>& v) const {
    uint32_t raw = 0;
    for (int i = 0; i < 4; ++i)
      if (c[i].bits) raw |= (v[i] >> (8 - c[i].bits)) << c[i].shift;
    return raw;
  }
  uint32_t Bits() const { return f.redMask | f.greenMask | f.blueMask | f.alphaMask; }
};

using Argb = std::array<uint32_t, 4>;

struct Tex {
  const Fmt* fmt = nullptr;
  int w = 0, h = 0;
  std::vector<uint32_t> raw;
  bool keyed = false;
  uint32_t key = 0;
  uint32_t filter = D3DTFILTER_POINT, address = D3DTADDRESS_CLAMP;
  int At(int i, int n) const {
    if (address == D3DTADDRESS_CLAMP) return std::clamp(i, 0, n - 1);
    return ((i % n) + n) % n;
  }
  uint32_t Raw(int i, int j) const { return raw[size_t(At(j, h) * w + At(i, w))]; }
  // The sample at s, t (1/256 texel, point position) and whether the key discards it.
  Argb Sample(int64_t s, int64_t t, bool keyOn, bool* discard) const {
    const int pi = int(std::floor(s / 256.0)), pj = int(std::floor(t / 256.0));
    if (keyOn && keyed && (Raw(pi, pj) & fmt->Bits()) == (key & fmt->Bits())) *discard = true;
    if (filter == D3DTFILTER_POINT) return fmt->Read(Raw(pi, pj));
    const int64_t sl = s - 128, tl = t - 128;
    const int i = int(std::floor(sl / 256.0)), j = int(std::floor(tl / 256.0));
    const int64_t fx = sl - int64_t(i) * 256, fy = tl - int64_t(j) * 256;
    const Argb c00 = fmt->Read(Raw(i, j)), c10 = fmt->Read(Raw(i + 1, j)),
               c01 = fmt->Read(Raw(i, j + 1)), c11 = fmt->Read(Raw(i + 1, j + 1));
    Argb out;
    for (int k = 0; k < 4; ++k)
      out[k] = uint32_t((c00[k] * (256 - fx) * (256 - fy) + c10[k] * fx * (256 - fy) +
                         c01[k] * (256 - fx) * fy + c11[k] * fx * fy) >>
                        16);
    return out;
  }
};

struct StageModel {
  uint32_t colorOp, c1, c2, alphaOp, a1, a2, pair;
};

struct Scene {
  Tex tex[2];
  bool bound[2] = {};
  StageModel stage[2];
  bool keyOn = false, test = false, blend = false;
  uint32_t func = D3DCMP_ALWAYS, ref = 0, src = 0, dst = 0;
};

// Stage 0 is keyed when it is on and one of its operations reads its texture.
bool ReadsTexture(const StageModel& m) {
  auto reads = [](uint32_t op, uint32_t a1, uint32_t a2) {
    return (op != D3DTOP_SELECTARG2 && op != D3DTOP_DISABLE && a1 == D3DTA_TEXTURE) ||
           ((op == D3DTOP_SELECTARG2 || op == D3DTOP_MODULATE) && a2 == D3DTA_TEXTURE);
  };
  return m.colorOp != D3DTOP_DISABLE &&
         (reads(m.colorOp, m.c1, m.c2) || reads(m.alphaOp, m.a1, m.a2));
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
void ModelTriangle(const Scene& sc, const Fmt& fmt, int W, int H, const D3DTLVERTEX2 v[3],
                   std::vector<uint32_t>& pixels) {
  int64_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = int64_t(std::floor(double(v[i].sx) * 16 + 0.5));
    Y[i] = int64_t(std::floor(double(v[i].sy) * 16 + 0.5));
  }
  auto cross = [&](int a, int b, int64_t px, int64_t py) {
    return (X[b] - X[a]) * (py - Y[a]) - (Y[b] - Y[a]) * (px - X[a]);
  };
  const int64_t area = cross(0, 1, X[2], Y[2]);
  if (area == 0) return;
  const int sign = area > 0 ? 1 : -1;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      long double b[3];
      int64_t wi[3];  // the weights before dividing by the area
      bool in = true;
      for (int e = 0; e < 3; ++e) {
        const int a = e, bb = (e + 1) % 3, c = (e + 2) % 3;
        const int64_t w = cross(a, bb, 16 * x, 16 * y) * sign;
        if (w == 0) {
          const bool top = Y[a] == Y[bb] && Y[c] > Y[a];
          const int64_t third = cross(a, bb, X[c], Y[c]);
          const bool left = Y[a] != Y[bb] && ((-(Y[bb] - Y[a]) > 0) == (third > 0));
          in &= top || left;
        }
        in &= w >= 0;
        wi[c] = w;
        b[c] = (long double)w / (long double)(area * sign);  // weight of the vertex opposite
      }
      if (!in) continue;
      auto interp = [&](auto value) {
        long double num = 0, den = 0;
        for (int i = 0; i < 3; ++i) {
          num += (long double)value(i) * v[i].rhw * b[i];
          den += (long double)v[i].rhw * b[i];
        }
        return num / den;
      };
      // Diffuse: with equal 1/w the exact quotient, rounded half up, in integers.
      const bool linear = v[0].rhw == v[1].rhw && v[1].rhw == v[2].rhw;
      Argb diffuse;
      for (int k = 0; k < 4; ++k) {
        if (linear) {
          int64_t num = 0;
          for (int i = 0; i < 3; ++i) num += int64_t(Unpack(v[i].color)[k]) * wi[i];
          diffuse[k] = uint32_t((2 * num + area * sign) / (2 * area * sign));
        } else {
          diffuse[k] =
              uint32_t(std::floor(interp([&](int i) { return Unpack(v[i].color)[k]; }) + 0.5L));
        }
      }
      bool discard = false;
      Argb texel[2] = {{255, 255, 255, 255}, {255, 255, 255, 255}};
      for (int s = 0; s < 2; ++s) {
        if (!sc.bound[s]) continue;
        const Tex& t = sc.tex[s];
        const bool p = sc.stage[s].pair == 1;
        auto coordinate = [&](auto value) {
          return linear ? RoundExactly(value, wi, area * sign)
                        : int64_t(std::floor(interp(value) + 0.5L));
        };
        const int64_t S =
            coordinate([&](int i) { return (long double)(p ? v[i].tu2 : v[i].tu) * t.w * 256; });
        const int64_t T =
            coordinate([&](int i) { return (long double)(p ? v[i].tv2 : v[i].tv) * t.h * 256; });
        texel[s] = t.Sample(S, T, sc.keyOn && s == 0 && ReadsTexture(sc.stage[0]), &discard);
      }
      Argb cur = diffuse;
      for (int s = 0; s < 2; ++s) {
        const StageModel& m = sc.stage[s];
        if (m.colorOp == D3DTOP_DISABLE) break;
        auto arg = [&](uint32_t a) {
          return a == D3DTA_TEXTURE ? texel[s] : a == D3DTA_DIFFUSE ? diffuse : cur;
        };
        auto op = [](uint32_t o, uint32_t p, uint32_t q) {
          return o == D3DTOP_SELECTARG1 ? p : o == D3DTOP_SELECTARG2 ? q : p * q / 255;
        };
        Argb next;
        for (int k = 1; k < 4; ++k) next[k] = op(m.colorOp, arg(m.c1)[k], arg(m.c2)[k]);
        next[0] = m.alphaOp == D3DTOP_DISABLE ? cur[0] : op(m.alphaOp, arg(m.a1)[0], arg(m.a2)[0]);
        cur = next;
      }
      if (sc.test && sc.func == D3DCMP_GREATER && !(cur[0] > sc.ref)) discard = true;
      if (sc.test && sc.func == D3DCMP_GREATEREQUAL && !(cur[0] >= sc.ref)) discard = true;
      if (discard) continue;
      uint32_t& out = pixels[size_t(y * W + x)];
      if (sc.blend) {
        const Argb d = fmt.Read(out), src = cur;
        for (int k = 0; k < 4; ++k) {
          auto factor = [&](uint32_t f) {
            const uint32_t table[] = {0, 0, 255, src[k], src[0], 255 - src[0], 255 - d[k]};
            return table[f];
          };
          cur[k] =
              std::min<uint32_t>(255, src[k] * factor(sc.src) / 255 + d[k] * factor(sc.dst) / 255);
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
  const PixelFormat formats[] = {k565, k1555, k4444, kX8888, kA8888};
  std::mt19937 rng(21);
  auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
  auto real = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  int mismatches = 0;
  for (int trial = 0; trial < 5000 && mismatches == 0; ++trial) {
    const Fmt tf(formats[pick(5)]);
    // Kinds: 0 an axis-aligned quad of whole texels a pixel (1:1 or 2:1) on power-of-two
    // textures, 1 coordinates spread over thousands of texels, else anything.
    // Library draws: its states, a flat colour (white half the time), aligned quads half the time.
    const bool library = pick(2) == 0;
    const uint32_t kind = library && pick(2) ? 0 : pick(4);
    const int W = 1 + int(pick(kind == 0 ? 40 : 13)), H = 1 + int(pick(kind == 0 ? 16 : 13));
    SurfacePtr tgt = Make(uint32_t(W), uint32_t(H), tf.f, kTarget);
    Direct3DDevice* dev = nullptr;
    ASSERT_EQ(d3d->CreateDevice(kHal, tgt.get(), &dev), DD_OK);
    std::vector<uint32_t> model(size_t(W * H));
    for (uint32_t& p : model) p = rng() & tf.Bits();
    std::vector<SurfacePtr> keep;
    Scene sc;
    const bool hasKeyAndTest = pick(3) == 0;
    for (int s = 0; s < 2; ++s) {
      Tex& t = sc.tex[s];
      static std::vector<Fmt> fmts(std::begin(formats), std::end(formats));
      t.fmt = &fmts[library && pick(2) ? 4 : pick(5)];  // the library's alpha images: 8:8:8:8
      t.w = kind == 0 ? 1 << (3 + pick(3)) : 1 + int(pick(5));
      t.h = kind == 0 ? 1 << pick(5) : 1 + int(pick(5));
      for (int i = 0; i < t.w * t.h; ++i) t.raw.push_back(rng() & t.fmt->Bits());
      t.filter = pick(2) ? D3DTFILTER_LINEAR : D3DTFILTER_POINT;
      t.address = pick(2) ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP;
      sc.bound[s] = pick(4) != 0;
      StageModel& m = sc.stage[s];
      const uint32_t ops[] = {D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE};
      m = {s == 1 && pick(3) == 0 ? D3DTOP_DISABLE : ops[pick(3)],
           pick(3),
           pick(3),
           pick(4) + 1,
           pick(3),
           pick(3),
           pick(2)};
      if (library) {  // the states the library draws its graphs with
        m = s == 0 ? StageModel{D3DTOP_MODULATE,
                                D3DTA_TEXTURE,
                                D3DTA_DIFFUSE,
                                pick(2) ? D3DTOP_MODULATE : D3DTOP_SELECTARG1,
                                D3DTA_TEXTURE,
                                D3DTA_DIFFUSE,
                                0}
                   : StageModel{D3DTOP_DISABLE, 0, 0, D3DTOP_DISABLE, 0, 0, 1};
        sc.bound[s] = s == 0;
      }
      if (sc.bound[s]) {
        SurfacePtr surface = Make(uint32_t(t.w), uint32_t(t.h), t.fmt->f);
        SurfaceDesc d;
        ASSERT_EQ(surface->Lock(nullptr, &d, 0), DD_OK);
        const uint32_t bytes = t.fmt->f.rgbBitCount / 8;
        for (int y = 0; y < t.h; ++y)
          for (int x = 0; x < t.w; ++x)
            std::memcpy(static_cast<uint8_t*>(d.surface) + y * d.pitch + x * bytes,
                        &t.raw[size_t(y * t.w + x)], bytes);
        surface->Unlock(nullptr);
        if (s == 0 && hasKeyAndTest) {
          t.keyed = true;
          t.key = t.raw[pick(uint32_t(t.raw.size()))] | (rng() & ~t.fmt->Bits() & 0xFFFF);
          ColorKey k{t.key, t.key};
          surface->SetColorKey(DDCKEY_SRCBLT, &k);
        }
        ASSERT_EQ(dev->SetTexture(uint32_t(s), surface.get()), DD_OK);
        keep.push_back(std::move(surface));
      }
      const uint32_t states[][2] = {
          {D3DTSS_COLOROP, m.colorOp},    {D3DTSS_COLORARG1, m.c1},  {D3DTSS_COLORARG2, m.c2},
          {D3DTSS_ALPHAOP, m.alphaOp},    {D3DTSS_ALPHAARG1, m.a1},  {D3DTSS_ALPHAARG2, m.a2},
          {D3DTSS_TEXCOORDINDEX, m.pair}, {D3DTSS_FILTER, t.filter}, {D3DTSS_ADDRESS, t.address}};
      for (const auto& st : states)
        ASSERT_EQ(dev->SetTextureStageState(uint32_t(s), D3DTEXTURESTAGESTATETYPE(st[0]), st[1]),
                  DD_OK);
    }
    sc.keyOn = hasKeyAndTest;
    sc.test = hasKeyAndTest && pick(2);
    sc.func = pick(2) ? D3DCMP_GREATER : D3DCMP_GREATEREQUAL;
    sc.ref = pick(256);
    sc.blend = pick(3) != 0;
    sc.src = 1 + pick(6);
    sc.dst = 1 + pick(6);
    if (library) {  // the factors of blend modes 1 to 5
      const uint32_t modes[5][2] = {{D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
                                    {D3DBLEND_SRCALPHA, D3DBLEND_ONE},
                                    {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO},
                                    {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR},
                                    {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA}};
      const uint32_t mode = pick(2) ? 0 : pick(5);  // mostly alpha blending
      sc.src = modes[mode][0];
      sc.dst = modes[mode][1];
    }
    const uint32_t render[][2] = {
        {D3DRENDERSTATE_COLORKEYENABLE, sc.keyOn},   {D3DRENDERSTATE_ALPHATESTENABLE, sc.test},
        {D3DRENDERSTATE_ALPHAFUNC, sc.func},         {D3DRENDERSTATE_ALPHAREF, sc.ref},
        {D3DRENDERSTATE_ALPHABLENDENABLE, sc.blend}, {D3DRENDERSTATE_SRCBLEND, sc.src},
        {D3DRENDERSTATE_DESTBLEND, sc.dst}};
    for (const auto& r : render)
      ASSERT_EQ(dev->SetRenderState(D3DRENDERSTATETYPE(r[0]), r[1]), DD_OK);
    // The target's starting pixels, then 1 to 3 random triangles.
    SurfaceDesc d;
    ASSERT_EQ(tgt->Lock(nullptr, &d, 0), DD_OK);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        std::memcpy(static_cast<uint8_t*>(d.surface) + y * d.pitch + x * (tf.f.rgbBitCount / 8),
                    &model[size_t(y * W + x)], tf.f.rgbBitCount / 8);
    tgt->Unlock(nullptr);
    std::vector<D3DTLVERTEX2> tris(3 * (1 + pick(3)));
    const bool perspective = kind > 1 && pick(4) == 0;
    const uint32_t flat = pick(library ? 2 : 3) == 0 ? 0xFFFFFFFFu : rng();
    const double spread = kind == 1 ? 1000 : 1;
    for (D3DTLVERTEX2& vx : tris) {
      const float u = float(real(-1.5, 2.5) * spread), v = float(real(-1.5, 2.5) * spread);
      vx = {float(real(-3, W + 3)),
            float(real(-3, H + 3)),
            0,
            perspective ? float(real(0.25, 4)) : 1.0f,
            library || pick(2) ? flat : uint32_t(rng()),
            u,
            v,
            pick(2) ? u : float(real(-1.5, 2.5)),
            pick(2) ? v : float(real(-1.5, 2.5))};
    }
    if (kind == 0) {
      const float x0 = float(pick(uint32_t(W) / 2 + 1)) - 0.5f,
                  y0 = float(pick(uint32_t(H))) - 0.5f;
      const int tw = sc.tex[0].w, th = sc.tex[0].h, rx = 1 + int(pick(2)), ry = 1 + int(pick(2));
      const uint32_t a0 = pick(uint32_t(64 * tw)), b0 = pick(uint32_t(64 * th));  // from the left
      const float u0 = float(a0) / float(256 * tw), v0 = float(b0) / float(256 * th);
      // Mostly as wide as the texture allows from there, so that the texels lie inside.
      const uint32_t fitW = std::max<uint32_t>(1, (256 * uint32_t(tw) - a0) / (256 * uint32_t(rx)));
      const uint32_t fitH = std::max<uint32_t>(1, (256 * uint32_t(th) - b0) / (256 * uint32_t(ry)));
      const float w = float(1 + pick(pick(4) ? fitW : uint32_t(W)));
      const float h = float(1 + pick(pick(4) ? fitH : uint32_t(H)));
      const float u1 = u0 + w * float(rx) / float(tw), v1 = v0 + h * float(ry) / float(th);
      const uint32_t color = library || pick(2) ? flat : uint32_t(rng());
      auto at = [&](float x, float y, float u, float v) {
        return D3DTLVERTEX2{x, y, 0, 1, color, u, v, u, v};
      };
      tris = {at(x0, y0, u0, v0),     at(x0 + w, y0, u1, v0), at(x0, y0 + h, u0, v1),
              at(x0, y0 + h, u0, v1), at(x0 + w, y0, u1, v0), at(x0 + w, y0 + h, u1, v1)};
    }
    ASSERT_EQ(dev->BeginScene(), DD_OK);
    ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX2, tris.data(),
                                 uint32_t(tris.size()), 0),
              DD_OK);
    ASSERT_EQ(dev->EndScene(), DD_OK);
    for (size_t i = 0; i < tris.size(); i += 3) ModelTriangle(sc, tf, W, H, &tris[i], model);
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
