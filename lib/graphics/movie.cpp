#include "graphics/movie.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "base/file_access.h"
#include "base/log.h"
#include "base/math.h"
#include "base/memory.h"
#include "base/rect.h"
#include "base/system.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/graph.h"
#include "graphics/library_init.h"

namespace zq::gfx {

using base::ClampToInt32;
using namespace platform;

namespace {

HandleTable g_movies(HandleKind::kMovie, sizeof(MovieRecord), HandleSlotPolicy::kLowestFree);

constexpr size_t kCopyChunk = 1048576;
constexpr uint32_t kFrameIntervalMs = 17;

// Every stream object, in the order of the build's failure path.
void ReleaseStreamObjects(MovieRecord* m, MultiMediaStream*& local) {
  ReleaseInterface(m->VideoStream);
  ReleaseInterface(m->DDMediaStream);
  ReleaseInterface(m->Sample);
  ReleaseInterface(m->SampleSurface);
  ReleaseInterface(m->FrameSurface);
  ReleaseInterface(m->OverlaySurface);
  ReleaseInterface(m->AMMediaStream);
  ReleaseInterface(m->MultiMediaStream);
  ReleaseInterface(m->DirectDraw4);
  ReleaseInterface(local);
  ReleaseInterface(m->FilterGraph);
  ReleaseInterface(m->MediaControl);
  ReleaseInterface(m->MediaSeeking);
  ReleaseInterface(m->BasicAudio);
}

bool HasSurface(const MovieRecord* m) {
  return m->FrameSurface != nullptr || m->OverlaySurface != nullptr;
}

// The graph and its movie: 1 with both; 0 for an ordinary graph; -1 when either is not live.
int ResolveGraphMovie(HandleValue handle, GraphRecord** graph, MovieRecord** movie) {
  *graph = GetGraphRecord(handle);
  if (*graph == nullptr) return -1;
  if ((*graph)->Movie < 0) return 0;
  *movie = GetMovieRecord((*graph)->Movie);
  return *movie != nullptr ? 1 : -1;
}

// Copies the movie into a new temporary file whose path becomes the record's file name, then
// opens that. The caller's name is `source`. 0, or -1 with no copy left behind.
int OpenThroughTemporaryCopy(MovieRecord* m, MultiMediaStream* stream, const char* source,
                             bool* madeCopy) {
  if (m->TempFileFlag == 1) return -1;
  const base::FileValue file = base::FileAccessOpen(source, 0, 1);
  if (file == 0) return -1;
  base::FileAccessSeek(file, 0, 2);
  const int64_t size = base::FileAccessTell(file);
  base::FileAccessSeek(file, 0, 0);
  void* buffer = ZQ_ALLOC(kCopyChunk);
  if (buffer == nullptr) {
    base::FileAccessClose(file);
    return -1;
  }
  const intptr_t out = base::CreateTempFile(m->FileName, sizeof m->FileName);
  if (out == 0) {
    base::FileAccessClose(file);
    base::TrackedFree(buffer);
    return -1;
  }
  m->TempFileFlag = 1;
  *madeCopy = true;
  int64_t copied = 0;
  while (size > 0 && copied < size) {
    const size_t chunk = size_t(std::min<int64_t>(int64_t(kCopyChunk), size - copied));
    const size_t got = base::FileAccessRead(buffer, 1, chunk, file);
    // Only what was read is written; a short read or write ends the copy.
    const ssize_t written = got > 0 ? write(int(out), buffer, got) : 0;
    if (written > 0) copied += written;
    if (got < chunk || written != ssize_t(got)) break;
  }
  base::FileAccessClose(file);
  close(int(out));
  base::TrackedFree(buffer);
  if (copied != size || Failed(stream->OpenFile(m->FileName, 0))) {
    unlink(m->FileName);
    return -1;
  }
  return 0;
}

// The surface frames are decoded into, for the surface mode; the mode actually taken is
// written back.
HRESULT CreateFrameSurface(DirectDraw* directDraw, const SurfaceDesc& format, int* mode,
                           DirectDrawSurface** out) {
  SurfaceDesc desc;
  desc.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  desc.width = format.width;
  desc.height = format.height;
  const PixelFormat* overlay = GetOverlayFormat();
  if (*mode == kMovieSurfaceOverlay && overlay != nullptr) {
    desc.caps.caps = DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY;
    desc.pixelFormat = *overlay;
  } else if (*mode == kMovieSurfaceRgb24) {
    desc.caps.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.pixelFormat = PixelFormat{sizeof(PixelFormat), PF_RGB, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0};
  } else {
    *mode = kMovieSurfaceScreen;
    desc.caps.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.pixelFormat = IsSoftwareScreenInUse()
                           ? *SelectMemImgFormatTable(GetScreenColorBitDepth() == 16 ? 0 : 1, 0, 0)
                           : *GetDisplayModeInfo();
  }
  DirectDraw* plain = nullptr;
  HRESULT hr =
      directDraw->QueryInterface(InterfaceId::DirectDraw, reinterpret_cast<void**>(&plain));
  if (Failed(hr)) return hr;
  hr = plain->CreateSurface(desc, out);
  plain->Release();
  return hr;
}

// Starts an update: true when the frame is ready now.
bool StartFrameUpdate(MovieRecord* m) {
  const HRESULT hr = m->Sample->Update(0, m->CompletionEvent, nullptr, 0);
  if (hr == S_OK) return true;
  if (hr == MS_S_PENDING)
    m->UpdatePending = 1;
  else
    m->PlayingFlag = 0;  // the end, or a failure: either way playback stops
  return false;
}

void TakeFrame(MovieRecord* m, GraphRecord* graph) {
  if (m->SurfaceMode != kMovieSurfaceOverlay) {
    if (graph->Options.TextureFlag == 1)
      G_D3D_UpdateMovieTexture(m, graph);
    else
      G_DD_UpdateMovieSurface(m, graph);
  }
  m->LastPresentCount = GetPresentCount();
  m->LastFrameTime = base::GetNowMilliSeconds();
  ResetEvent(m->CompletionEvent);
  m->UpdatePending = 0;
}

// Releases everything a record holds, deletes its temporary copy and frees it.
int CloseMovieRecord(HandleValue movieHandle) {
  MovieRecord* m = GetMovieRecord(movieHandle);
  if (m == nullptr) return -1;
  if (m->SurfaceMode == kMovieSurfaceOverlay && m->OverlaySurface != nullptr &&
      GetPrimaryDDSurface() != nullptr)
    m->OverlaySurface->UpdateOverlay(nullptr, GetPrimaryDDSurface(), nullptr, DDOVER_HIDE, nullptr);
  ReleaseInterface(m->FrameSurface);
  ReleaseInterface(m->OverlaySurface);
  ReleaseInterface(m->SampleSurface);
  ReleaseInterface(m->Sample);
  ReleaseInterface(m->DDMediaStream);
  ReleaseInterface(m->AMMediaStream);
  ReleaseInterface(m->VideoStream);
  ReleaseInterface(m->BasicAudio);
  ReleaseInterface(m->MediaSeeking);
  ReleaseInterface(m->DirectDraw4);
  ReleaseInterface(m->MediaControl);
  ReleaseInterface(m->FilterGraph);
  ReleaseInterface(m->MultiMediaStream);
  CloseEvent(m->CompletionEvent);
  m->CompletionEvent = nullptr;
  // Only now that the stream no longer holds the copy open.
  if (m->TempFileFlag == 1) {
    unlink(m->FileName);
    m->TempFileFlag = 0;
  }
  g_movies.Free(movieHandle);
  return 0;
}

}  // namespace

// ---- Table ---------------------------------------------------------------------------------

const HandleTable& MovieHandleTable() {
  return g_movies;
}

int InitMovieTable() {
  TermMovieTable();
  return g_movies.Init();
}

void TermMovieTable() {
  g_movies.ForEach([](HandleValue h, void*) { CloseMovieRecord(h); });
  g_movies.Term();
}

MovieRecord* GetMovieRecord(HandleValue movie) {
  return g_movies.Lookup<MovieRecord>(movie);
}

int GetMovieSurfaceMode(HandleValue movie) {
  const MovieRecord* m = GetMovieRecord(movie);
  return m != nullptr ? m->SurfaceMode : 0;
}

// ---- Opening -------------------------------------------------------------------------------

HandleValue OpenMovieToGraph(const char* fileName, int* width, int* height, int surfaceMode) {
  if (!g_movies.IsInitialised() || g_movies.Count() >= g_movies.SlotCount()) return -1;
  // The check word is given now and the table's counter advanced only once the movie is open.
  void* raw = nullptr;
  const HandleValue handle = g_movies.AllocateAt(-1, int32_t(g_movies.NextCheck()), &raw);
  if (handle < 0) return base::LogAddLine("メモリの確保に失敗しました in OpenMovieToGraph");
  auto* m = static_cast<MovieRecord*>(raw);
  m->TempFileFlag = 0;
  int built = -1;
  try {
    built = BuildMovieGraph(GetDirectDrawObject(), m, fileName, width, height, surfaceMode);
  } catch (const std::bad_alloc&) {
    // BuildMovieGraph let go of what it made; the record goes below.
  }
  if (built != 0) {
    g_movies.Free(handle);
    return base::LogAddLine("ムービーファイルオープン処理時にエラーが発生しました");
  }
  m->PlayingFlag = 0;
  g_movies.AdvanceCheck();
  return handle;
}

int BuildMovieGraph(DirectDraw* directDraw, MovieRecord* m, const char* fileName, int* width,
                    int* height, int surfaceMode) {
  MultiMediaStream* stream = nullptr;
  // The caller's name: it may be the record's own, which a temporary copy overwrites. Kept in
  // a buffer of the record's size, so a failure needs no memory to report; a longer name would
  // be cut to another path and fails below.
  char source[sizeof m->FileName] = "";
  const size_t sourceLength = fileName != nullptr ? strnlen(fileName, sizeof source) : 0;
  const bool sourceFits = sourceLength > 0 && sourceLength < sizeof source;
  if (sourceFits) std::memcpy(source, fileName, sourceLength + 1);
  bool madeCopy = false;
  // name: the file name, for a message with a %s in it.
  auto fail = [&](const char* message, const char* name = nullptr) {
    ReleaseStreamObjects(m, stream);
    // A copy made for this build would otherwise never be deleted.
    if (madeCopy) {
      unlink(m->FileName);
      m->TempFileFlag = 0;
      std::memcpy(m->FileName, source, sourceLength + 1);
    }
    return name != nullptr ? base::LogAddFormat(message, name) : base::LogAddLine(message);
  };
  // Memory running out inside the platform's movie layer unwinds through here: what the record
  // holds goes on that way out too.
  struct ReleaseOnThrow {
    decltype(fail)& release;
    const int pending = std::uncaught_exceptions();
    ~ReleaseOnThrow() {
      if (std::uncaught_exceptions() > pending)
        release("メモリの確保に失敗しました in BuildMovieGraph\n");
    }
  } releaseOnThrow{fail};

  if (surfaceMode == kMovieSurfaceOverlay && GetOverlayFormat() == nullptr)
    surfaceMode = kMovieSurfaceRgb24;
  if (surfaceMode == kMovieSurfaceRgb24 && GetScreenColorBitDepth() == 32)
    surfaceMode = kMovieSurfaceScreen;

  if (Failed(CoCreateInstance(ClassId::FilterGraph, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                              MediaInterface::GraphBuilder,
                              reinterpret_cast<void**>(&m->FilterGraph))))
    return fail("CLSID_FilterGraph の作成に失敗しました");
  if (Failed(CoCreateInstance(ClassId::AMMultiMediaStream, CLSCTX_INPROC_SERVER,
                              MediaInterface::AMMultiMediaStream,
                              reinterpret_cast<void**>(&stream))))
    return fail("IAMMultimediaインターフェイスを取得できませんでした！");
  if (Failed(stream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, m->FilterGraph)))
    return fail("ストリームを読み取り用にセットアップできませんでした！");
  if (Failed(m->FilterGraph->QueryInterface(MediaInterface::MediaControl,
                                            reinterpret_cast<void**>(&m->MediaControl))))
    return fail("IID_IMediaControlインターフェイスの取得に失敗しました");
  // Without a DirectDraw object there is nothing to ask.
  if (directDraw == nullptr ||
      Failed(directDraw->QueryInterface(InterfaceId::DirectDraw4,
                                        reinterpret_cast<void**>(&m->DirectDraw4))))
    return fail("DirectDraw4オブジェクトを取得できませんでした");
  if (Failed(stream->AddMediaStream(m->DirectDraw4, MSPID_PrimaryVideo, 0, nullptr)))
    return fail("プライマリビデオストリームを追加できませんでした！");
  if (Failed(
          stream->AddMediaStream(nullptr, MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr)))
    return fail("デフォルトサウンドレンダラを追加できませんでした！\n");

