// Stand-in for Direct3D 7, held in memory: the Direct3D object (obtained from the DirectDraw
// object), device enumeration, Z-buffer and texture-format enumeration, and a device that draws
// pre-transformed triangles in software into the simulated DirectDraw surfaces. Names and numbers
// are our own except DDBD_16 and DDBD_32.
//
// The device's rules (each also stated where it is implemented):
// - Render targets: a surface made with DDSCAPS_3DDEVICE (textures too, when made with
//   DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE), 16 or 32 bits, RGB, every channel at most 8 bits wide,
//   at a depth in the device's dwDeviceRenderBitDepth; anything else is refused. Setting a render
//   target resets the viewport to the whole target. The device holds a reference to its render
//   target and to every bound texture.
// - Viewport: inside the render target and not empty, else refused with nothing changed. Every
//   primitive and every Clear is scissored to it.
// - Vertices, coverage, attributes: raster.h. Texels, keys, stages, alpha test, blending, writing:
//   pixel_pipeline.h.
// - States the library does not use are refused with D3DERR_UNSUPPORTEDSTATE rather than ignored:
//   culling other than none, the Z test (Z buffering is not simulated), blend factors, filters,
//   operations, arguments and comparisons other than the ones defined below.
// - Scenes, strictly: DrawPrimitive outside BeginScene / EndScene fails; BeginScene inside a scene
//   fails; while a scene is open, Lock, GetDC, Blt, BltFast and Flip on the render target (as
//   destination or source) fail with DDERR_SURFACEBUSY.
// - A lost render target makes DrawPrimitive and Clear fail with DDERR_SURFACELOST; so does a lost
//   texture that the draw would sample, and nothing is drawn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "platform/types.h"

