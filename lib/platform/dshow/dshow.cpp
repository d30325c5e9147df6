// DirectShow multimedia-stream stand-in (see dshow.h).
#include "platform/dshow/dshow.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/clock.h"
#include "platform/size_limits.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace zq::platform {

namespace {

// Frames decoded ahead of the one shown.
constexpr size_t kFramesAhead = 4;
constexpr AVRational kStreamTimeBase{1, 10000000};
// Longest real-time sleep of an idle thread whose next completion waits for the clock.
constexpr int kIdleSleepMs = 5;

struct Registry {
  std::mutex mutex;
  std::vector<MoviePlayer*> players;
  bool failNextOpen = false;
  std::atomic<uint64_t> decoded{0};
};
Registry& R() {
  static Registry registry;
  return registry;
}

void SilenceFfmpeg() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

bool IsStillImageDemuxer(const char* name) {
  const std::string n = name != nullptr ? name : "";
  return n == "image2" || (n.size() > 5 && n.compare(n.size() - 5, 5, "_pipe") == 0);
}

// ---- Surface formats a sample writes ---------------------------------------------------------

enum class Target { Bgr32, Rgb24, Rgb565, Rgb555, Uyvy, Yuy2, None };

Target TargetOf(const PixelFormat& f) {
  if (f.flags & PF_FOURCC) {
    if (f.fourCC == MakeFourCC('U', 'Y', 'V', 'Y')) return Target::Uyvy;
    if (f.fourCC == MakeFourCC('Y', 'U', 'Y', '2')) return Target::Yuy2;
    return Target::None;
  }
  if (!(f.flags & PF_RGB)) return Target::None;
  if ((f.rgbBitCount == 32 || f.rgbBitCount == 24) && f.redMask == 0xFF0000 &&
      f.greenMask == 0xFF00 && f.blueMask == 0xFF)
    return f.rgbBitCount == 32 ? Target::Bgr32 : Target::Rgb24;
  if (f.rgbBitCount == 16 && f.redMask == 0xF800 && f.greenMask == 0x07E0 && f.blueMask == 0x1F)
    return Target::Rgb565;
  if (f.rgbBitCount == 16 && f.redMask == 0x7C00 && f.greenMask == 0x03E0 && f.blueMask == 0x1F)
    return Target::Rgb555;
  return Target::None;
}

// ---- Decoded pictures, as FFmpeg's own conversion makes them ----------------------------------
//
// A frame is converted the way `ffmpeg -pix_fmt rgb24` converts it (its scale filter with the
// default settings): libswscale's default scaler (bicubic, no extra flags) to 24-bit RGB, the
// matrix and range taken from the frame. The frames are kept in those 24-bit rows; converting
// straight to 32 bits would take other code paths in libswscale, with other rounding.

// The libswscale matrix for a frame's colour space, as the scale filter picks it.
int MatrixOf(AVColorSpace space) {
  switch (space) {
    case AVCOL_SPC_BT709:
      return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
      return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
      return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return SWS_CS_BT2020;
    default:  // BT.601 and its twins, unspecified, and spaces libswscale has no matrix for
      return SWS_CS_DEFAULT;
  }
}

// libswscale's vector paths write pixels in whole groups and leave a row's last pixels unwritten
// when its pitch has no room for the last group. Rows padded to a multiple of 64 pixels in
// 64-byte aligned blocks, like FFmpeg's own frame buffers, get every pixel wherever they lie.
constexpr int kFrameAlign = 64;
int32_t FramePitch(int32_t width) {
  return FFALIGN(FFALIGN(width, kFrameAlign) * 3, kFrameAlign);
}

// ---- Writing a 24-bit frame into a surface's format ------------------------------------------

// Sources are red, green, blue bytes. Channels are cut from 8 bits by truncation, so a lossless
// RGB movie arrives exactly.
struct To32 {
  static constexpr int kBytes = 4;
  // Four bytes read (the pixel and the next byte) and swapped: blue, green, red, 0xFF. A frame's
  // last pixel reads a byte past its rows, which the frame's spare row keeps inside the block.
  static void Put(uint8_t* d, const uint8_t* s) {
    uint32_t v;
    std::memcpy(&v, s, 4);
    v = __builtin_bswap32(v) >> 8 | 0xFF000000u;
    std::memcpy(d, &v, 4);
  }
};
struct To24 {
  static constexpr int kBytes = 3;
  static void Put(uint8_t* d, const uint8_t* s) {
    d[0] = s[2];
    d[1] = s[1];
    d[2] = s[0];
  }
};
struct To565 {
  static constexpr int kBytes = 2;
  static void Put(uint8_t* d, const uint8_t* s) {
    const uint16_t v = uint16_t((s[0] >> 3) << 11 | (s[1] >> 2) << 5 | s[2] >> 3);
    std::memcpy(d, &v, 2);
  }
};
struct To555 {
  static constexpr int kBytes = 2;
  static void Put(uint8_t* d, const uint8_t* s) {
    const uint16_t v = uint16_t((s[0] >> 3) << 10 | (s[1] >> 3) << 5 | s[2] >> 3);
    std::memcpy(d, &v, 2);
  }
};

template <class Policy>
void PackRows(const uint8_t* src, int32_t srcPitch, int32_t width, int32_t height, uint8_t* dst,
              int32_t pitch) {
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = src + int64_t(y) * srcPitch;
    uint8_t* d = dst + int64_t(y) * pitch;
    for (int32_t x = 0; x < width; ++x, s += 3, d += Policy::kBytes) Policy::Put(d, s);
  }
}

}  // namespace

