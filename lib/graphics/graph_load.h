// Graphs from images and files: loading an image file into a graph or a grid of graphs, graphs
// from decoded images in memory, writing images into existing graphs, the source path a graph
// is reloaded from, and platform bitmaps made from image files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/ddraw/color_data.h"
#include "graphics/handle_table.h"
#include "graphics/image/graph_image.h"
#include "platform/gdi/bitmap.h"

namespace zq::gfx {

// Load flag bit: the graph was loaded mirrored left to right, and is reloaded so.
inline constexpr uint32_t kLoadFlagMirror = 1;

// One graph from an image file (with its "_a" alpha companion), mirrored when mirror is 1. A file
// that no image reader accepts is opened as a movie shown in a graph of the movie's size. The
// graph remembers the file for reloading. The handle, or -1 after a log line.
HandleValue LoadGraphFromFile(const char* fileName, int wantDirect3D, int mirror,
                              int movieSurfaceMode);
HandleValue LoadGraphFromFileStd(const char* fileName);

// Cuts an image file into cells of cellWidth x cellHeight, row by row, into handles[0 .. total).
// 0, or -1 after a log line with no cell left behind.
int LoadDividedGraphFromFile(const char* fileName, int total, int across, int down, int cellWidth,
                             int cellHeight, HandleValue* handles, int wantDirect3D, int mirror);
int LoadDividedGraphFromFileStd(const char* fileName, int total, int across, int down,
                                int cellWidth, int cellHeight, HandleValue* handles);

// One graph from an image file held in memory (size bytes at data, read in place), with the alpha
// image of alphaSize bytes at alphaData when that is not null. The graph has no file, so the
// restore does not reload it. The handle, or -1 after a log line (also for a null or empty
// block).
HandleValue LoadGraphFromMemory(const void* data, size_t size, const void* alphaData,
                                size_t alphaSize);
// The same image cut as LoadDividedGraphFromFile cuts a file. 0, or -1 after a log line.
int LoadDividedGraphFromMemory(const void* data, size_t size, int total, int across, int down,
                               int cellWidth, int cellHeight, HandleValue* handles,
                               const void* alphaData, size_t alphaSize);

// A graph holding the image, with the alpha image's values as its alpha channel. With mirror and
// mirrorHere 1 the images are mirrored for the transfer and put back afterwards.
HandleValue CreateGraphFromImage(GraphImage* image, GraphImage* alpha, int wantDirect3D, int mirror,
                                 int mirrorHere);
// The grid of CreateGraphFromImage's graph, as LoadDividedGraphFromFile cuts it.
int CreateDivGraphFromGraphImage(GraphImage* image, GraphImage* alpha, int total, int across,
                                 int down, int cellWidth, int cellHeight, HandleValue* handles,
                                 int wantDirect3D, int mirror, int mirrorHere);
// An empty graph sized and optioned for the image: alpha channel when the image has alpha or an
// alpha image is given, palettised when it is an 8-bit image without either. -1 without a log
// line when the alpha image's size differs.
HandleValue CreateGraphForImage(const GraphImage* image, const GraphImage* alpha, int wantDirect3D);

// Writes the source into every piece of the graph from (srcX, srcY) of the source, after
// recording the file name (none: empty), the source position and the load flags.
int SetGraphImage(const ColorData* bitmapFormat, platform::HBITMAP bitmap,
                  platform::HBITMAP alphaBitmap, const char* fileName, int sourceForm,
                  const GraphImage* image, const GraphImage* alpha, int srcX, int srcY,
                  HandleValue graph, uint32_t loadFlags);
// Writes the source rectangle at (dstX, dstY) of the graph into the pieces it overlaps.
int SetGraphImageDIB(const ColorData* bitmapFormat, platform::HBITMAP bitmap,
                     platform::HBITMAP alphaBitmap, const char* fileName, int sourceForm,
                     const GraphImage* image, const GraphImage* alpha, int32_t srcLeft,
                     int32_t srcTop, int32_t srcRight, int32_t srcBottom, int dstX, int dstY,
                     HandleValue graph, uint32_t loadFlags);
// Records the file-access layer's current directory and the file name (none: empty). A name or
// directory that does not fit its field records an empty name, which is never reloaded. 0 or -1.
int SetGraphSourcePath(HandleValue graph, const char* fileName);

// A new top-down DIB section holding the image of a file or of memory, mirrored when asked, in
// the target's format when one is given. The caller owns it; null on failure.
platform::HBITMAP CreateDIBGraph(const char* fileName, const void* data, size_t size,
                                 int fromMemory, int mirror, ColorData* target);
platform::HBITMAP CreateDIBFromImageFile(const char* fileName, int mirror, ColorData* target);

}  // namespace zq::gfx