namespace zq::platform {

// ---- Result codes (our own values) -----------------------------------------------------------

inline constexpr HRESULT D3DERR_INVALIDDEVICE = int32_t(0x88760101u);
inline constexpr HRESULT D3DERR_SCENE_IN_SCENE = int32_t(0x88760102u);
inline constexpr HRESULT D3DERR_SCENE_NOT_IN_SCENE = int32_t(0x88760103u);
inline constexpr HRESULT D3DERR_INVALIDPRIMITIVETYPE = int32_t(0x88760104u);
inline constexpr HRESULT D3DERR_INVALIDVERTEXFORMAT = int32_t(0x88760105u);
inline constexpr HRESULT D3DERR_UNSUPPORTEDSTATE = int32_t(0x88760106u);
inline constexpr HRESULT D3DERR_TEXTURE_BADSIZE = int32_t(0x88760107u);

// Enumeration callbacks return one of these.
inline constexpr HRESULT D3DENUMRET_CANCEL = 0;
inline constexpr HRESULT D3DENUMRET_OK = 1;

// ---- Device description ------------------------------------------------------------------------

enum class DeviceGuid : uint32_t { None = 0, RgbEmulation = 1, Hal = 2, TnLHal = 3 };
// The software-emulation device (passed over by the library), the HAL and the T&L HAL device.
inline constexpr DeviceGuid IID_IDirect3DRGBDevice = DeviceGuid::RgbEmulation;
inline constexpr DeviceGuid IID_IDirect3DHALDevice = DeviceGuid::Hal;
inline constexpr DeviceGuid IID_IDirect3DTnLHalDevice = DeviceGuid::TnLHal;

// Bit depths (render and Z-buffer depths of a device).
inline constexpr uint32_t DDBD_16 = 0x400;
inline constexpr uint32_t DDBD_24 = 0x200;
inline constexpr uint32_t DDBD_32 = 0x100;

// Texture capabilities.
inline constexpr uint32_t D3DPTEXTURECAPS_POW2 = 0x2;         // sides must be powers of two
inline constexpr uint32_t D3DPTEXTURECAPS_SQUAREONLY = 0x20;  // width must equal height

struct D3DDEVICEDESC7 {
  DeviceGuid deviceGUID = DeviceGuid::None;
  uint32_t dwDeviceRenderBitDepth = 0;   // DDBD_* of the render targets it accepts
  uint32_t dwDeviceZBufferBitDepth = 0;  // DDBD_* of its Z buffers
  uint32_t dwMinTextureWidth = 0, dwMinTextureHeight = 0;
  uint32_t dwMaxTextureWidth = 0, dwMaxTextureHeight = 0;
  uint32_t dwTextureCaps = 0;  // D3DPTEXTURECAPS_*
  uint16_t wMaxTextureBlendStages = 0;
  uint16_t wMaxSimultaneousTextures = 0;
};

// (description text, device name, description, context) -> D3DENUMRET_OK to go on, _CANCEL to
// stop. The description handed over is a copy.
using EnumDevicesCallback = HRESULT (*)(const char* description, const char* name,
                                        D3DDEVICEDESC7* desc, void* context);
// (pixel format, context) -> D3DENUMRET_OK to go on, _CANCEL to stop. The format is a copy.
// Z-buffer formats: rgbBitCount is the whole depth, greenMask the Z bits, blueMask the stencil
// bits (with PF_STENCILBUFFER).
using EnumPixelFormatsCallback = HRESULT (*)(PixelFormat* format, void* context);

// ---- States ----------------------------------------------------------------------------------

enum D3DRENDERSTATETYPE : uint32_t {
  D3DRENDERSTATE_ZENABLE = 1,           // 0 only (default 0)
  D3DRENDERSTATE_ZWRITEENABLE = 2,      // 0 or 1, no effect without the Z test (default 0)
  D3DRENDERSTATE_CULLMODE = 3,          // D3DCULL_NONE only (default)
  D3DRENDERSTATE_ALPHABLENDENABLE = 4,  // 0 or 1 (default 0)
  D3DRENDERSTATE_SRCBLEND = 5,          // D3DBLEND_* (default ONE)
  D3DRENDERSTATE_DESTBLEND = 6,         // D3DBLEND_* (default ZERO)
  D3DRENDERSTATE_ALPHATESTENABLE = 7,   // 0 or 1 (default 0)
  D3DRENDERSTATE_ALPHAREF = 8,          // 0..255 (default 0)
  D3DRENDERSTATE_ALPHAFUNC = 9,         // D3DCMP_* (default ALWAYS)
  D3DRENDERSTATE_COLORKEYENABLE = 10,   // 0 or 1 (default 0)
};

inline constexpr uint32_t D3DCULL_NONE = 1;

enum D3DBLEND : uint32_t {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_SRCALPHA = 4,
  D3DBLEND_INVSRCALPHA = 5,
  D3DBLEND_INVDESTCOLOR = 6,
};

enum D3DCMPFUNC : uint32_t {
  D3DCMP_GREATER = 1,
  D3DCMP_GREATEREQUAL = 2,
  D3DCMP_ALWAYS = 3,
};

enum D3DTEXTURESTAGESTATETYPE : uint32_t {
  D3DTSS_COLOROP = 1,        // D3DTOP_* (stage 0 MODULATE, stage 1 DISABLE)
  D3DTSS_COLORARG1 = 2,      // D3DTA_* (TEXTURE)
  D3DTSS_COLORARG2 = 3,      // D3DTA_* (CURRENT)
  D3DTSS_ALPHAOP = 4,        // D3DTOP_* (stage 0 SELECTARG1, stage 1 DISABLE)
  D3DTSS_ALPHAARG1 = 5,      // D3DTA_* (TEXTURE)
  D3DTSS_ALPHAARG2 = 6,      // D3DTA_* (CURRENT)
  D3DTSS_TEXCOORDINDEX = 7,  // texture coordinate pair 0 or 1 (the stage's own number)
  D3DTSS_ADDRESS = 8,        // D3DTADDRESS_* for both axes (CLAMP)
  D3DTSS_FILTER = 9,         // D3DTFILTER_* (POINT)
};

enum D3DTEXTUREOP : uint32_t {
  D3DTOP_DISABLE = 1,  // colour: this stage and the ones after it are off; alpha: passes current
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
};

// Texture arguments. CURRENT is the previous stage's result (the diffuse colour at stage 0).
inline constexpr uint32_t D3DTA_DIFFUSE = 0;
inline constexpr uint32_t D3DTA_CURRENT = 1;
inline constexpr uint32_t D3DTA_TEXTURE = 2;

inline constexpr uint32_t D3DTADDRESS_WRAP = 1;
inline constexpr uint32_t D3DTADDRESS_CLAMP = 2;

inline constexpr uint32_t D3DTFILTER_POINT = 1;
inline constexpr uint32_t D3DTFILTER_LINEAR = 2;

enum D3DTRANSFORMSTATETYPE : uint32_t {
  D3DTRANSFORMSTATE_WORLD = 1,
  D3DTRANSFORMSTATE_VIEW = 2,
  D3DTRANSFORMSTATE_PROJECTION = 3,
};

struct D3DMATRIX {
  float m[4][4];  // row by row; stored only, pre-transformed vertices ignore it
};

struct D3DVIEWPORT7 {
  uint32_t dwX = 0, dwY = 0;
  uint32_t dwWidth = 0, dwHeight = 0;
  float dvMinZ = 0.0f, dvMaxZ = 1.0f;  // 0 <= min <= max <= 1; stored only
};

// ---- Drawing ---------------------------------------------------------------------------------

enum D3DPRIMITIVETYPE : uint32_t {
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};

// Vertex formats: pre-transformed position, diffuse colour and one or two coordinate pairs; the
// only two accepted are D3DFVF_TLVERTEX1 and D3DFVF_TLVERTEX2.
inline constexpr uint32_t D3DFVF_XYZRHW = 0x004;
inline constexpr uint32_t D3DFVF_DIFFUSE = 0x040;
inline constexpr uint32_t D3DFVF_TEX1 = 0x100;
inline constexpr uint32_t D3DFVF_TEX2 = 0x200;
inline constexpr uint32_t D3DFVF_TLVERTEX1 = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
inline constexpr uint32_t D3DFVF_TLVERTEX2 = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2;

struct D3DTLVERTEX1 {
  float sx, sy, sz, rhw;  // screen position in pixels, depth (unused), 1/w
  uint32_t color;         // diffuse 0xAARRGGBB
  float tu, tv;
};
struct D3DTLVERTEX2 {
  float sx, sy, sz, rhw;
  uint32_t color;
  float tu, tv;
  float tu2, tv2;
};
static_assert(sizeof(D3DTLVERTEX1) == 28 && sizeof(D3DTLVERTEX2) == 36);

// At most this many vertices in one DrawPrimitive call.
inline constexpr uint32_t D3DMAXNUMVERTICES = 65535;

inline constexpr uint32_t D3DCLEAR_TARGET = 0x1;

// ---- Objects ---------------------------------------------------------------------------------

class Direct3DDevice;

class Direct3D : public RefCounted {
 public:
  // Calls back with each configured device in order until the callback returns 0.
  HRESULT EnumDevices(EnumDevicesCallback callback, void* context);
  // Calls back with each configured Z-buffer format in order until the callback returns 0; the
  // list is the same for the three known device identifiers, others are refused.
  HRESULT EnumZBufferFormats(DeviceGuid device, EnumPixelFormatsCallback callback, void* context);
  // A device of a configured identifier (the last entry of it when listed twice) on the render
  // target (rules above).
  HRESULT CreateDevice(DeviceGuid device, DirectDrawSurface* target, Direct3DDevice** out);

