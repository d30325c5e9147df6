#include "graphics/graph.h"

#include <gtest/gtest.h>

#include <cstring>

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

// Brings the graphics manager up afresh, as a screen-mode change does.
void RestartManager() {
  ASSERT_EQ(RunScreenModeChange(640, 480, GetScreenColorBitDepth(), 60), 0);
}

const SurfaceDataRecord* StoreOf(HandleValue graph) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr || g->PieceCount < 1) return nullptr;
  const Surface2DRecord* piece = LookupSurface2DRecord(g->Pieces[0]);
  return piece ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
}

uint16_t Pixel16(const MEMIMG& img, int x, int y) {
  uint16_t v;
  std::memcpy(&v, img.Pixels + int64_t(y) * img.Pitch + x * 2, 2);
  return v;
}

TEST(GraphHandles, FirstHandlesAfterManagerStart) {
  LibrarySession lib;
  RestartManager();
  const HandleValue a = CreateEmptyGraph(8, 8);
  const HandleValue b = CreateEmptyGraph(8, 8);
  EXPECT_EQ(a, 0x08000000);
  EXPECT_EQ(b, 0x08010001);
  const GraphRecord* ra = GetGraphRecord(a);
  ASSERT_NE(ra, nullptr);
  EXPECT_EQ(GetGraphRecordHandle(ra), a);
  EXPECT_EQ(ra->Movie, -1);
  EXPECT_EQ(ra->PieceCount, 1);
  EXPECT_EQ(ra->Options.TextureFlag, 0);  // software screen: always the DirectDraw path
  EXPECT_EQ(ra->Options.AlphaTestFlag, 1);
  EXPECT_EQ(ra->Options.DrawValid, 0);
}

TEST(GraphHandles, CheckCounterWrapsAndStaleHandlesAreRefused) {
  LibrarySession lib;
  RestartManager();
  const HandleValue first = CreateEmptyGraph(4, 4);
  ASSERT_EQ(first, 0x08000000);
  ASSERT_EQ(DeleteGraphHandle(first, 0), 0);
  EXPECT_EQ(GetGraphRecord(first), nullptr);
  EXPECT_EQ(DeleteGraphHandle(first, 0), -1);
  EXPECT_EQ(SetGraphLostFlagPtr(first, nullptr), -1);
  // Slot 0 is reused (the table is empty again) with check words 1 .. 2047.
  for (uint32_t check = 1; check < 2048; ++check) {
    const HandleValue h = CreateEmptyGraph(4, 4);
    ASSERT_EQ(h, int32_t(0x08000000u | (check << 16))) << check;
    EXPECT_EQ(GetGraphRecord(first), nullptr);  // same slot, other check word
    ASSERT_EQ(DeleteGraphHandle(h, 0), 0);
  }
  // After 2048 graphs the counter is back at 0: the old handle names the new graph.
  const HandleValue again = CreateEmptyGraph(4, 4);
  EXPECT_EQ(again, first);
  EXPECT_NE(GetGraphRecord(first), nullptr);
  // Handles of other kinds, negative values and slots out of range are refused.
  EXPECT_EQ(GetGraphRecord(-1), nullptr);
  EXPECT_EQ(GetGraphRecord(first | 0x10000000), nullptr);
  EXPECT_EQ(GetGraphRecord(0x08000000 | 0x8000), nullptr);
  EXPECT_EQ(GetGraphRecord(int32_t(0x88000000u)), nullptr);
}

TEST(GraphHandles, HighMarkDropsOnlyWhenTheTopSlotIsFreed) {
  LibrarySession lib;
  RestartManager();
  const HandleValue a = CreateEmptyGraph(4, 4);
  const HandleValue b = CreateEmptyGraph(4, 4);
  const HandleValue c = CreateEmptyGraph(4, 4);
  EXPECT_EQ(GraphTable().HighMark(), 3);
  DeleteGraphHandle(b, 0);
  EXPECT_EQ(GraphTable().HighMark(), 3);
  EXPECT_EQ(GraphTable().Count(), 2);
  // The freed slot below the high mark is not reused while the table has room on top.
  const HandleValue d = CreateEmptyGraph(4, 4);
  EXPECT_EQ(HandleSlot(d), 3);
  DeleteGraphHandle(d, 0);
  DeleteGraphHandle(c, 0);
  EXPECT_EQ(GraphTable().HighMark(), 1);
  DeleteGraphHandle(a, 0);
  EXPECT_EQ(GraphTable().HighMark(), 0);
}

