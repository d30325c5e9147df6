#include "graphics/surface_data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "graphics/ddraw/dd_graph.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/font.h"
#include "graphics/graph.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using test::LibrarySession;

SurfaceOptions Options(int bits, int alpha, int palette = 0, int single = 0, int texture = 0) {
  SurfaceOptions o{};
  o.TextureFlag = uint8_t(texture);
  o.AlphaChFlag = uint8_t(alpha);
  o.AlphaTestFlag = 1;
  o.ColorBitDepth = uint8_t(bits);
  o.SingleChannelFlag = uint8_t(single);
  o.PaletteFlag = uint8_t(palette);
  return o;
}

TEST(SurfaceData, SoftwareStoresAreNormalisedAndIndexedByFormat) {
  LibrarySession lib;
  struct Case {
    int bits, alpha, palette;
    uint32_t index;
    int colorType;
    uint32_t key;  // 0xFF00FF packed by hand into the image's pixel, cut to its width
  };
  const Case cases[] = {
      {16, 0, 0, 10, kMemImgRgb565, 0xF81F},
      {16, 1, 0, 11, kMemImgRgb565, 0xF81F},        // keyed on the colour word
      {32, 0, 0, 12, kMemImgXrgb8888, 0xFFFF00FF},  // the unused top byte is set
      {32, 1, 0, 13, kMemImgXrgb8888, 0xFFFF00FF},  // alpha 255
      {16, 0, 1, 10, kMemImgRgb565, 0xFF},          // palettised: 0xFFFF cut to one index byte
  };
  for (const Case& c : cases) {
    const SurfaceOptions o = Options(c.bits, c.alpha, c.palette);
    const HandleValue h = AddSurfaceData(1, 10, 6, 0xFF00FF, &o);
    ASSERT_GE(h, 0);
    const SurfaceDataRecord* r = GetSurfaceDataRecord(h);
    EXPECT_EQ(HandleKindBits(HandleKind::kSurfaceData), h & kHandleKindMask);
    // SoftwareFlag, FormatIndex, RefCount, DrawValid, AlphaTestFlag, SystemMemFlag, ColorType,
    // AlphaFlag, PaletteFlag, TransColor.
    EXPECT_EQ(
        std::tuple(r->SoftwareFlag, r->FormatIndex, r->RefCount, int(r->Options.DrawValid),
                   int(r->Options.AlphaTestFlag), int(r->Options.SystemMemFlag), r->Image.ColorType,
                   r->Image.AlphaFlag, r->Image.PaletteFlag, r->Image.TransColor),
        std::tuple(1u, c.index, 1u, 1, 0, c.alpha, c.colorType, c.alpha, c.palette, c.key))
        << c.bits << " " << c.alpha << " " << c.palette;
    EXPECT_EQ(r->Surface, nullptr);
    EXPECT_EQ(ReleaseSurfaceData(h), 0);
  }
  // Another key: 0x123456 gives 5:6:5 fields 2, 13, 10.
  const SurfaceOptions o = Options(16, 0);
  const HandleValue h = AddSurfaceData(1, 4, 4, 0x123456, &o);
  EXPECT_EQ(GetSurfaceDataRecord(h)->Image.TransColor, 0x11AAu);
  // A single-channel store is one byte a pixel.
  const SurfaceOptions single = Options(8, 0, 0, 1);
  const HandleValue s = AddSurfaceData(1, 4, 4, 0, &single);
  ASSERT_GE(s, 0);
  const SurfaceDataRecord* one = GetSurfaceDataRecord(s);
  EXPECT_EQ(std::tuple(one->Image.ColorType, one->FormatIndex, int(one->Options.SystemMemFlag)),
            std::tuple(int(kMemImgByte8), 0u, 1));
}