 private:
  friend HRESULT CreateDirect3D(DirectDraw* owner, Direct3D** out);
  explicit Direct3D(DirectDraw* owner);
  ~Direct3D() override;
  DirectDraw* owner_;  // holds a reference
};

// DirectDraw::QueryInterface(InterfaceId::Direct3D7) lands here: E_NOINTERFACE while the stand-in
// is absent (d3dtest::SetPresent).
HRESULT CreateDirect3D(DirectDraw* owner, Direct3D** out);

struct DeviceState;

class Direct3DDevice : public RefCounted {
 public:
  HRESULT GetCaps(D3DDEVICEDESC7* desc) const;
  // The configured texture formats in order until the callback returns 0.
  HRESULT EnumTextureFormats(EnumPixelFormatsCallback callback, void* context);

  // BeginScene fails inside a scene (D3DERR_SCENE_IN_SCENE) and on a render target that the
  // caller has locked or holds a DC of (DDERR_SURFACEBUSY); EndScene outside one.
  HRESULT BeginScene();
  HRESULT EndScene();

  // Inside a scene the new target must not be locked; the scene moves over to it.
  HRESULT SetRenderTarget(DirectDrawSurface* target, uint32_t flags);
  HRESULT GetRenderTarget(DirectDrawSurface** out);  // adds a reference
  HRESULT SetViewport(const D3DVIEWPORT7* viewport);
  HRESULT GetViewport(D3DVIEWPORT7* viewport) const;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE which, const D3DMATRIX* matrix);
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE which, D3DMATRIX* matrix) const;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value);
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) const;
  // Stages 0 and 1 (fewer when the description has fewer blend stages).
  HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE state, uint32_t value);
  HRESULT GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE state,
                               uint32_t* value) const;
  // A surface made with DDSCAPS_TEXTURE, 16 or 32-bit RGB with channels of at most 8 bits, inside
  // the description's texture limits; null unbinds. Stages 0 and 1 (fewer when the description
  // has fewer simultaneous textures).
  HRESULT SetTexture(uint32_t stage, DirectDrawSurface* texture);

  // Triangles from `count` vertices of the given format (rules in raster.h): a list takes a
  // positive multiple of 3, a strip or a fan at least 3, never more than D3DMAXNUMVERTICES.
  // Vertices are checked before anything is drawn; flags must be 0.
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t vertexFormat, const void* vertices,
                        uint32_t count, uint32_t flags);
  // Fills the rectangles (all of the viewport when there are none), each cut to the viewport,
  // with the colour 0xAARRGGBB packed as a drawn pixel is written; blending, keys and the alpha
  // test do not apply. Flags must be D3DCLEAR_TARGET; inverted rectangles are refused.
  HRESULT Clear(uint32_t count, const RECT* rects, uint32_t flags, uint32_t color);

 private:
  friend class Direct3D;
  Direct3DDevice(Direct3D* owner, DeviceState* state);
  ~Direct3DDevice() override;

  Direct3D* owner_;     // holds a reference
  DeviceState* state_;  // owned
};

