// Triangles of the Direct3D stand-in: the vertices it accepts, which pixels a triangle covers and
// the attributes each covered pixel receives. pixel_pipeline.h takes the pixels from there.
//
// Rules:
// - Vertices are pre-transformed: x, y in pixels, z (not read), 1/w, diffuse 0xAARRGGBB, one or
//   two (u, v) pairs. Before anything is drawn every vertex is checked, and the call refused with
//   DDERR_INVALIDPARAMS, when x or y is not finite or beyond +-131072, 1/w is not finite or not
//   above 0, or a pair that a stage samples is not finite or lies beyond +-2^22 texels (u x texture
//   width, v x texture height).
// - Positions are snapped to 1/16 pixel, to the nearest (halves up: floor(x x 16 + 0.5)).
// - Coverage: pixel (x, y) has its centre at (x, y). It is covered when that centre lies inside
//   all three edges, computed exactly in integers on the snapped positions; a centre exactly on an
//   edge is covered only when the edge is a top edge (horizontal, the triangle below it) or a left
//   edge. So a quad from (x - 0.5, y - 0.5) to (x + w - 0.5, y + h - 0.5) covers the pixels x ..
//   x + w - 1, y .. y + h - 1, and of two triangles sharing an edge at most one covers a pixel.
//   Both windings are drawn; a triangle of no area draws nothing. Only pixels inside the
//   viewport are touched.
// - Attributes at a covered centre, from the snapped positions, in double precision:
//   sum(a_i q_i b_i) / sum(q_i b_i) with b_i the barycentric weights and q_i = 1/w_i
//   (perspective-correct; with equal 1/w at the three vertices, the plain linear interpolation),
//   held within the three vertex values.
//   - Diffuse: each of the four channels rounded to the nearest integer (halves up); with equal
//     1/w the quotient is computed exactly, in integers, so exact halves round up.
//   - Texture coordinates of a sampling stage (its D3DTSS_TEXCOORDINDEX pair, its texture's width
//     W and height H): s = floor(u x W x 256 + 0.5), t = floor(v x H x 256 + 0.5), the point
//     sample's position in 1/256 texel; taking 1/256 texel before the texel index makes a
//     sample computed a hair below i + 0.5 still take texel i. With equal 1/w and steps below
//     256 texels a pixel, the positions of a run step in 32.32 fixed point from its first pixel
//     (within 2^-24 of 1/256 texel of the double value; exact for the 1:1 and whole-ratio draws).
#pragma once

#include <cstdint>

#include "platform/d3d/d3d.h"
#include "platform/d3d/pixel_pipeline.h"

namespace zq::platform {

struct RasterVertex {
  float x, y, rhw;
  uint32_t color;
  float uv[2][2];  // pairs 0 and 1 (1 unset with one pair)
};

// One DrawPrimitive call: its vertices as the caller laid them out, and what the pipeline samples.
struct RasterJob {
  D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
  const uint8_t* vertices = nullptr;  // D3DTLVERTEX1 or D3DTLVERTEX2 records
  int pairs = 1;                      // coordinate pairs a vertex holds
  uint32_t count = 0;
  RECT viewport{};
  int pair[2] = {-1, -1};  // coordinate pair each stage samples with, -1 when it does not sample
  int32_t textureWidth[2] = {}, textureHeight[2] = {};
};

// The checks above on every vertex of the job (its pairs and texture sizes set).
// DD_OK or DDERR_INVALIDPARAMS.
HRESULT CheckVertices(const RasterJob& job);

// Draws the job's triangles through the pipeline. Two triangles of a list that form an
// axis-aligned rectangle (corners top-left, top-right, bottom-left, then bottom-left, top-right,
// bottom-right, mirrored or not) are drawn together: their pixels are the rectangle's, each taken
// from the triangle that covers it, with that triangle's attributes, exactly as apart.
void Rasterize(const RasterJob& job, const PixelPipeline& pipeline);

}  // namespace zq::platform
