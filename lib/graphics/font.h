// Fonts: font handles, each a GDI font with a cache of rendered glyphs in square cells, the
// default font, and the Shift-JIS lead-byte test.
//
// A font's cache is either a texture cache (the cells are part of a graph on the Direct3D path:
// white pixels with alpha, an outlined font's graph twice as wide with the outlines in its right
// half) or a memory cache (a bitmap one cell wide, 1 or 8 bits per pixel, beside a draw screen of
// the screen's size). Font types: bit 0 an outline (edge) of the edge size around each glyph,
// bit 1 anti-aliased glyphs.
//
//   type  memory cache pixel                              texture format
//   0     1 bit, set = glyph, most significant bit left  A1R5G5B5, alpha = glyph
//   1     8 bits: 0 empty, 1 glyph, 2 edge                A1R5G5B5, glyph and edge layers
//   2     8 bits: grey level - 1 (0..15)                  A4R4G4B4, alpha = level - 1
//   3     8 bits: low nibble glyph, high nibble edge      A4R4G4B4, glyph and edge layers
//
// Glyphs are rendered on demand into the cells in cyclic order; a character is found in its
// font's code map by direct index (first byte + 256 x second byte).
#pragma once

#include <cstdint>

#include "graphics/font_glyph.h"
#include "graphics/handle_table.h"
#include "graphics/image/graph_image.h"
#include "platform/gdi/font.h"

