// PLACEHOLDERS. Calls into areas of the library that are not built yet. Each group is removed
// by the change that builds its area; until then each answers as that area does in the
// situations reached so far (no fonts, no mask layer, no movies, no restore callback).
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"

namespace zq::gfx {

// ---- Draw state: tiny forms of the draw-screen and draw-area setters -------------------------
// Selects -2, -4 or a graph as the draw screen, sets the draw origin, the target and the draw
// area. 0, or -1 when the manager is not initialised or the value is refused.
int SelectDrawScreen(int32_t drawScreen);
// Orders, clamps and stores the draw area of the current draw screen. 0.
int ApplyDrawArea(int32_t left, int32_t top, int32_t right, int32_t bottom);
// Width and height of -2, -4 or a graph; either pointer may be null. 0, or -1 for a bad handle.
int QueryGraphDimensions(int32_t drawScreen, int* width, int* height);

// ---- Fonts: no font system yet --------------------------------------------------------------
void ResetDefaultFontSettings();
int InitFontSystem();
int EndFontSystem();

// ---- Mask: no mask layer yet ----------------------------------------------------------------
int MaskLayerExists();
int DeleteMaskLayer();
int DeleteAllMaskHandles();

// ---- Movies: no movies yet ------------------------------------------------------------------
int CloseMovie(HandleValue graph);
int PlayAllMovieGraphs();
int PauseAllMovieGraphs();
int ReleaseAllMovieSurfaces();

// ---- Restore after display loss: no callback can be registered yet ----------------------------
using GraphRestoreCallback = void (*)();
int SetGraphRestoreCallback(GraphRestoreCallback callback);
int HasGraphRestoreCallback();
int RestoreAllGraphSurfaces();
int RebuildGraphicsAfterModeChange();

}  // namespace zq::gfx