TEST(SurfaceData, TexturesAndBadSizesFailWithoutARecord) {
  LibrarySession lib;
  const int count = SurfaceDataTable().Count();
  const SurfaceOptions tex = Options(16, 0, 0, 0, 1);
  EXPECT_EQ(AddSurfaceData(1, 8, 8, 0, &tex), -1);
  const SurfaceOptions o = Options(16, 0);
  EXPECT_EQ(AddSurfaceData(1, 0, 8, 0, &o), -1);
  EXPECT_EQ(AddSurfaceData(1, 65536, 8, 0, &o), -1);
  EXPECT_EQ(AddSurfaceData(1, 8, 8, 0, nullptr), -1);
  EXPECT_EQ(SurfaceDataTable().Count(), count);
  lib.End();
  EXPECT_NE(lib.Log().find("テクスチャサーフェスの作成に失敗しました"), std::string::npos);
  EXPECT_NE(lib.Log().find("DrawValid:0  AlphaChFlag0  AlphaTestFlag:1  ColorBitDepth:16"),
            std::string::npos);
  EXPECT_NE(lib.Log().find("メモリイメージの作成に失敗しました"), std::string::npos);
}

TEST(SurfaceData, BadSizesOfStandardSurfacesAreRefused) {
  LibrarySession lib({.softwareScreen = false});
  const int count = SurfaceDataTable().Count();
  const SurfaceOptions o = Options(32, 0);
  EXPECT_EQ(AddSurfaceData(1, 70000, 8, 0, &o), -1);
  EXPECT_EQ(AddSurfaceData(1, 8, -1, 0, &o), -1);
  EXPECT_EQ(SurfaceDataTable().Count(), count);
  lib.End();
  EXPECT_NE(lib.Log().find("標準サーフェスの作成に失敗しました"), std::string::npos);
}

TEST(SurfaceData, ReferenceCountsAndStaleHandles) {
  LibrarySession lib;
  const SurfaceOptions o = Options(16, 0);
  const HandleValue h = AddSurfaceData(1, 4, 4, 0, &o);
  for (const int count : {2, 3}) EXPECT_EQ(AddSurfaceDataRef(h), count);
  for (const int count : {2, 1, 0}) EXPECT_EQ(ReleaseSurfaceDataRef(h), count);
  EXPECT_NE(GetSurfaceDataRecord(h),
            nullptr);  // references never free by themselves
  int32_t owner = 0;
  GetSurfaceDataRecord(h)->OwnerFlag = &owner;
  EXPECT_EQ(ReleaseSurfaceData(h), 0);
  EXPECT_EQ(owner, 1);
  // The stale handle is refused by every operation.
  int32_t pitch;
  void* p;
  EXPECT_EQ(GetSurfaceDataRecord(h), nullptr);
  EXPECT_EQ(std::vector<int>({AddSurfaceDataRef(h), ReleaseSurfaceDataRef(h), ReleaseSurfaceData(h),
                              CreateSurfaceDataSurface(h), ReleaseSurfaceDataSurface(h),
                              SetSurfaceDataColorKey(h), RestoreSurfaceData(h),
                              LockSurfaceData(h, &pitch, &p, 0, nullptr, nullptr),
                              UnlockSurfaceData(h, nullptr), FillSurfaceDataColor(h, 1, 2, 3, 4)}),
            std::vector<int>(10, -1));
  // A fresh record in the same slot has another check word.
  const HandleValue again = AddSurfaceData(1, 4, 4, 0, &o);
  EXPECT_EQ(HandleSlot(again), HandleSlot(h));
  EXPECT_NE(again, h);
  EXPECT_EQ(GetSurfaceDataRecord(h), nullptr);
}

