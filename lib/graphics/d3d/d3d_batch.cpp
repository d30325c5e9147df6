#include "graphics/d3d/d3d_batch.h"

#include <vector>

#include "base/log.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/d3d_state.h"

namespace zq::gfx {

using namespace platform;

namespace {

// Room for 4096 quads; a draw queues at most 64 pieces of two triangles.
constexpr size_t kBatchVertices = 6 * 4096;
static_assert(kBatchVertices <= D3DMAXNUMVERTICES && kBatchVertices % 3 == 0);

struct VertexBatch {
  std::vector<D3DTLVERTEX2> vertices;  // room for a batch, made at the first draw
  size_t pending = 0;                  // vertices queued, inside the open scene
  bool inScene = false;
};

VertexBatch g_batch;

bool HaveDevice() {
  return g_D3D.Object != nullptr && g_D3D.Device != nullptr;
}

}  // namespace

int FlushCurrentVertexBatch() {
  if (!HaveDevice()) return -1;
  const size_t n = g_batch.pending;
  if (n == 0) return 0;
  g_batch.pending = 0;
  const HRESULT hr = g_D3D.Device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX2,
                                                 g_batch.vertices.data(), uint32_t(n), 0);
  if (Failed(hr)) return base::LogAddString("ポリゴンの描画に失敗しました\n");
  return 0;
}

int EndCurrentScene() {
  if (!HaveDevice()) return -1;
  if (!g_batch.inScene) return 0;
  const int result = FlushCurrentVertexBatch();
  g_batch.inScene = false;
  g_D3D.Device->EndScene();
  return result;
}

D3DTLVERTEX2* QueueSpace(size_t count) {
  if (!HaveDevice() || count > kBatchVertices) return nullptr;
  if (g_batch.pending + count > kBatchVertices) FlushCurrentVertexBatch();
  if (!g_batch.inScene) {
    if (Failed(g_D3D.Device->BeginScene())) return nullptr;
    g_batch.inScene = true;
    if (g_batch.vertices.empty()) g_batch.vertices.resize(kBatchVertices);
  }
  D3DTLVERTEX2* out = g_batch.vertices.data() + g_batch.pending;
  g_batch.pending += count;
  return out;
}

void PrepareSurfaceWrite(const DirectDrawSurface* surface) {
  if (surface == nullptr || !HaveDevice()) return;
  FlushCurrentVertexBatch();
  if (surface == g_D3DState.RenderTarget) EndCurrentScene();
}

void ReleaseVertexBatch() {
  if (HaveDevice()) EndCurrentScene();
  g_batch.inScene = false;
  g_batch.pending = 0;
  std::vector<D3DTLVERTEX2>().swap(g_batch.vertices);
}

}  // namespace zq::gfx
