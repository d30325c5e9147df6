#include "graphics/d3d/d3d_text.h"

#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/text.h"

namespace zq::gfx {

int G_D3D_DrawText(int32_t x, int32_t y, const char* string, uint32_t color, HandleValue font,
                   uint32_t edgeColor, int32_t vertical) {
  if (SetupFontCache(font) != 0) return -1;
  const platform::RECT area = g_DrawState.DrawArea;
  return DrawStringByCache(1, x, y, 0, 1.0, 1.0, string, color, nullptr, &area, 1, font, edgeColor,
                           -1, vertical, nullptr) < 0
             ? -1
             : 0;
}

}  // namespace zq::gfx
