// PLACEHOLDERS: see placeholders.h.
#include "graphics/placeholders.h"

namespace zq::gfx {

// ---- Restore ----------------------------------------------------------------------------------

namespace {
GraphRestoreCallback g_restoreCallback = nullptr;
}

int SetGraphRestoreCallback(GraphRestoreCallback callback) {
  g_restoreCallback = callback;
  return 0;
}
int HasGraphRestoreCallback() {
  return g_restoreCallback != nullptr ? 1 : 0;
}
int RestoreAllGraphSurfaces() {
  return 0;
}
int RebuildGraphicsAfterModeChange() {
  return 0;
}

}  // namespace zq::gfx
