// PLACEHOLDERS. Calls into areas of the library that are not built yet. Each group is removed
// by the change that builds its area; until then each answers as that area does in the
// situations reached so far (no fonts, no mask layer, no movies, no restore callback).
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"

namespace zq::gfx {

// ---- Fonts: no font system yet --------------------------------------------------------------
void ResetDefaultFontSettings();
int InitFontSystem();
int EndFontSystem();

// ---- Mask: no mask layer yet ----------------------------------------------------------------
int MaskLayerExists();
// Without a mask pattern the mask flag cannot change: -1.
int SetMaskEnabled(int32_t flag);
int IsMaskEnabled();
int DeleteMaskLayer();
int DeleteAllMaskHandles();

// ---- Movies: no movies yet ------------------------------------------------------------------
int CloseMovie(HandleValue graph);
// Opens a file as a movie for a graph: no file plays yet, so -1 (the caller logs the failure).
HandleValue OpenMovieToGraph(const char* fileName, int* width, int* height, int surfaceMode);
// The surface mode a movie was opened in; 0 for a handle that is not live.
int GetMovieSurfaceMode(HandleValue movie);
// Closes a movie that no graph holds yet. 0, or -1 when the handle is not live.
int CloseMovieHandle(HandleValue movie);
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
