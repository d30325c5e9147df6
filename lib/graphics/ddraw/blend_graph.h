// The DirectDraw side of the blend graph: its table and the image the renderers read.
#pragma once

#include "graphics/ddraw/memimg.h"
#include "graphics/graph.h"

namespace zq::gfx {

// Rebuilds BlendGraphTable from the two border parameters. Returns 0.
int G_DD_SetBlendGraph(const GraphRecord* graph, int borderParam, int borderRange);

// The whole surface-data image of the selected blend graph's first piece (one byte a pixel),
// or null when no blend graph is selected, it does not resolve, it is on the Direct3D path,
// its piece or store does not resolve, or the store has no image.
MEMIMG* GetBlendGraphMemImg();

}  // namespace zq::gfx
