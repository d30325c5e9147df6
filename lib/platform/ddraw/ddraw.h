// Stand-in for DirectDraw 7, held entirely in memory: the DirectDraw object (cooperative level,
// display modes, caps), surfaces (primary with back buffers and flip, off-screen plain in system
// or video memory, texture, Z buffer; overlays only through a test hook), locks, colour fill, fast
// and stretched blits with source colour keys, attached surfaces, clipper, palette, lost surfaces
// and Restore, and surface device contexts for the GDI stand-in. The Direct3D object is obtained
// through QueryInterface (platform/d3d/d3d.h).
//
// A restored surface holds the poison pattern: every byte 0xCD (so 0xCDCD in 16 bits and
// 0xCDCDCDCD in 32 bits), which shows any graph the caller forgot to reload.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/types.h"
#include "platform/win/window.h"

namespace zq::platform {

// ---- Result codes (our own values) -----------------------------------------------------------

using HRESULT = int32_t;
inline constexpr HRESULT DD_OK = 0;
inline constexpr HRESULT E_NOINTERFACE = int32_t(0x80004002u);
inline constexpr HRESULT DDERR_GENERIC = int32_t(0x88760001u);
inline constexpr HRESULT DDERR_INVALIDPARAMS = int32_t(0x88760002u);
inline constexpr HRESULT DDERR_INVALIDOBJECT = int32_t(0x88760003u);
inline constexpr HRESULT DDERR_INVALIDCAPS = int32_t(0x88760004u);
inline constexpr HRESULT DDERR_INVALIDPIXELFORMAT = int32_t(0x88760005u);
inline constexpr HRESULT DDERR_INVALIDRECT = int32_t(0x88760006u);
inline constexpr HRESULT DDERR_INVALIDMODE = int32_t(0x88760007u);
inline constexpr HRESULT DDERR_OUTOFMEMORY = int32_t(0x88760008u);
inline constexpr HRESULT DDERR_OUTOFVIDEOMEMORY = int32_t(0x88760009u);
inline constexpr HRESULT DDERR_SURFACEBUSY = int32_t(0x8876000Au);
inline constexpr HRESULT DDERR_SURFACELOST = int32_t(0x8876000Bu);
inline constexpr HRESULT DDERR_NOTLOCKED = int32_t(0x8876000Cu);
inline constexpr HRESULT DDERR_NOCOLORKEY = int32_t(0x8876000Du);
inline constexpr HRESULT DDERR_NOOVERLAYHW = int32_t(0x8876000Eu);
inline constexpr HRESULT DDERR_NOEXCLUSIVEMODE = int32_t(0x8876000Fu);
inline constexpr HRESULT DDERR_EXCLUSIVEMODEALREADYSET = int32_t(0x88760010u);
inline constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = int32_t(0x88760011u);
inline constexpr HRESULT DDERR_NOTFLIPPABLE = int32_t(0x88760012u);
inline constexpr HRESULT DDERR_CANNOTATTACHSURFACE = int32_t(0x88760013u);
inline constexpr HRESULT DDERR_SURFACEALREADYATTACHED = int32_t(0x88760014u);
inline constexpr HRESULT DDERR_SURFACENOTATTACHED = int32_t(0x88760015u);
inline constexpr HRESULT DDERR_CANNOTDETACHSURFACE = int32_t(0x88760016u);
inline constexpr HRESULT DDERR_NOTFOUND = int32_t(0x88760017u);
inline constexpr HRESULT DDERR_WRONGMODE = int32_t(0x88760018u);
inline constexpr HRESULT DDERR_NOCLIPLIST = int32_t(0x88760019u);
inline constexpr HRESULT DDERR_NOPALETTEATTACHED = int32_t(0x8876001Au);
inline constexpr HRESULT DDERR_NOCLIPPERATTACHED = int32_t(0x8876001Bu);

inline constexpr bool Succeeded(HRESULT hr) {
  return hr >= 0;
}
inline constexpr bool Failed(HRESULT hr) {
  return hr < 0;
}

// ---- Flags -----------------------------------------------------------------------------------

// Surface description fields present.
inline constexpr uint32_t DDSD_CAPS = 0x1;
inline constexpr uint32_t DDSD_HEIGHT = 0x2;
inline constexpr uint32_t DDSD_WIDTH = 0x4;
inline constexpr uint32_t DDSD_PITCH = 0x8;
inline constexpr uint32_t DDSD_BACKBUFFERCOUNT = 0x20;
inline constexpr uint32_t DDSD_LPSURFACE = 0x800;
inline constexpr uint32_t DDSD_PIXELFORMAT = 0x1000;
inline constexpr uint32_t DDSD_CKSRCBLT = 0x10000;
inline constexpr uint32_t DDSD_REFRESHRATE = 0x40000;
inline constexpr uint32_t DDSD_TEXTURESTAGE = 0x100000;

// Surface caps.
inline constexpr uint32_t DDSCAPS_BACKBUFFER = 0x4;
inline constexpr uint32_t DDSCAPS_COMPLEX = 0x8;
inline constexpr uint32_t DDSCAPS_FLIP = 0x10;
inline constexpr uint32_t DDSCAPS_FRONTBUFFER = 0x20;
inline constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40;
inline constexpr uint32_t DDSCAPS_OVERLAY = 0x80;
inline constexpr uint32_t DDSCAPS_PALETTE = 0x100;
inline constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;
inline constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x800;
inline constexpr uint32_t DDSCAPS_TEXTURE = 0x1000;
inline constexpr uint32_t DDSCAPS_3DDEVICE = 0x2000;
inline constexpr uint32_t DDSCAPS_VIDEOMEMORY = 0x4000;
inline constexpr uint32_t DDSCAPS_ZBUFFER = 0x20000;
inline constexpr uint32_t DDSCAPS_LOCALVIDMEM = 0x10000000;
inline constexpr uint32_t DDSCAPS2_TEXTUREMANAGE = 0x10;

// Pixel-format flags of formats that only Direct3D enumerates (never valid for a surface here):
// Z buffer (bit depth in rgbBitCount) with stencil bits, alpha only, luminance and the two bump
// formats. The others are in types.h.
inline constexpr uint32_t PF_ALPHA = 0x00000002;
inline constexpr uint32_t PF_ZBUFFER = 0x00000400;
inline constexpr uint32_t PF_STENCILBUFFER = 0x00004000;
inline constexpr uint32_t PF_LUMINANCE = 0x00020000;
inline constexpr uint32_t PF_BUMPLUMINANCE = 0x00040000;
inline constexpr uint32_t PF_BUMPDUDV = 0x00080000;

// Lock.
inline constexpr uint32_t DDLOCK_WAIT = 0x1;
inline constexpr uint32_t DDLOCK_READONLY = 0x10;
inline constexpr uint32_t DDLOCK_WRITEONLY = 0x20;
inline constexpr uint32_t DDLOCK_NOSYSLOCK = 0x800;

// Blt and BltFast.
inline constexpr uint32_t DDBLT_COLORFILL = 0x400;
inline constexpr uint32_t DDBLT_KEYSRC = 0x8000;
inline constexpr uint32_t DDBLT_WAIT = 0x1000000;
inline constexpr uint32_t DDBLTFAST_NOCOLORKEY = 0x0;
inline constexpr uint32_t DDBLTFAST_SRCCOLORKEY = 0x1;
inline constexpr uint32_t DDBLTFAST_WAIT = 0x10;

// UpdateOverlay.
inline constexpr uint32_t DDOVER_HIDE = 0x200;
inline constexpr uint32_t DDOVER_SHOW = 0x4000;

// Colour keys.
inline constexpr uint32_t DDCKEY_SRCBLT = 0x8;

// Flip.
inline constexpr uint32_t DDFLIP_WAIT = 0x1;

// Cooperative level.
inline constexpr uint32_t DDSCL_FULLSCREEN = 0x1;
inline constexpr uint32_t DDSCL_ALLOWREBOOT = 0x2;
inline constexpr uint32_t DDSCL_NORMAL = 0x8;
inline constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;
inline constexpr uint32_t DDSCL_MULTITHREADED = 0x400;

// Palette.
inline constexpr uint32_t DDPCAPS_8BIT = 0x4;
inline constexpr uint32_t DDPCAPS_ALLOW256 = 0x40;

// Driver caps (DDCaps::caps).
inline constexpr uint32_t DDCAPS_ALIGNBOUNDARYDEST = 0x2;
inline constexpr uint32_t DDCAPS_ALIGNSIZEDEST = 0x4;
inline constexpr uint32_t DDCAPS_ALIGNBOUNDARYSRC = 0x8;
inline constexpr uint32_t DDCAPS_ALIGNSIZESRC = 0x10;
inline constexpr uint32_t DDCAPS_OVERLAY = 0x800;
inline constexpr uint32_t DDCAPS_BLT = 0x40;
inline constexpr uint32_t DDCAPS_BLTSTRETCH = 0x200;
inline constexpr uint32_t DDCAPS_COLORKEY = 0x400000;
inline constexpr uint32_t DDCAPS_BLTCOLORFILL = 0x4000000;
inline constexpr uint32_t DDCKEYCAPS_SRCBLT = 0x200;

// ---- Records ---------------------------------------------------------------------------------

struct ColorKey {
  uint32_t low;  // the key range; both ends are compared inclusively
  uint32_t high;
};

struct SurfaceCaps {
  uint32_t caps = 0;
  uint32_t caps2 = 0;
};

struct SurfaceDesc {
  uint32_t size = sizeof(SurfaceDesc);
  uint32_t flags = 0;  // DDSD_*
  uint32_t height = 0;
  uint32_t width = 0;
  int32_t pitch = 0;
  uint32_t backBufferCount = 0;
  uint32_t refreshRate = 0;
  uint32_t textureStage = 0;
  void* surface = nullptr;  // filled by Lock
  ColorKey ckSrcBlt{};
  PixelFormat pixelFormat{};
  SurfaceCaps caps;
};

struct BltFx {
  uint32_t fillColor = 0;  // raw pixel value for DDBLT_COLORFILL
};

struct DDCaps {
  uint32_t caps = 0;
  uint32_t ckeyCaps = 0;
  uint32_t vidMemTotal = 0;
  uint32_t vidMemFree = 0;
  // Overlay alignment requirements (with the DDCAPS_ALIGN* flags); 0 without overlays.
  uint32_t alignBoundarySrc = 0, alignSizeSrc = 0, alignBoundaryDest = 0, alignSizeDest = 0;
};

struct PaletteEntry {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
  uint8_t flags;
};

// The older interfaces of the object and its surfaces are answered by the same objects.
enum class InterfaceId {
  DirectDraw7,
  DirectDrawSurface7,
  Direct3D7,
  Direct3DTexture7,
  DirectDraw,
  DirectDraw4,
  DirectDrawSurface4,
};

// What the last UpdateOverlay of an overlay surface asked for (tests read it).
struct OverlayState {
  int32_t calls = 0;
  bool shown = false;
  RECT src{};
  RECT dest{};
};

class DirectDraw;
class DirectDrawSurface;

// ---- Reference counting ----------------------------------------------------------------------

class RefCounted {
 public:
  uint32_t AddRef() { return ++refs_; }
  // Deletes the object when the count reaches 0; returns the new count.
  uint32_t Release();

