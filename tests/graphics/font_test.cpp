// Fonts: cache cells of both kinds worked out from the synthetic face's definition and the
// writing rules, cache geometry, the replacement ring, handles, the default font, failures, and
// the real default face against FreeType.
#include "graphics/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include "base/memory.h"
#include "graph_load_test_util.h"
#include "graphics/d3d/d3d_session.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "support/library_fixture.h"
#include "support/synthetic_face.h"

namespace zq::gfx {
namespace {

using test::LibrarySession;
using test::SynthGlyph;
constexpr const char* kSynth = platform::kSyntheticFaceName;

// Three-byte characters of GDI codes (two bytes for codes above 0xFF).
std::vector<uint8_t> Chars(const std::vector<uint32_t>& codes) {
  std::vector<uint8_t> out;
  for (uint32_t c : codes)
    out.insert(out.end(), {uint8_t(c > 0xFF ? c >> 8 : c), uint8_t(c > 0xFF ? c : 0), 0});
  return out;
}
GlyphCacheEntry* Render(HandleValue font, const std::vector<uint32_t>& codes) {
  const std::vector<uint8_t> chars = Chars(codes);
  return RenderGlyphToCache(int32_t(codes.size()), chars.data(), font);
}
HandleValue Synth(int size, int thickness, int type, int edge) {
  return CreateFontToHandle(kSynth, size, thickness, type, -1, edge, -1, -1);
}

// The edge shapes as drawn (rows from dy = -s, columns from dx = -s).
bool InShape(int dx, int dy, int s) {
  static const std::vector<std::vector<std::string>> drawn = {
      {".XXX.", "XXXXX", "XXXXX", "XXXXX", ".XXX."},
      {"...X...", ".XXXXX.", ".XXXXX.", "XXXXXXX", ".XXXXX.", ".XXXXX.", "...X..."},
      {"..XXXXX..", ".XXXXXXX.", "XXXXXXXXX", "XXXXXXXXX", "XXXXXXXXX", "XXXXXXXXX", "XXXXXXXXX",
       ".XXXXXXX.", "..XXXXX.."}};
  if (std::abs(dx) > s || std::abs(dy) > s) return false;
  if (s == 1) return std::abs(dx) + std::abs(dy) == 1;
  return s > 4 || drawn[s - 2][dy + s][dx + s] == 'X';
}

// Calls fn(L) for each glyph pixel inside the cell whose edge shape covers position (px, py),
// glyph pixels in row order.
template <class Fn>
void Around(const SynthGlyph& g, int px, int py, int e, int cell, bool mono, Fn&& fn) {
  for (int qy = py - 2 * e; qy <= py; ++qy)
    for (int qx = px - 2 * e; qx <= px; ++qx) {
      const int level = mono ? int(g.Set(qx, qy)) : g.Level(qx, qy);
      if (level > 0 && qx + e < cell && qy + e < cell && InShape(px - qx - e, py - qy - e, e))
        fn(level);
    }
}

std::vector<uint8_t> MemoryCell(const SynthGlyph& g, int type, int e, int cell, int pitch) {
  std::vector<uint8_t> out(size_t(cell * pitch), 0);
  for (int y = 0; y < cell && !g.empty; ++y)
    for (int x = 0; x < cell; ++x) {
      const int level = g.Level(x - e, y - e);
      uint8_t& b = out[size_t(y * pitch + (type == 0 ? x / 8 : x))];
      if (type == 0 && g.Set(x, y)) b |= uint8_t(0x80 >> (x % 8));
      if (type == 2 && level > 0) b = uint8_t(level - 1);
      if (type == 1) {
        b = g.Set(x - e, y - e) ? 1 : 0;
        if (b == 0) Around(g, x, y, e, cell, true, [&](int) { b = 2; });
      }
      if (type == 3) {
        int high = 0;
        Around(g, x, y, e, cell, false, [&](int l) { high = std::max(high, l - 1); });
        b = uint8_t((level > 0 ? level - 1 : 0) | high << 4);
      }
    }
  return out;
}

// The work image (glyph layer, then the edge layer one cell to the right) in A4R4G4B4 (types 2,
// 3) or A1R5G5B5 (types 0, 1).
std::vector<uint16_t> WorkImage(const SynthGlyph& g, int type, int e, int cell, int width) {
  const uint16_t white = type & 2 ? 0x0FFF : 0x7FFF, alpha = type & 2 ? 0xF000 : 0x8000;
  auto levelPixel = [&](int v) {
    return v == 0 ? white : uint16_t(white | (((v << 12) - 1) & 0xFFFF));
  };
  std::vector<uint16_t> out(size_t(width * (cell + 2 * e)), 0);
  const int areaW = std::min(g.w + 2 * e, cell), areaH = std::min(g.h + 2 * e, cell);
  for (int y = 0; y < cell; ++y)
    for (int x = 0; x < cell; ++x) {
      uint16_t& glyph = out[size_t(y * width + x)];
      if (type == 0 && x < areaW && y < areaH) glyph = g.Set(x, y) ? white | alpha : white;
      if (type == 2 && x < areaW && y < areaH) glyph = levelPixel(g.Level(x, y));
      if (type == 1) {
        glyph = g.Set(x - e, y - e) ? white | alpha : 0;
        Around(g, x, y, e, cell, true,
               [&](int) { out[size_t(y * width + cell + x)] = white | alpha; });
      }
      if (type == 3 && x < areaW && y < areaH) {
        glyph = levelPixel(g.Level(x - e, y - e));
        int v = 0;
        Around(g, x, y, e, cell, false, [&](int l) { v = (256 - (16 - v) * (16 - l)) >> 4; });
        out[size_t(y * width + cell + x)] = levelPixel(v);
      }
    }
  return out;
}

// The cache graph's 5:6:5 + alpha store pixel (low 24 bits) of a work-image value.
uint32_t StoreValue(uint16_t v, int type) {
  const uint32_t a = type & 2 ? (v >> 12) * 17 : (v >> 15) * 255;
  return ((v & (type & 2 ? 0x0FFF : 0x7FFF)) != 0 ? 0xFFFFu : 0u) | a << 16;
}

void ExpectEntry(const GlyphCacheEntry& en, const SynthGlyph& g, int size, int e, int cell,
                 bool space, uint32_t code) {
  const int ascent = test::SynthFaceMetrics(size).ascent;
  const int w = space ? 0 : g.w, h = space ? 0 : g.h;
  EXPECT_EQ(
      std::vector<int>({en.InUse, en.OffsetX, en.OffsetY, en.Advance, en.Width, en.Height}),
      std::vector<int>({1, space ? 0 : g.originX, space ? 0 : ascent - g.originY,
                        g.increment + 2 * e, std::min(w + 2 * e, cell), std::min(h + 2 * e, cell)}))
      << std::hex << code;
}

std::vector<uint32_t> TestCodes(uint32_t seed) {
  std::vector<uint32_t> codes = {0x7C, 0x20, 0x8140, 0x7F, 0x5F, 0x41, 0x82A0};
  std::mt19937 rng(seed);
  for (int i = 0; i < 9; ++i)
    codes.push_back(i % 2 ? 0x21 + rng() % 0xDE
                          : 0x8141 + rng() % 0x7000 / 0x100 * 0x100 + rng() % 0xBE);
  return codes;
}

TEST(FontCache, MemoryCellsFollowTheFaceAndTheWritingRules) {
  LibrarySession lib;
  const std::vector<uint32_t> codes = TestCodes(1);
  FontCacheCharCount = int32_t(codes.size());
  for (int type = 0; type < 4; ++type)
    for (int size : {4, 12, 13, 16})
      for (int thickness : {5, 6})
        for (int edge = type & 1; edge <= (type & 1 ? 5 : 0); ++edge) {
          const HandleValue h = Synth(size, thickness, type, type & 1 ? edge : -1);
          const FontRecord* f = GetFontRecord(h);
          ASSERT_NE(f, nullptr);
          ASSERT_EQ(f->TextureCache, 0);
          EXPECT_EQ(Render(h, codes), &f->Entries[codes.size() - 1]);
          Render(h, {0x7C});  // again in cell 0: its cut rows and edge stay out of cell 1
          for (size_t i = 0; i < codes.size(); ++i) {
            const SynthGlyph g = test::SynthFaceGlyph(codes[i], size, thickness >= 6);
            const bool space = codes[i] == 0x20 || codes[i] == 0x8140;
            ExpectEntry(f->Entries[i], g, size, edge, f->CellSize, space, codes[i]);
            const uint8_t* cell = f->CacheBitmap + i * f->CellSize * f->CachePitch;
            EXPECT_EQ(std::vector<uint8_t>(cell, cell + f->CellSize * f->CachePitch),
                      MemoryCell(g, type, edge, f->CellSize, f->CachePitch))
                << type << " " << size << " " << thickness << " " << edge << " " << codes[i];
          }
          DeleteFontHandle(h);
        }
  FontCacheCharCount = 0;
}

// The texture cache forced on the software screen (a DirectDraw cache graph with an alpha
// channel: 5:6:5 and alpha), or chosen on the simulated Direct3D device (a Direct3D cache graph
// in the table's entry 2 or 4, whose texels are the work image's pixels).
void TextureCacheWritesTheWorkImageAndTheCacheGraph(bool direct3D) {
  LibrarySession lib(direct3D ? test::Direct3DSession() : test::LibraryOptions{});
  if (direct3D) {
    ASSERT_EQ(lib.Start(), 0);
  }
  SetForceFontTextureCache(!direct3D);
  FontCacheCharCount = 8;          // a small cache of several columns
  ChooseDirect3DGraphs(direct3D);  // creation options the cache graph must leave as they were
  SetCreateColorBitDepth(32);
  const std::vector<uint32_t> codes = {0x41, 0x7C, 0x82A0, 0x5F, 0x20, 0x7F, 0x8A, 0x889F};
  for (int type = 0; type < 4; ++type)
    for (int edge : {1, 2, 5}) {
      if (!(type & 1) && edge > 1) continue;
      const int e = type & 1 ? edge : 0, thickness = 5 + edge % 2;
      const HandleValue h = Synth(16, thickness, type, type & 1 ? edge : -1);
      const FontRecord* f = GetFontRecord(h);
      ASSERT_NE(f, nullptr);
      ASSERT_EQ(f->TextureCache, 1);
      ASSERT_EQ(f->WorkImage.Format.ColorBitDepth, 16);
      // 4:4:4:4 for anti-aliased types, 1:5:5:5 for the others; untouched: white of alpha 0.
      ASSERT_EQ(f->WorkImage.Format.AM, type & 2 ? 0xF000u : 0x8000u);
      if (direct3D) {
        ASSERT_EQ(test::PieceStore(f->CacheGraph, 0)->FormatIndex, type & 2 ? 2u : 4u);
      }
      const uint16_t white = type & 2 ? 0x0FFF : 0x7FFF;
      const int cell = f->CellSize, width = f->WorkImage.Width;
      std::vector<std::vector<uint16_t>> images;
      for (uint32_t code : codes) {
        const SynthGlyph g = test::SynthFaceGlyph(code, 16, thickness >= 6);
        GlyphCacheEntry* en = Render(h, {code});
        const bool space = code == 0x20;
        ExpectEntry(*en, g, 16, e, cell, space, code);
        images.push_back(space ? std::vector<uint16_t>() : WorkImage(g, type, e, cell, width));
        if (space) continue;
        const auto* work = static_cast<const uint16_t*>(f->WorkImage.Pixels);
        EXPECT_EQ(std::vector<uint16_t>(work, work + images.back().size()), images.back()) << code;
      }
      for (size_t i = 0; i < codes.size(); ++i) {
        const GlyphCacheEntry& en = f->Entries[i];
        const int cx = int(i) / f->Rows * cell, cy = int(i) % f->Rows * cell;
        for (int layer = 0; layer < (type & 1 ? 2 : 1); ++layer)
          for (int y = 0; y < cell; ++y)
            for (int x = 0; x < cell; ++x) {
              const bool written = !images[i].empty() && x < en.Width && y < en.Height;
              const uint16_t v = written ? images[i][size_t(y * width + layer * cell + x)] : white;
              const int px = layer * f->CacheWidth + cx + x, py = cy + y;
              ASSERT_EQ(direct3D ? test::Texel(f->CacheGraph, 0, px, py)
                                 : test::StorePixel(f->CacheGraph, px, py) & 0xFFFFFF,
                        direct3D ? v : StoreValue(v, type))
                  << type << " " << edge << " " << i;
            }
      }
    }
  // A deleted cache graph is made again, empty, when the font next needs it.
  const HandleValue h = Synth(16, 5, 1, 2);
  Render(h, {0x41});
  DeleteAllGraphHandles(0);
  FontRecord* f = GetFontRecord(h);
  EXPECT_EQ(f->CacheGraphLost, 1);
  EXPECT_EQ(SetupFontCache(h), 0);
  EXPECT_EQ(std::vector<int>({f->CacheGraphLost, IsFontHandleValid(h), f->Entries[0].InUse}),
            std::vector<int>({0, 1, 0}));
  EXPECT_NE(GetGraphRecord(f->CacheGraph), nullptr);
  EXPECT_NE(GetGraphRecord(f->EdgeGraph), nullptr);
  const size_t logSize = lib.Log().size();
  DeleteFontHandle(h);  // with both graphs, silently
  EXPECT_EQ(std::vector<size_t>({lib.Log().size(), size_t(GraphHandleTable().Count())}),
            std::vector<size_t>({logSize, 0}));
  EXPECT_EQ(std::vector<int>({GetChooseDirect3DGraphs(), GetCreateColorBitDepth(),
                              GetCreateAlphaChannelFlag(), GetCreateOptionB()}),
            std::vector<int>({direct3D, 32, 0, 1}));
  FontCacheInSystemMemory = 1;  // fonts kept in system memory take the memory cache
  EXPECT_EQ(GetFontRecord(Synth(16, 5, 2, -1))->TextureCache, 0);
  FontCacheInSystemMemory = 0;
  FontCacheCharCount = 0;
  SetForceFontTextureCache(0);
}

TEST(FontCache, TextureCachesWriteTheWorkImageAndTheCacheGraph) {
  TextureCacheWritesTheWorkImageAndTheCacheGraph(false);
  TextureCacheWritesTheWorkImageAndTheCacheGraph(true);
  // A device without a 1:5:5:5 format (its alpha-test entry then holds 4:4:4:4): the memory cache.
  LibrarySession lib(test::Direct3DSession());
  std::vector<platform::PixelFormat> formats = platform::d3dtest::DefaultTextureFormats();
  std::erase_if(formats, [](const platform::PixelFormat& p) { return p.alphaMask == 0x8000; });
  platform::d3dtest::SetTextureFormats(formats);
  ASSERT_EQ(lib.Start(), 0);
  EXPECT_EQ(GetFontRecord(Synth(16, 5, 0, -1))->TextureCache, 0);
}

TEST(FontCache, CellSizesLineHeightsAndCapacities) {
  LibrarySession lib;
  struct Case {
    bool texture;
    int charCount, size, type, edge;
    int cell, line, capacity, width, height, rows;
  } cases[] = {
      {false, 0, 16, 0, -1, 16, 16, 1280, 16, 1280 * 16, 1280},
      {false, 0, 16, 1, 2, 24, 20, 568, 24, 568 * 24, 568},
      {false, 0, 13, 2, -1, 16, 14, 1280, 16, 1280 * 16, 1280},
      {false, 0, 128, 3, 1, 136, 130, 20, 136, 20 * 136, 20},
      {false, 0, 121, 2, -1, 128, 122, 20, 128, 20 * 128, 20},
      {false, 0, 8, 0, -1, 8, 8, 2024, 8, 2024 * 8, 2024},
      {false, 3, 16, 0, -1, 16, 16, 3, 16, 48, 3},
      {true, 0, 16, 0, -1, 16, 16, 1024, 512, 512, 32},
      {true, 0, 200, 2, -1, 200, 200, 10, 1024, 512, 2},
      {true, 100, 16, 0, -1, 16, 16, 256, 256, 256, 16},
      {true, 0, 5, 1, 1, 8, 8, 2024, 512, 512, 64},
  };
  for (const Case& c : cases) {
    SetForceFontTextureCache(c.texture);
    FontCacheCharCount = c.charCount;
    const FontRecord* f = GetFontRecord(Synth(c.size, 5, c.type, c.edge));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::vector<int>({f->TextureCache, f->CellSize, f->LineHeight, f->Capacity,
                                f->CacheWidth, f->CacheHeight, f->Rows}),
              std::vector<int>({c.texture, c.cell, c.line, c.capacity, c.width, c.height, c.rows}))
        << "size " << c.size << " type " << c.type;
  }
  FontCacheCharCount = 0;
  SetForceFontTextureCache(0);
}

TEST(FontCache, TheRingReplacesInFillOrderAndKeepsTheLiveEntryOfARepeat) {
  LibrarySession lib;
  FontCacheCharCount = 3;
  const HandleValue h = Synth(16, 5, 0, -1);
  FontCacheCharCount = 0;
  FontRecord* f = GetFontRecord(h);
  auto slot = [&](uint32_t c) { return &f->CodeMap[c]; };
  Render(h, {0x41, 0x42, 0x43});
  // Looking 'A' up again does not save it: the ring is not least-recently-used.
  ASSERT_EQ(slot(0x41)->Entry, &f->Entries[0]);
  const uint64_t calls = platform::gditest::GlyphOutlineCallCount();
  Render(h, {0x44});
  EXPECT_EQ(slot(0x41)->Cached, 0u);
  EXPECT_EQ(slot(0x41)->Entry, nullptr);
  EXPECT_EQ(slot(0x44)->Entry, &f->Entries[0]);
  DeleteSurface2D(f->DrawScreen);  // a lost draw screen comes back; the glyphs stay
  EXPECT_EQ(SetupFontCache(h), 0);
  EXPECT_NE(LookupSurface2DRecord(f->DrawScreen), nullptr);
  EXPECT_EQ(slot(0x42)->Entry, &f->Entries[1]);
  Render(h, {0x41});  // rendered again: a size query and a read
  EXPECT_EQ(platform::gditest::GlyphOutlineCallCount(), calls + 4);
  EXPECT_EQ(slot(0x41)->Entry, &f->Entries[1]);
  EXPECT_EQ(slot(0x42)->Cached, 0u);
  // 'E' twice in one batch: the later entry is live, and reusing the earlier one keeps it.
  Render(h, {0x45, 0x45});  // entries 2 and 0
  Render(h, {0x46, 0x47});  // entries 1 and 2
  EXPECT_EQ(slot(0x45)->Cached, 1u);
  EXPECT_EQ(slot(0x45)->Entry, &f->Entries[0]);
  EXPECT_EQ(f->Entries[0].Slot, slot(0x45));
}

TEST(FontCache, ShiftJisLeadBytesAndTheTwoCodeOrders) {
  struct Case {
    uint8_t byte;
    int mode, lead;
  } cases[] = {{0x80, 1, 0}, {0x81, 1, 1}, {0x9F, 1, 1}, {0xA0, 1, 0}, {0xDF, 1, 0},
               {0xE0, 1, 1}, {0xFC, 1, 1}, {0xFD, 1, 0}, {0x81, 0, 1}, {0xFD, 0, 0},
               {0xA0, 0, 0}, {0xE0, 0, 1}, {0x80, 2, 1}, {0x7F, 2, 0}, {0xFF, 2, 1}};
  for (const Case& c : cases)
    EXPECT_EQ(IsShiftJisLeadByte(&c.byte, c.mode), c.lead)
        << std::hex << int(c.byte) << " " << c.mode;
  LibrarySession lib;
  const HandleValue h = Synth(16, 5, 0, -1);
  platform::gditest::Reset();
  Render(h, {0x82A0});
  EXPECT_EQ(GetFontRecord(h)->CodeMap[0xA082].Entry, &GetFontRecord(h)->Entries[0]);
  EXPECT_EQ(platform::gditest::GlyphOutlineCodes(), std::vector<uint32_t>({0x82A0, 0x82A0}));
}

// GGO_GRAY4 levels of FreeType's own rendering of a glyph of the IPA file at the default font's
// request: cell height 16, emboldened for thickness 6.
std::vector<uint8_t> IpaGray4(FT_Face face, FT_UInt index) {
  FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP);
  FT_Outline_EmboldenXY(&face->glyph->outline, 64, 0);
  FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
  const FT_Bitmap& bm = face->glyph->bitmap;
  const unsigned pitch = (bm.width + 3) / 4 * 4;
  std::vector<uint8_t> out(pitch * bm.rows, 0);
  for (unsigned i = 0; i < out.size(); ++i)
    if (i % pitch < bm.width)
      out[i] = uint8_t((bm.buffer[i / pitch * bm.pitch + i % pitch] * 16 + 127) / 255);
  return out;
}

