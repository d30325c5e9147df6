// The mask layer: a screen-sized byte pattern that refuses drawing pixel by pixel, and a
// screen-sized scratch copy of the draw target that bracketed draws go into.
//
// While mask active is 1 the drawing front-end brackets its graph, box and string draws:
//   BeginMaskedDraw(rect)   the target's rectangle is copied into the scratch
//   ... the twin draws into the scratch (GetMaskImage / GetMaskSurface) ...
//   EndMaskedDraw(rect)     scratch pixels under a non-zero mask byte become the transparent
//                           colour, and the rectangle goes back with that colour skipped
// so a pixel under a non-zero byte keeps what the target held before the draw.
//
// Nothing in the library asks for a mask screen by itself; CreateMaskScreen does.
#pragma once

#include <cstdint>

#include "graphics/ddraw/memimg.h"
#include "graphics/handle_table.h"
#include "platform/ddraw/ddraw.h"
#include "platform/types.h"

namespace zq::gfx {

struct MaskHandleEntry {
  uint32_t Check;    // compared with bits 16-26 of the handle
  uint8_t* Pattern;  // a tracked block owned by the entry, or null
  uint32_t Reserved[3];
  int32_t InUse;
  uint32_t Reserved2;
};

// One entry a mask handle slot, held inline in the mask screen.
using MaskHandleTable = MaskHandleEntry[kMaskHandleSlots];

struct MaskScreen {
  MaskHandleTable Handles;
  int32_t ScratchImageFlag;                     // 1 while ScratchImage is set up
  platform::DirectDrawSurface* ScratchSurface;  // the scratch on a hardware screen
  MEMIMG ScratchImage;                          // the scratch on a software screen
  uint8_t* Pattern;                             // one byte a screen pixel; null: no mask screen
  int32_t Pitch;                                // pattern row length: width rounded up to 4
  int32_t Width;                                // the pattern's size in pixels
  int32_t Height;
  uint32_t TransColor;           // written where drawing is refused; skipped on the copy back
  int32_t MaskScreenFlag;        // 1: a mask screen is wanted
  int32_t ScratchInVideoMemory;  // the scratch surface lies in video memory
};

extern MaskScreen g_MaskScreen;

// ---- Requesting a mask screen -----------------------------------------------------------------
// Asks for a mask screen and makes it: a zeroed pattern and the scratch. Mask active follows
// the mask flag from then on. 0, or -1 after a log line (nothing is then wanted or kept).
int CreateMaskScreen();
// The pattern (null while there is none) and its row length; pitch may be null.
uint8_t* GetMaskPattern(int32_t* pitch);

// ---- The layer --------------------------------------------------------------------------------
// The pattern and/or the scratch when they do not exist yet. 0, or -1 after a log line.
int CreateMaskLayer(int32_t createPattern, int32_t createScratch);
// Switches the mask off, frees the pattern and the scratch, forgets the request. 0.
int DeleteMaskLayer();
// Before the display is rebuilt: the scratch goes, the pattern and the request stay, and no draw
// is bracketed until RecreateMaskScreen. 0.
int ReleaseMaskSurfaceObjects();
// After the rebuild: the requested mask screen again (a pattern of another screen size starts
// zeroed), and the mask switched on again when its flag is set. 0.
int RecreateMaskScreen();
// 1 while a mask screen is wanted and its pattern exists.
int MaskLayerExists();

// Sets the mask flag and mask active, resets the draw origin and the viewports. 0, or -1 (and
// nothing changed) when there is no pattern.
int SetMaskEnabled(int32_t flag);
int IsMaskEnabled();

// The scratch surface (hardware screen) or null.
platform::DirectDrawSurface* GetMaskSurface();
// The scratch image (software screen) or null while it is not set up.
MEMIMG* GetMaskImage();

// The two halves of the bracket. The rectangle (right and bottom exclusive; a reversed one counts
// as empty) is clipped to the draw area, to the mask screen and to a target view; the target is
// a surface or a view of a MEMIMG target. 0.
int MaskPrepareRect(platform::RECT rect, platform::DirectDrawSurface* targetSurface,
                    MEMIMG* targetView);
int MaskApplyRect(platform::RECT rect, platform::DirectDrawSurface* targetSurface,
                  MEMIMG* targetView);
// The same against the current DirectDraw draw target. 0.
int BeginMaskedDraw(int32_t left, int32_t top, int32_t right, int32_t bottom);
int EndMaskedDraw(int32_t left, int32_t top, int32_t right, int32_t bottom);

// ---- Mask handles -----------------------------------------------------------------------------
// 0, or -1 for anything but a live mask handle.
int DeleteMaskHandle(HandleValue handle);
int DeleteAllMaskHandles();

}  // namespace zq::gfx
