// Movies: graphs whose picture is the current frame of a movie file. Each open movie is a
// record in the movie table (kept with the graphics manager) holding the platform's
// multimedia-stream objects, which decode frames into a DirectDraw surface; drawing a movie
// graph takes the newest due frame into the graph.
#pragma once

#include <cstdint>

#include "graphics/ddraw/color_data.h"
#include "graphics/handle_table.h"
#include "platform/ddraw/ddraw.h"
#include "platform/dshow/dshow.h"
#include "platform/os/event.h"

namespace zq::gfx {

struct GraphRecord;

inline constexpr int kMovieFileNameSize = 260;

// Surface modes: the kind of surface frames are decoded into.
inline constexpr int kMovieSurfaceScreen = 0;   // system memory, the screen's format
inline constexpr int kMovieSurfaceOverlay = 1;  // an overlay shown straight on the screen
inline constexpr int kMovieSurfaceRgb24 = 2;    // system memory, 24-bit RGB

struct MovieRecord {
  uint32_t Check;
  platform::RECT FrameRect;  // the part of the sample surface that holds the frame
  platform::AMMultiMediaStream* MultiMediaStream;
  platform::MediaStream* VideoStream;
  platform::AMMediaStream* AMMediaStream;
  platform::DirectDrawMediaStream* DDMediaStream;
  platform::StreamSample* Sample;
  platform::DirectDrawSurface* SampleSurface;
  platform::DirectDrawSurface* OverlaySurface;  // surface mode 1 only
  platform::DirectDrawSurface* FrameSurface;    // surface modes 0 and 2
  platform::DirectDraw* DirectDraw4;
  platform::GraphBuilder* FilterGraph;
  platform::MediaControl* MediaControl;
  platform::MediaSeeking* MediaSeeking;
  platform::BasicAudio* BasicAudio;
  uint64_t LastPresentCount;  // present count when a frame was last taken
  uint32_t LastFrameTime;     // milliseconds when a frame was last taken
  ColorData FrameFormat;
  int32_t Width;
  int32_t Height;
  int32_t PlayingFlag;
  int32_t SurfaceMode;
  platform::STREAM_TIME SavedStreamTime;  // kept across a display rebuild
  int32_t TempFileFlag;                   // FileName names a temporary copy
  char FileName[kMovieFileNameSize];
  platform::EventHandle CompletionEvent;
  int32_t UpdatePending;
};

// Opens a movie; its handle, or -1 (all slots used: no log line).
HandleValue OpenMovieToGraph(const char* fileName, int* width, int* height, int surfaceMode);
// Builds the stream objects of a record. 0, or -1 after logging with everything released.
int BuildMovieGraph(platform::DirectDraw* directDraw, MovieRecord* movie, const char* fileName,
                    int* width, int* height, int surfaceMode);
// The record of a live movie handle, else null.
MovieRecord* GetMovieRecord(HandleValue movie);
// The surface mode of a live movie; 0 for a handle that is not live.
int GetMovieSurfaceMode(HandleValue movie);

// These take a graph handle: -1 when the graph or its movie is not live, 0 for an ordinary graph.
int UpdateMovieFrame(HandleValue graph);
int PlayMovieGraph(HandleValue graph);
int PauseMovieGraph(HandleValue graph);
int CloseMovie(HandleValue graph);
// Closes a movie that no graph holds. 0, or -1 when the handle is not live.
int CloseMovieHandle(HandleValue movie);

// Shows (or hides) a surface-mode-1 movie's overlay at (x, y) of the window's client area,
// scaled by a whole factor. 0.
int BltMovieFrameToScreen(int32_t x, int32_t y, int32_t scale, MovieRecord* movie, int show);

int PlayAllMovieGraphs();
int PauseAllMovieGraphs();
// Around a display rebuild: the stream objects go, the records and positions stay.
int ReleaseAllMovieSurfaces();
// Builds every released movie again; -1 when any failed (those stay released).
int RebuildAllMovies();

// Table life, with the graphics manager: both close whatever movie is still open.
int InitMovieTable();
void TermMovieTable();
const HandleTable& MovieHandleTable();

// The frame surface locked for reading: the frame's first pixel (frame format, width x height
// from there, rows `pitch` bytes apart), or null after the lock line. Paired with
// UnlockMovieFrame.
const uint8_t* LockMovieFrame(MovieRecord* movie, int32_t* pitch);
void UnlockMovieFrame(MovieRecord* movie);

// Take the movie's frame into the graph: the part each piece shows (from the graph's offset into
// the frame), into the DirectDraw-path store or into the Direct3D textures (whose colour keys are
// set again). 0, or -1 after a log line.
int G_DD_UpdateMovieSurface(MovieRecord* movie, GraphRecord* graph);
int G_D3D_UpdateMovieTexture(MovieRecord* movie, GraphRecord* graph);

}  // namespace zq::gfx
