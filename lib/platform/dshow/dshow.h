// Stand-in for the DirectShow multimedia-stream objects: a filter graph (with its media control,
// media seeking and basic audio), a multimedia stream that opens a movie file, its primary video
// stream (a DirectDraw media stream) and audio stream, and stream samples that decode frames
// into DirectDraw surfaces. Reference-counted like the DirectDraw stand-in.
//
// Backing: libavformat opens and demuxes, libavcodec decodes and libswscale converts every frame
// to 24-bit RGB as FFmpeg's own conversion does (`ffmpeg -pix_fmt rgb24`: the frame's colour
// matrix and range); a sample writes that in its surface's format. A decoding thread per open
// stream keeps a few frames ahead; audio is demuxed and dropped (no sound is played).
//
// Timing: a frame is due when its presentation time, counted from the first frame's own time
// stamp, is at most the stream time. Stream time (100 ns units) = the running time since
// SetState(STREAMSTATE_RUN) by the platform clock (platform::MilliSeconds) plus the position of
// the last Seek. The media control's Pause stops that clock while GetState still reports
// STREAMSTATE_RUN; SetState(STREAMSTATE_RUN) starts it again.
//
// A sample's surface is written by the decoding thread only between an Update that returned
// MS_S_PENDING and the signal of its event; the caller touches it only outside that span.
#pragma once

#include <cstdint>

#include "platform/ddraw/ddraw.h"
#include "platform/os/event.h"