  constexpr const char* kOpenFailed = "ファイル:%s が開けませんでした";
  if (!sourceFits) return fail(kOpenFailed, fileName != nullptr ? fileName : "");
  if (m->FileName != fileName) std::memcpy(m->FileName, source, sourceLength + 1);
  if (Failed(stream->OpenFile(m->FileName, 0)) &&
      OpenThroughTemporaryCopy(m, stream, source, &madeCopy) != 0)
    return fail(kOpenFailed, source);

  m->MultiMediaStream = stream;
  stream->AddRef();
  if (Failed(m->FilterGraph->QueryInterface(MediaInterface::MediaSeeking,
                                            reinterpret_cast<void**>(&m->MediaSeeking))))
    return fail("メディアシーキングインターフェースの取得に失敗しました");
  if (Failed(m->FilterGraph->QueryInterface(MediaInterface::BasicAudio,
                                            reinterpret_cast<void**>(&m->BasicAudio))))
    return fail("BasicAudio インターフェースの取得に失敗しました");
  if (Failed(stream->GetMediaStream(MSPID_PrimaryVideo, &m->VideoStream)))
    return fail("プライマリビデオストリームインターフェイスを取得できませんでした！");
  if (Failed(m->VideoStream->QueryInterface(MediaInterface::AMMediaStream,
                                            reinterpret_cast<void**>(&m->AMMediaStream))))
    return fail("AMMediaStreamインターフェイスの取得に失敗しました");
  if (Failed(m->VideoStream->QueryInterface(MediaInterface::DirectDrawMediaStream,
                                            reinterpret_cast<void**>(&m->DDMediaStream))))
    return fail("DirectDrawメディアストリームインターフェイスを取得できませんでした！");

