// Stand-in for the GDI font services: CreateFontA, GetTextMetricsA, GetGlyphOutlineA,
// GetTextFaceA and GetOEMCP, with fonts selected into the memory device contexts of the bitmap
// stand-in (SelectObject and DeleteObject take fonts too). Faces are found with fontconfig and
// rendered with FreeType; character codes are converted to Unicode with iconv (CP932, or CP949
// for HANGEUL_CHARSET). A built-in synthetic face, "zq-synthetic", needs neither.
//
// Faces. A face name (Shift-JIS) must match one of an installed font's family names exactly,
// ignoring ASCII case; fontconfig picks the best style of that family (bold when the weight is
// 600 or more). CreateFontA gives null when the named face is not installed or lacks the test
// character of the character set (U+3042 for SHIFTJIS_CHARSET, U+AC00 for HANGEUL_CHARSET). An
// empty or null name takes fontconfig's best "monospace" match for the character set's language
// (ko for HANGEUL_CHARSET, ja for every other) and fails only when fontconfig finds no file.
// Fontconfig is set up once per process and each lookup is remembered.
//
// FreeType. A positive height is the cell height (ascent plus descent, FreeType's cell size
// request), a negative one the em height, 0 counts as 16. Metrics in whole pixels of the scaled
// face: tmAscent = ascender, tmDescent = -descender, tmHeight = their sum, tmMaxCharWidth = the
// largest advance, tmAveCharWidth = the OS/2 average width scaled (half the largest advance when
// the face has none). Glyphs are loaded from their outlines (never from embedded bitmaps) with
// the default hinting for GGO_GRAY4_BITMAP and GGO_METRICS and the monochrome hinting for
// GGO_BITMAP, then rendered by FreeType's normal or monochrome renderer. A weight of 600 or more
// on a face that is not bold emboldens the outline by one pixel across (FT_Outline_EmboldenXY
// with 64 and 0) and adds one pixel to the advance. A code without a Unicode mapping or without
// a glyph gives glyph 0 (.notdef).
//
// Glyph layouts (GetGlyphOutlineA): black box = the bitmap's width x rows, origin = (left, top)
// of the bitmap relative to the pen on the baseline (y upwards), cell increment = the advance
// rounded to whole pixels. GGO_BITMAP: 1 bit per pixel, most significant bit leftmost, rows
// padded to 32 bits with 0 bits. GGO_GRAY4_BITMAP: one byte per pixel, level 0..16 = (v x 16 +
// 127) / 255 of FreeType's coverage v, rows padded to 4 bytes with 0. A glyph without pixels
// reports a 1 x 1 box and a buffer size of 0.
//
// The synthetic face "zq-synthetic" (fixed; tests build their expectations from this text):
//   h = |height| (0 counts as 16).
//   Metrics: tmHeight h, tmAscent h - h/4, tmDescent h/4, tmMaxCharWidth h, tmAveCharWidth h/2.
//   Code c (the code GetGlyphOutlineA receives, used as it is): wide = c > 0xFF; increment = h
//     when wide, else h/2.
//   The codes 0x20, 0x8140 and 0x7F have no pixels: box 1 x 1, buffer size 0.
//   Every other code: box width max(1, increment - 2 - c % 3), box height max(1, h - 3 - c % 4);
//     origin x = c % 2 (code 0x5F: -1), origin y = tmAscent - c % 3. Code 0x7C is taller than a
//     cell: box height h + 4, origin y = tmAscent + 2.
//   Pixel (x, y) of the box (y downwards from the box's top) is set when (x + 2y + c) % 3 != 0;
//     a set pixel's grey level is (3x + 5y + c) % 17, a clear pixel's 0.
//   Weight 600 or more: the box is one wider; each row is OR-ed with itself shifted right by one
//     (grey: each pixel becomes the larger of itself and its left neighbour). The increment and
//     the origin stay.
//   The stock font of every memory device context is this face at height 16, weight 400.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/bitmap.h"