TEST(SurfaceData, NestedLocksOnASoftwareStore) {
  LibrarySession lib;
  const SurfaceOptions o = Options(16, 0);
  const HandleValue h = AddSurfaceData(1, 20, 10, 0, &o);
  const MEMIMG& img = GetSurfaceDataRecord(h)->Image;
  int32_t pitch = 0;
  void* p = nullptr;
  const ColorData* format = nullptr;
  EXPECT_EQ(LockSurfaceData(h, &pitch, &p, 0, nullptr, &format), 0);
  EXPECT_EQ(p, img.Pixels);
  EXPECT_EQ(pitch, img.Pitch);
  EXPECT_EQ(format, img.Format);
  // A nested lock of another rectangle gets that rectangle's first pixel.
  const platform::RECT r{2, 3, 6, 8};
  EXPECT_EQ(LockSurfaceData(h, &pitch, &p, 0, &r, nullptr), -2);
  EXPECT_EQ(p, img.Pixels + 3 * img.Pitch + 2 * 2);
  EXPECT_EQ(GetSurfaceDataRecord(h)->LockDepth, 2u);
  EXPECT_EQ(UnlockSurfaceData(h, nullptr), 0);
  EXPECT_EQ(UnlockSurfaceData(h, nullptr), 0);
  EXPECT_EQ(UnlockSurfaceData(h, nullptr), -1);
  // Rectangles outside the store or reversed are refused; the store stays unlocked.
  for (platform::RECT bad :
       {platform::RECT{0, 0, 21, 10}, {0, 0, 20, 11}, {-1, 0, 4, 4}, {5, 0, 4, 4}, {0, 6, 4, 5}}) {
    EXPECT_EQ(LockSurfaceData(h, &pitch, &p, 0, &bad, nullptr), -1);
    EXPECT_EQ(GetSurfaceDataRecord(h)->LockDepth, 0u);
  }
  const platform::RECT corner{19, 9, 20, 10};
  EXPECT_EQ(LockSurfaceData(h, &pitch, &p, 0, &corner, nullptr), 0);
  EXPECT_EQ(p, img.Pixels + 9 * img.Pitch + 19 * 2);
  EXPECT_EQ(UnlockSurfaceData(h, nullptr), 0);
}

TEST(SurfaceData, FillingASoftwareStorePacksIntoItsOwnFormat) {
  LibrarySession lib;
  auto bytesOf = [](const SurfaceOptions& o, int r, int g, int b, int a) {
    const HandleValue h = AddSurfaceData(1, 2, 2, 0, &o);
    EXPECT_EQ(FillSurfaceDataColor(h, r, g, b, a), 0);
    const MEMIMG& img = GetSurfaceDataRecord(h)->Image;
    std::vector<uint8_t> out(img.Pixels + img.Pitch,
                             img.Pixels + img.Pitch + img.Format->PixelByte);
    ReleaseSurfaceData(h);
    return out;
  };
  EXPECT_EQ(bytesOf(Options(16, 0), 255, 0, 0, 255), (std::vector<uint8_t>{0x00, 0xF8}));
  EXPECT_EQ(bytesOf(Options(16, 0), 8, 4, 8, 255), (std::vector<uint8_t>{0x21, 0x08}));
  // Colour word, then the alpha byte; the spare byte gets the format's uncovered bits.
  EXPECT_EQ(bytesOf(Options(16, 1), 0, 255, 0, 0x80),
            (std::vector<uint8_t>{0xE0, 0x07, 0x80, 0xFF}));
  EXPECT_EQ(bytesOf(Options(32, 1), 0x11, 0x22, 0x33, 0x44),
            (std::vector<uint8_t>{0x33, 0x22, 0x11, 0x44}));
  // A palettised store has no colour to fill with.
  const SurfaceOptions pal = Options(16, 0, 1);
  const HandleValue p = AddSurfaceData(1, 2, 2, 0, &pal);
  EXPECT_EQ(FillSurfaceDataColor(p, 1, 2, 3, 4), -1);
}

