#include "graphics/graph.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "graphics/ddraw/dd_graph.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/surface_data.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using test::LibrarySession;

const SurfaceDataRecord* StoreOf(HandleValue graph) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr || g->PieceCount < 1) return nullptr;
  const Surface2DRecord* piece = LookupSurface2DRecord(g->Pieces[0]);
  return piece ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
}

// The table's own rules (slots, check words, high mark) are the handle table's tests; these are
// the graph layer's use of them.
TEST(GraphHandles, FirstHandlesStaleHandlesAndOtherKinds) {
  LibrarySession lib;
  ASSERT_EQ(RunScreenModeChange(640, 480, 16, 60), 0);  // the graphics manager afresh
  const HandleValue a = CreateEmptyGraph(8, 8);
  EXPECT_EQ(std::pair(a, CreateEmptyGraph(8, 8)), std::pair(0x08000000, 0x08010001));
  const GraphRecord* ra = GetGraphRecord(a);
  ASSERT_NE(ra, nullptr);
  EXPECT_EQ(GetGraphRecordHandle(ra), a);
  // Movie, pieces; software screen: always the DirectDraw path; alpha test; not drawable.
  EXPECT_EQ(std::tuple(ra->Movie, ra->PieceCount, int(ra->Options.TextureFlag),
                       int(ra->Options.AlphaTestFlag), int(ra->Options.DrawValid)),
            std::tuple(-1, 1, 0, 1, 0));
  ASSERT_EQ(DeleteGraphHandle(a, 0), 0);
  EXPECT_EQ(GetGraphRecord(a), nullptr);
  EXPECT_EQ(DeleteGraphHandle(a, 0), -1);
  EXPECT_EQ(SetGraphLostFlagPtr(a, nullptr), -1);
  const HandleValue c = CreateEmptyGraph(4, 4);
  EXPECT_EQ(HandleSlot(c), 2);  // not below the high mark
  for (HandleValue bad : {-1, c | 0x10000000, 0x08000000 | 0x8000, int32_t(0x88000000u)})
    EXPECT_EQ(GetGraphRecord(bad), nullptr) << std::hex << bad;
}

TEST(GraphHandles, RefusedSizesAndStoresLeaveNoRecord) {
  LibrarySession lib({.bits = 32});
  auto counts = [] {
    return std::tuple(GraphHandleTable().Count(), SurfaceDataTable().Count(),
                      Surface2DTable().Count());
  };
  const auto before = counts();
  // 65535 x 65535 x 4 bytes is more than one pixel block may hold: the store is refused.
  const int sizes[][2] = {
      {0, 8}, {8, 0}, {-1, 8}, {8, -5}, {65536, 1}, {1, 65536}, {0x10010, 0x10010}, {65535, 65535}};
  for (const auto& [w, h] : sizes) EXPECT_EQ(CreateEmptyGraph(w, h), -1) << w << "x" << h;
  EXPECT_EQ(counts(), before);
  const HandleValue wide = CreateEmptyGraph(65535, 1);
  ASSERT_GE(wide, 0);
  EXPECT_EQ(StoreOf(wide)->Width, 65535);
  lib.End();
  EXPECT_NE(lib.Log().find("メモリイメージの作成に失敗しました"), std::string::npos);
  EXPECT_NE(lib.Log().find("グラフィックの作成に失敗しました"), std::string::npos);
}