 protected:
  RefCounted() = default;
  virtual ~RefCounted() = default;
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

 private:
  uint32_t refs_ = 1;
};

// ---- Clipper ---------------------------------------------------------------------------------

class DirectDrawClipper : public RefCounted {
 public:
  // Clipping follows the window's client rectangle (desktop coordinates).
  HRESULT SetHWnd(uint32_t flags, Window* window);
  HRESULT GetHWnd(Window** window) const;
  // An explicit list of rectangles replaces the window (null or empty clears it).
  HRESULT SetClipList(const std::vector<RECT>* rects, uint32_t flags);
  // The effective list: the window's client rectangle, or the explicit rectangles.
  HRESULT GetClipList(std::vector<RECT>* rects) const;

 private:
  friend class DirectDraw;
  DirectDrawClipper() = default;
  Window* window_ = nullptr;
  std::vector<RECT> list_;
};

// ---- Palette ---------------------------------------------------------------------------------

class DirectDrawPalette : public RefCounted {
 public:
  HRESULT GetEntries(uint32_t flags, uint32_t start, uint32_t count, PaletteEntry* out) const;
  HRESULT SetEntries(uint32_t flags, uint32_t start, uint32_t count, const PaletteEntry* in);

 private:
  friend class DirectDraw;
  friend class DirectDrawSurface;
  DirectDrawPalette() = default;
  PaletteEntry entries_[256]{};
};

// ---- Surface ---------------------------------------------------------------------------------

class DirectDrawSurface : public RefCounted {
 public:
  HRESULT QueryInterface(InterfaceId id, void** out);