// ---- The player: demuxer, decoder, frame queue, clock and decoding thread ---------------------

struct MoviePlayer {
  struct Frame {
    uint8_t* pixels = nullptr;  // height rows of width x 3 bytes, red, green, blue (FramePitch)
    int64_t time = 0;           // presentation time, 100 ns units
  };

  // Shared by the stream, its graph, its media streams and its samples (caller's thread only).
  uint32_t refs = 1;
  void AddRef() { ++refs; }
  void Release() {
    if (--refs == 0) delete this;
  }

  ~MoviePlayer() { Close(); }

  HRESULT Open(const char* path);
  void Close();

  // ---- Clock (under mutex) ----
  int64_t StreamTimeLocked() const {
    if (!running) return base;
    return base + int64_t(uint32_t(MilliSeconds() - startMs)) * 10000;
  }
  void RunClock() {
    std::lock_guard lock(mutex);
    if (!running) {
      startMs = MilliSeconds();
      running = true;
    }
    wake.notify_all();
  }
  void StopClock() {
    std::lock_guard lock(mutex);
    base = StreamTimeLocked();
    running = false;
  }

  HRESULT Update(StreamSample* sample, EventHandle event);
  void CancelUpdate(const StreamSample* sample);
  void Seek(int64_t time);

  // ---- Decoding thread ----
  void Run();
  bool DecodeOne(uint8_t* pixels, int64_t* time);
  bool ConvertDecoded(uint8_t* pixels);
  void SeekDecoder(int64_t time);
  void PushDecoded(Frame frame);
  void WriteFrame(const Frame& frame, StreamSample* sample);

  // Set once by Open before the thread starts; read-only afterwards.
  int32_t width = 0, height = 0;  // 0 x 0: no video stream
  int32_t framePitch = 0;
  bool opened = false;

  // Decoder state: the thread's alone once it runs.
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* decoded = nullptr;
  // The conversion: a context for the decoded pictures' size and format.
  SwsContext* toRgb = nullptr;
  int32_t toRgbWidth = 0, toRgbHeight = 0;
  int toRgbFormat = AV_PIX_FMT_NONE;
  // The colour details the context was given last (-1: none yet): they are set again only when
  // a frame states others, as setting them rebuilds the context's tables.
  int toRgbSpace = -1, toRgbRange = -1;
  int videoIndex = -1;
  AVRational timeBase{1, 1};
  int64_t startPts = 0;  // the first decoded frame's time stamp: frame times count from it
  bool startKnown = false;
  int64_t frameDuration = 0;  // 100 ns units, for frames without a time stamp
  int64_t lastTime = -1;
  bool draining = false;