TEST(GraphHandles, CreationOptionsShapeTheRecord) {
  LibrarySession lib;
  g_DrawState.CreateDrawValid = 1;
  const HandleValue drawable = CreateGraphWithOptions(8, 8, 1, 1, 0);
  g_DrawState.CreateDrawValid = 0;
  const SurfaceOptions& d = GetGraphRecord(drawable)->Options;
  EXPECT_EQ(std::tuple(int(d.DrawValid), int(d.AlphaChFlag), int(d.AlphaTestFlag)),
            std::tuple(1, 0, 0));
  g_DrawState.CreateColorBitDepth = 32;
  g_DrawState.CreateSystemMem = 1;
  const HandleValue alpha = CreateGraphWithOptions(8, 8, 1, 1, 0);
  const SurfaceOptions& o = GetGraphRecord(alpha)->Options;
  // Asked for Direct3D, but the screen is software.
  EXPECT_EQ(std::tuple(int(o.TextureFlag), int(o.AlphaChFlag), int(o.ColorBitDepth),
                       int(o.SystemMemFlag), int(o.SingleChannelFlag)),
            std::tuple(0, 1, 32, 1, 0));
  EXPECT_EQ(StoreOf(alpha)->FormatIndex, kSurfaceFormatSoft32Alpha);
}

TEST(GraphHandles, DeletionWritesLostFlagsLogsNamesAndLeavesTheDrawScreen) {
  LibrarySession lib;
  int32_t lostA = 7, lostB = 7;
  const HandleValue a = CreateEmptyGraph(4, 4);
  const HandleValue b = CreateEmptyGraph(4, 4);
  ASSERT_EQ(SetGraphLostFlagPtr(a, &lostA), 0);
  ASSERT_EQ(SetGraphLostFlagPtr(b, &lostB), 0);
  EXPECT_EQ(std::pair(lostA, lostB), std::pair(0, 0));
  std::strcpy(GetGraphRecord(a)->FileName, "pic.png");
  DeleteGraphHandle(a, 1);
  EXPECT_EQ(std::pair(lostA, lostB), std::pair(1, 0));
  EXPECT_NE(lib.Log().find("グラフィック pic.png の削除"), std::string::npos);
  DeleteAllGraphHandles(0);
  EXPECT_EQ(lostB, 1);
  EXPECT_EQ(GraphHandleTable().Count(), 0);

  g_DrawState.CreateDrawValid = 1;
  const HandleValue target = CreateEmptyGraph(32, 16);
  g_DrawState.CreateDrawValid = 0;
  ASSERT_EQ(SelectDrawScreen(target), 0);
  EXPECT_EQ(g_DD.DrawTargetMemImg, &StoreOf(target)->Image);
  EXPECT_EQ(g_DrawState.DrawArea.right, 32);
  DeleteGraphHandle(target, 0);
  EXPECT_EQ(g_DrawState.DrawScreen, kDrawScreenFront);
  EXPECT_EQ(g_DD.DrawTargetMemImg, &g_DD.SoftFrontImage);
  EXPECT_EQ(g_DrawState.DrawArea.right, 640);
}