  // Nested locks are refused (DDERR_SURFACEBUSY), as are locks of a lost surface
  // (DDERR_SURFACELOST). A Direct3D render target inside an open scene counts as locked for
  // Lock, GetDC, Blt, BltFast and Flip. The rectangle, when given, must lie inside the surface.
  HRESULT Lock(const RECT* rect, SurfaceDesc* desc, uint32_t flags);
  HRESULT Unlock(const RECT* rect);

  // Colour fill (fx->fillColor, with DDBLT_COLORFILL) or nearest-pixel stretched copy, with the
  // source's colour key under DDBLT_KEYSRC. Null rectangles mean whole surfaces; rectangles are
  // clipped to both surfaces and to the destination's clipper; inverted ones are refused.
  HRESULT Blt(const RECT* destRect, DirectDrawSurface* src, const RECT* srcRect, uint32_t flags,
              const BltFx* fx);
  // Unscaled copy to (x, y), with the source's colour key under DDBLTFAST_SRCCOLORKEY; clipped
  // to both surfaces (a clipper is not consulted).
  HRESULT BltFast(int32_t x, int32_t y, DirectDrawSurface* src, const RECT* srcRect,
                  uint32_t flags);

  // Only DDCKEY_SRCBLT; a null key removes it. Values are cut to the pixel width and compared
  // with all bits of a source pixel, unused ones included.
  HRESULT SetColorKey(uint32_t flags, const ColorKey* key);
  HRESULT GetColorKey(uint32_t flags, ColorKey* key) const;

