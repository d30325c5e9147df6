#include "graphics/surface_data.h"

#include <cstring>

#include "base/log.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/ddraw/display.h"
#include "graphics/texture_format.h"
#include "platform/size_limits.h"

namespace zq::gfx {

using platform::DirectDrawSurface;
using platform::RECT;
using platform::SurfaceDesc;

namespace {

HandleTable g_table(HandleKind::kSurfaceData, sizeof(SurfaceDataRecord));

int ClampByte(int v) {
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// A lock rectangle must lie inside the store and must not be reversed.
bool RectInside(const RECT& r, int width, int height) {
  return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom && r.right <= width &&
         r.bottom <= height;
}

void ReleaseZ(SurfaceDataRecord* rec) {
  if (rec->ZSurface != nullptr) {
    if (rec->Surface != nullptr) rec->Surface->DeleteAttachedSurface(0, rec->ZSurface);
    rec->ZSurface->Release();
    rec->ZSurface = nullptr;
  }
  TermMemImg(&rec->ZImage);
}

}  // namespace

int InitSurfaceDataTable() {
  // Stores still held are released properly; then slots, high mark and counter start at 0.
  ReleaseAllSurfaceData();
  return g_table.Init();
}

void TermSurfaceDataTable() {
  if (g_table.IsInitialised()) ReleaseAllSurfaceData();
  g_table.Term();
}

const HandleTable& SurfaceDataTable() {
  return g_table;
}

SurfaceDataRecord* GetSurfaceDataRecord(HandleValue handle) {
  if (!g_table.IsInitialised()) return nullptr;
  return g_table.Lookup<SurfaceDataRecord>(handle);
}

HandleValue AddSurfaceData(uint32_t refCount, int width, int height, uint32_t colorKey,
                           const SurfaceOptions* options) {
  if (!g_table.IsInitialised() && g_table.Init() != 0)
    return base::LogAddString("サーフェス用データを保存するメモリ領域の確保に失敗しました\n");
  if (g_table.Count() >= g_table.SlotCount())
    return base::LogAddString("サーフェスのデータ数が許容量を越えました。\n");
  if (options == nullptr) return -1;
  SurfaceOptions o = *options;
  if (o.TextureFlag == 1) {
    o.SystemMemFlag = 0;
    if (o.DrawValid == 1 || o.AlphaChFlag == 1) o.AlphaTestFlag = 0;
  } else {
    if (o.AlphaChFlag == 1 || o.SingleChannelFlag == 1) o.SystemMemFlag = 1;
    o.AlphaTestFlag = 0;
    o.DrawValid = 1;
  }
  const uint32_t software = (o.SystemMemFlag == 1 || IsSoftwareScreenInUse()) ? 1 : 0;
  // A store is 1..65535 pixels on each side; other sizes are refused with the creation line of
  // the store's kind, never cut to 16 bits.
  if (width < 1 || height < 1 || width > platform::kMaxImageSide ||
      height > platform::kMaxImageSide) {
    return base::LogAddString(o.TextureFlag == 1 ? "テクスチャサーフェスの作成に失敗しました\n"
                              : software ? "メモリイメージの作成に失敗しました\n"
                                         : "標準サーフェスの作成に失敗しました\n");
  }
  void* raw = nullptr;
  const HandleValue handle = g_table.Allocate(&raw);
  if (handle < 0)
    return base::LogAddString("サーフェス用データを保存するメモリ領域の確保に失敗しました\n");
  auto* rec = static_cast<SurfaceDataRecord*>(raw);
  rec->Options = o;
  rec->Width = uint16_t(width);
  rec->Height = uint16_t(height);
  rec->ColorKey = colorKey;
  rec->RefCount = refCount;
  rec->SoftwareFlag = software;

  if (CreateSurfaceDataSurface(handle) != 0) {
    ReleaseSurfaceData(handle);
    return -1;
  }
  SetSurfaceDataColorKey(handle);
  return handle;
}

int CreateSurfaceDataSurface(HandleValue handle) {
  SurfaceDataRecord* rec = GetSurfaceDataRecord(handle);
  if (GetDirectDrawObject() == nullptr || rec == nullptr) return -1;
  if (rec->Surface != nullptr) return 0;
  if (rec->SoftwareFlag && IsMemImgValid(&rec->Image)) return 0;

  SurfaceOptions& o = rec->Options;
  SurfaceDesc desc;
  desc.flags = platform::DDSD_CAPS | platform::DDSD_WIDTH | platform::DDSD_HEIGHT;
  desc.width = rec->Width;
  desc.height = rec->Height;

  if (o.TextureFlag == 1) {
    // Textures need the device whose formats the table holds; an empty entry has an empty pixel
    // format, which DirectDraw refuses.
    rec->FormatIndex = uint32_t(GetTextureFormatIndex(&o));
    desc.flags |= platform::DDSD_PIXELFORMAT | platform::DDSD_TEXTURESTAGE;
    desc.pixelFormat = *GetTextureFormatData(int(rec->FormatIndex));
    desc.textureStage = 0;
    desc.caps.caps =
        platform::DDSCAPS_TEXTURE | (o.DrawValid == 1 ? platform::DDSCAPS_3DDEVICE : 0);
    desc.caps.caps2 = o.DrawValid == 1 ? 0 : platform::DDSCAPS2_TEXTUREMANAGE;
    DirectDrawSurface* texture = nullptr;
    if (GetCurrentDeviceSlotWord() == 0 ||
        platform::Failed(GetDirectDrawObject()->CreateSurface(desc, &texture))) {
      base::LogAddString("テクスチャサーフェスの作成に失敗しました\n");
      base::LogAddFormat("DrawValid:%d  AlphaChFlag%d  AlphaTestFlag:%d  ColorBitDepth:%d",
                         o.DrawValid, o.AlphaChFlag, o.AlphaTestFlag, o.ColorBitDepth);
      return -1;
    }
    rec->Surface = texture;
    platform::BltFx fx;
    fx.fillColor = 0;
    texture->Blt(nullptr, nullptr, nullptr, platform::DDBLT_COLORFILL | platform::DDBLT_WAIT, &fx);
  } else if (rec->SoftwareFlag) {
    int result;
    if (o.SingleChannelFlag == 1) {
      result = InitMemImg(&rec->Image, rec->Width, rec->Height, -1, 0, kMemImgByte8, 0, 0, 0);
    } else {
      const bool sixteen = o.ColorBitDepth == 16;
      rec->FormatIndex = sixteen
                             ? (o.AlphaChFlag ? kSurfaceFormatSoft16Alpha : kSurfaceFormatSoft16)
                             : (o.AlphaChFlag ? kSurfaceFormatSoft32Alpha : kSurfaceFormatSoft32);
      const int colorType = sixteen ? kMemImgRgb565 : kMemImgXrgb8888;
      uint32_t key = 0xFFFF;
      if (o.PaletteFlag != 1) {
        const ColorData* fmt = GetMemImgColorData(colorType, o.AlphaChFlag, 0);
        key = PackColorByData(fmt, (rec->ColorKey >> 16) & 0xFF, (rec->ColorKey >> 8) & 0xFF,
                              rec->ColorKey & 0xFF, 255);
      }
      result = InitMemImg(&rec->Image, rec->Width, rec->Height, -1, key, colorType, o.PaletteFlag,
                          o.AlphaChFlag, 0);
    }
    if (result != 0) {
      base::LogAddString("メモリイメージの作成に失敗しました\n");
      TermMemImg(&rec->Image);
      std::memset(&rec->Image, 0, sizeof rec->Image);
      return -1;
    }
  } else {
    rec->FormatIndex = kSurfaceFormatStandard;
    const bool system =
        o.SystemMemFlag == 1 || rec->Width > GetScreenWidth() || GetSoftwareScreenFlag() == 1;
    desc.caps.caps = platform::DDSCAPS_OFFSCREENPLAIN |
                     (system ? platform::DDSCAPS_SYSTEMMEMORY
                             : platform::DDSCAPS_VIDEOMEMORY | platform::DDSCAPS_3DDEVICE);
    DirectDrawSurface* surface = nullptr;
    if (platform::Failed(GetDirectDrawObject()->CreateSurface(desc, &surface))) {
      desc.caps.caps = platform::DDSCAPS_OFFSCREENPLAIN | platform::DDSCAPS_SYSTEMMEMORY;
      if (platform::Failed(GetDirectDrawObject()->CreateSurface(desc, &surface))) {
        return base::LogAddString("標準サーフェスの作成に失敗しました\n");
      }
    }
    rec->Surface = surface;
    platform::SurfaceCaps caps;
    surface->GetCaps(&caps);
    o.SystemMemFlag = (caps.caps & platform::DDSCAPS_VIDEOMEMORY) ? 0 : 1;
    o.DrawValid = 1;
  }
  SetSurfaceDataZBuffer(handle, int(rec->ZBufferFlag));
  return 0;
}

int SetSurfaceDataZBuffer(HandleValue handle, int wanted) {
  SurfaceDataRecord* rec = GetSurfaceDataRecord(handle);
  if (GetDirectDrawObject() == nullptr || rec == nullptr) return -1;
  const bool has = rec->ZSurface != nullptr || IsMemImgValid(&rec->ZImage);
  if (uint32_t(wanted) == rec->ZBufferFlag && (wanted == 1) == has) return 0;
  if (rec->Options.DrawValid == 0) return -1;
  if (wanted == 0) {
    ReleaseZ(rec);
    rec->ZBufferFlag = 0;
    return 0;
  }
  if (rec->SoftwareFlag) {
    if (CreateMemImgOfType(&rec->ZImage, rec->Width, rec->Height) != 0)
      return base::LogAddLine("Ｚバッファの作成に失敗しました");
  } else {
    SurfaceDesc desc;
    desc.flags = platform::DDSD_CAPS | platform::DDSD_WIDTH | platform::DDSD_HEIGHT |
                 platform::DDSD_PIXELFORMAT;
    desc.width = rec->Width;
    desc.height = rec->Height;
    desc.caps.caps = platform::DDSCAPS_ZBUFFER | platform::DDSCAPS_VIDEOMEMORY;
    desc.pixelFormat = *GetZBufferPixelFormat(16);
    DirectDrawSurface* z = nullptr;
    if (rec->Surface == nullptr || platform::Failed(GetDirectDrawObject()->CreateSurface(desc, &z)))
      return base::LogAddLine("Ｚバッファの作成に失敗しました");
    rec->Surface->AddAttachedSurface(z);
    rec->ZSurface = z;
  }
  rec->ZBufferFlag = uint32_t(wanted);
  return 0;
}

int ReleaseSurfaceDataSurface(HandleValue handle) {
  SurfaceDataRecord* rec = GetSurfaceDataRecord(handle);
  if (rec == nullptr) return -1;
  // A store released while locked is unlocked first, so no lock outlives it.
  if (rec->LockDepth > 0 && rec->Surface != nullptr) rec->Surface->Unlock(nullptr);
  rec->LockDepth = 0;
  rec->LockedPointer = nullptr;
  rec->LockedPitch = 0;
  if (rec->SoftwareFlag) {
    TermMemImg(&rec->ZImage);
    TermMemImg(&rec->Image);
  } else {
    ReleaseZ(rec);
    if (rec->Surface != nullptr) {
      // Nothing the device holds or the batch reads may go with it.
      PrepareSurfaceWrite(rec->Surface);
      UnbindD3DSurface(rec->Surface);
      rec->Surface->Release();
      rec->Surface = nullptr;
    }
  }
  return 0;
}

int SetSurfaceDataColorKey(HandleValue handle) {
  SurfaceDataRecord* rec = GetSurfaceDataRecord(handle);
  if (rec == nullptr) return -1;
  if (rec->Surface == nullptr) return 0;
  const int red = (rec->ColorKey >> 16) & 0xFF, green = (rec->ColorKey >> 8) & 0xFF,
            blue = rec->ColorKey & 0xFF;
  const bool texture = rec->Options.TextureFlag == 1;
  uint32_t key;
  if (texture) {
    // Every bit that is not colour is set: the key matches texels whatever their alpha.
    const ColorData* f = GetTextureFormatDataB(int(rec->FormatIndex));
    key = PackColorByData(f, red, green, blue, 255) | f->AM | f->NM;
  } else {
    key = rec->Options.ColorBitDepth == 8 ? 0 : GetScreenColorValue(red, green, blue);
  }
  const platform::ColorKey ck{key, key};
  if (platform::Failed(rec->Surface->SetColorKey(platform::DDCKEY_SRCBLT, &ck)))
    return base::LogAddString(texture ? "テクスチャサーフェスのカラーキーの設定に失敗しました\n"
                                      : "標準サーフェスのカラーキーの設定に失敗しました\n");
  return 0;
}

int RestoreSurfaceData(HandleValue handle) {
  SurfaceDataRecord* rec = GetSurfaceDataRecord(handle);
  if (rec == nullptr) return -1;
  if (rec->Surface == nullptr) return 0;
  if (rec->Surface->IsLost() == platform::DD_OK) return 0;
  rec->Surface->Restore();
  return -1;
}

int LockSurfaceData(HandleValue handle, int32_t* pitch, void** pointer, int writeOnly,
                    const RECT* rect, const ColorData** format) {
  SurfaceDataRecord* rec = GetSurfaceDataRecord(handle);
  if (rec == nullptr) return -1;
  // A texture's pixels are in its own format, whatever the screen's.
  const ColorData* own = rec->SoftwareFlag ? rec->Image.Format
                         : rec->Options.TextureFlag == 1
                             ? GetTextureFormatDataB(int(rec->FormatIndex))
                             : GetScreenColorData();
  if (format != nullptr) *format = own;
  if (rec->SoftwareFlag && !IsMemImgValid(&rec->Image)) return -1;
  if (!rec->SoftwareFlag && rec->Surface == nullptr) return -1;
  const int bytes = own->PixelByte;
  if (rect != nullptr && !RectInside(*rect, rec->Width, rec->Height)) return -1;

  auto give = [&] {
    if (pitch == nullptr || pointer == nullptr) return;
    uint8_t* p = rec->LockedPointer;
    if (rect != nullptr) p += int64_t(rect->left) * bytes + int64_t(rect->top) * rec->LockedPitch;
    *pitch = rec->LockedPitch;
    *pointer = p;
  };
  if (rec->LockDepth > 0) {
    // A nested lock gets the pointer for its own rectangle inside the lock already held.
    give();
    ++rec->LockDepth;
    return -2;
  }
  if (rec->SoftwareFlag) {
    rec->LockedPointer = rec->Image.Pixels;
    rec->LockedPitch = rec->Image.Pitch;
  } else {
    // The whole surface is locked, so that nested locks of other rectangles can be served.
    PrepareSurfaceWrite(rec->Surface);
    SurfaceDesc desc;
    const uint32_t flags =
        platform::DDLOCK_WAIT | (writeOnly == 1 ? platform::DDLOCK_WRITEONLY : 0);
    if (platform::Failed(rec->Surface->Lock(nullptr, &desc, flags)))
      return base::LogAddLine("グラフィックのロックに失敗しました");
    rec->LockedPointer = static_cast<uint8_t*>(desc.surface);
    rec->LockedPitch = desc.pitch;
  }
  give();
  rec->LockDepth = 1;
  return 0;
}

int UnlockSurfaceData(HandleValue handle, const RECT*) {
  SurfaceDataRecord* rec = GetSurfaceDataRecord(handle);
  if (rec == nullptr || rec->LockDepth == 0) return -1;
  if (--rec->LockDepth == 0) {
    if (!rec->SoftwareFlag && rec->Surface != nullptr) rec->Surface->Unlock(nullptr);
    rec->LockedPointer = nullptr;
  }
  return 0;
}

int FillSurfaceDataColor(HandleValue handle, int red, int green, int blue, int alpha) {
  SurfaceDataRecord* rec = GetSurfaceDataRecord(handle);
  if (GetDirectDrawObject() == nullptr || rec == nullptr) return -1;
  red = ClampByte(red);
  green = ClampByte(green);
  blue = ClampByte(blue);
  alpha = ClampByte(alpha);
  if (rec->SoftwareFlag) {
    // The colour is packed into the image's own format; a palettised or missing image has no
    // colour to fill with.
    MEMIMG& img = rec->Image;
    if (!IsMemImgValid(&img) || img.PaletteFlag || img.Format == nullptr) return -1;
    const uint32_t value = PackColorByData(img.Format, red, green, blue, alpha);
    const int bytes = img.Format->PixelByte;
    for (int y = 0; y < img.Height; ++y) {
      uint8_t* row = img.Pixels + int64_t(y) * img.Pitch;
      for (int x = 0; x < img.Width; ++x)
        std::memcpy(row + int64_t(x) * bytes, &value, size_t(bytes));
    }
    img.RunLengthFlag = 0;
    return 0;
  }
  if (rec->Surface == nullptr) return -1;
  PrepareSurfaceWrite(rec->Surface);
  platform::BltFx fx;
  fx.fillColor =
      PackColorByData(rec->Options.TextureFlag == 1 ? GetTextureFormatDataB(int(rec->FormatIndex))
                                                    : GetScreenColorData(),
                      red, green, blue, alpha);
  rec->Surface->Blt(nullptr, nullptr, nullptr, platform::DDBLT_COLORFILL | platform::DDBLT_WAIT,
                    &fx);
  return 0;
}

int ReleaseSurfaceData(HandleValue handle) {
  if (ReleaseSurfaceDataSurface(handle) != 0) return -1;
  SurfaceDataRecord* rec = GetSurfaceDataRecord(handle);
  if (rec->OwnerFlag != nullptr) *rec->OwnerFlag = 1;
  return g_table.Free(handle);
}

int AddSurfaceDataRef(HandleValue handle) {
  SurfaceDataRecord* rec = GetSurfaceDataRecord(handle);
  if (rec == nullptr) return -1;
  return int(++rec->RefCount);
}

int ReleaseSurfaceDataRef(HandleValue handle) {
  SurfaceDataRecord* rec = GetSurfaceDataRecord(handle);
  if (rec == nullptr) return -1;
  if (rec->RefCount > 0) --rec->RefCount;
  return int(rec->RefCount);
}

int ReleaseAllSurfaceData() {
  if (!g_table.IsInitialised()) return 0;
  g_table.ForEach([](HandleValue h, void*) { ReleaseSurfaceData(h); });
  return 0;
}

}  // namespace zq::gfx