TEST(GraphHandles, SizesOutside1To65535AreRefused) {
  LibrarySession lib;
  const int count = GraphTable().Count();
  const int stores = SurfaceDataTable().Count();
  for (auto [w, h] :
       {std::pair{0, 8}, {8, 0}, {-1, 8}, {8, -5}, {65536, 1}, {1, 65536}, {0x10010, 0x10010}}) {
    EXPECT_EQ(CreateEmptyGraph(w, h), -1) << w << "x" << h;
  }
  // No record is left behind by a refused creation.
  EXPECT_EQ(GraphTable().Count(), count);
  EXPECT_EQ(SurfaceDataTable().Count(), stores);
  const HandleValue wide = CreateEmptyGraph(65535, 1);
  ASSERT_GE(wide, 0);
  EXPECT_EQ(StoreOf(wide)->Width, 65535);
  lib.End();
  EXPECT_NE(lib.Log().find("グラフィックの作成に失敗しました"), std::string::npos);
}

TEST(GraphHandles, ARecordWhoseStoreFailsIsFreed) {
  LibrarySession lib({.bits = 32});
  const int count = GraphTable().Count();
  const int stores = SurfaceDataTable().Count();
  const int pieces = Surface2DTable().Count();
  // 65535 x 65535 x 4 bytes is more than one pixel block may hold: the store is refused.
  EXPECT_EQ(CreateEmptyGraph(65535, 65535), -1);
  EXPECT_EQ(GraphTable().Count(), count);
  EXPECT_EQ(SurfaceDataTable().Count(), stores);
  EXPECT_EQ(Surface2DTable().Count(), pieces);
  lib.End();
  EXPECT_NE(lib.Log().find("メモリイメージの作成に失敗しました"), std::string::npos);
  EXPECT_NE(lib.Log().find("グラフィックの作成に失敗しました"), std::string::npos);
}

TEST(GraphHandles, CreationOptionsShapeTheRecord) {
  LibrarySession lib;
  g_DrawState.CreateDrawValid = 1;
  const HandleValue drawable = CreateGraphWithOptions(8, 8, 1, 1, 0);
  g_DrawState.CreateDrawValid = 0;
  ASSERT_GE(drawable, 0);
  EXPECT_EQ(GetGraphRecord(drawable)->Options.DrawValid, 1);
  EXPECT_EQ(GetGraphRecord(drawable)->Options.AlphaChFlag, 0);
  EXPECT_EQ(GetGraphRecord(drawable)->Options.AlphaTestFlag, 0);
  g_DrawState.CreateColorBitDepth = 32;
  g_DrawState.CreateSystemMem = 1;
  const HandleValue alpha = CreateGraphWithOptions(8, 8, 1, 1, 0);
  ASSERT_GE(alpha, 0);
  const GraphRecord* rec = GetGraphRecord(alpha);
  EXPECT_EQ(rec->Options.TextureFlag, 0);  // asked for Direct3D, but the screen is software
  EXPECT_EQ(rec->Options.AlphaChFlag, 1);
  EXPECT_EQ(rec->Options.ColorBitDepth, 32);
  EXPECT_EQ(rec->Options.SystemMemFlag, 1);
  EXPECT_EQ(rec->Options.SingleChannelFlag, 0);
  EXPECT_EQ(StoreOf(alpha)->FormatIndex, kSurfaceFormatSoft32Alpha);
}

