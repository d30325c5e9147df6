// PLACEHOLDERS. Calls into areas of the library that are not built yet. Each group is removed
// by the change that builds its area; until then each answers as that area does in the
// situations reached so far (no fonts, no mask layer, no movies, no restore callback).
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"

namespace zq::platform {
class DirectDrawSurface;
}

namespace zq::gfx {

struct MEMIMG;

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
// PLACEHOLDER: the mask image of the software screen and the mask scratch surface. Without a
// mask layer there are none (and mask active stays 0, so no drawing asks for them): null.
MEMIMG* GetMaskImage();
platform::DirectDrawSurface* GetMaskSurface();

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
