// PLACEHOLDERS. Calls into areas of the library that are not built yet. Each group is removed
// by the change that builds its area; until then each answers as that area does in the
// situations reached so far (no restore callback).
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"

namespace zq::gfx {

// ---- Restore after display loss: no callback can be registered yet ----------------------------
using GraphRestoreCallback = void (*)();
int SetGraphRestoreCallback(GraphRestoreCallback callback);
int HasGraphRestoreCallback();
int RestoreAllGraphSurfaces();
int RebuildGraphicsAfterModeChange();

}  // namespace zq::gfx
