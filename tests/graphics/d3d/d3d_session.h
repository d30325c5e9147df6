// Shared by the Direct3D-path tests: a hardware-screen session with the simulated Direct3D
// present (its enumeration configured between construction and Start), devices with a changed
// description, and the store of a graph's piece read back.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "platform/d3d_test_support.h"
#include "support/library_fixture.h"
#include "support/test_image.h"

namespace zq::test {

inline LibraryOptions Direct3DSession(int bits = 16, bool windowed = true) {
  return {bits, /*softwareScreen=*/false, windowed, /*start=*/false, /*direct3D=*/true};
}

// The default devices, each description changed by `change`.
inline std::vector<platform::d3dtest::DeviceEntry> DevicesWith(
    const std::function<void(platform::D3DDEVICEDESC7&)>& change) {
  std::vector<platform::d3dtest::DeviceEntry> list = platform::d3dtest::DefaultDevices();
  for (auto& d : list) change(d.desc);
  return list;
}

// A Direct3D graph with the options (the creation options set for it and back).
inline gfx::HandleValue Graph(int w, int h, int alpha, int alphaTest, int bits, int drawValid = 0) {
  gfx::SetCreateOptionB(alphaTest);
  gfx::SetCreateColorBitDepth(bits);
  gfx::SetCreateOptionFlag(drawValid);
  const gfx::HandleValue graph = gfx::CreateGraphWithOptions(w, h, 1, alpha, 0);
  gfx::SetCreateOptionFlag(0);
  return graph;
}

inline const gfx::Surface3DRecord* Piece(gfx::HandleValue graph, int index) {
  const gfx::GraphRecord* g = gfx::GetGraphRecord(graph);
  return g != nullptr && index < g->PieceCount ? gfx::LookupSurface3DRecord(g->Pieces[index])
                                               : nullptr;
}

inline gfx::SurfaceDataRecord* PieceStore(gfx::HandleValue graph, int index) {
  const gfx::Surface3DRecord* p = Piece(graph, index);
  return p != nullptr ? gfx::GetSurfaceDataRecord(p->SurfaceData) : nullptr;
}

// The texel of a piece at (x, y) of the piece.
inline uint32_t Texel(gfx::HandleValue graph, int index, int x, int y) {
  const gfx::Surface3DRecord* p = Piece(graph, index);
  return PieceStore(graph, index)->Surface->TestGetPixel(p->StoreX + x, p->StoreY + y);
}

// What the device holds now.
inline platform::DirectDrawSurface* DeviceTarget() {
  platform::DirectDrawSurface* target = nullptr;
  gfx::GetCurrentD3DDevice()->GetRenderTarget(&target);
  target->Release();  // the device still holds it
  return target;
}
inline uint32_t RenderState(platform::D3DRENDERSTATETYPE state) {
  uint32_t value = 0;
  gfx::GetCurrentD3DDevice()->GetRenderState(state, &value);
  return value;
}

}  // namespace zq::test
