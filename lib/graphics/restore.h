// Bringing graphs back after the display was lost or changed.
//
//   light restore   RestoreAllGraphSurfaces: after the application was inactive, every lost
//                   output surface and graph store is restored in place; pixels are not
//                   written again (a store left in video memory shows the platform's poison
//                   pattern until something reloads it)
//   full rebuild    RebuildGraphicsAfterModeChange: after the desktop's display mode changed (or
//                   on return to full screen), every DirectDraw and Direct3D object is released
//                   and made again, fonts are made again under their handles, movies are built
//                   again where they were, and the restore callback refills the graphs
//
// The restore callback is one library-wide function; none installs RestoreGraphsFromFiles,
// which loads every graph again from the directory and file name kept with it.
#pragma once

#include "graphics/handle_table.h"

namespace zq::gfx {

using GraphRestoreCallback = void (*)();

// 0; nothing is touched before the graphics manager starts.
int RestoreAllGraphSurfaces();
// Restores the graph's lost stores (and its movie's lost frame and overlay surfaces) in place.
// 0, or -1 for a bad handle.
int RestoreGraphSurfaces(HandleValue graph);
// The full rebuild in its fixed order. 0; each step logs its own failures.
int RebuildGraphicsAfterModeChange();
// Makes every font again, marks every graph as needing a reload and runs the callback. 0.
int MarkAllGraphsForRestore();
// Installs the callback; null installs RestoreGraphsFromFiles. 0.
int SetGraphRestoreCallback(GraphRestoreCallback callback);
// 1 when a callback is installed, else 0.
int HasGraphRestoreCallback();
// The default callback: every marked graph with a kept file name is loaded again from its file,
// each file decoded once for a run of graphs that share it. Returns the result of setting the
// file-access layer's directory back to what it was.
int RestoreGraphsFromFiles();

}  // namespace zq::gfx
