#include "graphics/font.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "base/math.h"
#include "base/memory.h"
#include "base/system.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_front.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/graph_load.h"
#include "graphics/texture_format.h"
#include "platform/size_limits.h"

namespace zq::gfx {

using platform::HDC;
using platform::HFONT;
using platform::HGDIOBJ;

HandleTable FontHandleTable(HandleKind::kFont, sizeof(FontRecord), HandleSlotPolicy::kLowestFree,
                            HandleCheckPolicy::kTableCounter);
namespace {
constexpr DefaultFontSettingsRecord kInitialDefaultFontSettings{"", 16, 6, 0, 1, 1, 0};
}  // namespace
DefaultFontSettingsRecord DefaultFontSettings = kInitialDefaultFontSettings;
int32_t FontCacheCharCount = 0;
int32_t FontCacheInSystemMemory = 0;
const uint32_t FontCharsetTable[3] = {platform::DEFAULT_CHARSET, platform::SHIFTJIS_CHARSET,
                                      platform::HANGEUL_CHARSET};

namespace {

HandleValue g_defaultFont = -1;
int g_defaultFontDue = 0;  // 1 when the default font could not be made: made when next asked for
int g_forceTextureCache = 0;
constexpr int32_t kMaxCharsetIndex = 2;
constexpr int32_t kMaxThickness = 10;  // GDI weights run to 1000
constexpr platform::MAT2 kIdentity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};

bool GraphicsRunning() {
  return IsGraphicsManagerInitialised() != 0 && GetDirectDrawObject() != nullptr;
}

// ---- Texture formats ------------------------------------------------------------------------

bool Is16BitArgb(const ColorData* f, int a, int r, int g, int b) {
  return f != nullptr && f->ColorBitDepth == 16 && f->AW == a && f->RW == r && f->GW == g &&
         f->BW == b;
}

const ColorData& TestFormat(bool fourBitAlpha) {
  static const auto formats = [] {
    struct Pair {
      ColorData argb4444, argb1555;
    } p{};
    SetupColorDataFromMasks(&p.argb4444, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
    SetupColorDataFromMasks(&p.argb1555, 16, 0x7C00, 0x03E0, 0x001F, 0x8000);
    return p;
  }();
  return fourBitAlpha ? formats.argb4444 : formats.argb1555;
}

// The work image's format when a font of the type takes the texture cache, or null for the
// memory cache.
const ColorData* ChooseTextureFormat(uint32_t type) {
  if (FontCacheInSystemMemory != 0) return nullptr;
  const bool antialias = (type & kFontTypeAntialias) != 0;
  if (g_forceTextureCache != 0) return &TestFormat(antialias);
  if (GetChooseDirect3DGraphs() == 0 || Is3DAvailable() == 0 || GetSoftwareScreenFlag() == 1)
    return nullptr;
  const ColorData* alphaChannel = SelectTextureFormat(1, 0, 0, 0);
  const ColorData* alphaTest = SelectTextureFormat(0, 1, 0, 0);
  if (!Is16BitArgb(alphaChannel, 4, 4, 4, 4) || !Is16BitArgb(alphaTest, 1, 5, 5, 5)) return nullptr;
  return antialias ? alphaChannel : alphaTest;
}

// ---- Cache sizes (64-bit, held to the library's image limits) -------------------------------

int64_t EdgeExtra(const FontRecord& f) {
  return (f.Type & kFontTypeEdge) != 0 ? 2 * int64_t(f.EdgeSize) : 0;
}

bool SizeTextureCache(FontRecord& f, int64_t cell) {
  if (cell > platform::kMaxImageSide) return false;  // not one cell fits a graph
  int64_t width = 512, height = 512;
  if (FontCacheCharCount > 0) {
    const int64_t side =
        (int64_t(base::FloatToInt(base::SqrtFloat(float(FontCacheCharCount)))) + 1) * cell;
    width = 8;
    while (width < side && width <= platform::kMaxImageSide) width *= 2;
    height = width;
  } else {
    while ((width / cell) * (height / cell) < 10 && width <= platform::kMaxImageSide &&
           height <= platform::kMaxImageSide) {
      if (width <= height)
        width *= 2;
      else
        height *= 2;
    }
  }
  const bool edge = (f.Type & kFontTypeEdge) != 0;
  const int64_t graphWidth = edge ? 2 * width : width;
  // The work image stays far below 2^31 bytes once the graph fits.
  if (graphWidth > platform::kMaxImageSide || height > platform::kMaxImageSide) return false;
  f.CacheWidth = int32_t(width);
  f.CacheHeight = int32_t(height);
  f.Capacity = int32_t(std::min<int64_t>((width / cell) * (height / cell), kFontCacheMaxChars));
  f.Rows = int32_t(height / cell);
  return true;
}

bool SizeMemoryCache(FontRecord& f, int64_t cell) {
  // Bounded first: the square of a cell near 2^32 leaves 64 bits.
  if (cell > platform::kMaxImageSide) return false;
  int64_t capacity =
      FontCacheCharCount > 0 ? FontCacheCharCount : std::max<int64_t>(327680 / (cell * cell), 20);
  capacity = std::min<int64_t>(capacity, kFontCacheMaxChars);
  const int64_t bits = f.Type == 0 ? 1 : 8;
  const int64_t height = capacity * cell, pitch = (bits * cell + 7) / 8;
  if (height > platform::kMaxImageSide || pitch * height > platform::kMaxBlockBytes) return false;
  f.CacheBitsPerPixel = int32_t(bits);
  f.Capacity = int32_t(capacity);
  f.CacheWidth = int32_t(cell);
  f.CacheHeight = int32_t(height);
  f.Rows = int32_t(capacity);
  f.CachePitch = int32_t(pitch);
  return true;
}

// ---- Creation -------------------------------------------------------------------------------

// A font abandoned after its record exists goes whole: the GDI font not yet stored, then
// everything the record holds.
HandleValue Abandon(HandleValue handle, HFONT unstored) {
  if (unstored != nullptr) platform::DeleteObject(unstored);
  DeleteFontHandle(handle);
  return -1;
}

HFONT MakeGdiFont(const FontRecord& f, int32_t charsetIndex) {
  const bool named = f.FaceName[0] != '\0';
  auto make = [&](uint32_t charSet) {
    return platform::CreateFontA(f.Size, 0, 0, 0, f.Thickness * 100, 0, 0, 0, charSet,
                                 platform::OUT_DEFAULT_PRECIS, platform::CLIP_DEFAULT_PRECIS,
                                 platform::NONANTIALIASED_QUALITY, platform::FIXED_PITCH,
                                 named ? f.FaceName : nullptr);
  };
  HFONT font = make(FontCharsetTable[charsetIndex]);
  if (font == nullptr) font = make(platform::DEFAULT_CHARSET);
  if (font == nullptr && named) font = make(platform::SHIFTJIS_CHARSET);
  return font;
}

// The texture cache: sizes, cache graph and work image. 0; 1 when the font must take the memory
// cache instead; -1 when it is abandoned (after the log line).
int SetupTextureCache(HandleValue handle, FontRecord* f, const ColorData& format, int64_t cell) {
  if (!SizeTextureCache(*f, cell))
    return base::LogAddString("文字キャッシュ処理用メモリの確保に失敗しました\n");
  f->CacheGraphLost = 1;
  if (SetupFontCache(handle) != 0) {
    base::LogAddString("テクスチャ文字キャッシュの作成に失敗しました\n");
    f->CacheGraphLost = 0;  // the memory cache has no graph to make
    return 1;
  }
  GraphImage& work = f->WorkImage;
  work.Format = format;
  work.Width = int32_t((f->Type & kFontTypeEdge) != 0 ? 2 * cell : cell);
  work.Height = int32_t(cell + EdgeExtra(*f));
  work.Pitch = work.Width * format.PixelByte;
  work.Pixels = ZQ_CALLOC(size_t(work.Pitch) * size_t(work.Height));
  if (work.Pixels == nullptr)
    return base::LogAddString("文字キャッシュ処理用メモリの確保に失敗しました\n");
  return 0;
}

int SetupMemoryCache(HandleValue handle, FontRecord* f, int64_t cell) {
  if (!SizeMemoryCache(*f, cell) ||
      (f->CacheBitmap = static_cast<uint8_t*>(
           ZQ_ALLOC(size_t(f->CachePitch) * size_t(f->CacheHeight)))) == nullptr)
    return base::LogAddLine(
        "フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
  f->DrawScreenLost = 1;
  if (SetupFontCache(handle) != 0)
    return base::LogAddString("フォント用描画スクリーンの作成に失敗しました\n");
  return 0;
}

}  // namespace

HandleValue CreateFontToHandle(const char* faceName, int32_t size, int32_t thickness, int32_t type,
                               int32_t charsetIndex, int32_t edgeSize, int32_t slot,
                               int32_t check) {
  if (!GraphicsRunning()) return -1;
  // Values outside these ranges would index the slot table or the charset table.
  if (slot < -1 || slot >= kFontHandleSlots || check < -1 || check >= int32_t(kHandleCheckCount) ||
      charsetIndex < -1 || charsetIndex > kMaxCharsetIndex)
    return -1;
  if (type == -1) type = 0;
  if (edgeSize > 0) type |= int32_t(kFontTypeEdge);
  uint32_t fontType = uint32_t(type) & 3;  // types above 3 are not defined
  if (size == -1) size = 16;
  if (thickness == -1) thickness = 6;
  thickness = std::clamp(thickness, 0, kMaxThickness);
  // -1 asks for the default; 0 and below would give an edge font no edge shape.
  if (edgeSize < 1) edgeSize = 1;
  if (charsetIndex == -1) charsetIndex = platform::GetOEMCP() == 949 ? 2 : 1;

  if (!FontHandleTable.IsInitialised() && FontHandleTable.Init() != 0)
    return base::LogAddString("フォント管理用メモリ領域の確保に失敗しました\n");
  if (slot == -1 && FontHandleTable.Count() >= FontHandleTable.SlotCount())
    return base::LogAddFormat("作成できるフォントハンドル数 %d の限界を超えました",
                              FontHandleTable.SlotCount());
  if (slot != -1 && FontHandleTable.RecordAt(slot) != nullptr) return -1;
  void* raw = nullptr;
  const HandleValue handle = FontHandleTable.AllocateAt(slot, check, &raw);
  if (handle < 0) return base::LogAddString("フォント管理用メモリ領域の確保に失敗しました\n");
  auto* f = static_cast<FontRecord*>(raw);
  f->CacheGraph = -1;
  f->EdgeGraph = -1;
  f->DrawScreen = -1;

  if (GetScreenColorBitDepth() == 8) fontType &= ~kFontTypeAntialias;
  f->Size = size;
  f->Thickness = thickness;
  f->Type = fontType;
  f->EdgeSize = edgeSize;
  f->CharSpacing = 0;
  const ColorData* textureFormat = ChooseTextureFormat(fontType);
  f->TextureCache = textureFormat != nullptr ? 1 : 0;
  if (faceName != nullptr) {
    const size_t length = strnlen(faceName, kFontFaceNameBytes - 1);
    std::memcpy(f->FaceName, faceName, length);
    f->FaceName[length] = '\0';
  }

  const HFONT gdiFont = MakeGdiFont(*f, charsetIndex);
  if (gdiFont == nullptr) {
    base::LogAddString(f->FaceName[0] != '\0' ? "指定のフォントの作成に失敗しました\n"
                                              : "フォントの作成に失敗しました\n");
    return Abandon(handle, nullptr);
  }
  const HDC dc = platform::CreateCompatibleDC(nullptr);
  if (dc == nullptr) {
    base::LogAddString("ＤＣの取得に失敗しました\n");
    return Abandon(handle, gdiFont);
  }
  const HGDIOBJ previous = platform::SelectObject(dc, gdiFont);
  platform::TEXTMETRICA metrics{};
  platform::GetTextMetricsA(dc, &metrics);
  platform::SelectObject(dc, previous);
  platform::DeleteDC(dc);
  f->GdiFont = gdiFont;
  // A face whose widest character is 0 would make every capacity divide by 0.
  const int64_t cell =
      std::max<int64_t>((int64_t(metrics.tmMaxCharWidth) + EdgeExtra(*f) + 7) / 8 * 8, 8);
  int64_t lineHeight = int64_t(metrics.tmHeight) + EdgeExtra(*f);
  lineHeight += lineHeight & 1;
  f->CellSize = int32_t(std::min<int64_t>(cell, INT32_MAX));
  f->LineHeight = int32_t(std::clamp<int64_t>(lineHeight, INT32_MIN, INT32_MAX - 1));

  if (f->TextureCache == 1) {
    const int result = SetupTextureCache(handle, f, *textureFormat, cell);
    if (result < 0) return Abandon(handle, nullptr);
    if (result > 0) f->TextureCache = 0;
  }
  if (f->TextureCache == 0 && SetupMemoryCache(handle, f, cell) != 0)
    return Abandon(handle, nullptr);

  ClearFontCacheTables(handle);
  f->CharsetIndex = charsetIndex;
  f->LostFlag = nullptr;
  return handle;
}

int DeleteFontHandle(HandleValue handle) {
  FontRecord* f = GetFontRecord(handle);
  if (f == nullptr) return -1;
  if (f->GdiFont != nullptr) platform::DeleteObject(f->GdiFont);
  base::TrackedFree(f->CacheBitmap);
  DeleteSurface2D(f->DrawScreen);
  // The edge graph is a graph of its own (derived from the cache graph): it goes too.
  DeleteGraphHandle(f->EdgeGraph, 0);
  DeleteGraphHandle(f->CacheGraph, 0);
  base::TrackedFree(f->WorkImage.Pixels);
  if (f->LostFlag != nullptr) *f->LostFlag = 1;
  FontHandleTable.Free(handle);
  // No default is left naming a deleted font.
  if (handle == g_defaultFont) g_defaultFont = -1;
  return 0;
}

int SetupFontCache(HandleValue handle) {
  FontRecord* f = GetFontRecord(handle);
  if (f == nullptr) return -1;
  const bool antialias = (f->Type & kFontTypeAntialias) != 0;
  // A flag stays 1 until its object is made (each link writes 0), so a failure is tried again
  // at the next use rather than leave the font drawing through nothing.
  if (f->DrawScreenLost == 1) {
    SurfaceOptions options{};
    options.AlphaChFlag = antialias ? 1 : 0;
    options.SystemMemFlag = 1;
    options.ColorBitDepth = uint8_t(GetScreenColorBitDepth());
    f->DrawScreen = AddSurface2D(GetScreenWidth(), GetScreenHeight(), 0, 0, 0, -1, 0, 0, &options);
    if (f->DrawScreen < 0) return -1;
    SetSurface2DLink(f->DrawScreen, &f->DrawScreenLost);
  }
  if (f->CacheGraphLost == 1) {
    // An edge graph that outlived its cache graph would be left behind.
    DeleteGraphHandle(f->EdgeGraph, 0);
    f->CacheGraph = f->EdgeGraph = -1;  // no stale handle stays behind
    const bool edge = (f->Type & kFontTypeEdge) != 0;
    const int savedAlpha = GetCreateAlphaChannelFlag(), savedDepth = GetCreateColorBitDepth(),
              saved3D = GetChooseDirect3DGraphs(), savedAlphaTest = GetCreateOptionB();
    // Without Direct3D (the tests' forced texture cache) the graph is a DirectDraw one, which
    // keeps the glyphs' alpha only in an alpha channel.
    SetCreateAlphaChannelFlag(antialias || Is3DAvailable() == 0 ? 1 : 0);
    SetCreateOptionB(antialias ? 0 : 1);
    SetCreateColorBitDepth(16);
    ChooseDirect3DGraphs(1);
    const HandleValue cache =
        CreateEmptyGraph(edge ? 2 * f->CacheWidth : f->CacheWidth, f->CacheHeight);
    HandleValue edgeGraph = -1;
    if (cache >= 0 && edge)
      edgeGraph = DeriveGraphRect(f->CacheWidth, 0, 2 * f->CacheWidth, f->CacheHeight, cache);
    SetCreateAlphaChannelFlag(savedAlpha);
    SetCreateColorBitDepth(savedDepth);
    ChooseDirect3DGraphs(saved3D);
    SetCreateOptionB(savedAlphaTest);
    if (cache < 0 || (edge && edgeGraph < 0)) {
      if (cache >= 0) DeleteGraphHandle(cache, 0);
      return -1;
    }
    f->CacheGraph = cache;
    f->EdgeGraph = edgeGraph;
    SetGraphLostFlagPtr(cache, &f->CacheGraphLost);
    FillGraphColor(cache, 255, 255, 255, 0);
    ClearFontCacheTables(handle);
  }
  return 0;
}

int ClearFontCacheTables(HandleValue handle) {
  FontRecord* f = GetFontRecord(handle);
  if (f == nullptr) return -1;
  std::memset(f->Entries, 0, sizeof f->Entries);
  std::memset(f->CodeMap, 0, sizeof f->CodeMap);
  const int32_t capacity = std::clamp(f->Capacity, 0, kFontCacheMaxChars);
  for (int32_t i = 0; i < capacity; ++i) f->Entries[i].CellIndex = i;
  f->Entries[capacity].CellIndex = -1;
  f->NextEntry = 0;
  return 0;
}

// ---- Rendering ------------------------------------------------------------------------------

namespace {

int16_t ToInt16(int64_t v) {
  return int16_t(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
}

// Writes the work image's glyph rectangle (and its edge layer) into the cache graph.
void UploadGlyph(const FontRecord& f, const GlyphCacheEntry& e, int32_t cellX, int32_t cellY) {
  const int32_t w = e.Width, h = e.Height;
  if (w <= 0 || h <= 0) return;
  SetGraphImageDIB(nullptr, nullptr, nullptr, nullptr, 0, &f.WorkImage, nullptr, 0, 0, w, h, cellX,
                   cellY, f.CacheGraph, 0);
  if ((f.Type & kFontTypeEdge) != 0)
    SetGraphImageDIB(nullptr, nullptr, nullptr, nullptr, 0, &f.WorkImage, nullptr, f.CellSize, 0,
                     f.CellSize + w, h, f.CacheWidth + cellX, cellY, f.CacheGraph, 0);
}

}  // namespace

GlyphCacheEntry* RenderGlyphToCache(int32_t count, const uint8_t* chars, HandleValue handle) {
  if (!GraphicsRunning()) return nullptr;
  FontRecord* f = GetFontRecord(handle);
  if (f == nullptr || count <= 0 || chars == nullptr) return nullptr;
  // The context goes back however the rendering ends.
  struct Context {
    HDC dc = platform::CreateCompatibleDC(nullptr);
    HGDIOBJ previous = nullptr;
    ~Context() {
      if (previous != nullptr) platform::SelectObject(dc, previous);
      if (dc != nullptr) platform::DeleteDC(dc);
    }
  } context;
  const HDC dc = context.dc;
  if (dc != nullptr) context.previous = platform::SelectObject(dc, f->GdiFont);
  if (context.previous == nullptr)
    base::ExitOnFatalError("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
  platform::TEXTMETRICA metrics{};
  platform::GetTextMetricsA(dc, &metrics);

  const bool texture = f->TextureCache == 1;
  const uint32_t format =
      (f->Type & kFontTypeAntialias) != 0 ? platform::GGO_GRAY4_BITMAP : platform::GGO_BITMAP;
  const int32_t edge = (f->Type & kFontTypeEdge) != 0 ? f->EdgeSize : 0;
  const int32_t cell = f->CellSize;
  const int32_t bound = std::min(cell, int32_t(INT16_MAX));
  const GlyphWriter write = SelectGlyphWriter(texture, f->Type, edge);
  GlyphTarget target{};
  target.cell = cell;
  target.edge = edge;
  if (texture) {
    const ColorData& c = f->WorkImage.Format;
    target.pixels = static_cast<uint8_t*>(f->WorkImage.Pixels);
    target.pitch = f->WorkImage.Pitch;
    target.white = uint16_t(c.RM | c.GM | c.BM);
    target.alpha = uint16_t(c.AM);
    target.alphaShift = c.AL + c.AW - 4;
  } else {
    target.pitch = f->CachePitch;
  }

  GlyphCacheEntry* last = nullptr;
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t first = chars[3 * i], second = chars[3 * i + 1];
    GlyphCacheEntry* entry = &f->Entries[f->NextEntry];
    if (entry->InUse != 0) {
      // A character entered twice moved its slot on to the later entry: leave that one.
      if (entry->Slot != nullptr && entry->Slot->Entry == entry) *entry->Slot = GlyphCodeSlot{};
      entry->InUse = 0;
    }
    GlyphCodeSlot* slot = &f->CodeMap[first + 256 * second];
    slot->Cached = 1;
    slot->Entry = entry;
    entry->Slot = slot;
    entry->InUse = 1;

    const int32_t cellX = (entry->CellIndex / f->Rows) * cell;
    const int32_t cellY = (entry->CellIndex % f->Rows) * cell;
    if (texture) {
      std::memset(f->WorkImage.Pixels, 0, size_t(f->WorkImage.Pitch) * size_t(f->WorkImage.Height));
    } else {
      target.pixels = f->CacheBitmap + int64_t(cellY) * f->CachePitch;
      std::memset(target.pixels, 0, size_t(cell) * size_t(f->CachePitch));
    }

    const uint32_t code = second != 0 ? uint32_t(first) << 8 | second : first;
    platform::GLYPHMETRICS gm{};
    const uint32_t size = platform::GetGlyphOutlineA(dc, code, format, &gm, 0, nullptr, &kIdentity);
    if (size == platform::GDI_ERROR) base::ExitOnFatalError("GetGlyphOutline 関数が失敗しました");
    if (first == 0x20 || (first == 0x81 && second == 0x40)) {
      entry->OffsetX = 0;
      entry->OffsetY = 0;
      entry->Advance = ToInt16(gm.gmCellIncX);
      entry->Width = 0;
      entry->Height = 0;
    } else {
      const int64_t boxW = gm.gmBlackBoxX, boxH = gm.gmBlackBoxY;
      int64_t pitch = boxH > 0 ? int64_t(size / boxH) & ~int64_t(3) : 0;
      // A glyph without pixels reads as an empty box: a zeroed buffer of its visible part.
      const bool pixels = size > 0 && pitch > 0;
      const int64_t rows = pixels ? int64_t(size) / pitch : std::min<int64_t>(boxH, cell);
      if (!pixels) pitch = (std::min<int64_t>(boxW, cell) + 3) & ~int64_t(3);  // a byte a pixel
      auto* buffer = static_cast<uint8_t*>(ZQ_CALLOC(size_t(pitch * rows + 2 * pitch)));
      if (buffer == nullptr)
        base::ExitOnFatalError("アンチエイリアス文字取得用バッファの確保に失敗しました");
      if (pixels && platform::GetGlyphOutlineA(dc, code, format, &gm, size, buffer + pitch,
                                               &kIdentity) == platform::GDI_ERROR) {
        base::TrackedFree(buffer);
        base::ExitOnFatalError("GetGlyphOutline 関数が失敗しました");
      }
      entry->OffsetX = ToInt16(gm.gmptGlyphOrigin.x);
      entry->OffsetY = ToInt16(int64_t(metrics.tmAscent) - gm.gmptGlyphOrigin.y);
      entry->Advance = ToInt16(gm.gmCellIncX);
      entry->Width = ToInt16(std::min<int64_t>(boxW + 2 * int64_t(edge), bound));
      entry->Height = ToInt16(std::min<int64_t>(boxH + 2 * int64_t(edge), bound));
      const int64_t perRow = format == platform::GGO_BITMAP ? pitch * 8 : pitch;
      const GlyphPixels glyph{buffer + pitch, int32_t(pitch), int32_t(std::min(boxW, perRow)),
                              int32_t(std::min(boxH, rows))};
      write(glyph, target);
      base::TrackedFree(buffer);
      if (texture) UploadGlyph(*f, *entry, cellX, cellY);
    }
    if (edge != 0) {
      entry->Advance = ToInt16(int64_t(entry->Advance) + 2 * int64_t(edge));
      if (entry->Width == 0) {  // a space
        entry->Width = ToInt16(std::min<int64_t>(2 * int64_t(edge), bound));
        entry->Height = entry->Width;
      }
    }
    f->NextEntry = f->NextEntry + 1 >= f->Capacity ? 0 : f->NextEntry + 1;
    last = entry;
  }
  return last;
}

// ---- Small operations -----------------------------------------------------------------------

int SetFontCharSpacing(int32_t spacing, HandleValue handle) {
  FontRecord* f = GetFontRecord(handle);
  if (f == nullptr) return -1;
  f->CharSpacing = spacing;
  return 0;
}

int SetFontLostFlagPtr(HandleValue handle, int32_t* flag) {
  FontRecord* f = GetFontRecord(handle);
  if (f == nullptr) return -1;
  f->LostFlag = flag;
  if (flag != nullptr) *flag = 0;
  return 0;
}

int GetFontInfo(char* faceName, int32_t* size, int32_t* thickness, HandleValue handle) {
  const FontRecord* f = GetFontRecord(handle);
  if (f == nullptr) return -1;
  if (faceName != nullptr) {
    const size_t length = strnlen(f->FaceName, kFontFaceNameBytes - 1);
    std::memcpy(faceName, f->FaceName, length);
    faceName[length] = '\0';
  }
  if (size != nullptr) *size = f->Size;
  if (thickness != nullptr) *thickness = f->Thickness;
  return 0;
}

FontRecord* GetFontRecord(HandleValue handle) {
  if (!FontHandleTable.IsInitialised()) return nullptr;
  return FontHandleTable.Lookup<FontRecord>(handle);
}

int IsFontHandleValid(HandleValue handle) {
  return GetFontRecord(handle) != nullptr ? 1 : 0;
}

HandleValue GetDefaultFontHandle() {
  if (g_defaultFontDue == 1 && GraphicsRunning()) RecreateDefaultFont();
  return g_defaultFont;
}

int IsShiftJisLeadByte(const uint8_t* byte, int32_t mode) {
  if (byte == nullptr) return 0;
  const uint8_t b = *byte;
  if (mode == 2) return b >= 0x80 ? 1 : 0;
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? 1 : 0;
}

void SetForceFontTextureCache(int on) {
  g_forceTextureCache = on != 0 ? 1 : 0;
}

// ---- The default font and the font system ---------------------------------------------------

void ResetDefaultFontSettings() {
  DefaultFontSettings = kInitialDefaultFontSettings;
}

int InitFontSystem() {
  if (!GraphicsRunning()) return -1;
  base::LogAddString("フォントの初期化を行います\n");
  base::LogIndentIn();
  const FontRecord* old = GetFontRecord(g_defaultFont);
  const bool remembered = old != nullptr;
  char face[kFontFaceNameBytes] = "";
  int32_t size = 16, thickness = 6, type = -1, charset = -1;
  if (remembered) {
    std::memcpy(face, old->FaceName, sizeof face);
    size = old->Size;
    thickness = old->Thickness;
    type = int32_t(old->Type);
    charset = old->CharsetIndex;
  }
  for (int32_t slot = 0; slot < kFontHandleSlots; ++slot) {
    const HandleValue h = FontHandleTable.HandleAt(slot);
    if (h >= 0) DeleteFontHandle(h);
  }
  g_defaultFont = CreateFontToHandle(face, size, thickness, type, charset, -1, -1, -1);
  g_defaultFontDue = g_defaultFont < 0 ? 1 : 0;
  base::LogIndentOut();
  base::LogAddString(g_defaultFontDue == 0
                         ? "フォントの初期化は正常に終了しました\n"
                         : "デフォルトフォントの作成に失敗しました、次に使う時に作り直します\n");
  return 0;
}

int EndFontSystem() {
  InitFontSystem();
  DeleteFontHandle(g_defaultFont);
  g_defaultFont = -1;
  g_defaultFontDue = 0;
  // The slot array is a tracked block: it goes once no font is left.
  if (FontHandleTable.Count() == 0) FontHandleTable.Term();
  return 0;
}

int SetDefaultFontSize(const char*, int32_t size, int32_t thickness) {
  if (!GraphicsRunning()) return -1;
  const DefaultFontSettingsRecord before = DefaultFontSettings;
  DefaultFontSettings.Size = size == -1 ? 16 : size;
  // Held as CreateFontToHandle holds it, so that the settings compare equal to the font made.
  DefaultFontSettings.Thickness = thickness == -1 ? 6 : std::clamp(thickness, 0, kMaxThickness);
  if (RecreateDefaultFont() == 0) return 0;
  // The settings stay those of the default font in place.
  DefaultFontSettings = before;
  return -1;
}

namespace {

// What a font is made from, so that it can be made again under its handle value.
struct FontRemake {
  char face[kFontFaceNameBytes];
  int32_t size, thickness, type, charset, edge, spacing;
  int32_t slot, check;
  int32_t* lostFlag;
  bool isDefault;
};

FontRemake RemakeOf(HandleValue handle, const FontRecord& f) {
  FontRemake r{};
  std::memcpy(r.face, f.FaceName, sizeof r.face);
  r.size = f.Size;
  r.thickness = f.Thickness;
  r.type = int32_t(f.Type);
  r.charset = f.CharsetIndex;
  r.edge = f.EdgeSize;
  r.spacing = f.CharSpacing;
  r.slot = HandleSlot(handle);
  r.check = int32_t(f.Check);
  r.lostFlag = f.LostFlag;
  r.isDefault = handle == g_defaultFont;
  return r;
}

// The font made again in its slot with its check value, so its handle names it again. The edge
// size, the spacing and the owner's flag come back with it; the owner's flag already holds the 1
// of the deletion. The handle, or -1.
HandleValue Remake(const FontRemake& r) {
  const HandleValue again =
      CreateFontToHandle(r.face, r.size, r.thickness, r.type, r.charset,
                         (r.type & int32_t(kFontTypeEdge)) != 0 ? r.edge : -1, r.slot, r.check);
  if (FontRecord* made = GetFontRecord(again)) {
    made->CharSpacing = r.spacing;
    made->LostFlag = r.lostFlag;
  }
  if (r.isDefault) g_defaultFont = again;
  return again;
}

}  // namespace

int RecreateDefaultFont() {
  const DefaultFontSettingsRecord& s = DefaultFontSettings;
  const FontRecord* f = GetFontRecord(g_defaultFont);
  if (f != nullptr && std::strncmp(f->FaceName, s.FaceName, sizeof s.FaceName) == 0 &&
      f->Type == uint32_t(s.Type) && f->Size == s.Size && f->Thickness == s.Thickness &&
      f->CharsetIndex == s.CharsetIndex && f->EdgeSize == s.EdgeSize)
    return 0;
  FontRemake previous{};
  if (f != nullptr) previous = RemakeOf(g_defaultFont, *f);
  DeleteFontHandle(g_defaultFont);
  const HandleValue made =
      CreateFontToHandle(s.FaceName, s.Size, s.Thickness, s.Type, s.CharsetIndex,
                         (s.Type & int32_t(kFontTypeEdge)) != 0 ? s.EdgeSize : -1, -1, -1);
  if (made < 0) {
    // A default that cannot be made leaves the one before, under its handle; with none before,
    // it is made when next asked for.
    if (previous.isDefault) Remake(previous);
    g_defaultFontDue = IsFontHandleValid(g_defaultFont) == 1 ? 0 : 1;
    return -1;
  }
  g_defaultFont = made;
  g_defaultFontDue = 0;
  SetFontCharSpacing(s.CharSpacing, g_defaultFont);
  return 0;
}

int RecreateAllFonts() {
  for (int32_t slot = 0; slot < kFontHandleSlots; ++slot) {
    const HandleValue handle = FontHandleTable.HandleAt(slot);
    const FontRecord* f = GetFontRecord(handle);
    if (f == nullptr) continue;
    const FontRemake remake = RemakeOf(handle, *f);
    DeleteFontHandle(handle);
    Remake(remake);
  }
  return 0;
}

}  // namespace zq::gfx
