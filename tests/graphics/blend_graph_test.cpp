#include "graphics/ddraw/blend_graph.h"

#include <gtest/gtest.h>

#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

TEST(BlendGraph, ImageIsTheWholeStoreOfTheFirstPiece) {
  test::LibrarySession lib({.bits = 32});
  const HandleValue graph = CreateEmptyGraph(20, 10);
  ASSERT_GE(graph, 0);
  const HandleValue part = DeriveGraphRect(4, 2, 8, 4, graph);
  ASSERT_GE(part, 0);

  g_DrawState.BlendGraph = -1;
  EXPECT_EQ(GetBlendGraphMemImg(), nullptr);
  g_DrawState.BlendGraph = part;
  MEMIMG* image = GetBlendGraphMemImg();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Width, 20);  // the parent's store, not a view of the derived piece
  EXPECT_EQ(image->Height, 10);

  DeleteGraphHandle(part, 0);
  EXPECT_EQ(GetBlendGraphMemImg(), nullptr);  // stale handle
  g_DrawState.BlendGraph = 0x12345678;
  EXPECT_EQ(GetBlendGraphMemImg(), nullptr);
  g_DrawState.BlendGraph = -1;
}

TEST(BlendGraph, TableFollowsTheBorderParameters) {
  EXPECT_EQ(G_DD_SetBlendGraph(nullptr, 0, 255), 0);
  // r = 256, k = 256 - (256 + 256) * 0 / 256 = 256: every entry clamps to 255.
  EXPECT_EQ(BlendGraphTable[0], 255);
  EXPECT_EQ(G_DD_SetBlendGraph(nullptr, 255, 255), 0);
  // k = 256 - 512 * 255 / 256 = 256 - 510 = -254; entry i = i - 254, clamped.
  EXPECT_EQ(BlendGraphTable[0], 0);
  EXPECT_EQ(BlendGraphTable[254], 0);
  EXPECT_EQ(BlendGraphTable[255], 1);
}

}  // namespace
}  // namespace zq::gfx