// ---- Test hooks ------------------------------------------------------------------------------

namespace d3dtest {

struct DeviceEntry {
  std::string description;
  std::string name;
  D3DDEVICEDESC7 desc;
};

// The defaults: devices "RGB emulation", "HAL", "T&L HAL", each rendering at 16 and 32 bits with
// 16, 24 and 32-bit Z buffers, textures 1 to 2048 on a side, power-of-two sizes required, 8 blend
// stages, 2 simultaneous textures. Z formats: 24-bit Z with 8 stencil bits, 16-bit Z, 32-bit Z.
// Texture formats: 8-bit alpha only, 8-bit luminance, FourCC "DXT1", 8-bit palettised, 5:6:5,
// X1:5:5:5, 1:5:5:5, 4:4:4:4, X8:8:8:8, 8:8:8:8, 16-bit bump du/dv.
std::vector<DeviceEntry> DefaultDevices();
std::vector<PixelFormat> DefaultZBufferFormats();
std::vector<PixelFormat> DefaultTextureFormats();

// Present (the default) or absent: absent refuses QueryInterface(Direct3D7) as on a machine
// without Direct3D.
void SetPresent(bool present);
// The lists, enumerated in order; devices made from now on take their description from the list.
void SetDevices(std::vector<DeviceEntry> devices);
void SetZBufferFormats(std::vector<PixelFormat> formats);
void SetTextureFormats(std::vector<PixelFormat> formats);

// The next call of the named operation fails with the code given (QueryInterface: of Direct3D7).
enum class Call {
  QueryInterface,
  EnumDevices,
  EnumZBufferFormats,
  CreateDevice,
  EnumTextureFormats,
  SetRenderTarget,
  SetViewport,
  BeginScene,
  DrawPrimitive,
};
void FailNext(Call call, HRESULT code);

// Successful calls since the last Reset, and the objects alive now.
struct Counters {
  int enumDevices = 0, enumZBufferFormats = 0, enumTextureFormats = 0;
  int createDevice = 0;
  int beginScene = 0, endScene = 0;
  int drawPrimitive = 0;
  int64_t vertices = 0;  // drawn by DrawPrimitive
  int setTexture = 0, renderStates = 0, stageStates = 0;
  int renderTargets = 0, viewports = 0, transforms = 0;
  int liveObjects = 0, liveDevices = 0;
};
Counters GetCounters();

// Back to the defaults: present, default lists, no failure, counters 0 (live objects stay).
void Reset(bool present = true);

}  // namespace d3dtest

}  // namespace zq::platform