  SurfaceDesc desired;
  if (Failed(m->DDMediaStream->GetFormat(&desired)) || desired.width == 0 || desired.height == 0)
    return fail("動画ファイルではない可能性があります！");
  DirectDrawSurface* surface = nullptr;
  if (Failed(CreateFrameSurface(m->DirectDraw4, desired, &surfaceMode, &surface)))
    return fail("DirectDrawSurface オブジェクトの作成に失敗しました");

  m->SurfaceMode = surfaceMode;
  if (Failed(
          m->DDMediaStream->CreateSample(surface, nullptr, DDSFF_PROGRESSIVERENDER, &m->Sample))) {
    // The stream makes a surface of its own instead.
    ReleaseInterface(surface);
    m->SurfaceMode = kMovieSurfaceScreen;
    if (Failed(m->DDMediaStream->CreateSample(nullptr, nullptr, 0, &m->Sample)))
      return fail("ストリームサンプルを作成できませんでした！");
  }
  ReleaseInterface(surface);

  if (Failed(m->Sample->GetSurface(&m->SampleSurface, &m->FrameRect)))
    return fail("ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！");
  m->Width = m->FrameRect.right - m->FrameRect.left;
  m->Height = m->FrameRect.bottom - m->FrameRect.top;
  if (width != nullptr) *width = m->Width;
  if (height != nullptr) *height = m->Height;