namespace zq::platform {

// ---- Records ---------------------------------------------------------------------------------

struct TEXTMETRICA {
  int32_t tmHeight;
  int32_t tmAscent;
  int32_t tmDescent;
  int32_t tmAveCharWidth;
  int32_t tmMaxCharWidth;
  int32_t tmWeight;
};

struct POINT {
  int32_t x;
  int32_t y;
};

struct GLYPHMETRICS {
  uint32_t gmBlackBoxX;
  uint32_t gmBlackBoxY;
  POINT gmptGlyphOrigin;
  int16_t gmCellIncX;
  int16_t gmCellIncY;
};

// 16.16 fixed point: value + fract / 65536.
struct FIXED {
  uint16_t fract;
  int16_t value;
};
struct MAT2 {
  FIXED eM11;
  FIXED eM12;
  FIXED eM21;
  FIXED eM22;
};

inline constexpr uint32_t GGO_METRICS = 0;
inline constexpr uint32_t GGO_BITMAP = 1;
inline constexpr uint32_t GGO_GRAY4_BITMAP = 5;
inline constexpr uint32_t GDI_ERROR = 0xFFFFFFFFu;

inline constexpr uint32_t DEFAULT_CHARSET = 1;
inline constexpr uint32_t SHIFTJIS_CHARSET = 128;
inline constexpr uint32_t HANGEUL_CHARSET = 129;
inline constexpr uint32_t OUT_DEFAULT_PRECIS = 0;
inline constexpr uint32_t CLIP_DEFAULT_PRECIS = 0;
inline constexpr uint32_t NONANTIALIASED_QUALITY = 3;
inline constexpr uint32_t FIXED_PITCH = 1;

// The face name of the built-in synthetic face.
inline constexpr const char kSyntheticFaceName[] = "zq-synthetic";

// ---- Objects ---------------------------------------------------------------------------------

// A font; its state belongs to the GDI stand-in.
class Font : public GdiObject {};
using HFONT = Font*;

// A font of the face (Shift-JIS name, null or empty for the default face) at the height, or null
// (see the top of this file). Width, escapement, orientation, italic, underline, strike-out and
// the precision, quality and pitch arguments are accepted and not used.
HFONT CreateFontA(int32_t height, int32_t width, int32_t escapement, int32_t orientation,
                  int32_t weight, uint32_t italic, uint32_t underline, uint32_t strikeOut,
                  uint32_t charSet, uint32_t outPrecision, uint32_t clipPrecision, uint32_t quality,
                  uint32_t pitchAndFamily, const char* faceName);
// The metrics of the context's font. False for a context without a font or a null record.
bool GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
// GGO_METRICS, GGO_BITMAP or GGO_GRAY4_BITMAP of one code with the identity matrix. Writes the
// metrics and returns the buffer size the glyph needs (0 for GGO_METRICS, whose box is that of
// GGO_GRAY4_BITMAP); with a buffer, also the glyph when the buffer size suffices. GDI_ERROR for a
// context without a font, an unknown format, a matrix that is not the identity, a null metrics
// record or too small a buffer.
uint32_t GetGlyphOutlineA(HDC dc, uint32_t code, uint32_t format, GLYPHMETRICS* metrics,
                          uint32_t bufferSize, void* buffer, const MAT2* matrix);
// The family name of the context's font (UTF-8) cut to count - 1 bytes; the length written, or
// 0 for a context without a font.
int32_t GetTextFaceA(HDC dc, int32_t count, char* name);
// The system's OEM code page: 932.
uint32_t GetOEMCP();

// ---- Test hooks ------------------------------------------------------------------------------

namespace gditest {
// The next count CreateFontA calls give null.
void FailNextCreateFonts(int count);
// GetOEMCP answers this code page.
void SetOEMCP(uint32_t codePage);
// The empty face name takes the synthetic face instead of fontconfig's choice.
void UseSyntheticDefaultFace(bool on);
// GetGlyphOutlineA calls since the last reset, and the codes asked (the first 65536 kept).
uint64_t GlyphOutlineCallCount();
std::vector<uint32_t> GlyphOutlineCodes();
// Back to defaults: every font and bitmap hook off (CreateCompatibleDC included), counts 0.
void Reset();
}  // namespace gditest

}  // namespace zq::platform
