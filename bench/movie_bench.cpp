// Movies: taking a decoded frame into a graph beside a memcpy of the frame's bytes, and frames
// per second through the DirectShow stand-in beside FFmpeg's own decoding and conversion of the
// same frames (libavcodec and libswscale as FFmpeg's scale filter uses them, one decoding thread
// each; the CPU column counts every thread of the process). The movies, 640 x 480, are written at
// start-up: FFV1 (lossless RGB) and H.264 (libx264; MPEG-4 where libavcodec has no H.264
// encoder).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/library_init.h"
#include "graphics/movie.h"
#include "platform/dshow/dshow.h"
#include "platform/os/clock.h"
#include "support/movie_files.h"

namespace zq {
namespace {

constexpr int kW = 640, kH = 480, kFrames = 30;

enum Movie { kFfv1 = 0, kH264 = 1 };

std::string TempName(const char* suffix) {
  return (std::filesystem::temp_directory_path() /
          ("zq-movie-bench-" + std::to_string(getpid()) + suffix))
      .string();
}

// The movie's path and the frames it holds (an encoder may keep back its last frames).
struct BenchMovie {
  std::string path;
  int frames = 0;
};
const BenchMovie& MovieFile(Movie which) {
  static const BenchMovie movies[2] = {
      [] {
        BenchMovie m{TempName(".nut")};
        test::WriteMovie(m.path, test::kFfv1Nut, kW, kH, kFrames);
        m.frames = test::ConvertLikeFfmpeg(m.path, [](const AVFrame&) {});
        return m;
      }(),
      [] {
        BenchMovie m{TempName(".mp4")};
        for (const char* encoder : {"libx264", "mpeg4"})
          if (test::WriteYuvMovie(m.path, {"mp4", encoder, AV_PIX_FMT_YUV420P, kW, kH, kFrames,
                                           AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, 0, 7}))
            break;
        m.frames = test::ConvertLikeFfmpeg(m.path, [](const AVFrame&) {});
        return m;
      }(),
  };
  return movies[which];
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

// Frames per second of each movie, in real time; the CPU time of every thread.
void BothMovies(benchmark::internal::Benchmark* b) {
  b->ArgName("h264")
      ->Arg(kFfv1)
      ->Arg(kH264)
      ->Unit(benchmark::kMillisecond)
      ->MeasureProcessCPUTime()
      ->UseRealTime();
}

// Every read of the clock is a second later, so every frame is due at once.
std::atomic<uint32_t> g_clock{0};

void BM_StandInFrames(benchmark::State& state) {
  const BenchMovie& movie = MovieFile(Movie(state.range(0)));
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
    stream->OpenFile(movie.path.c_str(), 0);
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
    if (frames < movie.frames) state.SkipWithError("frames lost");
    sample->Release();
    video->Release();
    stream->Release();
  }
  state.counters["frames"] =
      benchmark::Counter(movie.frames, benchmark::Counter::kIsIterationInvariantRate);
  platform::CloseEvent(event);
  dd->Release();
  platform::SetMilliSecondsOverride({});
}
BENCHMARK(BM_StandInFrames)->Apply(BothMovies);

// FFmpeg's own decoding and conversion of the same frames.
void BM_FfmpegFrames(benchmark::State& state) {
  const BenchMovie& movie = MovieFile(Movie(state.range(0)));
  for (auto _ : state) {
    const int frames = test::ConvertLikeFfmpeg(
        movie.path, [](const AVFrame& rgb) { benchmark::DoNotOptimize(rgb.data[0]); });
    if (frames < movie.frames) state.SkipWithError("frames lost");
  }
  state.counters["frames"] =
      benchmark::Counter(movie.frames, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FfmpegFrames)->Apply(BothMovies);

}  // namespace
}  // namespace zq

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  av_log_set_level(AV_LOG_QUIET);  // the encoders' reports
  for (const zq::Movie m : {zq::kFfv1, zq::kH264})
    if (zq::MovieFile(m).frames <= 0) return 1;
  benchmark::RunSpecifiedBenchmarks();
  for (const zq::Movie m : {zq::kFfv1, zq::kH264}) std::filesystem::remove(zq::MovieFile(m).path);
  benchmark::Shutdown();
  return 0;
}
