// A program's own pixels, described by a PixelBuffer of the public header, checked and seen as
// decoded images without copying them, for the graph operations that take decoded images.
#pragma once

#include "graphics/image/graph_image.h"
#include "zqlib/zqlib.h"

namespace zq::gfx {

// Checks the buffer (sizes within the image limits, a known format, a palette for indexed
// pixels, pitches that hold a row, blocks within the block limit) and makes *image, and *alpha
// when the buffer has alpha, views of its memory: the records point into the caller's pixels,
// own nothing and must never be released. 0 with *hasAlpha set, or -1 after a log line that
// names caller, with nothing written.
int ViewPixelBuffer(const PixelBuffer* buffer, const char* caller, GraphImage* image,
                    GraphImage* alpha, bool* hasAlpha);

}  // namespace zq::gfx