  std::mutex mutex;
  std::condition_variable wake;    // the thread's: work may be waiting
  std::condition_variable idleCv;  // WaitUntilIdle's: the thread went idle
  std::thread thread;
  bool stop = false;
  bool idle = false;
  uint64_t wakeSerial = 0, idleSerial = 0;
  // Clock.
  bool running = false;
  int64_t base = 0;
  uint32_t startMs = 0;
  StreamState state = STREAMSTATE_STOP;
  // Frames.
  std::vector<uint8_t*> pool;  // free frame buffers
  std::vector<uint8_t*> owned;
  std::deque<Frame> queue;
  bool ended = false;  // nothing more to decode
  // Seeking: the thread seeks the decoder, then keeps the last frame at or before the target.
  uint64_t seekGeneration = 0;
  bool seekPending = false;
  int64_t seekTarget = 0;
  bool holding = false;  // dropping frames up to seekTarget
  Frame candidate;
  // The outstanding update.
  StreamSample* pending = nullptr;
  EventHandle pendingEvent = nullptr;
  // UYVY / YUY2 targets.
  SwsContext* toYuv = nullptr;
};

HRESULT MoviePlayer::Open(const char* path) {
  SilenceFfmpeg();
  // "file:" keeps a name from being read as another protocol.
  const std::string url = std::string("file:") + path;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  const int openResult = avformat_open_input(&format, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (openResult < 0) {
    format = nullptr;
    return VFW_E_NOT_FOUND;
  }
  // A damaged or unsupported picture stays a failed picture.
  if (IsStillImageDemuxer(format->iformat->name) || avformat_find_stream_info(format, nullptr) < 0)
    return VFW_E_UNSUPPORTED_STREAM;

  const AVCodec* decoder = nullptr;
  videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  const AVCodecParameters* par = videoIndex >= 0 ? format->streams[videoIndex]->codecpar : nullptr;
  const bool sizeOk = par != nullptr && par->width > 0 && par->height > 0 &&
                      par->width <= kMaxImageSide && par->height <= kMaxImageSide &&
                      int64_t(par->width) * par->height * 4 <= kMaxBlockBytes;
  if (decoder != nullptr && sizeOk) {
    codec = avcodec_alloc_context3(decoder);
    if (codec == nullptr || avcodec_parameters_to_context(codec, par) < 0) return E_OUTOFMEMORY;
    codec->thread_count = 1;
    if (avcodec_open2(codec, decoder, nullptr) < 0) {
      avcodec_free_context(&codec);
    } else {
      width = par->width;
      height = par->height;
    }
  }
  ended = width == 0;
  if (width != 0) {
    const AVStream* st = format->streams[videoIndex];
    timeBase = st->time_base;
    startPts = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    frameDuration = rate.num > 0 ? av_rescale_q(1, av_inv_q(rate), kStreamTimeBase) : 400000;
    packet = av_packet_alloc();
    decoded = av_frame_alloc();
    if (packet == nullptr || decoded == nullptr) return E_OUTOFMEMORY;
    // The queue, the frame being decoded and the one kept while seeking; each with a spare row,
    // as libswscale and To32 may reach a little past the last one. Room in the lists first, so
    // that no buffer is made that they could not take.
    framePitch = FramePitch(width);
    owned.reserve(kFramesAhead + 2);
    pool.reserve(kFramesAhead + 2);
    for (size_t i = 0; i < kFramesAhead + 2; ++i) {
      auto* p = static_cast<uint8_t*>(av_malloc(size_t(framePitch) * size_t(height + 1)));
      if (p == nullptr) return E_OUTOFMEMORY;
      owned.push_back(p);
      pool.push_back(p);
    }
    // The first frame is decoded now: its time stamp is where the stream's frame times start,
    // and a seek right after opening needs it.
    Frame first;
    first.pixels = pool.back();
    pool.pop_back();
    if (DecodeOne(first.pixels, &first.time)) {
      std::lock_guard lock(mutex);
      PushDecoded(first);
    } else {
      pool.push_back(first.pixels);
      ended = true;
    }
  }
  opened = true;
  thread = std::thread([this] { Run(); });
  std::lock_guard lock(R().mutex);
  R().players.push_back(this);
  return S_OK;
}

void MoviePlayer::Close() {
  opened = false;
  {
    std::lock_guard lock(R().mutex);
    auto& list = R().players;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  if (thread.joinable()) {
    {
      std::lock_guard lock(mutex);
      stop = true;
    }
    wake.notify_all();
    thread.join();
  }
  sws_freeContext(toRgb);
  sws_freeContext(toYuv);
  toRgb = toYuv = nullptr;
  av_frame_free(&decoded);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  if (format != nullptr) avformat_close_input(&format);
  for (uint8_t* p : owned) av_free(p);
  owned.clear();
  pool.clear();
  queue.clear();
}

// One more frame in `pixels`; false at the end of the stream (or on an error that ends it).
bool MoviePlayer::DecodeOne(uint8_t* pixels, int64_t* time) {
  for (;;) {
    const int received = avcodec_receive_frame(codec, decoded);
    if (received == 0) {
      if (decoded->width <= 0 || decoded->height <= 0) {
        av_frame_unref(decoded);
        continue;
      }
      if (!ConvertDecoded(pixels)) {
        av_frame_unref(decoded);
        return false;
      }
      const int64_t pts = decoded->best_effort_timestamp;
      if (!startKnown) {
        startKnown = true;
        if (pts != AV_NOPTS_VALUE) startPts = pts;
      }
      *time = pts != AV_NOPTS_VALUE ? av_rescale_q(pts - startPts, timeBase, kStreamTimeBase)
              : lastTime < 0        ? 0
                                    : lastTime + frameDuration;
      lastTime = *time;
      av_frame_unref(decoded);
      return true;
    }
    if (received != AVERROR(EAGAIN) || draining) return false;
    if (av_read_frame(format, packet) < 0) {
      draining = true;
      avcodec_send_packet(codec, nullptr);
      continue;
    }
    // Audio and every other stream are dropped; a damaged packet is skipped.
    if (packet->stream_index == videoIndex) avcodec_send_packet(codec, packet);
    av_packet_unref(packet);
  }
}

// The decoded picture into `pixels`; false when libswscale cannot convert it.
bool MoviePlayer::ConvertDecoded(uint8_t* pixels) {
  const AVFrame& in = *decoded;
  // Whatever the decoder delivers is scaled to the stream's size, so rows never overrun. The
  // context is kept while the pictures keep their size and format (libswscale rewrites some of
  // its own settings, so sws_getCachedContext would make a new one for every frame).
  if (toRgb == nullptr || in.width != toRgbWidth || in.height != toRgbHeight ||
      in.format != toRgbFormat) {
    sws_freeContext(toRgb);
    toRgb = sws_getContext(in.width, in.height, AVPixelFormat(in.format), width, height,
                           AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (toRgb == nullptr) return false;
    toRgbWidth = in.width;
    toRgbHeight = in.height;
    toRgbFormat = in.format;
    toRgbSpace = toRgbRange = -1;
  }
  // The frame's matrix, and its range when it states one; otherwise the context keeps the range
  // it has (full for the JPEG formats and grey, limited for the rest).
  if (in.colorspace != toRgbSpace || in.color_range != toRgbRange) {
    int *inverse = nullptr, *table = nullptr, srcFull = 0, dstFull = 0;
    int brightness = 0, contrast = 0, saturation = 0;
    sws_getColorspaceDetails(toRgb, &inverse, &srcFull, &table, &dstFull, &brightness, &contrast,
                             &saturation);
    if (in.color_range != AVCOL_RANGE_UNSPECIFIED) srcFull = in.color_range == AVCOL_RANGE_JPEG;
    const int* matrix = sws_getCoefficients(MatrixOf(in.colorspace));
    sws_setColorspaceDetails(toRgb, matrix, srcFull, matrix, dstFull, brightness, contrast,
                             saturation);
    toRgbSpace = in.colorspace;
    toRgbRange = in.color_range;
  }
  uint8_t* planes[4] = {pixels, nullptr, nullptr, nullptr};
  const int pitches[4] = {framePitch, 0, 0, 0};
  return sws_scale(toRgb, in.data, in.linesize, 0, in.height, planes, pitches) > 0;
}

void MoviePlayer::SeekDecoder(int64_t time) {
  const int64_t ts = av_rescale_q(time, kStreamTimeBase, timeBase) + startPts;
  if (av_seek_frame(format, videoIndex, ts, AVSEEK_FLAG_BACKWARD) < 0)
    av_seek_frame(format, videoIndex, startPts, AVSEEK_FLAG_BACKWARD);
  avcodec_flush_buffers(codec);
  draining = false;
  lastTime = -1;
}

// Under mutex. While seeking, a frame due no later than the target only replaces the one kept.
void MoviePlayer::PushDecoded(Frame frame) {
  R().decoded.fetch_add(1, std::memory_order_relaxed);
  if (holding) {
    if (frame.time <= seekTarget) {
      if (candidate.pixels != nullptr) pool.push_back(candidate.pixels);
      candidate = frame;
      return;
    }
    holding = false;
    if (candidate.pixels != nullptr) queue.push_back(candidate);
    candidate = Frame{};
  }
  queue.push_back(frame);
}

// Under mutex, with the sample's surface not in the caller's hands.
void MoviePlayer::WriteFrame(const Frame& frame, StreamSample* sample) {
  SurfaceDesc desc;
  DirectDrawSurface* surface = sample->surface_;
  const RECT& r = sample->rect_;
  if (Failed(surface->Lock(&r, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY))) return;
  auto* dst = static_cast<uint8_t*>(desc.surface);
  const int32_t pitch = desc.pitch;
  switch (TargetOf(sample->format_)) {
    case Target::Bgr32:
      PackRows<To32>(frame.pixels, framePitch, width, height, dst, pitch);
      break;
    case Target::Rgb24:
      PackRows<To24>(frame.pixels, framePitch, width, height, dst, pitch);
      break;
    case Target::Rgb565:
      PackRows<To565>(frame.pixels, framePitch, width, height, dst, pitch);
      break;
    case Target::Rgb555:
      PackRows<To555>(frame.pixels, framePitch, width, height, dst, pitch);
      break;
    case Target::Uyvy:
    case Target::Yuy2: {
      const AVPixelFormat yuv =
          TargetOf(sample->format_) == Target::Uyvy ? AV_PIX_FMT_UYVY422 : AV_PIX_FMT_YUYV422;
      toYuv = sws_getCachedContext(toYuv, width, height, AV_PIX_FMT_RGB24, width, height, yuv,
                                   SWS_POINT, nullptr, nullptr, nullptr);
      if (toYuv != nullptr) {
        const uint8_t* srcPlanes[4] = {frame.pixels, nullptr, nullptr, nullptr};
        const int srcPitches[4] = {framePitch, 0, 0, 0};
        uint8_t* dstPlanes[4] = {dst, nullptr, nullptr, nullptr};
        const int dstPitches[4] = {pitch, 0, 0, 0};
        sws_scale(toYuv, srcPlanes, srcPitches, 0, height, dstPlanes, dstPitches);
      }
      break;
    }
    case Target::None:
      break;
  }
  surface->Unlock(&r);
}

void MoviePlayer::Run() {
  std::unique_lock lock(mutex);
  while (!stop) {
    if (seekPending) {
      seekPending = false;
      const int64_t target = seekTarget;
      lock.unlock();
      SeekDecoder(target);
      lock.lock();
      continue;
    }
    const int64_t now = StreamTimeLocked();
    if (pending != nullptr && !queue.empty() && queue.front().time <= now) {
      WriteFrame(queue.front(), pending);
      pool.push_back(queue.front().pixels);
      queue.pop_front();
      SetEvent(pendingEvent);
      pending = nullptr;
      continue;
    }
    if (pending != nullptr && queue.empty() && ended) {
      // The update completes without a new frame; the next one reports the end.
      SetEvent(pendingEvent);
      pending = nullptr;
      continue;
    }
    if (!ended && queue.size() < kFramesAhead && !pool.empty()) {
      Frame frame;
      frame.pixels = pool.back();
      pool.pop_back();
      const uint64_t generation = seekGeneration;
      lock.unlock();
      const bool got = DecodeOne(frame.pixels, &frame.time);
      lock.lock();
      if (generation != seekGeneration) {
        pool.push_back(frame.pixels);  // decoded before a seek: not wanted
      } else if (got) {
        PushDecoded(frame);
      } else {
        pool.push_back(frame.pixels);
        ended = true;
        if (candidate.pixels != nullptr) queue.push_back(candidate);
        candidate = Frame{};
        holding = false;
      }
      continue;
    }
    idle = true;
    idleSerial = wakeSerial;
    idleCv.notify_all();
    if (pending != nullptr && !queue.empty() && running) {
      // Waiting for the clock: look again soon (a test clock moves without telling anyone).
      wake.wait_for(lock, std::chrono::milliseconds(kIdleSleepMs));
    } else {
      wake.wait(lock);
    }
    idle = false;
  }
}

HRESULT MoviePlayer::Update(StreamSample* sample, EventHandle event) {
  std::lock_guard lock(mutex);
  if (pending != nullptr) return MS_E_BUSY;
  if (!queue.empty() && queue.front().time <= StreamTimeLocked()) {
    WriteFrame(queue.front(), sample);
    pool.push_back(queue.front().pixels);
    queue.pop_front();
    wake.notify_all();  // room to decode further
    return S_OK;
  }
  if (queue.empty() && ended && candidate.pixels == nullptr) return MS_S_ENDOFSTREAM;
  pending = sample;
  pendingEvent = event;
  wake.notify_all();
  return MS_S_PENDING;
}

void MoviePlayer::CancelUpdate(const StreamSample* sample) {
  std::lock_guard lock(mutex);
  if (pending == sample) pending = nullptr;
}

void MoviePlayer::Seek(int64_t time) {
  std::lock_guard lock(mutex);
  base = time;
  startMs = MilliSeconds();
  if (width == 0) return;
  for (const Frame& f : queue) pool.push_back(f.pixels);
  queue.clear();
  if (candidate.pixels != nullptr) pool.push_back(candidate.pixels);
  candidate = Frame{};
  ++seekGeneration;
  seekPending = true;
  seekTarget = time;
  holding = true;
  ended = false;
  wake.notify_all();
}

// ---- Filter graph ----------------------------------------------------------------------------

FilterGraph::~FilterGraph() {
  if (player_ != nullptr) player_->Release();
}

HRESULT FilterGraph::QueryInterface(MediaInterface id, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (id != MediaInterface::GraphBuilder && id != MediaInterface::MediaControl &&
      id != MediaInterface::MediaSeeking && id != MediaInterface::BasicAudio)
    return E_NOINTERFACE;
  AddRef();
  *out = this;
  return S_OK;
}

HRESULT FilterGraph::Pause() {
  if (player_ != nullptr) player_->StopClock();
  return S_OK;
}

HRESULT FilterGraph::SetVolume(int32_t) {
  return S_OK;
}
HRESULT FilterGraph::SetBalance(int32_t) {
  return S_OK;
}

// ---- Multimedia stream -----------------------------------------------------------------------

MultiMediaStream::MultiMediaStream() : player_(new MoviePlayer()) {}

MultiMediaStream::~MultiMediaStream() {
  if (video_ != nullptr) video_->Release();
  if (audio_ != nullptr) audio_->Release();
  if (graph_ != nullptr) graph_->Release();
  // The thread stops with the stream: samples still held decode nothing more.
  player_->Close();
  player_->Release();
}

HRESULT MultiMediaStream::QueryInterface(MediaInterface id, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (id != MediaInterface::AMMultiMediaStream) return E_NOINTERFACE;
  AddRef();
  *out = this;
  return S_OK;
}

HRESULT MultiMediaStream::Initialize(StreamType type, uint32_t, FilterGraph* graph) {
  if (type != STREAMTYPE_READ) return E_INVALIDARG;
  if (initialised_) return E_FAIL;
  if (graph == nullptr) {
    HRESULT hr = CoCreateInstance(ClassId::FilterGraph, CLSCTX_INPROC_SERVER,
                                  MediaInterface::GraphBuilder, reinterpret_cast<void**>(&graph));
    if (Failed(hr)) return hr;
  } else {
    graph->AddRef();
  }
  if (graph->player_ != nullptr) {
    graph->Release();
    return E_INVALIDARG;  // a graph serves one stream
  }
  graph_ = graph;
  graph_->player_ = player_;
  player_->AddRef();
  initialised_ = true;
  return S_OK;
}

HRESULT MultiMediaStream::AddMediaStream(DirectDraw* directDraw, MediaPurpose purpose, uint32_t,
                                         MediaStream** out) {
  if (!initialised_) return MS_E_NOTINIT;
  MediaStream*& slot = purpose == MediaPurpose::PrimaryVideo ? video_ : audio_;
  if (slot != nullptr) return E_FAIL;
  if (purpose == MediaPurpose::PrimaryVideo && directDraw == nullptr) return E_POINTER;
  slot = new (std::nothrow) MediaStream(player_, purpose, directDraw);
  if (slot == nullptr) return E_OUTOFMEMORY;
  if (out != nullptr) {
    slot->AddRef();
    *out = slot;
  }
  return S_OK;
}

HRESULT MultiMediaStream::OpenFile(const char* path, uint32_t) {
  if (!initialised_ || video_ == nullptr) return MS_E_NOTINIT;
  if (path == nullptr || *path == '\0') return E_INVALIDARG;
  if (player_->opened) return E_FAIL;
  {
    std::lock_guard lock(R().mutex);
    if (R().failNextOpen) {
      R().failNextOpen = false;
      return VFW_E_NOT_FOUND;
    }
  }
  const HRESULT hr = player_->Open(path);
  if (Failed(hr)) player_->Close();
  return hr;
}

HRESULT MultiMediaStream::GetMediaStream(MediaPurpose purpose, MediaStream** out) {
  if (out == nullptr) return E_POINTER;
  *out = purpose == MediaPurpose::PrimaryVideo ? video_ : audio_;
  if (*out == nullptr) return MS_E_NOSTREAM;
  (*out)->AddRef();
  return S_OK;
}

HRESULT MultiMediaStream::GetState(StreamState* state) {
  if (state == nullptr) return E_POINTER;
  std::lock_guard lock(player_->mutex);
  *state = player_->state;
  return S_OK;
}

HRESULT MultiMediaStream::SetState(StreamState state) {
  if (state != STREAMSTATE_RUN && state != STREAMSTATE_STOP) return E_INVALIDARG;
  if (state == STREAMSTATE_RUN)
    player_->RunClock();
  else
    player_->StopClock();
  std::lock_guard lock(player_->mutex);
  player_->state = state;
  return S_OK;
}

HRESULT MultiMediaStream::GetTime(STREAM_TIME* time) {
  if (time == nullptr) return E_POINTER;
  std::lock_guard lock(player_->mutex);
  *time = player_->StreamTimeLocked();
  return S_OK;
}

HRESULT MultiMediaStream::Seek(STREAM_TIME time) {
  if (!player_->opened) return MS_E_NOTINIT;
  player_->Seek(time < 0 ? 0 : time);
  return S_OK;
}

// ---- Media stream ----------------------------------------------------------------------------

MediaStream::MediaStream(MoviePlayer* player, MediaPurpose purpose, DirectDraw* directDraw)
    : player_(player), purpose_(purpose), directDraw_(directDraw) {
  player_->AddRef();
  if (directDraw_ != nullptr) directDraw_->AddRef();
}

MediaStream::~MediaStream() {
  if (directDraw_ != nullptr) directDraw_->Release();
  player_->Release();
}

HRESULT MediaStream::QueryInterface(MediaInterface id, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  const bool video = purpose_ == MediaPurpose::PrimaryVideo;
  if (id != MediaInterface::MediaStream && id != MediaInterface::AMMediaStream &&
      !(video && id == MediaInterface::DirectDrawMediaStream))
    return E_NOINTERFACE;
  AddRef();
  *out = this;
  return S_OK;
}

namespace {
PixelFormat Bgr32Format() {
  return PixelFormat{sizeof(PixelFormat), PF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
}
}  // namespace

HRESULT MediaStream::GetFormat(SurfaceDesc* desired) {
  if (desired == nullptr) return E_POINTER;
  if (purpose_ != MediaPurpose::PrimaryVideo) return E_NOINTERFACE;
  if (!player_->opened) return MS_E_NOSTREAM;
  *desired = SurfaceDesc{};
  desired->flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  desired->width = uint32_t(player_->width);
  desired->height = uint32_t(player_->height);
  desired->pixelFormat = Bgr32Format();
  return S_OK;
}

HRESULT MediaStream::CreateSample(DirectDrawSurface* surface, const RECT* rect, uint32_t,
                                  StreamSample** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (purpose_ != MediaPurpose::PrimaryVideo) return E_NOINTERFACE;
  if (!player_->opened || player_->width == 0) return MS_E_NOSTREAM;
  const int32_t w = player_->width, h = player_->height;
  if (surface == nullptr) {
    SurfaceDesc desc;
    desc.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.width = uint32_t(w);
    desc.height = uint32_t(h);
    desc.caps.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.pixelFormat = Bgr32Format();
    HRESULT hr = directDraw_->CreateSurface(desc, &surface);
    if (Failed(hr)) return hr;
    rect = nullptr;
  } else {
    surface->AddRef();
  }
  SurfaceDesc sd;
  surface->GetSurfaceDesc(&sd);
  const RECT r = rect != nullptr ? *rect : RECT{0, 0, int32_t(sd.width), int32_t(sd.height)};
  if (TargetOf(sd.pixelFormat) == Target::None || r.left < 0 || r.top < 0 ||
      r.right > int32_t(sd.width) || r.bottom > int32_t(sd.height) || r.right - r.left != w ||
      r.bottom - r.top != h) {
    surface->Release();
    return MS_E_INCOMPATIBLE;
  }
  auto* sample = new (std::nothrow) StreamSample();
  if (sample == nullptr) {
    surface->Release();
    return E_OUTOFMEMORY;
  }
  sample->player_ = player_;
  player_->AddRef();
  sample->surface_ = surface;
  sample->rect_ = r;
  sample->format_ = sd.pixelFormat;
  *out = sample;
  return S_OK;
}

// ---- Stream sample ---------------------------------------------------------------------------

StreamSample::~StreamSample() {
  player_->CancelUpdate(this);
  surface_->Release();
  player_->Release();
}

HRESULT StreamSample::Update(uint32_t, EventHandle event, void*, uintptr_t) {
  if (event == nullptr) return E_POINTER;
  if (!player_->opened) return MS_E_NOTINIT;
  if (player_->width == 0) return MS_S_ENDOFSTREAM;
  return player_->Update(this, event);
}

HRESULT StreamSample::GetSurface(DirectDrawSurface** surface, RECT* rect) {
  if (surface != nullptr) {
    surface_->AddRef();
    *surface = surface_;
  }
  if (rect != nullptr) *rect = rect_;
  return S_OK;
}

// ---- Creation --------------------------------------------------------------------------------

HRESULT CoCreateInstance(ClassId cls, uint32_t context, MediaInterface id, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!(context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER))) return CLASS_E_NOTAVAILABLE;
  if (cls == ClassId::FilterGraph) {
    auto* graph = new (std::nothrow) FilterGraph();
    if (graph == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = graph->QueryInterface(id, out);
    graph->Release();
    return hr;
  }
  auto* stream = new (std::nothrow) MultiMediaStream();
  if (stream == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = stream->QueryInterface(id, out);
  stream->Release();
  return hr;
}

// ---- Test hooks ------------------------------------------------------------------------------

namespace dshowtest {

void WaitUntilIdle() {
  std::lock_guard registry(R().mutex);
  for (MoviePlayer* p : R().players) {
    std::unique_lock lock(p->mutex);
    const uint64_t wanted = ++p->wakeSerial;
    p->wake.notify_all();
    p->idleCv.wait(lock, [&] { return p->stop || (p->idle && p->idleSerial >= wanted); });
  }
}

void FailNextOpenFile() {
  std::lock_guard lock(R().mutex);
  R().failNextOpen = true;
}

uint64_t FramesDecoded() {
  return R().decoded.load();
}

int LiveStreamCount() {
  std::lock_guard lock(R().mutex);
  return int(R().players.size());
}

void Reset() {
  std::lock_guard lock(R().mutex);
  R().failNextOpen = false;
  R().decoded.store(0);
}

}  // namespace dshowtest

}  // namespace zq::platform
