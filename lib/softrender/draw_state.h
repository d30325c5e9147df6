// The one draw state that both drawing paths and the software renderers read. The graphics
// layer writes it (graphics/draw_state.h); it lives here, with its lowest reader.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace zq::soft {

inline constexpr int32_t kDrawScreenBack = -2;
inline constexpr int32_t kDrawScreenFront = -4;

// Defaults are the values the graphics manager starts with.
struct GraphicsDrawState {
  int32_t DrawScreen = kDrawScreenFront;  // -2 back, -4 front, else a graph handle
  platform::RECT DrawOrigin{};
  platform::RECT DrawArea{0, 0, 640, 480};  // right and bottom exclusive
  float DrawAreaF[4] = {0.0f, 0.0f, 640.0f, 480.0f};
  int32_t DrawScreenWidth = 640;
  int32_t DrawScreenHeight = 480;
  int32_t ZBufferUse = 0;
  int32_t ZWrite = 1;
  int32_t SamplingMode = 0;
  int32_t BlendMode = 0;   // 0 none, 1 alpha, 2 add, 3 subtract, 4 multiply, 5 add (3D step)
  int32_t BlendParam = 0;  // 0..255
  int32_t BlendGraph = -1;
  int32_t BlendGraphBorderParam = 0;
  int32_t BlendGraphBorderRange = 0;
  uint32_t Bright = 0xFFFFFF;  // 0x00RRGGBB; low 24 bits 0xFFFFFF = off
  int32_t MaskFlag = 1;
  int32_t MaskActive = 0;
  int32_t CreateColorBitDepth = 0;
  int32_t ChooseDirect3DGraphs = 1;
  int32_t CreateDrawValid = 0;
  int32_t CreateAlphaChannel = 0;
  int32_t CreateAlphaTest = 1;
  int32_t CreateSystemMem = 0;
  uint32_t TransColor = 0;  // 0x00RRGGBB colour key of new surfaces
  int32_t CreateOptionA = 0;
  int32_t DrawAreaEmpty = 0;
};

// The global draw state.
extern GraphicsDrawState g_DrawState;

// Blend amount for each blend-image byte; rebuilt whenever a blend graph is selected.
extern uint8_t BlendGraphTable[256];

}  // namespace zq::soft
