// Strings through a font's glyph cache: split into one- and two-byte Shift-JIS characters, the
// missing glyphs rendered in one batch, then walked with a pen that each glyph's advance (plus
// the font's spacing) moves on. Drawing takes the road of the font's cache:
//   - texture cache: each glyph is a graph draw of its cell (the edge cell first, for outlined
//     fonts) through the drawing front-end, tinted by setting the bright to the colour; scaled
//     and vertical strings are possible there;
//   - memory cache: each glyph's cell is written straight into a MEMIMG the caller gives,
//     clipped to a rectangle the caller gives (and to the image).
// A string is one line: only the spaces 0x20 and 0x81 0x40 are special (they draw nothing);
// a line feed or a tab is drawn as the font's glyph of that code.
#pragma once

#include <cstdint>

#include "graphics/ddraw/memimg.h"
#include "graphics/handle_table.h"
#include "platform/types.h"

namespace zq::gfx {

// A pixel value made into another format's (a converted work copy's, say).
using TextColorMap = uint32_t (*)(uint32_t);

// The text colour and the edge colour (screen pixel values) with the draw bright multiplied in:
// as pixel values of the screen format with the unused bits cleared, passed through map when
// given (memory road), and as packed brights 0xFF000000 | 0xRRGGBB (texture road).
struct TextColors {
  uint32_t pixel;
  uint32_t edgePixel;
  uint32_t packed;
  uint32_t edgePacked;
};
TextColors MakeTextColors(uint32_t color, uint32_t edgeColor, TextColorMap map);

// Draws (drawFlag 1) or measures (any other value) length bytes of the string (-1: all of it)
// with its line's top left at (x, y) (vertical: downwards from (x, y), each glyph turned a
// quarter turn clockwise). scaleFlag with xScale and yScale scales a texture-cache font's
// glyphs when drawing; a memory-cache font is always drawn and measured at scale 1. On the
// memory road target receives the glyphs within clip (and within the image); transFlag 0 also
// writes 0 into each glyph box's empty pixels. The colours are screen pixel values; map, when
// given, turns the memory road's pixel values into the target's format. sizeOut (two values, may
// be null) receives (width, line height), or (line height, height) for vertical text.
// No byte at or past the length is read but the one after a lead byte that ends it (none for a
// length of 0). Result: the pen's distance in whole pixels, held to 0 .. INT32_MAX (sizeOut gets
// it with its sign, held to the int32 range); 0 for a null or empty string (sizeOut untouched);
// -1 when graphics are not running, for an invalid font, and when drawing on the memory road
// into a target whose bytes per pixel are not the ones the font's pixels take at the screen's
// depth (2 for types 0 and 1 at 16 bits, else 4; nothing is written then).
int DrawStringByCache(int drawFlag, int32_t x, int32_t y, uint8_t scaleFlag, double xScale,
                      double yScale, const char* string, uint32_t color, MEMIMG* target,
                      const platform::RECT* clip, int32_t transFlag, HandleValue font,
                      uint32_t edgeColor, int32_t length, int32_t vertical, int32_t* sizeOut,
                      TextColorMap map = nullptr);

// Splits length bytes of the string (-1 or more than it has: all) into three-byte characters
// (first byte, second byte or 0, 0) in out (3 bytes a byte of the string; null: the library's
// scratch array), and renders the characters the font has not cached in one batch of fewer than
// 256 and fewer than the cache holds. A lead byte takes the next byte too, even past the length;
// a lead byte before the terminating 0 is a one-byte character. count (may be null) receives
// the number of characters. 0, or -1 for an invalid font.
int SplitStringToChars(HandleValue font, const char* string, int32_t length, uint8_t* out,
                       int32_t* count);

// The width (vertical: the height) of length bytes of the string at scale 1 (0 .. INT32_MAX), or
// -1.
int MeasureStringWidth(const char* string, int32_t length, HandleValue font, int32_t vertical);

// The text's box: every pixel a glyph of the whole string drawn at (x, y) can write (glyph
// offsets can be negative and glyphs taller than the line): its measured extent grown by the
// font's cell size on every side, clipped to the draw screen. 0, or -1 as DrawStringByCache.
int GetTextBox(HandleValue font, int32_t x, int32_t y, const char* string, int32_t vertical,
               platform::RECT* box);

}  // namespace zq::gfx