namespace zq::platform {

// ---- Results (our own values) ----------------------------------------------------------------

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT MS_S_PENDING = 0x00040001;
inline constexpr HRESULT MS_S_ENDOFSTREAM = 0x00040003;
inline constexpr HRESULT E_POINTER = int32_t(0x80004003u);
inline constexpr HRESULT E_FAIL = int32_t(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = int32_t(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = int32_t(0x80070057u);
inline constexpr HRESULT CLASS_E_NOTAVAILABLE = int32_t(0x80040111u);
inline constexpr HRESULT MS_E_NOSTREAM = int32_t(0x80040402u);
inline constexpr HRESULT MS_E_INCOMPATIBLE = int32_t(0x80040404u);
inline constexpr HRESULT MS_E_BUSY = int32_t(0x80040407u);
inline constexpr HRESULT MS_E_NOTINIT = int32_t(0x80040409u);
inline constexpr HRESULT VFW_E_NOT_FOUND = int32_t(0x80040216u);
inline constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = int32_t(0x80040265u);

// ---- Values ----------------------------------------------------------------------------------

using STREAM_TIME = int64_t;  // 100 ns units

enum class ClassId { FilterGraph, AMMultiMediaStream };
inline constexpr uint32_t CLSCTX_INPROC_SERVER = 0x1;
inline constexpr uint32_t CLSCTX_INPROC_HANDLER = 0x2;

// The interfaces of the objects below; each object answers several with itself.
enum class MediaInterface {
  GraphBuilder,
  MediaControl,
  MediaSeeking,
  BasicAudio,
  AMMultiMediaStream,
  MediaStream,
  AMMediaStream,
  DirectDrawMediaStream,
};

enum StreamType { STREAMTYPE_READ = 0 };
enum StreamState { STREAMSTATE_STOP = 0, STREAMSTATE_RUN = 1 };
enum class MediaPurpose { PrimaryVideo, PrimaryAudio };
inline constexpr MediaPurpose MSPID_PrimaryVideo = MediaPurpose::PrimaryVideo;
inline constexpr MediaPurpose MSPID_PrimaryAudio = MediaPurpose::PrimaryAudio;

inline constexpr uint32_t AMMSF_NOGRAPHTHREAD = 0x1;       // Initialize
inline constexpr uint32_t AMMSF_ADDDEFAULTRENDERER = 0x1;  // AddMediaStream
inline constexpr uint32_t DDSFF_PROGRESSIVERENDER = 0x1;   // CreateSample

struct MoviePlayer;  // the decoder and clock behind one open stream (dshow.cpp)
class MultiMediaStream;
class MediaStream;
class StreamSample;

// ---- Filter graph: graph builder, media control, media seeking, basic audio -------------------

class FilterGraph : public RefCounted {
 public:
  HRESULT QueryInterface(MediaInterface id, void** out);
  // Media control: stops the stream clock of the stream the graph serves (state stays RUN).
  HRESULT Pause();
  // Basic audio: no sound is played, so these succeed and do nothing.
  HRESULT SetVolume(int32_t volume);
  HRESULT SetBalance(int32_t balance);

 private:
  friend HRESULT CoCreateInstance(ClassId, uint32_t, MediaInterface, void**);
  friend class MultiMediaStream;
  FilterGraph() = default;
  ~FilterGraph() override;
  MoviePlayer* player_ = nullptr;  // shared (see dshow.cpp); null until a stream uses the graph
};
using GraphBuilder = FilterGraph;
using MediaControl = FilterGraph;
using MediaSeeking = FilterGraph;
using BasicAudio = FilterGraph;

// ---- Multimedia stream -----------------------------------------------------------------------

class MultiMediaStream : public RefCounted {
 public:
  HRESULT QueryInterface(MediaInterface id, void** out);
  // Only STREAMTYPE_READ; a null graph makes one of its own.
  HRESULT Initialize(StreamType type, uint32_t flags, FilterGraph* graph);
  // The primary video stream takes the DirectDraw object its samples make surfaces with; the
  // primary audio stream takes none.
  HRESULT AddMediaStream(DirectDraw* directDraw, MediaPurpose purpose, uint32_t flags,
                         MediaStream** out);
  // Opens the movie at path (as given, relative to the process's directory) and starts its
  // decoding thread. Files that FFmpeg opens only as still images are refused.
  HRESULT OpenFile(const char* path, uint32_t flags);
  HRESULT GetMediaStream(MediaPurpose purpose, MediaStream** out);
  HRESULT GetState(StreamState* state);
  HRESULT SetState(StreamState state);
  HRESULT GetTime(STREAM_TIME* time);
  // Moves the stream to `time`: the next frame is the one due at that time.
  HRESULT Seek(STREAM_TIME time);

 private:
  friend HRESULT CoCreateInstance(ClassId, uint32_t, MediaInterface, void**);
  MultiMediaStream();
  ~MultiMediaStream() override;
  MoviePlayer* player_ = nullptr;
  FilterGraph* graph_ = nullptr;
  MediaStream* video_ = nullptr;
  MediaStream* audio_ = nullptr;
  bool initialised_ = false;
};
using AMMultiMediaStream = MultiMediaStream;

// ---- Media stream (video: also the DirectDraw media stream) ----------------------------------

class MediaStream : public RefCounted {
 public:
  HRESULT QueryInterface(MediaInterface id, void** out);
  // The frame size of the open file and a 32-bit RGB format; 0 x 0 when it has no video stream.
  HRESULT GetFormat(SurfaceDesc* desired);
  // A sample decoding into `surface` (its rectangle `rect`, null: the whole surface), which
  // must be of the frame's size and 32-bit RGB, 24-bit RGB, 16-bit 5:6:5 or 5:5:5, UYVY or
  // YUY2. Without a surface the stream makes a 32-bit system-memory one.
  HRESULT CreateSample(DirectDrawSurface* surface, const RECT* rect, uint32_t flags,
                       StreamSample** out);

 private:
  friend class MultiMediaStream;
  MediaStream(MoviePlayer* player, MediaPurpose purpose, DirectDraw* directDraw);
  ~MediaStream() override;
  MoviePlayer* player_;
  MediaPurpose purpose_;
  DirectDraw* directDraw_;
};
using AMMediaStream = MediaStream;
using DirectDrawMediaStream = MediaStream;

// ---- Stream sample ---------------------------------------------------------------------------

class StreamSample : public RefCounted {
 public:
  // S_OK when the next frame was decoded and due and has been written; MS_S_PENDING when the
  // decoding thread will write it once it is due and then set `event`; MS_S_ENDOFSTREAM past
  // the last frame; MS_E_BUSY while an update is outstanding.
  HRESULT Update(uint32_t flags, EventHandle event, void* apc, uintptr_t apcData);
  HRESULT GetSurface(DirectDrawSurface** surface, RECT* rect);

 private:
  friend class MediaStream;
  friend struct MoviePlayer;
  StreamSample() = default;
  ~StreamSample() override;
  MoviePlayer* player_ = nullptr;
  DirectDrawSurface* surface_ = nullptr;
  RECT rect_{};
  PixelFormat format_{};
};

// CLSID_FilterGraph answers GraphBuilder (and its other interfaces), CLSID_AMMultiMediaStream
// answers AMMultiMediaStream.
HRESULT CoCreateInstance(ClassId cls, uint32_t context, MediaInterface id, void** out);

// ---- Test hooks ------------------------------------------------------------------------------

namespace dshowtest {
// Returns once every open stream's thread has done all it can at the clock's current value
// (decoded as far ahead as it may, completed every update that is due). For tests whose clock
// is overridden and stands still meanwhile.
void WaitUntilIdle();
// The next OpenFile fails.
void FailNextOpenFile();
// Frames decoded since the last Reset, by all streams.
uint64_t FramesDecoded();
// Streams whose decoding thread runs.
int LiveStreamCount();
void Reset();
}  // namespace dshowtest

}  // namespace zq::platform
