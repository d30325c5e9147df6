// What both drawing paths share when they write a source into a graph's pieces: reading the two
// source forms (a decoded image with its alpha image, or the memory of DIB sections described
// by a descriptor) and cutting the source rectangle of each piece.
#pragma once

#include <cstdint>

#include "graphics/ddraw/color_data.h"
#include "graphics/image/graph_image.h"
#include "platform/gdi/bitmap.h"
#include "platform/types.h"

namespace zq::gfx {

// Source form of the transfers: 1 takes the three bitmap values (a descriptor of the bitmaps'
// pixels, a DIB section and an optional alpha DIB section), any other value the two images.
inline constexpr int kSourceFormBitmap = 1;

// Pixels to read: a decoded image or the memory of a DIB section, described by a descriptor.
struct PixelSource {
  const uint8_t* pixels = nullptr;
  int32_t pitch = 0;
  const ColorData* format = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

// The main source and, when one is given, the mask (alpha) source of a transfer.
struct TransferSources {
  PixelSource main;
  PixelSource mask;
  bool haveMask = false;

  // ConvertPixelRect of the rectangle of the sources into dst at (x, y), the mask as alpha
  // image, with the options given. 0, or -1 when the conversion refuses.
  int ConvertInto(void* dst, int32_t pitch, const ColorData* format, int x, int y,
                  const platform::RECT& rect, int keyToAlpha, uint32_t key, int dither) const;
};

// Reads the sources of a transfer of srcRect to (dstX, dstY) of a piece of pieceWidth x
// pieceHeight. False when a given source cannot be read safely (no pixels, rows shorter than
// they claim, a descriptor that does not match the bitmap), or the rectangle is empty, reversed,
// or does not fit the sources or the piece.
bool ReadTransferSources(const ColorData* bitmapFormat, platform::HBITMAP bitmap,
                         platform::HBITMAP alphaBitmap, int sourceForm, const GraphImage* image,
                         const GraphImage* alpha, const platform::RECT& srcRect, int dstX, int dstY,
                         int pieceWidth, int pieceHeight, TransferSources* out);

// Where one piece of a graph takes its pixels from.
struct PieceWrite {
  platform::RECT source;  // in the source
  int32_t x, y;           // destination in the piece
};

// The source's size for clipping (the bitmap's or the image's; 0 x 0 when there is none), kept
// with the source position of a whole-graph write or the placed rectangle of a partial one.
class PieceClipper {
 public:
  PieceClipper(int sourceForm, platform::HBITMAP bitmap, const GraphImage* image);
  // The whole graph from (srcX, srcY) of the source: a piece of width x height at (graphX,
  // graphY) of its graph takes the rectangle at its position plus (srcX, srcY), cut to what the
  // source holds. False when that is empty or starts before the source.
  bool ForGraph(int srcX, int srcY, int graphX, int graphY, int width, int height,
                PieceWrite* out) const;
  // srcRect of the source placed at (dstX, dstY) of the graph, clipped to the source and to a
  // piece of width x height at (graphX, graphY). False when the piece is not overlapped.
  bool ForRect(const platform::RECT& srcRect, int dstX, int dstY, int graphX, int graphY, int width,
               int height, PieceWrite* out) const;

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
};

}  // namespace zq::gfx
