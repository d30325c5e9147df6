// A DirectDraw object with the Direct3D stand-in, a 32-bit 8 x 8 render target and a HAL device
// on it, for the Direct3D stand-in's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/window.h"

namespace zq::platform {

struct Releaser {
  void operator()(RefCounted* p) const {
    if (p) p->Release();
  }
};
using SurfacePtr = std::unique_ptr<DirectDrawSurface, Releaser>;

inline PixelFormat TestFormat(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0) {
  return PixelFormat{sizeof(PixelFormat), PF_RGB | (a ? PF_ALPHAPIXELS : 0u), 0, bits, r, g, b, a};
}
inline const PixelFormat k565 = TestFormat(16, 0xF800, 0x07E0, 0x001F);
inline const PixelFormat k1555 = TestFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
inline const PixelFormat k4444 = TestFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
inline const PixelFormat kX8888 = TestFormat(32, 0xFF0000, 0xFF00, 0xFF);
inline const PixelFormat kA8888 = TestFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
inline const PixelFormat kRgb24 = TestFormat(24, 0xFF0000, 0xFF00, 0xFF);
inline const PixelFormat kA2R10G10B10 = TestFormat(32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000);
inline const PixelFormat kPal8{sizeof(PixelFormat), PF_PALETTEINDEXED8, 0, 8, 0, 0, 0, 0};

inline constexpr uint32_t kTarget = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
inline constexpr DeviceGuid kHal = IID_IDirect3DHALDevice;

class D3DFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetWindowSystem();
    ddtest::Reset();
    d3dtest::Reset();
    ASSERT_EQ(DirectDrawCreateEx(&dd), DD_OK);
    void* p = nullptr;
    ASSERT_EQ(dd->QueryInterface(InterfaceId::Direct3D7, &p), DD_OK);
    d3d = static_cast<Direct3D*>(p);
    target = Make(8, 8, kX8888, kTarget);
    ASSERT_EQ(d3d->CreateDevice(kHal, target.get(), &device), DD_OK);
  }
  void TearDown() override {
    if (device) device->Release();
    if (d3d) d3d->Release();
    target.reset();
    dd->Release();
    EXPECT_EQ(ddtest::LiveSurfaceCount(), 0);
    EXPECT_EQ(d3dtest::GetCounters().liveObjects + d3dtest::GetCounters().liveDevices, 0);
    d3dtest::Reset();
    ddtest::Reset();
    ResetWindowSystem();
  }

  SurfacePtr Make(uint32_t w, uint32_t h, const PixelFormat& f,
                  uint32_t caps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY) {
    SurfaceDesc d;
    d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.width = w;
    d.height = h;
    d.pixelFormat = f;
    d.caps.caps = caps;
    DirectDrawSurface* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(d, &s), DD_OK);
    return SurfacePtr(s);
  }

  // Writes value(x, y) into every pixel through a lock.
  template <class F>
  void Paint(DirectDrawSurface* s, F value) {
    SurfaceDesc d;
    ASSERT_EQ(s->Lock(nullptr, &d, 0), DD_OK);
    const uint32_t bytes = d.pixelFormat.rgbBitCount / 8;
    for (uint32_t y = 0; y < d.height; ++y)
      for (uint32_t x = 0; x < d.width; ++x) {
        const uint32_t v = value(int(x), int(y));
        std::memcpy(static_cast<uint8_t*>(d.surface) + y * uint32_t(d.pitch) + x * bytes, &v,
                    bytes);
      }
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
  }

  Window* MakeWindow() {
    WindowDesc w;
    w.className = "ZqLib";
    w.clientRect = RECT{0, 0, 64, 48};
    w.proc = [](Window&, const Message&) {};
    return CreateMainWindow(w);
  }

  DirectDraw* dd = nullptr;
  Direct3D* d3d = nullptr;
  SurfacePtr target;
  Direct3DDevice* device = nullptr;
};

}  // namespace zq::platform
