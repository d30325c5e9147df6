// Data written by the graphics layer and read by the renderers. It is defined at the
// lowest layer that reads it, so the renderers link without the graphics library.
#include "softrender/draw_state.h"

namespace zq::soft {

GraphicsDrawState g_DrawState;
uint8_t BlendGraphTable[256];

}  // namespace zq::soft
