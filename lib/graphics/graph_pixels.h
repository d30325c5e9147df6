// A program's own pixels, described by a PixelBuffer of the public header, checked and seen as
// decoded images without copying them, for the graph operations that take decoded images.
#pragma once

#include "graphics/image/graph_image.h"
#include "zqlib/zqlib.h"

namespace zq::gfx {

// A program's pixels seen as decoded images: the records point into the caller's memory, own
// nothing and must never be released.
struct PixelBufferView {
  GraphImage image{};
  GraphImage alpha{};
  bool hasAlpha = false;
  GraphImage* Alpha() { return hasAlpha ? &alpha : nullptr; }
};

// Checks the buffer (sizes within the image limits, a known format, a palette for indexed
// pixels, pitches that hold a row, blocks within the block limit) and makes *view over its
// memory. 0, or -1 after a log line that names caller, with nothing written.
int ViewPixelBuffer(const PixelBuffer* buffer, const char* caller, PixelBufferView* view);

}  // namespace zq::gfx
