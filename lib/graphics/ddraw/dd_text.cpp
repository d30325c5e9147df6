#include "graphics/ddraw/dd_text.h"

#include <algorithm>

#include "base/rect.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/ddraw/blend_graph.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/soft_draw_bracket.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/mask.h"
#include "graphics/text.h"
#include "platform/pixel_bytes.h"
#include "softrender/draw_memimg.h"

namespace zq::gfx {

using platform::RECT;

namespace {

struct TextCall {
  int32_t x, y;
  const char* string;
  uint32_t color, edgeColor;
  HandleValue font;
  int32_t vertical;
};

int Result(int drawn) {
  return drawn < 0 ? -1 : 0;
}

// The software screen's target: the mask's scratch while the mask is active.
MEMIMG* SoftScreenTarget() {
  return g_DrawState.MaskActive == 1 ? GetMaskImage() : g_DD.DrawTargetMemImg;
}

// The glyphs written straight into the target, within the draw area.
int DrawDirect(const TextCall& c) {
  if (IsSoftwareScreenInUse()) {
    MEMIMG* target = SoftScreenTarget();
    if (target == nullptr) return -1;
    const RECT area = g_DrawState.DrawArea;
    return Result(DrawStringByCache(1, c.x, c.y, 0, 1.0, 1.0, c.string, c.color, target, &area, 1,
                                    c.font, c.edgeColor, -1, c.vertical, nullptr));
  }
  RECT box;
  if (GetTextBox(c.font, c.x, c.y, c.string, c.vertical, &box) != 0) return -1;
  base::ClipRectToRect(&box, &g_DrawState.DrawArea);
  if (base::IsRectEmpty(box)) return 0;
  if (BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, 1, nullptr) < 0) return -1;
  // The bracket narrowed the draw area to what it prepared.
  const RECT area = g_DrawState.DrawArea;
  const int drawn =
      DrawStringByCache(1, c.x, c.y, 0, 1.0, 1.0, c.string, c.color, g_DD.SoftWorkTargetImage,
                        &area, 1, c.font, c.edgeColor, -1, c.vertical, nullptr, SoftDrawWorkColor);
  EndSoftDrawOnSurface();
  return Result(drawn);
}

// Sets a rectangle of the image to one pixel value.
void FillRect(MEMIMG& image, const RECT& r, uint32_t value) {
  platform::WithPixelBytes(image.Format->PixelByte, [&](auto bytes) {
    platform::FillPixelRect<decltype(bytes)::value>(image.Pixels, image.Pitch, r, value);
  });
  image.RunLengthFlag = 0;
}

// A value of the image's pixel width equal to neither colour: the key of the composed string.
uint32_t KeyBeside(uint32_t a, uint32_t b, int bytes) {
  const uint32_t mask = bytes == 2 ? 0xFFFFu : 0xFFFFFFFFu;
  uint32_t key = 0;
  while (key == (a & mask) || key == (b & mask)) ++key;
  return key;
}

// The string composed in the font's draw screen over the text's box, then blitted onto the
// target under the blend mode, parameter and blend graph, with the bright already in its colours.
int DrawComposed(const FontRecord& f, const TextCall& c) {
  const Surface2DRecord* piece = LookupSurface2DRecord(f.DrawScreen);
  SurfaceDataRecord* data = piece != nullptr ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
  if (data == nullptr || !data->SoftwareFlag || !IsMemImgValid(&data->Image)) return -1;
  MEMIMG& screen = data->Image;
  RECT box;
  if (GetTextBox(c.font, c.x, c.y, c.string, c.vertical, &box) != 0) return -1;
  const RECT whole{0, 0, std::min<int32_t>(screen.Width, piece->Width),
                   std::min<int32_t>(screen.Height, piece->Height)};
  base::ClipRectToRect(&box, &whole);
  if (base::IsRectEmpty(box)) return 0;
  const int32_t w = box.right - box.left, h = box.bottom - box.top;
  const MEMIMG* blend = GetBlendGraphMemImg();
  if (blend != nullptr && (blend->Width < w || blend->Height < h)) return -1;

  // Anti-aliased fonts compose with alpha (0 where nothing is drawn), the others on a key.
  uint32_t key = 0;
  if ((f.Type & kFontTypeAntialias) == 0) {
    const TextColors colors = MakeTextColors(c.color, c.edgeColor, ScreenColorToWorkColor);
    key = KeyBeside(colors.pixel, colors.edgePixel, screen.Format->PixelByte);
  }
  FillRect(screen, box, key);
  if (DrawStringByCache(1, c.x, c.y, 0, 1.0, 1.0, c.string, c.color, &screen, &box, 1, c.font,
                        c.edgeColor, -1, c.vertical, nullptr, ScreenColorToWorkColor) < 0)
    return -1;
  MEMIMG view;
  MakeMemImgView(&view, &screen, box.left, box.top, w, h);
  view.TransColor = key;

  const uint32_t bright = g_DrawState.Bright;
  SetDrawBrightPacked(0xFFFFFF);
  int result = 0;
  if (IsSoftwareScreenInUse()) {
    MEMIMG* target = SoftScreenTarget();
    if (target != nullptr)
      soft::DrawMemImg(target, &view, box.left, box.top, 1, blend);
    else
      result = -1;
  } else {
    RECT dest = box;
    base::ClipRectToRect(&dest, &g_DrawState.DrawArea);
    // The draw screen lies at (0, 0) of its store: its coordinates are the box's.
    if (!base::IsRectEmpty(dest)) {
      if (BeginSoftDrawOnSurface(piece, 0, &box, &dest, 0, nullptr) < 0) {
        result = -1;
      } else {
        soft::DrawMemImg(g_DD.SoftWorkTargetImage, &view, box.left, box.top, 1, blend);
        EndSoftDrawOnSurface();
      }
    }
  }
  SetDrawBrightPacked(bright);
  return result;
}

}  // namespace

int G_DD_DrawText(int32_t x, int32_t y, const char* string, uint32_t color, HandleValue font,
                  uint32_t edgeColor, int32_t vertical) {
  if (GetDirectDrawObject() == nullptr) return -1;
  const FontRecord* f = GetFontRecord(font);
  if (f == nullptr || SetupFontCache(font) != 0) return -1;
  FlushCurrentVertexBatch();
  if (g_DD.EndSceneBeforeDrawFlag) EndCurrentScene();
  const TextCall call{x, y, string, color, edgeColor, font, vertical};
  if (f->TextureCache == 1) {
    const RECT area = g_DrawState.DrawArea;
    return Result(DrawStringByCache(1, x, y, 0, 1.0, 1.0, string, color, nullptr, &area, 1, font,
                                    edgeColor, -1, vertical, nullptr));
  }
  const int32_t mode = g_DrawState.BlendMode;
  const bool plain =
      (mode == 0 || (mode == 1 && g_DrawState.BlendParam == 255)) && g_DrawState.BlendGraph == -1;
  if (plain && (f->Type & kFontTypeAntialias) == 0) return DrawDirect(call);
  return DrawComposed(*f, call);
}

}  // namespace zq::gfx