TEST(SurfaceData, HardwareStoresLockNestAndUnlockOnRelease) {
  LibrarySession lib({.softwareScreen = false});
  const SurfaceOptions o = Options(32, 0);
  const HandleValue h = AddSurfaceData(1, 16, 8, 0x00FF00, &o);
  ASSERT_GE(h, 0);
  SurfaceDataRecord* r = GetSurfaceDataRecord(h);
  ASSERT_NE(r->Surface, nullptr);
  EXPECT_EQ(r->SoftwareFlag, 0u);
  EXPECT_EQ(r->FormatIndex, kSurfaceFormatStandard);
  EXPECT_EQ(r->Options.SystemMemFlag, 0);  // in video memory
  // The key is the screen's pixel value of the colour (X8R8G8B8 desktop).
  platform::ColorKey key{};
  ASSERT_EQ(r->Surface->GetColorKey(platform::DDCKEY_SRCBLT, &key), platform::DD_OK);
  EXPECT_EQ(key.low, 0xFF00FF00u);

  int32_t pitch;
  void* p0;
  void* p1;
  platform::SurfaceDesc desc;
  ASSERT_EQ(LockSurfaceData(h, &pitch, &p0, 0, nullptr, nullptr), 0);
  EXPECT_EQ(r->Surface->Lock(nullptr, &desc, 0), platform::DDERR_SURFACEBUSY);
  const platform::RECT rect{3, 2, 5, 4};
  EXPECT_EQ(LockSurfaceData(h, &pitch, &p1, 0, &rect, nullptr), -2);
  EXPECT_EQ(static_cast<uint8_t*>(p1), static_cast<uint8_t*>(p0) + 2 * pitch + 3 * 4);
  EXPECT_EQ(UnlockSurfaceData(h, nullptr), 0);
  EXPECT_EQ(r->Surface->Lock(nullptr, &desc, 0), platform::DDERR_SURFACEBUSY);
  EXPECT_EQ(UnlockSurfaceData(h, nullptr), 0);
  ASSERT_EQ(r->Surface->Lock(nullptr, &desc, 0), platform::DD_OK);
  r->Surface->Unlock(nullptr);

  // Releasing the store of a locked record unlocks it; a new store locks normally.
  ASSERT_EQ(LockSurfaceData(h, &pitch, &p0, 1, nullptr, nullptr), 0);
  EXPECT_EQ(ReleaseSurfaceDataSurface(h), 0);
  EXPECT_EQ(r->Surface, nullptr);
  EXPECT_EQ(r->LockDepth, 0u);
  EXPECT_EQ(UnlockSurfaceData(h, nullptr), -1);
  EXPECT_EQ(CreateSurfaceDataSurface(h), 0);
  EXPECT_EQ(LockSurfaceData(h, &pitch, &p0, 0, nullptr, nullptr), 0);
  EXPECT_EQ(UnlockSurfaceData(h, nullptr), 0);
  // A refused lock is reported.
  platform::ddtest::FailNextLock(platform::DDERR_GENERIC);
  EXPECT_EQ(LockSurfaceData(h, &pitch, &p0, 0, nullptr, nullptr), -1);
  EXPECT_EQ(r->LockDepth, 0u);
}

TEST(SurfaceData, StandardSurfaceFallsBackToSystemMemory) {
  LibrarySession lib({.softwareScreen = false});
  platform::ddtest::SetRefuseVideoMemory(true);
  const SurfaceOptions o = Options(32, 0);
  const HandleValue h = AddSurfaceData(1, 8, 8, 0, &o);
  ASSERT_GE(h, 0);
  EXPECT_EQ(GetSurfaceDataRecord(h)->Options.SystemMemFlag, 1);
  EXPECT_EQ(GetSurfaceDataRecord(h)->Options.DrawValid, 1);
  platform::ddtest::SetRefuseVideoMemory(false);
}