TEST(FontDefault, TheRealDefaultFaceIsIpaGothicRenderedByFreeType) {
  LibrarySession lib({.start = false});
  platform::gditest::UseSyntheticDefaultFace(false);
  ASSERT_EQ(lib.Start(), 0);
  const FontRecord* f = GetFontRecord(GetDefaultFontHandle());
  ASSERT_NE(f, nullptr);
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("IPAGothic"));
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* file = nullptr;
  FcPatternGetString(match, FC_FILE, 0, &file);
  FT_Library library;
  FT_Face face;
  FT_Init_FreeType(&library);
  ASSERT_EQ(FT_New_Face(library, reinterpret_cast<const char*>(file), 0, &face), 0);
  FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_CELL, 0, 16 << 6, 0, 0};
  FT_Request_Size(face, &request);
  const FT_Size_Metrics& m = face->size->metrics;
  const int line = int((m.ascender - m.descender) >> 6);
  EXPECT_EQ(f->CellSize, ((m.max_advance >> 6) + 1 + 7) / 8 * 8);  // one more when emboldened
  EXPECT_EQ(f->LineHeight, line + line % 2);
  platform::HDC dc = platform::CreateCompatibleDC(nullptr);
  platform::HGDIOBJ old = platform::SelectObject(dc, f->GdiFont);
  char name[64];
  platform::GetTextFaceA(dc, sizeof name, name);
  EXPECT_STREQ(name, "IPAGothic");
  // A lead byte with a trail byte outside Shift-JIS gives the face's .notdef box.
  for (auto [code, index] : {std::pair{0x82A0u, FT_Get_Char_Index(face, 0x3042)}, {0x8120u, 0u}}) {
    platform::GLYPHMETRICS gm{};
    const platform::MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    std::vector<uint8_t> got(4096);
    got.resize(platform::GetGlyphOutlineA(dc, code, platform::GGO_GRAY4_BITMAP, &gm, 4096,
                                          got.data(), &identity));
    EXPECT_EQ(got, IpaGray4(face, index)) << std::hex << code;
  }
  platform::SelectObject(dc, old);
  platform::DeleteDC(dc);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  Render(GetDefaultFontHandle(), {0x81, 0x82A0});  // a lone lead byte too
}

