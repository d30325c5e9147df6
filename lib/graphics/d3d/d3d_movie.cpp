// The Direct3D path's side of movies: taking a decoded frame into a graph's textures.
#include "base/log.h"
#include "graphics/d3d/d3d_graph.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/graph.h"
#include "graphics/movie.h"
#include "graphics/surface_data.h"

namespace zq::gfx {

int G_D3D_UpdateMovieTexture(MovieRecord* movie, GraphRecord* graph) {
  if (graph == nullptr) return -1;
  int32_t pitch = 0;
  const uint8_t* pixels = LockMovieFrame(movie, &pitch);
  if (pixels == nullptr) return -1;
  // The frame as a source image over the locked surface; it owns nothing.
  GraphImage frame{};
  frame.Format = movie->FrameFormat;
  frame.Width = movie->Width;
  frame.Height = movie->Height;
  frame.Pitch = pitch;
  frame.Pixels = const_cast<uint8_t*>(pixels);
  // Each piece's part of the frame goes through the texture write, which draws whatever queued
  // triangles still read the texture first.
  int result = G_D3D_SetGraphImage(nullptr, nullptr, nullptr, graph->SrcX, graph->SrcY, graph, 0,
                                   &frame, nullptr);
  if (result != 0)
    result = base::LogAddLine("ムービーグラフィック転送先サーフェスのロックに失敗しました");
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i)
    if (const Surface3DRecord* piece = LookupSurface3DRecord(graph->Pieces[i]))
      SetSurfaceDataColorKey(piece->SurfaceData);
  UnlockMovieFrame(movie);
  return result;
}

}  // namespace zq::gfx