  DirectDrawSurface* described = nullptr;
  if (m->SurfaceMode == kMovieSurfaceOverlay) {
    if (Failed(m->SampleSurface->QueryInterface(InterfaceId::DirectDrawSurface7,
                                                reinterpret_cast<void**>(&m->OverlaySurface))))
      return fail("IDirectDrawSurface7インターフェイスを取得できませんでした！");
    described = m->OverlaySurface;
  } else {
    if (Failed(m->SampleSurface->QueryInterface(InterfaceId::DirectDrawSurface4,
                                                reinterpret_cast<void**>(&m->FrameSurface))))
      return fail("IDirectDrawSurface4インターフェイスを取得できませんでした！");
    described = m->FrameSurface;
  }
  SurfaceDesc desc;
  described->GetSurfaceDesc(&desc);
  ColorDataFromPixelFormat(&desc.pixelFormat, &m->FrameFormat);

  m->CompletionEvent = CreateManualEvent();
  if (m->CompletionEvent == nullptr) return fail("メモリの確保に失敗しました in BuildMovieGraph");
  ReleaseInterface(stream);
  m->UpdatePending = 0;
  m->LastPresentCount = ~uint64_t(0);
  m->LastFrameTime = ~uint32_t(0);
  return 0;
}

int CloseMovieHandle(HandleValue movie) {
  return CloseMovieRecord(movie);
}