TEST(FontHandles, FortySlotsStaleHandlesAndOutOfRangeArguments) {
  LibrarySession lib;
  std::vector<HandleValue> fonts = {GetDefaultFontHandle()};
  for (int i = 1; i < 40; ++i) fonts.push_back(Synth(8, 5, 0, -1));
  EXPECT_EQ(HandleSlot(fonts[39]), 39);
  EXPECT_EQ(Synth(8, 5, 0, -1), -1);
  EXPECT_NE(lib.Log().find("作成できるフォントハンドル数 40 の限界を超えました\r\n"),
            std::string::npos);
  const HandleValue old = fonts[5];
  ASSERT_EQ(DeleteFontHandle(old), 0);
  const HandleValue again = Synth(8, 5, 0, -1);
  EXPECT_EQ(HandleSlot(again), 5);
  EXPECT_NE(again, old);
  const std::string before = lib.Log();
  int32_t flag = 0, size = 0;
  char name[256];
  EXPECT_EQ(std::vector<int>({DeleteFontHandle(old), SetupFontCache(old), ClearFontCacheTables(old),
                              SetFontCharSpacing(1, old), SetFontLostFlagPtr(old, &flag),
                              GetFontInfo(name, &size, nullptr, old), IsFontHandleValid(old)}),
            std::vector<int>({-1, -1, -1, -1, -1, -1, 0}));
  EXPECT_EQ(Render(old, {0x41}), nullptr);
  EXPECT_EQ(GetFontRecord(old), nullptr);
  ASSERT_EQ(DeleteFontHandle(again), 0);
  // Slots, check values and charset indexes outside their tables, and an occupied slot.
  const int bad[][3] = {{40, -1, -1}, {-2, -1, -1}, {5, 2048, -1}, {5, -2, -1},
                        {5, -1, 3},   {5, -1, -2},  {0, -1, -1}};  // slot, check, charset
  for (const auto& b : bad)
    EXPECT_EQ(CreateFontToHandle(kSynth, 8, 5, 0, b[2], -1, b[0], b[1]), -1);
  const HandleValue hangeul = CreateFontToHandle(kSynth, 8, 5, 0, 2, -1, -1, -1);
  EXPECT_EQ(GetFontRecord(hangeul)->CharsetIndex, 2);
  DeleteFontHandle(hangeul);
  EXPECT_EQ(CreateFontToHandle(kSynth, 8, 5, 0, -1, -1, 5, 2047),
            MakeHandleValue(HandleKind::kFont, 5, 2047));
  EXPECT_EQ(lib.Log(), before);
}