TEST(GraphHandles, LostFlagIsWrittenOnDeletion) {
  LibrarySession lib;
  int32_t lostA = 7, lostB = 7;
  const HandleValue a = CreateEmptyGraph(4, 4);
  const HandleValue b = CreateEmptyGraph(4, 4);
  ASSERT_EQ(SetGraphLostFlagPtr(a, &lostA), 0);
  ASSERT_EQ(SetGraphLostFlagPtr(b, &lostB), 0);
  EXPECT_EQ(lostA, 0);
  EXPECT_EQ(lostB, 0);
  DeleteGraphHandle(a, 0);
  EXPECT_EQ(lostA, 1);
  EXPECT_EQ(lostB, 0);
  DeleteAllGraphHandles(0);
  EXPECT_EQ(lostB, 1);
  EXPECT_EQ(GraphTable().Count(), 0);
}

TEST(GraphHandles, DeletionLogsTheFileName) {
  LibrarySession lib;
  const HandleValue a = CreateEmptyGraph(4, 4);
  std::strcpy(GetGraphRecord(a)->FileName, "pic.png");
  DeleteGraphHandle(a, 1);
  lib.End();
  EXPECT_NE(lib.Log().find("グラフィック pic.png の削除"), std::string::npos);
}

TEST(GraphHandles, DeletingTheDrawScreenSelectsTheFrontBuffer) {
  LibrarySession lib;
  g_DrawState.CreateDrawValid = 1;
  const HandleValue target = CreateEmptyGraph(32, 16);
  g_DrawState.CreateDrawValid = 0;
  ASSERT_GE(target, 0);
  ASSERT_EQ(SelectDrawScreen(target), 0);
  EXPECT_EQ(g_DD.DrawTargetMemImg, &StoreOf(target)->Image);
  EXPECT_EQ(g_DrawState.DrawArea.right, 32);
  DeleteGraphHandle(target, 0);
  EXPECT_EQ(g_DrawState.DrawScreen, kDrawScreenFront);
  EXPECT_EQ(g_DD.DrawTargetMemImg, &g_DD.SoftFrontImage);
  EXPECT_EQ(g_DrawState.DrawArea.right, 640);
}

TEST(DeriveGraph, SharesPixelsAndOutlivesTheParent) {
  LibrarySession lib;
  DeleteFontHandle(GetDefaultFontHandle());  // its draw screen would hold a piece and a store
  const HandleValue parent = CreateEmptyGraph(64, 32);
  ASSERT_GE(parent, 0);
  GraphRecord* p = GetGraphRecord(parent);
  std::strcpy(p->FileName, "sheet.png");
  p->LoadFlags = 0x55;
  ASSERT_EQ(G_DD_FillGraph(p, 0, 0, 0, 255), 0);

  const HandleValue child = DeriveGraphRect(8, 4, 16, 8, parent);
  ASSERT_GE(child, 0);
  const GraphRecord* c = GetGraphRecord(child);
  EXPECT_EQ(c->Width, 16);
  EXPECT_EQ(c->Height, 8);
  EXPECT_EQ(c->SrcX, 8);
  EXPECT_EQ(c->SrcY, 4);
  EXPECT_STREQ(c->FileName, "sheet.png");
  EXPECT_EQ(c->LoadFlags, 0x55u);
  const Surface2DRecord* piece = LookupSurface2DRecord(c->Pieces[0]);
  ASSERT_NE(piece, nullptr);
  EXPECT_EQ(piece->SrcX, 8);
  EXPECT_EQ(piece->SrcY, 4);
  EXPECT_EQ(piece->Width, 16);
  // One store, two references.
  EXPECT_EQ(StoreOf(child), StoreOf(parent));
  EXPECT_EQ(StoreOf(parent)->RefCount, 2u);

  // A grandchild's position adds up through its parent's piece.
  const HandleValue grand = DeriveGraphRect(2, 1, 4, 4, child);
  ASSERT_GE(grand, 0);
  EXPECT_EQ(GetGraphRecord(grand)->SrcX, 10);
  EXPECT_EQ(LookupSurface2DRecord(GetGraphRecord(grand)->Pieces[0])->SrcY, 5);

  // Drawing into the parent shows in the child: write parent pixel (10, 5) by hand.
  const HandleValue storeHandle = piece->SurfaceData;
  MEMIMG& img = GetSurfaceDataRecord(storeHandle)->Image;
  const uint16_t mark = 0x1234;
  std::memcpy(img.Pixels + 5 * img.Pitch + 10 * 2, &mark, 2);
  EXPECT_EQ(Pixel16(img, piece->SrcX + 2, piece->SrcY + 1), mark);

  DeleteGraphHandle(parent, 0);
  EXPECT_EQ(GetGraphRecord(parent), nullptr);
  ASSERT_NE(GetSurfaceDataRecord(storeHandle), nullptr);
  EXPECT_EQ(GetSurfaceDataRecord(storeHandle)->RefCount, 2u);
  EXPECT_EQ(Pixel16(GetSurfaceDataRecord(storeHandle)->Image, 10, 5), mark);
  DeleteGraphHandle(child, 0);
  EXPECT_NE(GetSurfaceDataRecord(storeHandle), nullptr);
  DeleteGraphHandle(grand, 0);
  EXPECT_EQ(GetSurfaceDataRecord(storeHandle), nullptr);
  EXPECT_EQ(SurfaceDataTable().Count(), 0);
  EXPECT_EQ(Surface2DTable().Count(), 0);
}