TEST(SurfaceData, LostStoresAreRestoredWithThePoisonPatternUntilReloaded) {
  LibrarySession lib({.bits = 32, .softwareScreen = false});
  const HandleValue g = CreateEmptyGraph(4, 4);
  GraphRecord* rec = GetGraphRecord(g);
  ASSERT_EQ(G_DD_FillGraph(rec, 0, 255, 0, 255), 0);
  const SurfaceDataRecord* store =
      GetSurfaceDataRecord(LookupSurface2DRecord(rec->Pieces[0])->SurfaceData);
  ASSERT_NE(store->Surface, nullptr);
  EXPECT_EQ(store->Surface->TestGetPixel(3, 3), 0xFF00FF00u);
  EXPECT_EQ(G_DD_RestoreGraph(rec), 0);  // nothing lost yet

  platform::ddtest::MakeAllSurfacesLost();
  EXPECT_EQ(G_DD_RestoreGraph(rec),
            -1);  // restored: its pixels must be written again
  EXPECT_EQ(store->Surface->TestGetPixel(0, 0), 0xCDCDCDCDu);
  EXPECT_EQ(store->Surface->TestGetPixel(3, 3), 0xCDCDCDCDu);
  EXPECT_EQ(G_DD_RestoreGraph(rec), 0);
  EXPECT_EQ(RestoreLostSurfaces(), 0);
  EXPECT_EQ(GetPrimaryDDSurface()->IsLost(), platform::DD_OK);
  ASSERT_EQ(G_DD_FillGraph(rec, 0, 0, 255, 255), 0);  // the reload
  EXPECT_EQ(store->Surface->TestGetPixel(2, 1), 0xFF0000FFu);
}

TEST(Surface2D, PiecesShareStoresAndReportDeletion) {
  LibrarySession lib({.softwareScreen = false});
  const SurfaceOptions o = Options(32, 0);
  const HandleValue a = AddSurface2D(32, 16, 0, 0, 0, -1, 0, 0, &o);
  ASSERT_GE(a, 0);
  EXPECT_EQ(a & kHandleKindMask, 0x28000000);
  const HandleValue data = LookupSurface2DRecord(a)->SurfaceData;
  const HandleValue b = AddSurface2D(8, 8, 24, 8, 0, data, 0, 0, nullptr);
  ASSERT_GE(b, 0);
  EXPECT_EQ(GetSurfaceDataRecord(data)->RefCount, 2u);
  // A piece reaching past its store is refused.
  EXPECT_EQ(AddSurface2D(8, 8, 25, 8, 0, data, 0, 0, nullptr), -1);
  EXPECT_EQ(AddSurface2D(8, 8, 0, 0, 0, data + 0x10000, 0, 0, nullptr), -1);

  // Releasing and re-creating the stores makes one store, which both pieces see.
  EXPECT_EQ(ReleaseSurface2DObjects(), 0);
  EXPECT_EQ(GetSurfaceDataRecord(data)->Surface, nullptr);
  EXPECT_EQ(RecreateSurface2DObjects(), 0);
  ASSERT_NE(GetSurfaceDataRecord(data)->Surface, nullptr);
  EXPECT_EQ(LookupSurface2DRecord(b)->SurfaceData, data);

  int32_t linkA = 5, linkB = 5;
  EXPECT_EQ(SetSurface2DLink(a, &linkA), 0);
  EXPECT_EQ(SetSurface2DLink(b, &linkB), 0);
  EXPECT_EQ(linkA, 0);
  EXPECT_EQ(SetSurface2DLink(-1, &linkA), 0);  // invalid: nothing happens
  EXPECT_EQ(DeleteSurface2D(a), 0);
  EXPECT_EQ(linkA, 1);
  EXPECT_EQ(linkB, 0);
  EXPECT_NE(GetSurfaceDataRecord(data), nullptr);
  EXPECT_EQ(DeleteSurface2D(a), 0);  // stale: nothing happens
  EXPECT_EQ(DeleteSurface2D(b), 0);
  EXPECT_EQ(linkB, 1);
  EXPECT_EQ(GetSurfaceDataRecord(data), nullptr);
  EXPECT_EQ(LookupSurface2DRecord(b), nullptr);
}