TEST(FontHandles, ArgumentsAreHeldToTheirRanges) {
  LibrarySession lib;
  platform::gditest::SetOEMCP(949);
  // Thickness, type, edge size given, and as stored; the charset from the code page 949.
  const int cases[][6] = {{50, 7, -1, 10, 3, 1},
                          {-5, 4, -1, 0, 0, 1},
                          {5, 1, 0, 5, 1, 1},
                          {5, -1, -7, 5, 0, 1},
                          {5, 0, 3, 5, 1, 3}};
  for (const auto& c : cases) {
    const FontRecord* f = GetFontRecord(Synth(16, c[0], c[1], c[2]));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::vector<int>({f->Thickness, int(f->Type), f->EdgeSize, f->CharsetIndex}),
              std::vector<int>({c[3], c[4], c[5], 2}));
  }
}

TEST(FontHandles, RecreatedFontsKeepHandleEdgeSpacingAndOwner) {
  LibrarySession lib;
  const HandleValue h = Synth(16, 5, 1, 3);
  int32_t flag = 7;
  SetFontLostFlagPtr(h, &flag);
  EXPECT_EQ(flag, 0);
  SetFontCharSpacing(4, h);
  Render(h, {0x41});
  RecreateAllFonts();
  const FontRecord* f = GetFontRecord(h);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::vector<int>({f->EdgeSize, f->CharSpacing, f->Entries[0].InUse, flag}),
            std::vector<int>({3, 4, 0, 1}));
  EXPECT_TRUE(IsFontHandleValid(GetDefaultFontHandle()));
  flag = 0;
  DeleteFontHandle(h);
  EXPECT_EQ(flag, 1);
}

