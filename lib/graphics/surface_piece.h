// What the pieces of both paths share: a 2D piece (DirectDraw path) and a 3D piece (Direct3D
// path) each hold a lost flag and a store (surface-data record) shared by reference, so their
// tables and the graph operations that go piece by piece are written once here.
#pragma once

#include <cstdint>

#include "base/log.h"
#include "graphics/handle_table.h"
#include "graphics/surface_data.h"

namespace zq::gfx {

struct GraphRecord;

// The store of a new piece: the shared one with one more reference, or a new store of
// width x height with the options and the draw state's transparent colour. -1 when the new
// store cannot be made.
HandleValue TakePieceStore(HandleValue shared, int width, int height,
                           const SurfaceOptions* options);
// Gives one reference back, releasing the store when none is left.
void DropPieceStore(HandleValue store);

// The store of a 2D or 3D piece, chosen by the handle's kind; -1 when it does not resolve.
HandleValue GetPieceStore(HandleValue piece);

// A new zero-filled piece record of the table holding the store. On failure the store reference
// is given back and -1 returned after the log line.
template <class Piece>
HandleValue AllocatePieceRecord(HandleTable& table, HandleValue store, Piece** out) {
  void* raw = nullptr;
  const HandleValue handle = table.Allocate(&raw);
  if (handle < 0) {
    DropPieceStore(store);
    return base::LogAddString("メモリの確保に失敗しました\n");
  }
  *out = static_cast<Piece*>(raw);
  (*out)->SurfaceData = store;
  return handle;
}

// A piece record of a table: drops its store reference, writes 1 through its lost flag and frees
// it. 0, also for an invalid handle.
template <class Piece>
int DeletePieceRecord(HandleTable& table, HandleValue handle) {
  Piece* piece = table.IsInitialised() ? table.Lookup<Piece>(handle) : nullptr;
  if (piece == nullptr) return 0;
  DropPieceStore(piece->SurfaceData);
  if (piece->LostFlag != nullptr) *piece->LostFlag = 1;
  table.Free(handle);
  return 0;
}

template <class Piece>
void DeleteAllPieceRecords(HandleTable& table) {
  if (!table.IsInitialised()) return;
  table.ForEach([&table](HandleValue h, void*) { DeletePieceRecord<Piece>(table, h); });
}

// Every piece's store released (the records stay), or made again with its colour key.
template <class Piece>
void ReleasePieceStores(const HandleTable& table) {
  if (!table.IsInitialised()) return;
  table.ForEach([](HandleValue, void* rec) {
    ReleaseSurfaceDataSurface(static_cast<Piece*>(rec)->SurfaceData);
  });
}
template <class Piece>
void RecreatePieceStores(const HandleTable& table) {
  if (!table.IsInitialised()) return;
  table.ForEach([](HandleValue, void* rec) {
    const HandleValue data = static_cast<Piece*>(rec)->SurfaceData;
    CreateSurfaceDataSurface(data);
    SetSurfaceDataColorKey(data);
  });
}

// The graph's pieces deleted (their stores live on while shared). 0.
int DeleteGraphPieces(GraphRecord* graph);
// FillSurfaceDataColor on every piece's store; -1 when a piece is missing or a fill fails.
int FillGraphPieces(GraphRecord* graph, int red, int green, int blue, int alpha);
// The OR of RestoreSurfaceData over the pieces' stores; -1 for a missing piece.
int RestoreGraphPieces(GraphRecord* graph);

}  // namespace zq::gfx
