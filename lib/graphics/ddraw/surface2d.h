// 2D pieces: a graph's rectangle on the DirectDraw path, pointing into a shared surface-data
// record.
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"
#include "graphics/surface_data.h"

namespace zq::gfx {

struct Surface2DRecord {
  uint32_t Check;
  int32_t* LostFlag;  // receives 1 when the piece is deleted (SetSurface2DLink)
  uint16_t SrcX;      // the piece's rectangle in its surface-data image
  uint16_t SrcY;
  uint16_t Width;
  uint16_t Height;
  HandleValue SurfaceData;
};

// A new piece of width x height at (srcX, srcY) of a shared record, or of a new record of the
// piece's size made with the options. flags and the two 16-bit values are carried for later
// callers and do not change the piece. The piece handle, or -1 after a log line.
HandleValue AddSurface2D(int width, int height, int srcX, int srcY, int flags,
                         HandleValue sharedData, int value1, int value2,
                         const SurfaceOptions* options);
Surface2DRecord* LookupSurface2DRecord(HandleValue handle);
// Stores the flag pointer (a non-null flag is set to 0). 0, also for an invalid handle.
int SetSurface2DLink(HandleValue handle, int32_t* flag);
// Drops the piece's store reference (releasing the store at 0), writes 1 through its link and
// frees it. 0, also for an invalid handle.
int DeleteSurface2D(HandleValue handle);
int DeleteAllSurface2D();
int ReleaseSurface2DObjects();
int RecreateSurface2DObjects();

int InitSurface2DTable();
void TermSurface2DTable();
const HandleTable& Surface2DTable();

}  // namespace zq::gfx