TEST(FontDefault, SizeSurvivesUnchangedCallsAndScreenModeChanges) {
  LibrarySession lib;
  const HandleValue first = GetDefaultFontHandle();
  ASSERT_TRUE(IsFontHandleValid(first));
  EXPECT_EQ(SetDefaultFontSize(nullptr, -1, -1), 0);  // 16 and 6, as it is
  EXPECT_EQ(GetDefaultFontHandle(), first);
  EXPECT_EQ(SetDefaultFontSize(nullptr, 20, 5), 0);
  EXPECT_EQ(InitFontSystem(), 0);  // makes the default font again as it was
  EXPECT_EQ(GetFontRecord(GetDefaultFontHandle())->Size, 20);
  ASSERT_EQ(RunScreenModeChange(640, 480, 32, 60), 0);
  int32_t size = 0, thickness = 0;
  ASSERT_EQ(GetFontInfo(nullptr, &size, &thickness, GetDefaultFontHandle()), 0);
  EXPECT_EQ(size, 20);
  EXPECT_EQ(thickness, 5);
  // A thickness beyond the weights is held to them: the same call again keeps the font.
  EXPECT_EQ(SetDefaultFontSize(nullptr, 20, 50), 0);
  const HandleValue held = GetDefaultFontHandle();
  EXPECT_EQ(SetDefaultFontSize(nullptr, 20, 50), 0);
  EXPECT_EQ(GetDefaultFontHandle(), held);
}