TEST(SurfaceData, AModeChangeEmptiesTheTablesAndRestartsTheCounters) {
  test::LibrarySession lib;
  const SurfaceOptions o = Options(16, 0);
  const HandleValue loose = AddSurfaceData(1, 4, 4, 0, &o);
  const HandleValue piece = AddSurface2D(4, 4, 0, 0, 0, loose, 0, 0, nullptr);
  int32_t link = 0;
  SetSurface2DLink(piece, &link);
  ASSERT_GE(piece, 0);
  ASSERT_EQ(RunScreenModeChange(640, 480, 32, 60), 0);
  EXPECT_EQ(link, 1);
  // Only the new default font's draw screen, made first after the restart.
  EXPECT_EQ(SurfaceDataTable().Count(), 1);
  EXPECT_EQ(Surface2DTable().Count(), 1);
  ASSERT_NE(LookupSurface2DRecord(0x28000000), nullptr);
  EXPECT_EQ(LookupSurface2DRecord(0x28000000)->SurfaceData, 0x38000000);
}

TEST(SurfaceData, ZBuffersFollowTheWantedState) {
  {
    test::LibrarySession lib;
    const SurfaceOptions o = Options(16, 0);
    const HandleValue h = AddSurfaceData(1, 6, 5, 0, &o);
    SurfaceDataRecord* r = GetSurfaceDataRecord(h);
    EXPECT_EQ(r->ZBufferFlag, 0u);
    EXPECT_EQ(IsMemImgValid(&r->ZImage), 0);  // never made unasked
    EXPECT_EQ(SetSurfaceDataZBuffer(h, 1), 0);
    EXPECT_EQ(r->ZBufferFlag, 1u);
    EXPECT_EQ(r->ZImage.ColorType, kMemImgWord16);
    EXPECT_EQ(r->ZImage.Width, 6);
    EXPECT_EQ(SetSurfaceDataZBuffer(h, 1), 0);
    EXPECT_EQ(SetSurfaceDataZBuffer(h, 0), 0);
    EXPECT_EQ(IsMemImgValid(&r->ZImage), 0);
    EXPECT_EQ(SetSurfaceDataZBuffer(h + 0x10000, 1), -1);
    EXPECT_EQ(SetSurfaceDataZBuffer(h, 1),
              0);  // released with the record at the end
  }
  {
    // The Z buffer takes the format Direct3D's enumeration recorded.
    test::LibrarySession lib({.softwareScreen = false, .direct3D = true});
    const SurfaceOptions o = Options(32, 0);
    const HandleValue h = AddSurfaceData(1, 6, 5, 0, &o);
    SurfaceDataRecord* r = GetSurfaceDataRecord(h);
    ASSERT_EQ(SetSurfaceDataZBuffer(h, 1), 0);
    ASSERT_NE(r->ZSurface, nullptr);
    platform::SurfaceCaps caps;
    caps.caps = platform::DDSCAPS_ZBUFFER;
    platform::DirectDrawSurface* attached = nullptr;
    ASSERT_EQ(r->Surface->GetAttachedSurface(caps, &attached), platform::DD_OK);
    EXPECT_EQ(attached, r->ZSurface);
    attached->Release();
    const int live = platform::ddtest::LiveSurfaceCount();
    EXPECT_EQ(ReleaseSurfaceDataSurface(h), 0);
    EXPECT_EQ(r->ZSurface, nullptr);
    EXPECT_EQ(platform::ddtest::LiveSurfaceCount(), live - 2);
    // Made again with the store, as the flag says.
    EXPECT_EQ(CreateSurfaceDataSurface(h), 0);
    EXPECT_NE(r->ZSurface, nullptr);
  }
}

}  // namespace
}  // namespace zq::gfx