// ---- Frames --------------------------------------------------------------------------------

int UpdateMovieFrame(HandleValue handle) {
  GraphRecord* graph = nullptr;
  MovieRecord* m = nullptr;
  const int resolved = ResolveGraphMovie(handle, &graph, &m);
  if (resolved != 1) return resolved;
  if (!HasSurface(m)) return 0;
  StreamState state = STREAMSTATE_STOP;
  m->MultiMediaStream->GetState(&state);
  if (m->PlayingFlag == 0 || state != STREAMSTATE_RUN) return 0;
  // At most one frame per presented screen, unless the screen has not been presented for a
  // while.
  if (GetPresentCount() == m->LastPresentCount &&
      int32_t(base::GetNowMilliSeconds() - m->LastFrameTime) <= int32_t(kFrameIntervalMs))
    return 0;
  bool ready;
  if (m->UpdatePending == 1)
    ready = WaitForEvent(m->CompletionEvent, 0) == WAIT_OBJECT_0;
  else
    ready = StartFrameUpdate(m);
  // At most two frames a call.
  for (int taken = 0; ready;) {
    TakeFrame(m, graph);
    if (++taken == 2) break;
    ready = StartFrameUpdate(m);
  }
  return 0;
}

const uint8_t* LockMovieFrame(MovieRecord* movie, int32_t* pitch) {
  if (movie == nullptr || movie->FrameSurface == nullptr) return nullptr;
  SurfaceDesc desc;
  if (Failed(movie->FrameSurface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY))) {
    base::LogAddLine("ムービーグラフィックサーフェスのロックに失敗しました");
    return nullptr;
  }
  *pitch = desc.pitch;
  return static_cast<const uint8_t*>(desc.surface) + int64_t(movie->FrameRect.top) * desc.pitch +
         int64_t(movie->FrameRect.left) * (desc.pixelFormat.rgbBitCount / 8);
}

void UnlockMovieFrame(MovieRecord* movie) {
  movie->FrameSurface->Unlock(nullptr);
}

int BltMovieFrameToScreen(int32_t x, int32_t y, int32_t scale, MovieRecord* m, int show) {
  DirectDrawSurface* primary = GetPrimaryDDSurface();
  if (m == nullptr || m->OverlaySurface == nullptr || primary == nullptr) return 0;
  if (!show) {
    m->OverlaySurface->UpdateOverlay(nullptr, primary, nullptr, DDOVER_HIDE, nullptr);
    return 0;
  }
  // A scale below 1 (a narrower or mirrored rectangle) has nothing to show.
  if (scale <= 0) return 0;
  RECT src{0, 0, m->Width, m->Height};
  RECT client;
  GetMainWindowRect(&client);
  const int64_t left = int64_t(x) + client.left, top = int64_t(y) + client.top;
  const RECT unclipped{ClampToInt32(left), ClampToInt32(top),
                       ClampToInt32(left + int64_t(m->Width) * scale),
                       ClampToInt32(top + int64_t(m->Height) * scale)};
  RECT dest = unclipped;
  base::ClipRectToRect(&dest, &client);
  if (dest.left == dest.right || dest.top == dest.bottom) return 0;
  src.left += int32_t((int64_t(dest.left) - unclipped.left) / scale);
  src.top += int32_t((int64_t(dest.top) - unclipped.top) / scale);
  src.right -= int32_t((int64_t(unclipped.right) - dest.right) / scale);
  src.bottom -= int32_t((int64_t(unclipped.bottom) - dest.bottom) / scale);

  DDCaps caps;
  GetDirectDrawCaps(&caps);
  // Left edges down to a multiple of the boundary; the width cut to a multiple of the size.
  auto align = [&](RECT& r, uint32_t boundaryFlag, uint32_t boundary, uint32_t sizeFlag,
                   uint32_t size) {
    if ((caps.caps & boundaryFlag) && boundary != 0) r.left -= int32_t(r.left % int64_t(boundary));
    if ((caps.caps & sizeFlag) && size != 0)
      r.right -= int32_t((int64_t(r.right) - r.left) % int64_t(size));
  };
  align(src, DDCAPS_ALIGNBOUNDARYSRC, caps.alignBoundarySrc, DDCAPS_ALIGNSIZESRC,
        caps.alignSizeSrc);
  align(dest, DDCAPS_ALIGNBOUNDARYDEST, caps.alignBoundaryDest, DDCAPS_ALIGNSIZEDEST,
        caps.alignSizeDest);
  if (base::IsRectEmpty(dest) || base::IsRectEmpty(src)) return 0;
  m->OverlaySurface->UpdateOverlay(&src, primary, &dest, DDOVER_SHOW, nullptr);
  return 0;
}