TEST(FontFailures, EachLeavesNothingBehind) {
  LibrarySession lib;
  const std::string longName(300, 'x');
  struct Case {
    const char* face;
    int size, failFonts, failDC, texture;
    bool made;
    const char* line;
  } cases[] = {
      {"No Such Face", 16, 0, 0, 0, false, "指定のフォントの作成に失敗しました\r\n"},
      {kSynth, 16, 3, 0, 0, false, "指定のフォントの作成に失敗しました\r\n"},
      {kSynth, 16, 2, 0, 0, true, nullptr},  // the third try succeeds
      {"", 16, 2, 0, 0, false, "フォントの作成に失敗しました\r\n"},
      {nullptr, 16, 1, 0, 0, true, nullptr},
      {kSynth, 16, 0, 1, 0, false, "ＤＣの取得に失敗しました\r\n"},
      {kSynth, 20000, 0, 0, 0, false,
       "フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle"},
      {kSynth, 20000, 0, 0, 1, false, "文字キャッシュ処理用メモリの確保に失敗しました\r\n"},
      {longName.c_str(), 16, 0, 0, 0, false, "指定のフォントの作成に失敗しました\r\n"},
  };
  for (const Case& c : cases) {
    SetForceFontTextureCache(c.texture);
    platform::gditest::FailNextCreateFonts(c.failFonts);
    if (c.failDC) platform::gditest::FailNextCreateCompatibleDC();
    const size_t logSize = lib.Log().size();
    const std::vector<size_t> counts = {
        size_t(FontHandleTable.Count()), size_t(GraphHandleTable().Count()),
        size_t(Surface2DTable().Count()), base::TrackedBlockCount()};
    const HandleValue h = CreateFontToHandle(c.face, c.size, 5, 1, -1, 1, -1, -1);
    EXPECT_EQ(h >= 0, c.made) << c.line;
    if (c.made) DeleteFontHandle(h);
    EXPECT_EQ(counts, std::vector<size_t>(
                          {size_t(FontHandleTable.Count()), size_t(GraphHandleTable().Count()),
                           size_t(Surface2DTable().Count()), base::TrackedBlockCount()}));
    if (c.line != nullptr) {
      EXPECT_NE(lib.Log().find(c.line, logSize), std::string::npos) << c.line;
    }
  }
  SetForceFontTextureCache(1);
  Synth(16, 5, 3, 2);  // left for LibraryEnd, with the memory fonts
  SetForceFontTextureCache(0);
  Synth(16, 5, 2, -1);
}