TEST(DeriveGraph, ClampsAndRefusesRectangles) {
  LibrarySession lib;
  const HandleValue parent = CreateEmptyGraph(64, 32);
  const HandleValue whole = DeriveGraphRect(0, 0, 1000, 1000, parent);
  ASSERT_GE(whole, 0);
  EXPECT_EQ(GetGraphRecord(whole)->Width, 64);
  EXPECT_EQ(GetGraphRecord(whole)->Height, 32);
  const HandleValue corner = DeriveGraphRect(60, 30, 8, 8, parent);
  ASSERT_GE(corner, 0);
  EXPECT_EQ(GetGraphRecord(corner)->Width, 4);
  EXPECT_EQ(GetGraphRecord(corner)->Height, 2);
  const int count = GraphTable().Count();
  EXPECT_EQ(DeriveGraphRect(64, 0, 8, 8, parent), -1);
  EXPECT_EQ(DeriveGraphRect(0, 32, 8, 8, parent), -1);
  EXPECT_EQ(DeriveGraphRect(-1, 0, 8, 8, parent), -1);
  EXPECT_EQ(DeriveGraphRect(0, -4, 8, 8, parent), -1);
  EXPECT_EQ(DeriveGraphRect(100, 100, 8, 8, parent), -1);
  EXPECT_EQ(DeriveGraphRect(0, 0, 0, 8, parent), -1);
  EXPECT_EQ(DeriveGraphRect(0, 0, 8, -3, parent), -1);
  EXPECT_EQ(DeriveGraphRect(0, 0, 8, 8, -1), -1);
  EXPECT_EQ(DeriveGraphRect(0, 0, 8, 8, parent + 0x10000), -1);
  EXPECT_EQ(GraphTable().Count(), count);
}

TEST(GraphTwins, FillAndRestoreOnTheSoftwareScreen) {
  LibrarySession lib({.bits = 32});
  const HandleValue g = CreateEmptyGraph(3, 2);
  GraphRecord* rec = GetGraphRecord(g);
  ASSERT_EQ(G_DD_FillGraph(rec, 0x12, 0x34, 0x56, 255), 0);
  const MEMIMG& img = StoreOf(g)->Image;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      uint32_t v;
      std::memcpy(&v, img.Pixels + y * img.Pitch + x * 4, 4);
      // The unused top byte of an X8R8G8B8 pixel is set with the format's unused bits.
      EXPECT_EQ(v, 0xFF123456u);
    }
  // A MEMIMG store is never lost.
  EXPECT_EQ(G_DD_RestoreGraph(rec), 0);
}

}  // namespace
}  // namespace zq::gfx

namespace zq::gfx {
namespace {

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
