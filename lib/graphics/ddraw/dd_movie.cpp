// The DirectDraw path's side of movies: taking a decoded frame into a graph's store.
#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/graph.h"
#include "graphics/image/convert_pixel_rect.h"
#include "graphics/movie.h"
#include "graphics/surface_data.h"

namespace zq::gfx {

using platform::RECT;

namespace {

// The frame's rectangle that the piece shows (the graph's own offset into the frame, cut to
// the piece and the frame) into the piece's store. 0, or -1 when the store cannot be locked.
int WriteFrameToPiece(const MovieRecord& m, const uint8_t* frame, int32_t framePitch,
                      const GraphRecord& graph, const Surface2DRecord& piece) {
  const int64_t left = graph.SrcX, top = graph.SrcY;
  const int64_t right = std::min<int64_t>(left + piece.Width, m.Width);
  const int64_t bottom = std::min<int64_t>(top + piece.Height, m.Height);
  if (left < 0 || top < 0 || right <= left || bottom <= top) return 0;
  SurfaceDataRecord* store = GetSurfaceDataRecord(piece.SurfaceData);
  if (store == nullptr) return -1;

  uint8_t* pixels = nullptr;
  int32_t pitch = 0;
  const ColorData* format = nullptr;
  bool locked = false;
  // Movie graphs are made in system memory: their store is a MEMIMG even on a hardware screen.
  if (store->SoftwareFlag) {
    if (!IsMemImgValid(&store->Image)) return -1;
    pixels = store->Image.Pixels;
    pitch = store->Image.Pitch;
    format = store->Image.Format;
    store->Image.RunLengthFlag = 0;
  } else {
    void* p = nullptr;
    if (LockSurfaceData(piece.SurfaceData, &pitch, &p, 1, nullptr, &format) == -1) return -1;
    pixels = static_cast<uint8_t*>(p);
    locked = true;
  }

  const RECT r{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
  int result = 0;
  if (format != nullptr && IsSameColorData(&m.FrameFormat, format) == 1) {
    const size_t bytes = size_t(r.right - r.left) * format->PixelByte;
    for (int32_t y = r.top; y < r.bottom; ++y)
      std::memcpy(pixels + int64_t(piece.SrcY + (y - r.top)) * pitch +
                      int64_t(piece.SrcX) * format->PixelByte,
                  frame + int64_t(y) * framePitch + int64_t(r.left) * format->PixelByte, bytes);
  } else if (format == nullptr ||
             ConvertPixelRect(pixels, pitch, format, frame, framePitch, &m.FrameFormat, nullptr, 0,
                              nullptr, piece.SrcX, piece.SrcY, &r, 0, 0, 0, kDitherNone, 0, 0,
                              0) == -1) {
    result = -1;
  }
  if (locked) UnlockSurfaceData(piece.SurfaceData, nullptr);
  return result;
}

}  // namespace

int G_DD_UpdateMovieSurface(MovieRecord* movie, GraphRecord* graph) {
  if (graph == nullptr) return -1;
  int32_t pitch = 0;
  const uint8_t* frame = LockMovieFrame(movie, &pitch);
  if (frame == nullptr) return -1;
  int result = 0;
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const Surface2DRecord* piece = LookupSurface2DRecord(graph->Pieces[i]);
    if (piece == nullptr || WriteFrameToPiece(*movie, frame, pitch, *graph, *piece) != 0) {
      result = base::LogAddLine("ムービーグラフィック転送先サーフェスのロックに失敗しました");
      break;
    }
  }
  UnlockMovieFrame(movie);
  return result;
}

}  // namespace zq::gfx