// A cache graph that could not be made again is still due: the next use tries again rather than
// draw through no graph and report success.
TEST(FontFailures, ACacheGraphThatCannotBeMadeAgainStaysDue) {
  LibrarySession lib({.bits = 32, .softwareScreen = false, .direct3D = true});
  const HandleValue h = Synth(16, 5, 1, 2);
  ASSERT_EQ(GetFontRecord(h)->TextureCache, 1);
  DeleteAllGraphHandles(0);
  platform::ddtest::FailNextCreateSurface(platform::DDERR_OUTOFMEMORY);
  EXPECT_EQ(SetupFontCache(h), -1);
  EXPECT_EQ(SetupFontCache(h), 0);
  EXPECT_NE(GetGraphRecord(GetFontRecord(h)->CacheGraph), nullptr);
}

TEST(FontFailuresDeathTest, NoContextForRenderingEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "fast");
  LibrarySession lib;
  EXPECT_EXIT(
      {
        platform::gditest::FailNextCreateCompatibleDC();
        Render(GetDefaultFontHandle(), {0x41});
      },
      ::testing::ExitedWithCode(255), "");
  EXPECT_NE(lib.Log().find("テキストキャッシュサーフェスのＤＣの取得に失敗しました"),
            std::string::npos);
}

}  // namespace
}  // namespace zq::gfx
