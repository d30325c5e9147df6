// The one draw state that both drawing paths and the software renderers read.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "softrender/draw_state.h"

namespace zq::gfx {

// The state itself lives with the renderers that read it.
using soft::BlendGraphTable;
using soft::g_DrawState;
using soft::GraphicsDrawState;
using soft::kDrawScreenBack;
using soft::kDrawScreenFront;

// ---- Operations (graphics library; the renderers only read the state) -----------------------
// Each setter stores its value and forwards it to the Direct3D twin while 3D is available and
// to the DirectDraw twin; a setter whose value is unchanged returns at once.

// 0 nearest-pixel, 1 bilinear sampling on the Direct3D path. 0.
int SetSamplingMode(int32_t mode);
int GetSamplingMode();
// The mode is stored as passed, the parameter clamped to 0..255. 0.
int SetBlendMode(int32_t mode, int32_t param);
// -1 or a graph whose pixel values steer the blend, with the two table parameters (each
// clamped to 0..255); rebuilds BlendGraphTable. 0, or -1 for an invalid graph handle.
int SelectBlendGraph(int32_t graph, int32_t borderParam, int32_t borderRange);
// Each component clamped to 0..255. 0.
int SetDrawBrightRGB(int32_t red, int32_t green, int32_t blue);
// 0x00RRGGBB; bits above 23 are ignored.
void SetDrawBrightPacked(uint32_t color);

// -2 (back buffer), -4 (front buffer) or a drawable graph. Sets the draw origin, the targets of
// both paths, the draw screen size, the draw area and the device transforms. A screen that no
// path accepts leaves the previous one selected (0). -1 when the graphics manager is not
// initialised or a value 0..32767 names an empty graph slot.
int SelectDrawScreen(int32_t drawScreen);
int32_t GetDrawScreenHandle();
// Orders the corners, clips the area to the draw screen (for the front buffer of a window, to
// its part on the desktop), stores it and the empty flag. 0.
int ApplyDrawArea(int32_t left, int32_t top, int32_t right, int32_t bottom);
// Stores the draw area and its float copy as given; the empty flag and the twins are untouched.
void StoreDrawArea(const platform::RECT& area);
// After the window's client area changed: the draw origin again and the draw area last
// requested through ApplyDrawArea applied again. 0.
int UpdateDrawAreaForWindow();
// Width and height of -2, -4 (the screen, 640 x 480 while no mode is set) or a graph; either
// pointer may be null. 0, or -1 for an invalid graph handle.
int QueryGraphDimensions(int32_t drawScreen, int* width, int* height);
// The screen's width, height and colour depth; any pointer may be null. 0.
int GetScreenSizeAndDepth(int* width, int* height, int* colorBitDepth);
// Copies the rectangle into the draw origin. 0, or -1 for a null pointer.
int SetDrawOriginRect(const platform::RECT* rect);

// ---- Graph-creation options: callers save the value, set theirs, create and set it back ----
// Whether new graphs may take the Direct3D path. Before the display exists it also chooses the
// software screen (the inverse of the flag). 0.
int ChooseDirect3DGraphs(int32_t flag);
// The stored option, whatever the display allows.
int GetChooseDirect3DGraphs();
// 1 when new graphs would really go to Direct3D: the option is on, 3D is available, the screen
// is not a software one and a device exists.
int IsUsing3DGraphs();
int SetCreateOptionB(int32_t alphaTest);
int GetCreateOptionB();
int SetCreateOptionFlag(int32_t drawValid);
int SetCreateOptionD(int32_t systemMemory);
int GetCreateOptionD();
int SetCreateColorBitDepth(int32_t depth);
int GetCreateColorBitDepth();
int SetCreateAlphaChannelFlag(int32_t flag);
int GetCreateAlphaChannelFlag();
// Always 0: nothing sets it.
int GetCreateOptionA();

}  // namespace zq::gfx
