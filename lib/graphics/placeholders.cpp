// PLACEHOLDERS: see placeholders.h.
#include "graphics/placeholders.h"

namespace zq::gfx {

// ---- Movies -----------------------------------------------------------------------------------

int CloseMovie(HandleValue) {
  return 0;
}
HandleValue OpenMovieToGraph(const char*, int*, int*, int) {
  return -1;
}
int GetMovieSurfaceMode(HandleValue) {
  return 0;
}
int CloseMovieHandle(HandleValue) {
  return -1;
}
int PlayAllMovieGraphs() {
  return 0;
}
int PauseAllMovieGraphs() {
  return 0;
}
int ReleaseAllMovieSurfaces() {
  return 0;
}
int StepGraphMovie(GraphRecord*, int, int32_t, int32_t, int32_t) {
  return 0;
}

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