// ---- Playing -------------------------------------------------------------------------------

int PlayMovieGraph(HandleValue handle) {
  GraphRecord* graph = nullptr;
  MovieRecord* m = nullptr;
  const int resolved = ResolveGraphMovie(handle, &graph, &m);
  if (resolved != 1) return resolved;
  if (!HasSurface(m) || m->PlayingFlag == 1) return 0;
  m->MultiMediaStream->SetState(STREAMSTATE_RUN);
  m->PlayingFlag = 1;
  return 0;
}

int PauseMovieGraph(HandleValue handle) {
  GraphRecord* graph = nullptr;
  MovieRecord* m = nullptr;
  const int resolved = ResolveGraphMovie(handle, &graph, &m);
  if (resolved != 1) return resolved;
  if (!HasSurface(m) || m->PlayingFlag == 0) return 0;
  m->MediaControl->Pause();
  m->PlayingFlag = 0;
  return 0;
}

namespace {
template <class Fn>
void ForEachMovieGraph(Fn fn) {
  if (!GraphHandleTable().IsInitialised()) return;
  GraphHandleTable().ForEach([&](HandleValue h, void* record) {
    if (static_cast<GraphRecord*>(record)->Movie >= 0) fn(h);
  });
}
}  // namespace

int PlayAllMovieGraphs() {
  ForEachMovieGraph(PlayMovieGraph);
  return 0;
}

int PauseAllMovieGraphs() {
  ForEachMovieGraph(PauseMovieGraph);
  return 0;
}

int CloseMovie(HandleValue handle) {
  GraphRecord* graph = nullptr;
  MovieRecord* m = nullptr;
  const int resolved = ResolveGraphMovie(handle, &graph, &m);
  if (resolved != 1) return resolved;
  return CloseMovieRecord(graph->Movie);
}

// ---- Display rebuild -----------------------------------------------------------------------

int ReleaseAllMovieSurfaces() {
  g_movies.ForEach([](HandleValue, void* record) {
    auto* m = static_cast<MovieRecord*>(record);
    if (!HasSurface(m)) return;
    m->MultiMediaStream->GetTime(&m->SavedStreamTime);
    MultiMediaStream* none = nullptr;
    ReleaseStreamObjects(m, none);
  });
  return 0;
}

int RebuildAllMovies() {
  int result = 0;
  g_movies.ForEach([&](HandleValue, void* record) {
    auto* m = static_cast<MovieRecord*>(record);
    if (HasSurface(m)) return;
    // The build makes a new completion event.
    CloseEvent(m->CompletionEvent);
    m->CompletionEvent = nullptr;
    if (BuildMovieGraph(GetDirectDrawObject(), m, m->FileName, nullptr, nullptr, m->SurfaceMode) !=
        0) {
      result = -1;  // this one stays released; the others are still built
      return;
    }
    m->MultiMediaStream->Seek(m->SavedStreamTime);
    if (m->PlayingFlag == 1) m->MultiMediaStream->SetState(STREAMSTATE_RUN);
  });
  return result;
}

}  // namespace zq::gfx