  // DD_OK, or DDERR_SURFACELOST.
  HRESULT IsLost();
  // Brings a lost surface back filled with the poison pattern; a primary chain whose display
  // mode has changed stays lost (DDERR_WRONGMODE).
  HRESULT Restore();

  HRESULT GetSurfaceDesc(SurfaceDesc* desc) const;
  HRESULT GetCaps(SurfaceCaps* caps) const;
  HRESULT GetPixelFormat(PixelFormat* format) const;

  // Attaches a Z buffer of the same size (holding a reference to it).
  HRESULT AddAttachedSurface(DirectDrawSurface* surface);
  HRESULT DeleteAttachedSurface(uint32_t flags, DirectDrawSurface* surface);
  // The back buffer (DDSCAPS_BACKBUFFER) or the Z buffer (DDSCAPS_ZBUFFER); adds a reference.
  HRESULT GetAttachedSurface(const SurfaceCaps& caps, DirectDrawSurface** out);

  // Exchanges the front buffer's pixels with the back buffer's (exclusive mode only).
  HRESULT Flip(DirectDrawSurface* target, uint32_t flags);

  HRESULT SetClipper(DirectDrawClipper* clipper);
  HRESULT GetClipper(DirectDrawClipper** out);
  HRESULT SetPalette(DirectDrawPalette* palette);
  HRESULT GetPalette(DirectDrawPalette** out);

  // A device context on the surface's pixels; the surface counts as locked until ReleaseDC.
  HRESULT GetDC(HDC* dc);
  HRESULT ReleaseDC(HDC dc);

  // Overlay surfaces only: shows srcRect (null: whole surface) at destRect of the primary
  // surface dest with DDOVER_SHOW, or hides it with DDOVER_HIDE. Only recorded: the presenter
  // does not compose overlays.
  HRESULT UpdateOverlay(const RECT* srcRect, DirectDrawSurface* dest, const RECT* destRect,
                        uint32_t flags, const void* fx);

  // ---- Test hooks ----
  OverlayState TestOverlay() const { return overlay_; }
  // Reads one pixel (0 outside) or the whole surface as packed rows of width x bytes, whatever
  // its lock or lost state.
  uint32_t TestGetPixel(int32_t x, int32_t y) const;
  std::vector<uint8_t> TestReadBack() const;
  // Direct view of the pixels for the presenter (null when the surface has none).
  const uint8_t* TestPixels() const;
  int32_t TestPitch() const { return pitch_; }
  // For the presenter, which keeps a view of the displayed pixels instead of a copy: hook runs
  // once, before the pixels next may change or go away (a lock without DDLOCK_READONLY, a blit
  // into the surface, a DC, a flip, a restore, a Direct3D scene, the release), and is then
  // cleared. Null takes it away.
  void SetChangeHook(void (*hook)(DirectDrawSurface*)) { changeHook_ = hook; }

 private:
  friend class DirectDraw;
  friend struct SurfaceAccess;
  DirectDrawSurface() = default;
  ~DirectDrawSurface() override;

  bool CheckLost();
  // Runs and clears the change hook.
  void BeforeChange();
  uint32_t BytesPerPixel() const { return format_.rgbBitCount / 8; }
  uint8_t* Row(int32_t y) const { return pixels_ + int64_t(y) * pitch_; }
  bool KeyedPixel(uint32_t v) const;
  // Locked by the caller, holding a DC, or the render target of an open Direct3D scene.
  bool Busy() const { return locked_ || dc_ || sceneRefs_ > 0; }