TEST(DeriveGraph, SharesPixelsAndOutlivesTheParent) {
  LibrarySession lib({.bits = 32});
  DeleteFontHandle(GetDefaultFontHandle());  // its draw screen would hold a piece and a store
  const HandleValue parent = CreateEmptyGraph(64, 32);
  GraphRecord* p = GetGraphRecord(parent);
  std::strcpy(p->FileName, "sheet.png");
  p->LoadFlags = 0x55;
  // The unused top byte of an X8R8G8B8 pixel is set with the format's unused bits.
  ASSERT_EQ(G_DD_FillGraph(p, 0x12, 0x34, 0x56, 255), 0);
  const MEMIMG& img = StoreOf(parent)->Image;
  for (int i = 0; i < 64 * 32; ++i) {
    uint32_t v;
    std::memcpy(&v, img.Pixels + i / 64 * img.Pitch + i % 64 * 4, 4);
    ASSERT_EQ(v, 0xFF123456u) << i;
  }
  EXPECT_EQ(G_DD_RestoreGraph(p), 0);  // a MEMIMG store is never lost

  const HandleValue child = DeriveGraphRect(8, 4, 16, 8, parent);
  const GraphRecord* c = GetGraphRecord(child);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(std::tuple(c->Width, c->Height, c->SrcX, c->SrcY, c->LoadFlags),
            std::tuple(16, 8, 8, 4, 0x55u));
  EXPECT_STREQ(c->FileName, "sheet.png");
  const Surface2DRecord* piece = LookupSurface2DRecord(c->Pieces[0]);
  EXPECT_EQ(std::tuple(piece->SrcX, piece->SrcY, piece->Width), std::tuple(8, 4, 16));
  // One store, two references.
  EXPECT_EQ(StoreOf(child), StoreOf(parent));
  EXPECT_EQ(StoreOf(parent)->RefCount, 2u);
  // A grandchild's position adds up through its parent's piece.
  const HandleValue grand = DeriveGraphRect(2, 1, 4, 4, child);
  EXPECT_EQ(GetGraphRecord(grand)->SrcX, 10);
  EXPECT_EQ(LookupSurface2DRecord(GetGraphRecord(grand)->Pieces[0])->SrcY, 5);

  const HandleValue storeHandle = piece->SurfaceData;
  DeleteGraphHandle(parent, 0);
  EXPECT_EQ(GetGraphRecord(parent), nullptr);
  ASSERT_NE(GetSurfaceDataRecord(storeHandle), nullptr);
  EXPECT_EQ(GetSurfaceDataRecord(storeHandle)->RefCount, 2u);
  DeleteGraphHandle(child, 0);
  EXPECT_NE(GetSurfaceDataRecord(storeHandle), nullptr);
  DeleteGraphHandle(grand, 0);
  EXPECT_EQ(GetSurfaceDataRecord(storeHandle), nullptr);
  EXPECT_EQ(std::pair(SurfaceDataTable().Count(), Surface2DTable().Count()), std::pair(0, 0));
}

TEST(DeriveGraph, ClampsAndRefusesRectangles) {
  LibrarySession lib;
  const HandleValue parent = CreateEmptyGraph(64, 32);
  const HandleValue whole = DeriveGraphRect(0, 0, 1000, 1000, parent);
  EXPECT_EQ(std::pair(GetGraphRecord(whole)->Width, GetGraphRecord(whole)->Height),
            std::pair(64, 32));
  const HandleValue corner = DeriveGraphRect(60, 30, 8, 8, parent);
  EXPECT_EQ(std::pair(GetGraphRecord(corner)->Width, GetGraphRecord(corner)->Height),
            std::pair(4, 2));
  const int count = GraphHandleTable().Count();
  const int bad[][5] = {{64, 0, 8, 8, 0}, {0, 32, 8, 8, 0},    {-1, 0, 8, 8, 0},
                        {0, -4, 8, 8, 0}, {100, 100, 8, 8, 0}, {0, 0, 0, 8, 0},
                        {0, 0, 8, -3, 0}, {0, 0, 8, 8, 1},     {0, 0, 8, 8, 2}};
  for (const auto& [x, y, w, h, which] : bad)
    EXPECT_EQ(DeriveGraphRect(x, y, w, h,
                              which == 0   ? parent
                              : which == 1 ? -1
                                           : parent + 0x10000),
              -1)
        << x << "," << y << " " << w << "x" << h << " " << which;
  EXPECT_EQ(GraphHandleTable().Count(), count);
}

TEST(GraphHandlesDeathTest, AFullTableEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "fast");
  test::LibrarySession lib;
  RunScreenModeChange(640, 480, 16, 60);
  DeleteFontHandle(GetDefaultFontHandle());  // its draw screen would hold a piece and a store
  EXPECT_EXIT(
      {
        for (int i = 0; i <= kGraphHandleSlots; ++i) CreateEmptyGraph(1, 1);
      },
      ::testing::ExitedWithCode(255), "");
  // The child wrote its last lines to the same log before it ended the library.
  const std::string log = lib.Log();
  EXPECT_NE(log.find("グラフィックの数が許容量を越えました終了します"), std::string::npos);
  EXPECT_NE(log.find("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました"), std::string::npos);
}

}  // namespace
}  // namespace zq::gfx