namespace zq::gfx {

inline constexpr int32_t kFontCacheMaxChars = 2024;
inline constexpr int32_t kFontFaceNameBytes = 256;
inline constexpr int32_t kDefaultFontFaceNameBytes = 128;
inline constexpr uint32_t kFontTypeEdge = 1;
inline constexpr uint32_t kFontTypeAntialias = 2;

struct GlyphCodeSlot;

struct GlyphCacheEntry {
  int16_t InUse;      // 1 while the entry holds a glyph
  int16_t OffsetX;    // box left relative to the pen
  int16_t OffsetY;    // box top below the top of the line
  int16_t Advance;    // cell increment (+ 2 x edge for edge fonts)
  int32_t CellIndex;  // fixed: entry i uses cell i; -1 in the terminator
  int16_t Width;      // box (+ 2 x edge), cut at the cell's edge; 0 (+ 2 x edge) for a space
  int16_t Height;
  GlyphCodeSlot* Slot;  // the code-map slot that refers to this entry
};

struct GlyphCodeSlot {
  uint32_t Cached;  // 1 when the character has an entry
  GlyphCacheEntry* Entry;
};

struct FontRecord {
  uint32_t Check;     // bits 16-26 of the handle
  int32_t* LostFlag;  // receives 1 when the font is deleted (SetFontLostFlagPtr)
  GlyphCacheEntry Entries[kFontCacheMaxChars + 1];
  GlyphCodeSlot CodeMap[65536];
  int32_t NextEntry;
  int32_t Capacity;      // cells in use
  uint8_t* CacheBitmap;  // memory cache
  int32_t CachePitch;
  int32_t CacheBitsPerPixel;          // 1 or 8
  char FaceName[kFontFaceNameBytes];  // empty: the default face
  int32_t Thickness;                  // GDI weight / 100
  int32_t Size;                       // character height given to CreateFontA
  int32_t LineHeight;                 // even
  int32_t CharSpacing;
  int32_t CellSize;  // a multiple of 8
  platform::HFONT GdiFont;
  uint32_t Type;
  int32_t CharsetIndex;  // into FontCharsetTable; also the mode of the string split
  int32_t EdgeSize;      // 1 when not given
  int32_t CacheWidth;    // texture: the glyph half of the cache graph; memory: one cell
  int32_t CacheHeight;
  int32_t Rows;            // cells per column
  HandleValue DrawScreen;  // 2D surface (memory cache), -1 when none
  int32_t DrawScreenLost;  // 1: the draw screen must be made (again)
  HandleValue CacheGraph;  // -1 when none
  HandleValue EdgeGraph;   // -1 when none
  int32_t CacheGraphLost;  // 1: the cache graph must be made (again)
  GraphImage WorkImage;    // texture cache: one glyph (and its edge) before the upload
  int32_t TextureCache;    // 1 texture cache, 0 memory cache
};

struct DefaultFontSettingsRecord {
  char FaceName[kDefaultFontFaceNameBytes];
  int32_t Size;
  int32_t Thickness;
  int32_t Type;
  int32_t CharsetIndex;
  int32_t EdgeSize;
  int32_t CharSpacing;
};

extern DefaultFontSettingsRecord DefaultFontSettings;
// Characters a new font's cache holds (0: chosen from the cell size), and non-zero to keep every
// new font out of the texture cache. Tests may set them; the library never does.
extern int32_t FontCacheCharCount;
extern int32_t FontCacheInSystemMemory;
// GDI character sets of the charset indexes 0, 1, 2: DEFAULT, SHIFTJIS, HANGEUL.
extern const uint32_t FontCharsetTable[3];

// ---- Operations ------------------------------------------------------------------------------

// face (may be null), size, thickness, type, charset index, edge size, slot, check value; -1 in
// any of the last seven asks for the default. The handle, or -1 after a log line (none for an
// occupied or out-of-range slot or check value, or an unknown charset index).
HandleValue CreateFontToHandle(const char* faceName, int32_t size, int32_t thickness, int32_t type,
                               int32_t charsetIndex, int32_t edgeSize, int32_t slot, int32_t check);
// Deleting the default font leaves no default (GetDefaultFontHandle -1).
int DeleteFontHandle(HandleValue font);
// Makes the draw screen and the cache graph again when they are marked lost. 0 or -1.
int SetupFontCache(HandleValue font);
int ClearFontCacheTables(HandleValue font);
// Renders count characters (three bytes each: first byte, second byte or 0, 0) into the cache in
// order. The entry of the last one; null when graphics are not running, DirectDraw is not
// started or the handle is invalid. GDI and memory failures end the program.
GlyphCacheEntry* RenderGlyphToCache(int32_t count, const uint8_t* chars, HandleValue font);
int SetFontCharSpacing(int32_t spacing, HandleValue font);
int SetFontLostFlagPtr(HandleValue font, int32_t* flag);
// Face name (at most 256 bytes with its zero), size and thickness; each pointer may be null.
int GetFontInfo(char* faceName, int32_t* size, int32_t* thickness, HandleValue font);
FontRecord* GetFontRecord(HandleValue font);
int IsFontHandleValid(HandleValue font);
HandleValue GetDefaultFontHandle();
int InitFontSystem();
int EndFontSystem();
// Sets DefaultFontSettings back to their initial values.
void ResetDefaultFontSettings();
// The face name is not used; size -1 means 16, thickness -1 means 6. 0; -1 when graphics are not
// running or the font cannot be made: the default font and the settings then stay as they were.
int SetDefaultFontSize(const char* faceName, int32_t size, int32_t thickness);
// Makes the default font again from DefaultFontSettings unless it already matches them. 0; -1
// when it cannot be made, the previous default then made again under its handle.
int RecreateDefaultFont();
// Makes every font again under its handle value, with its edge size, spacing and lost flag.
int RecreateAllFonts();
// Mode 2: a byte with its top bit set; other modes: 0x81-0x9F and 0xE0-0xFC.
int IsShiftJisLeadByte(const uint8_t* byte, int32_t mode);

// The 40 font slots: lowest free slot first, one check counter for the table.
extern HandleTable FontHandleTable;

// Test switch: while on, new fonts take the texture cache (A4R4G4B4 for anti-aliased types,
// A1R5G5B5 for the others) even without Direct3D; their cache graph is then a DirectDraw graph
// with an alpha channel. FontCacheInSystemMemory still keeps them out.
void SetForceFontTextureCache(int on);

}  // namespace zq::gfx
