// PLACEHOLDERS. Calls into areas of the library that are not built yet. Each group is removed
// by the change that builds its area; until then each answers as that area does in the
// situations reached so far (no movies, no restore callback).
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"

namespace zq::gfx {

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
struct GraphRecord;
// Brings a movie-fed graph to its movie's current frame. With allowOverlay: 1 when the movie
// shows its frames on an overlay and has just shown this one at (x, y) with the scale, so that
// nothing more is drawn; else 0. No graph carries a movie yet: 0.
int StepGraphMovie(GraphRecord* graph, int allowOverlay, int32_t x, int32_t y, int32_t scale);

// ---- Restore after display loss: no callback can be registered yet ----------------------------
using GraphRestoreCallback = void (*)();
int SetGraphRestoreCallback(GraphRestoreCallback callback);
int HasGraphRestoreCallback();
int RestoreAllGraphSurfaces();
int RebuildGraphicsAfterModeChange();

}  // namespace zq::gfx
