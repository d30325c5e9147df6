// Movies: taking a decoded frame into a graph beside a memcpy of the frame's bytes, and frames
// per second through the DirectShow stand-in beside the same decoding and conversion done
// directly with libavcodec and libswscale. The movie (640 x 480 FFV1) is written at start-up.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <vector>

#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/library_init.h"
#include "graphics/movie.h"
#include "platform/dshow/dshow.h"
#include "platform/os/clock.h"
#include "support/movie_files.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace zq {
namespace {

constexpr int kW = 640, kH = 480, kFrames = 30;

const std::string& MoviePath() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() /
                           ("zq-movie-bench-" + std::to_string(getpid()) + ".nut"))
                              .string();
    test::WriteMovie(p, test::kFfv1Nut, kW, kH, kFrames);
    return p;
  }();
  return path;
}

// The library started headless at a screen depth, ended on destruction.
struct Library {
  explicit Library(int bits) {
    gfx::LibraryInit();
    if (bits != 16) gfx::RunScreenModeChange(kW, kH, bits, 60);
  }
  ~Library() { gfx::LibraryEnd(); }
};

// ---- (1) Taking a frame into a graph ---------------------------------------------------------

// Frame bits, graph bits: the frame surface is filled with varied bytes and taken into a
// system-memory graph of the graph's depth, beside a memcpy of the frame's bytes.
void BM_TakeFrame(benchmark::State& state) {
  const int frameBits = int(state.range(0)), graphBits = int(state.range(1));
  const bool baseline = state.range(2) != 0;
  Library lib(graphBits);
  platform::SurfaceDesc desc;
  desc.flags = platform::DDSD_CAPS | platform::DDSD_WIDTH | platform::DDSD_HEIGHT |
               platform::DDSD_PIXELFORMAT;
  desc.width = kW;
  desc.height = kH;
  desc.caps.caps = platform::DDSCAPS_OFFSCREENPLAIN | platform::DDSCAPS_SYSTEMMEMORY;
  desc.pixelFormat = {sizeof(platform::PixelFormat),
                      platform::PF_RGB,
                      0,
                      uint32_t(frameBits),
                      frameBits == 16 ? 0xF800u : 0xFF0000u,
                      frameBits == 16 ? 0x07E0u : 0xFF00u,
                      frameBits == 16 ? 0x1Fu : 0xFFu,
                      0};
  gfx::MovieRecord movie{};
  gfx::GetDirectDrawObject()->CreateSurface(desc, &movie.FrameSurface);
  platform::SurfaceDesc locked;
  movie.FrameSurface->Lock(nullptr, &locked, 0);
  const size_t frameBytes = size_t(locked.pitch) * kH;
  auto* pixels = static_cast<uint8_t*>(locked.surface);
  for (size_t i = 0; i < frameBytes; ++i) pixels[i] = uint8_t(uint32_t(i) * 2654435761u >> 24);
  movie.FrameSurface->Unlock(nullptr);
  movie.FrameRect = {0, 0, kW, kH};
  movie.Width = kW;
  movie.Height = kH;
  gfx::ColorDataFromPixelFormat(&desc.pixelFormat, &movie.FrameFormat);
  gfx::SetCreateOptionD(1);
  gfx::SetCreateColorBitDepth(graphBits);
  const gfx::HandleValue graph = gfx::CreateGraphWithOptions(kW, kH, 0, 0, 0);
  std::vector<uint8_t> copy(frameBytes);
  for (auto _ : state) {
    if (baseline)
      std::memcpy(copy.data(), pixels, frameBytes);
    else
      gfx::G_DD_UpdateMovieSurface(&movie, gfx::GetGraphRecord(graph));
    benchmark::ClobberMemory();
  }
  state.counters["frames"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
  gfx::DeleteGraphHandle(graph, 0);
  movie.FrameSurface->Release();
}
BENCHMARK(BM_TakeFrame)
    ->ArgNames({"frame", "graph", "memcpy"})
    ->Args({32, 32, 0})
    ->Args({32, 32, 1})
    ->Args({16, 16, 0})
    ->Args({16, 16, 1})
    ->Args({24, 32, 0})
    ->Args({24, 32, 1})
    ->Args({32, 16, 0})
    ->Args({32, 16, 1})
    ->Unit(benchmark::kMicrosecond);

// ---- (2) Frames per second through the stand-in ----------------------------------------------

// Every read of the clock is a second later, so every frame is due at once.
std::atomic<uint32_t> g_clock{0};

void BM_StandInFrames(benchmark::State& state) {
  platform::SetMilliSecondsOverride([] { return g_clock.fetch_add(1000); });
  platform::DirectDraw* dd = nullptr;
  platform::DirectDrawCreateEx(&dd);
  platform::EventHandle event = platform::CreateManualEvent();
  for (auto _ : state) {
    platform::MultiMediaStream* stream = nullptr;
    platform::CoCreateInstance(
        platform::ClassId::AMMultiMediaStream, platform::CLSCTX_INPROC_SERVER,
        platform::MediaInterface::AMMultiMediaStream, reinterpret_cast<void**>(&stream));
    stream->Initialize(platform::STREAMTYPE_READ, 0, nullptr);
    platform::MediaStream* video = nullptr;
    stream->AddMediaStream(dd, platform::MSPID_PrimaryVideo, 0, &video);
    stream->OpenFile(MoviePath().c_str(), 0);
    platform::StreamSample* sample = nullptr;
    video->CreateSample(nullptr, nullptr, 0, &sample);
    stream->SetState(platform::STREAMSTATE_RUN);
    int frames = 0;
    for (;;) {
      platform::ResetEvent(event);
      const platform::HRESULT hr = sample->Update(0, event, nullptr, 0);
      if (hr == platform::MS_S_PENDING) {
        platform::WaitForEvent(event, platform::INFINITE);
      } else if (hr != platform::S_OK) {
        break;
      }
      ++frames;
    }
    if (frames < kFrames) state.SkipWithError("frames lost");
    sample->Release();
    video->Release();
    stream->Release();
  }
  state.counters["frames"] =
      benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
  platform::CloseEvent(event);
  dd->Release();
  platform::SetMilliSecondsOverride({});
}
BENCHMARK(BM_StandInFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same decoding and conversion to 32-bit blue, green, red, unused, done directly.
void BM_DirectFrames(benchmark::State& state) {
  std::vector<uint8_t> out(size_t(kW) * kH * 4);
  for (auto _ : state) {
    AVFormatContext* format = nullptr;
    avformat_open_input(&format, MoviePath().c_str(), nullptr, nullptr);
    avformat_find_stream_info(format, nullptr);
    const AVCodec* decoder = nullptr;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, format->streams[index]->codecpar);
    codec->thread_count = 1;
    avcodec_open2(codec, decoder, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* sws = nullptr;
    int frames = 0;
    auto receive = [&] {
      while (avcodec_receive_frame(codec, frame) == 0) {
        sws = sws_getCachedContext(sws, frame->width, frame->height, AVPixelFormat(frame->format),
                                   kW, kH, AV_PIX_FMT_BGR0, SWS_POINT, nullptr, nullptr, nullptr);
        uint8_t* planes[4] = {out.data(), nullptr, nullptr, nullptr};
        int pitches[4] = {kW * 4, 0, 0, 0};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, pitches);
        benchmark::DoNotOptimize(out.data());
        ++frames;
      }
    };
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == index) avcodec_send_packet(codec, packet);
      av_packet_unref(packet);
      receive();
    }
    avcodec_send_packet(codec, nullptr);
    receive();
    if (frames < kFrames) state.SkipWithError("frames lost");
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }
  state.counters["frames"] =
      benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DirectFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zq

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  zq::MoviePath();
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove(zq::MoviePath());
  benchmark::Shutdown();
  return 0;
}