  DirectDraw* owner_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t pitch_ = 0;
  PixelFormat format_{};
  SurfaceCaps caps_;
  uint8_t* pixels_ = nullptr;  // owned (new[])
  void (*changeHook_)(DirectDrawSurface*) = nullptr;
  bool locked_ = false;
  HDC dc_ = nullptr;
  int sceneRefs_ = 0;  // open Direct3D scenes drawing into this surface
  bool lost_ = false;
  uint64_t lossSerial_ = 0;
  bool hasKey_ = false;
  ColorKey key_{};
  DirectDrawSurface* chainNext_ = nullptr;   // primary: back buffer chain (owned references)
  DirectDrawSurface* chainFront_ = nullptr;  // back buffers: their front (not owned)
  DirectDrawSurface* zbuffer_ = nullptr;     // attached Z buffer (owned reference)
  DirectDrawClipper* clipper_ = nullptr;
  DirectDrawPalette* palette_ = nullptr;
  int32_t displayWidth_ = 0, displayHeight_ = 0;  // primary chain: mode it was made for
  uint32_t displayBits_ = 0;
  OverlayState overlay_;
};

// ---- The DirectDraw object -------------------------------------------------------------------

struct DisplayMode {
  int32_t width;
  int32_t height;
  uint32_t bitsPerPixel;
};

class DirectDraw : public RefCounted {
 public:
  HRESULT QueryInterface(InterfaceId id, void** out);

  // DDSCL_NORMAL, or DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN with a window (others ignored).
  HRESULT SetCooperativeLevel(Window* window, uint32_t flags);
  // Needs the exclusive level and one of the listed modes; changes the desktop (surfaces are
  // lost, DisplayChange is posted) until RestoreDisplayMode or the object's release.
  HRESULT SetDisplayMode(int32_t width, int32_t height, uint32_t bitsPerPixel, uint32_t refreshRate,
                         uint32_t flags);
  HRESULT RestoreDisplayMode();
  // Calls back with each mode (width, height, pixel format) until the callback returns false.
  HRESULT EnumDisplayModes(uint32_t flags, const SurfaceDesc* filter,
                           const std::function<bool(const SurfaceDesc&)>& callback) const;
  HRESULT GetDisplayMode(SurfaceDesc* desc) const;
  HRESULT GetCaps(DDCaps* driver, DDCaps* emulation) const;

  HRESULT CreateSurface(const SurfaceDesc& desc, DirectDrawSurface** out);
  HRESULT CreateClipper(uint32_t flags, DirectDrawClipper** out);
  HRESULT CreatePalette(uint32_t flags, const PaletteEntry* entries, DirectDrawPalette** out);

 private:
  friend HRESULT DirectDrawCreateEx(DirectDraw** out);
  friend class DirectDrawSurface;
  friend struct SurfaceAccess;
  DirectDraw() = default;
  ~DirectDraw() override;

  HRESULT CreatePrimary(const SurfaceDesc& desc, DirectDrawSurface** out);
  HRESULT CreateOverlay(const SurfaceDesc& desc, DirectDrawSurface** out);
  HRESULT NewSurface(int32_t width, int32_t height, const PixelFormat& format, uint32_t caps,
                     uint32_t caps2, DirectDrawSurface** out);

  Window* window_ = nullptr;
  uint32_t level_ = 0;
  bool modeChanged_ = false;
  Desktop savedDesktop_{};
  DirectDrawSurface* primary_ = nullptr;  // not owned
  std::vector<DirectDrawSurface*> surfaces_;
};

HRESULT DirectDrawCreateEx(DirectDraw** out);

// The modes every adapter offers (plus the desktop's own size), at 8, 16, 24 and 32 bits.
std::vector<DisplayMode> ListDisplayModes();

// ---- Test hooks ------------------------------------------------------------------------------

namespace ddtest {
// Every live surface reports DDERR_SURFACELOST until restored.
void MakeAllSurfacesLost();
// Video memory is refused with DDERR_OUTOFVIDEOMEMORY (surfaces that may go either way fall
// back to system memory).
void SetRefuseVideoMemory(bool refuse);
// The next CreateSurface, or the next Lock, fails with the code given.
void FailNextCreateSurface(HRESULT code);
void FailNextLock(HRESULT code);
// Extra bytes (rounded up to 4) at the end of every row of surfaces made from now on.
void SetPitchPadding(uint32_t bytes);
// Overlay surfaces (video memory) in the one format given, with the alignment caps of `align`
// (its DDCAPS_ALIGN* flags and values); null turns overlays off again (the default).
void SetOverlaySupport(const PixelFormat* format, const DDCaps* align);
// Live surfaces of all DirectDraw objects.
int LiveSurfaceCount();
// Back to defaults (no refusal, no failure, no padding, no overlays).
void Reset();
}  // namespace ddtest

}  // namespace zq::platform
