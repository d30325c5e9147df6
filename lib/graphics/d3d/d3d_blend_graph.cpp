// The blend graph on the Direct3D path: its blend amounts as the alpha of a texture that stage 1
// multiplies into the drawn graph's alpha.
#include <cstring>

#include "base/log.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_draw.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/texture_format.h"
#include "platform/pixel_channels.h"
#include "softrender/soft_tables.h"

namespace zq::gfx {

using namespace platform;

namespace {

// Blend textures take the 32-bit alpha-channel entry's format.
constexpr int kBlendTextureFormat = 3;

struct BlendTexture {
  HandleValue graph = -1;  // the selected blend graph it is made from, -1 for none
  int borderParam = 0, borderRange = 0;
  DirectDrawSurface* texture = nullptr;  // null until made (again)
  int width = 0, height = 0;             // the texture's size
};

BlendTexture g_blend;

void ReleaseTexture() {
  if (g_blend.texture == nullptr) return;
  UnbindD3DSurface(g_blend.texture);
  g_blend.texture->Release();
  g_blend.texture = nullptr;
}

// The texture's pixels: alpha = the blend amount of the graph's pixel, 0 beyond the graph.
bool WriteAmounts(const GraphRecord& graph, const SurfaceDataRecord& store,
                  const Surface3DRecord& piece, const uint8_t (&table)[256]) {
  const ColorData& to = *GetTextureFormatDataB(kBlendTextureFormat);
  uint32_t packed[256];
  for (int i = 0; i < 256; ++i) packed[i] = PackColorByData(&to, 0, 0, 0, table[i]);
  int32_t pitch = 0;
  void* pixels = nullptr;
  const ColorData* from = nullptr;
  const int locked = LockSurfaceData(piece.SurfaceData, &pitch, &pixels, 0, nullptr, &from);
  if (locked != 0 && locked != -2) return false;
  SurfaceDesc out;
  if (Failed(g_blend.texture->Lock(nullptr, &out, DDLOCK_WAIT | DDLOCK_WRITEONLY))) {
    UnlockSurfaceData(piece.SurfaceData, nullptr);
    return false;
  }
  const Widen8 red(ChannelFromMask(from->RM));
  const int inBytes = from->PixelByte, outBytes = to.PixelByte;
  for (uint32_t y = 0; y < out.height; ++y) {
    uint8_t* row = static_cast<uint8_t*>(out.surface) + int64_t(y) * out.pitch;
    std::memset(row, 0, size_t(out.width) * outBytes);
    if (y >= uint32_t(graph.Height)) continue;
    const uint8_t* in = static_cast<const uint8_t*>(pixels) + int64_t(piece.StoreY + y) * pitch +
                        int64_t(piece.StoreX) * inBytes;
    for (int x = 0; x < graph.Width; ++x) {
      uint32_t raw = 0;
      std::memcpy(&raw, in + int64_t(x) * inBytes, size_t(inBytes));
      std::memcpy(row + int64_t(x) * outBytes, &packed[red(raw)], size_t(outBytes));
    }
  }
  g_blend.texture->Unlock(nullptr);
  UnlockSurfaceData(piece.SurfaceData, nullptr);
  return true;
}

// The texture for the held graph and parameters. False when it cannot be made.
bool MakeTexture() {
  const GraphRecord* graph = GetGraphRecord(g_blend.graph);
  const Surface3DRecord* piece = graph != nullptr && graph->PieceCount == 1
                                     ? LookupSurface3DRecord(graph->Pieces[0])
                                     : nullptr;
  const SurfaceDataRecord* store = piece ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
  if (store == nullptr || store->Surface == nullptr || g_D3D.Device == nullptr ||
      GetTextureFormatDataB(kBlendTextureFormat)->ColorBitDepth == 0)
    return false;
  TextureSizeFor(graph->Width, graph->Height, &g_blend.width, &g_blend.height);
  SurfaceDesc desc;
  desc.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  desc.width = uint32_t(g_blend.width);
  desc.height = uint32_t(g_blend.height);
  desc.pixelFormat = *GetTextureFormatData(kBlendTextureFormat);
  desc.caps.caps = DDSCAPS_TEXTURE;
  desc.caps.caps2 = DDSCAPS2_TEXTUREMANAGE;
  if (Failed(GetDirectDrawObject()->CreateSurface(desc, &g_blend.texture))) {
    g_blend.texture = nullptr;
    base::LogAddString("ブレンドテクスチャの作成に失敗しました\n");
    return false;
  }
  uint8_t table[256];
  soft::BuildBlendGraphTable(g_blend.borderParam, g_blend.borderRange, table);
  if (!WriteAmounts(*graph, *store, *piece, table)) {
    ReleaseTexture();
    return false;
  }
  return true;
}

}  // namespace

int G_D3D_SetBlendGraph(const GraphRecord* graph, int borderParam, int borderRange) {
  if (g_D3D.Object == nullptr || g_D3D.Device == nullptr) return -1;
  FlushCurrentVertexBatch();
  ReleaseTexture();
  g_blend = BlendTexture{};
  if (graph == nullptr) return 0;
  // One texture of the Direct3D path, whose pixels stage 1 can follow, on a device with a
  // second texture stage.
  const D3DDEVICEDESC7& d = *GetKeptDeviceDesc();
  if (d.wMaxTextureBlendStages < 2 || d.wMaxSimultaneousTextures < 2 ||
      graph->Options.TextureFlag != 1 || graph->PieceCount != 1 ||
      LookupSurface3DRecord(graph->Pieces[0]) == nullptr)
    return -1;
  g_blend.graph = graph->Handle;
  g_blend.borderParam = borderParam;
  g_blend.borderRange = borderRange;
  if (MakeTexture()) return 0;
  g_blend.graph = -1;
  return -1;
}

DirectDrawSurface* GetD3DBlendTexture(int* width, int* height) {
  if (g_blend.graph == -1 || g_blend.graph != g_DrawState.BlendGraph) return nullptr;
  if (g_blend.texture == nullptr && !MakeTexture()) return nullptr;
  *width = g_blend.width;
  *height = g_blend.height;
  return g_blend.texture;
}

void ReleaseD3DBlendTexture() {
  ReleaseTexture();
}

void ForgetD3DBlendGraph(int32_t graphHandle) {
  if (graphHandle != g_blend.graph) return;
  ReleaseTexture();
  g_blend = BlendTexture{};
}

}  // namespace zq::gfx
