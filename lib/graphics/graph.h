// Graph records and the graphics manager that owns their table.
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"
#include "graphics/surface_data.h"
#include "platform/win/window.h"

namespace zq::gfx {

inline constexpr int kGraphMaxPieces = 64;

struct GraphRecord {
  uint32_t Check;      // bits 16-26 of the handle
  int32_t* LostFlag;   // receives 1 when the graph is deleted (SetGraphLostFlagPtr)
  HandleValue Handle;  // own handle
  // The eight creation-option bytes, handed as one block to the surface layer:
  // TextureFlag (1 Direct3D path, 0 DirectDraw path), AlphaChFlag, DrawValid, SystemMemFlag,
  // AlphaTestFlag, ColorBitDepth, SingleChannelFlag (always 0), PaletteFlag.
  SurfaceOptions Options;
  uint32_t LoadFlags;
  HandleValue Pieces[kGraphMaxPieces];
  int32_t PieceCount;
  char FileName[64];
  char Directory[256];
  int32_t SrcX;
  int32_t SrcY;
  int32_t Width;
  int32_t Height;
  HandleValue Movie;  // -1 when none
  int32_t NeedsRestore;
};

// Ends the program when the table is full or memory runs out.
HandleValue AllocGraphHandle(int width, int height, int wantDirect3D, int ignored,
                             GraphRecord** record, int alphaChannel, int palette);
HandleValue CreateGraphWithOptions(int width, int height, int wantDirect3D, int alphaChannel,
                                   int palette);
HandleValue CreateEmptyGraph(int width, int height);
int DeleteGraphHandle(HandleValue handle, int logFlag);
int DeleteAllGraphHandles(int logFlag);
int SetGraphLostFlagPtr(HandleValue handle, int32_t* flag);
GraphRecord* GetGraphRecord(HandleValue handle);
HandleValue GetGraphRecordHandle(const GraphRecord* record);
// The record in a slot whatever its check word (null when empty).
GraphRecord* GetGraphRecordAt(int32_t slot);
HandleValue DeriveGraphRect(int x, int y, int width, int height, HandleValue parent);
int StartGraphics(platform::Window* mainWindow);
int EndGraphics();
int InitGraphicsManager();
int EndGraphicsManager();
int IsGraphicsManagerInitialised();
// 1 when the Direct3D twin started with the manager.
int Is3DAvailable();
const HandleTable& GraphHandleTable();

}  // namespace zq::gfx
