// What the Direct3D path does not build yet: the movie texture (built with the movies' Direct3D
// side). The batch and the drawing twins are in d3d_batch.h and d3d_draw.h.
#pragma once

#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_draw.h"

namespace zq::gfx {

struct GraphRecord;
struct MovieRecord;

// Takes a movie's frame into the graph's textures; not built yet: -1.
int G_D3D_UpdateMovieTexture(MovieRecord* movie, GraphRecord* graph);

}  // namespace zq::gfx
