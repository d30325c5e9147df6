#include "graphics/d3d/d3d_layer.h"

#include "base/log.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_draw.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/texture_format.h"

namespace zq::gfx {

using namespace platform;

Direct3DState g_D3D{};

namespace {

// Devices with this many texture blend stages or more do without the work texture.
constexpr int kStagesWithoutWorkTexture = 4;

// The Direct3D object from the DirectDraw object; false when there is none.
bool ObtainObject() {
  if (g_D3D.Object != nullptr) return true;
  void* object = nullptr;
  if (GetDirectDrawObject() == nullptr ||
      Failed(GetDirectDrawObject()->QueryInterface(InterfaceId::Direct3D7, &object)) ||
      object == nullptr)
    return false;
  g_D3D.Object = static_cast<Direct3D*>(object);
  return true;
}

// The device of the kept description on the surface; false when the device refuses it.
bool CreateDeviceOn(DirectDrawSurface* target) {
  Direct3DDevice* device = nullptr;
  if (target == nullptr ||
      Failed(g_D3D.Object->CreateDevice(GetKeptDeviceDesc()->deviceGUID, target, &device)) ||
      device == nullptr)
    return false;
  g_D3D.Device = device;
  return true;
}

// The work texture in entry 8's format, filled with 0.
bool MakeWorkTexture() {
  if (g_D3D.WorkTexture != nullptr) return true;
  SurfaceDesc desc;
  desc.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
  desc.width = desc.height = kD3DWorkTextureSide;
  desc.pixelFormat = *GetTextureFormatData(8);
  desc.caps.caps = DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE;
  DirectDrawSurface* texture = nullptr;
  if (Failed(GetDirectDrawObject()->CreateSurface(desc, &texture)) || texture == nullptr)
    return false;
  BltFx fx;
  fx.fillColor = 0;
  texture->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
  g_D3D.WorkTexture = texture;
  return true;
}

// The work texture on devices with few blend stages; others make it on first use.
bool CreateWorkTexture() {
  return GetKeptDeviceDesc()->wMaxTextureBlendStages >= kStagesWithoutWorkTexture ||
         MakeWorkTexture();
}

// The surface a device is made on: the DirectDraw path's current target, else the back surface.
DirectDrawSurface* DeviceSurface() {
  return g_DD.DrawTargetSurface != nullptr ? g_DD.DrawTargetSurface : g_DD.BackSurface;
}

// Releases what a failed start obtained, then logs the line. -1.
int FailStart(const char* line) {
  DeleteD3DDevice();
  ReleaseInterface(g_D3D.Object);
  return base::LogAddLine(line);
}

}  // namespace

int StartDirect3DLayer() {
  // Whatever an earlier start left goes first (the caller has normally released it already).
  DeleteD3DDevice();
  ReleaseInterface(g_D3D.Object);
  g_D3D.Enumerated = 0;
  if (!ObtainObject()) return FailStart("Direct3Dオブジェクトの作成に失敗しました\n");

  int found = 0;
  if (Failed(g_D3D.Object->EnumDevices(EnumDeviceCallback, &found)) || found == 0)
    return FailStart("現在の画面モードで使用できる描画デバイスが見つかりませんでした");
  found = 0;
  if (Failed(g_D3D.Object->EnumZBufferFormats(IID_IDirect3DHALDevice, EnumZBufferFormatCallback,
                                              &found)) ||
      found == 0)
    return FailStart("使用可能なＺバッファが見つかりませんでした");
  if (!CreateDeviceOn(g_DD.BackSurface))
    return FailStart("Ｄｉｒｅｃｔ３Ｄデバイスの作成に失敗しました\n");

  ClearTextureFormatTable();
  found = 0;
  if (Failed(g_D3D.Device->EnumTextureFormats(EnumTextureFormatCallback, &found)) || found == 0)
    return FailStart("使用可能なテクスチャフォーマットが見つかりませんでした");
  FillTextureFormatTable();
  LogTextureFormatTable();
  if (!CreateWorkTexture()) return FailStart("作業用テクスチャの作成に失敗しました\n");

  ResetDeviceStateRecord();
  g_D3D.Enumerated = 1;
  return 0;
}

int DeleteD3DDevice() {
  ReleaseVertexBatch();
  ReleaseD3DBlendTexture();
  if (g_D3D.Device != nullptr) {
    const D3DDEVICEDESC7& d = *GetKeptDeviceDesc();
    const uint32_t stages = d.wMaxSimultaneousTextures < 2 ? d.wMaxSimultaneousTextures : 2;
    for (uint32_t stage = 0; stage < stages; ++stage) g_D3D.Device->SetTexture(stage, nullptr);
  }
  ForgetDeviceSurfaces();
  ReleaseSurface3DObjects();
  ReleaseInterface(g_D3D.WorkTexture);
  ReleaseInterface(g_D3D.Device);
  return 0;
}

int ReleaseDirect3DObject() {
  DeleteD3DDevice();
  base::LogAddString("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します\n");
  if (g_D3D.Object == nullptr) {
    base::LogAddString("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に解放されています\n");
    return 0;
  }
  ReleaseInterface(g_D3D.Object);
  base::LogAddString("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放しました\n");
  return 0;
}

int GetDirect3DObject() {
  base::LogAddString("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n");
  // Only a layer that started on this screen mode comes back: its enumeration is kept.
  if (g_D3D.Enumerated == 0 || GetSoftwareScreenFlag() != 0 || !ObtainObject())
    return base::LogAddString("Direct3Dオブジェクトの作成に失敗しました\n");
  base::LogAddString("Ｄｉｒｅｃｔ３Ｄオブジェクトは正常に取得されました\n");
  return RecreateD3DDevice();
}

int RecreateD3DDevice() {
  if (g_D3D.Object == nullptr) return -1;
  if (g_D3D.Device == nullptr && !CreateDeviceOn(DeviceSurface()) &&
      !CreateDeviceOn(g_DD.BackSurface))
    return base::LogAddString("Ｄｉｒｅｃｔ３Ｄデバイスの作成に失敗しました\n");
  RecreateSurface3DObjects();
  if (!CreateWorkTexture()) base::LogAddString("作業用テクスチャの作成に失敗しました\n");
  ApplyDeviceStateRecord();
  return 0;
}

int GetCurrentDeviceSlotWord() {
  return g_D3D.Device != nullptr ? 1 : 0;
}

Direct3DDevice* GetCurrentD3DDevice() {
  return g_D3D.Device;
}

DirectDrawSurface* GetD3DWorkTexture() {
  return g_D3D.WorkTexture;
}

DirectDrawSurface* TakeD3DWorkTexture() {
  if (g_D3D.Device == nullptr) return nullptr;
  if (!MakeWorkTexture()) base::LogAddString("作業用テクスチャの作成に失敗しました\n");
  return g_D3D.WorkTexture;
}

}  // namespace zq::gfx
