#include "graphics/texture_format.h"

#include <cstdio>

#include "base/log.h"
#include "graphics/ddraw/display.h"

namespace zq::gfx {

using platform::D3DDEVICEDESC7;
using platform::HRESULT;
using platform::PixelFormat;

namespace {

TextureFormatTable g_table{};
const TextureFormatEntry kEmptyEntry{};
PixelFormat g_zBufferFormat{};
D3DDEVICEDESC7 g_deviceDesc{};

// Flags of formats that are neither textures nor Z buffers the library can use.
constexpr uint32_t kExcludedFlags = platform::PF_LUMINANCE | platform::PF_BUMPLUMINANCE |
                                    platform::PF_BUMPDUDV | platform::PF_ALPHA;

bool Excluded(const PixelFormat& f) {
  return (f.flags & kExcludedFlags) != 0 || f.fourCC != 0;
}

const TextureFormatEntry& Entry(int index) {
  return index >= 0 && index < kTextureFormatCount ? g_table.Entries[index] : kEmptyEntry;
}

bool IsEmpty(int index) {
  return g_table.Entries[index].Data.ColorBitDepth == 0;
}

void Store(int index, const PixelFormat& format, const ColorData& data) {
  g_table.Entries[index].Format = format;
  g_table.Entries[index].Data = data;
}

}  // namespace

int GetTextureFormatIndex(const SurfaceOptions* request) {
  const int d = request->ColorBitDepth == 16 ? 0 : 1;
  if (request->DrawValid != 0)
    return (request->AlphaChFlag == 1 || request->AlphaTestFlag == 1) ? 8 : 6 + d;
  if (request->AlphaChFlag != 0) return 2 + d;
  if (request->AlphaTestFlag != 0) return 4 + d;
  return d;
}

const ColorData* GetTextureFormatByRequest(const SurfaceOptions* request) {
  return GetTextureFormatDataB(GetTextureFormatIndex(request));
}

const ColorData* SelectTextureFormat(int alphaChannel, int alphaTest, int bits32, int drawValid) {
  SurfaceOptions request{};
  request.AlphaChFlag = uint8_t(alphaChannel);
  request.AlphaTestFlag = uint8_t(alphaTest);
  request.DrawValid = uint8_t(drawValid);
  request.ColorBitDepth = bits32 != 0 ? 32 : 16;
  return GetTextureFormatByRequest(&request);
}

const PixelFormat* GetTextureFormatData(int index) {
  return &Entry(index).Format;
}

const ColorData* GetTextureFormatDataB(int index) {
  return &Entry(index).Data;
}

const PixelFormat* GetZBufferPixelFormat(int) {
  return &g_zBufferFormat;
}

const D3DDEVICEDESC7* GetKeptDeviceDesc() {
  return &g_deviceDesc;
}

HRESULT EnumDeviceCallback(const char*, const char*, D3DDEVICEDESC7* desc, void* context) {
  if (desc == nullptr || context == nullptr) return platform::D3DENUMRET_OK;
  const bool tnl = desc->deviceGUID == platform::IID_IDirect3DTnLHalDevice;
  if (!tnl && desc->deviceGUID != platform::IID_IDirect3DHALDevice) return platform::D3DENUMRET_OK;
  const int depth = GetScreenColorBitDepth2();
  const uint32_t wanted = depth == 16 ? platform::DDBD_16 : depth == 32 ? platform::DDBD_32 : 0;
  if (wanted == 0 || (desc->dwDeviceRenderBitDepth & wanted) == 0) return platform::D3DENUMRET_OK;
  *static_cast<int*>(context) = 1;
  g_deviceDesc = *desc;
  return tnl ? platform::D3DENUMRET_CANCEL : platform::D3DENUMRET_OK;
}

HRESULT EnumZBufferFormatCallback(PixelFormat* format, void* context) {
  if (format == nullptr) return platform::D3DENUMRET_CANCEL;
  if (Excluded(*format) || context == nullptr) return platform::D3DENUMRET_OK;
  if (format->flags != platform::PF_ZBUFFER || format->rgbBitCount != 16)
    return platform::D3DENUMRET_OK;
  g_zBufferFormat = *format;
  *static_cast<int*>(context) = 1;
  return platform::D3DENUMRET_CANCEL;
}

HRESULT EnumTextureFormatCallback(PixelFormat* format, void* context) {
  if (format == nullptr || context == nullptr || Excluded(*format)) return platform::D3DENUMRET_OK;
  ColorData data{};
  ColorDataFromPixelFormat(format, &data);
  if (data.AW != 0) {
    switch (data.AM) {
      case 0xF000:
        Store(2, *format, data);
        break;
      case 0xFF000000:
        Store(3, *format, data);
        Store(5, *format, data);
        break;
      case 0x8000:
        Store(4, *format, data);
        break;
      default:
        break;
    }
    return platform::D3DENUMRET_OK;
  }
  // The first format of each depth stays, unless one equal to the screen's follows.
  const int index = data.ColorBitDepth == 16 ? 0 : data.ColorBitDepth == 32 ? 1 : -1;
  if (index < 0) return platform::D3DENUMRET_OK;
  if (IsEmpty(index) || IsSameColorData(&data, GetScreenColorData()) == 1) {
    Store(index, *format, data);
    if (index == 0) *static_cast<int*>(context) = 1;
  }
  return platform::D3DENUMRET_OK;
}

void ClearTextureFormatTable() {
  g_table = TextureFormatTable{};
}

void FillTextureFormatTable() {
  // In table order, so a later fill copies the result of an earlier one.
  static constexpr int kFills[][2] = {{1, 0}, {3, 2}, {4, 2}, {5, 3}, {6, 0}, {7, 1}, {8, 3}};
  for (const auto& [to, from] : kFills)
    if (IsEmpty(to)) g_table.Entries[to] = g_table.Entries[from];
}

void LogTextureFormatTable() {
  char line[160];
  base::LogAddString("テクスチャピクセルフォーマット\n");
  base::LogAddString("\t通常グラフィック用\n");
  for (int i = 0; i < 2; ++i) {
    const ColorData& c = g_table.Entries[i].Data;
    std::snprintf(line, sizeof line, "\t\t BIT:%u  RED:%u  GREEN:%u  BLUE:%u ",
                  unsigned(c.ColorBitDepth), unsigned(c.RW), unsigned(c.GW), unsigned(c.BW));
    base::LogAddString(line);
    std::snprintf(line, sizeof line, "\t\t RED:%06x GREEN:%06x BLUE:%06x \n", c.RM, c.GM, c.BM);
    base::LogAddString(line);
  }
  base::LogAddString("\tアルファチャンネル付きグラフィック用\n");
  for (int i = 2; i < 4; ++i) {
    const ColorData& c = g_table.Entries[i].Data;
    std::snprintf(line, sizeof line, "\t\t BIT:%u  ALPHA:%u  RED:%u  GREEN:%u  BLUE:%u ",
                  unsigned(c.ColorBitDepth), unsigned(c.AW), unsigned(c.RW), unsigned(c.GW),
                  unsigned(c.BW));
    base::LogAddString(line);
    std::snprintf(line, sizeof line, "\t\t ALPHA:%08x RED:%08x GREEN:%08x BLUE:%08x \n", c.AM, c.RM,
                  c.GM, c.BM);
    base::LogAddString(line);
  }
}

}  // namespace zq::gfx
