// Small movies written at test time with libavformat and libavcodec: lossless RGB frames at
// 25 per second, frame k a pattern that carries k (MoviePixel). The benchmarks use them too.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace zq::test {

// Frame k's colour at (x, y) as 0x00RRGGBB.
inline uint32_t MoviePixel(int k, int x, int y) {
  const uint32_t b = uint32_t(x * 5 + k * 37) & 255, g = uint32_t(y * 11 + k * 23) & 255,
                 r = uint32_t(x + y * 3 + k * 71) & 255;
  return r << 16 | g << 8 | b;
}

struct MovieKind {
  const char* muxer;  // "nut", "matroska", "avi"
  AVCodecID codec;    // FFV1 (bgr0) or rawvideo (bgra)
};
inline constexpr MovieKind kFfv1Nut{"nut", AV_CODEC_ID_FFV1};
inline constexpr MovieKind kFfv1Mkv{"matroska", AV_CODEC_ID_FFV1};
inline constexpr MovieKind kRawAvi{"avi", AV_CODEC_ID_RAWVIDEO};

// Writes `frames` frames of width x height to path. True on success.
inline bool WriteMovie(const std::string& path, MovieKind kind, int width, int height, int frames) {
  AVFormatContext* out = nullptr;
  if (avformat_alloc_output_context2(&out, nullptr, kind.muxer, path.c_str()) < 0) return false;
  const AVCodec* codec = avcodec_find_encoder(kind.codec);
  AVStream* stream = avformat_new_stream(out, nullptr);
  AVCodecContext* enc = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  bool ok = codec != nullptr && stream != nullptr && enc != nullptr;
  if (ok) {
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = kind.codec == AV_CODEC_ID_FFV1 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGRA;
    enc->time_base = AVRational{1, 25};
    enc->framerate = AVRational{25, 1};
    if (out->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ok = avcodec_open2(enc, codec, nullptr) >= 0 &&
         avcodec_parameters_from_context(stream->codecpar, enc) >= 0;
  }
  if (ok) {
    stream->time_base = enc->time_base;
    ok = avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(out, nullptr) >= 0;
  }
  auto drain = [&] {
    while (avcodec_receive_packet(enc, packet) == 0) {
      av_packet_rescale_ts(packet, enc->time_base, stream->time_base);
      packet->stream_index = stream->index;
      ok &= av_interleaved_write_frame(out, packet) >= 0;
    }
  };
  frame->format = enc != nullptr ? enc->pix_fmt : 0;
  frame->width = width;
  frame->height = height;
  ok = ok && av_frame_get_buffer(frame, 0) >= 0;
  for (int k = 0; ok && k < frames; ++k) {
    ok = av_frame_make_writable(frame) >= 0;
    for (int y = 0; ok && y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const uint32_t v = MoviePixel(k, x, y) | 0xFF000000u;
        std::memcpy(frame->data[0] + int64_t(y) * frame->linesize[0] + x * 4, &v, 4);
      }
    frame->pts = k;
    ok = ok && avcodec_send_frame(enc, frame) >= 0;
    drain();
  }
  if (ok) {
    avcodec_send_frame(enc, nullptr);
    drain();
    ok = av_write_trailer(out) >= 0;
  }
  if (out->pb != nullptr) avio_closep(&out->pb);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&enc);
  avformat_free_context(out);
  return ok;
}

// A sound file without pictures: 0.1 s of 16-bit mono silence in a WAV file.
inline void WriteSoundOnly(const std::string& path) {
  const uint32_t samples = 800, data = samples * 2;
  std::ofstream f(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
  f.write("RIFF", 4);
  u32(36 + data);
  f.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(1);
  u32(8000);
  u32(16000);
  u16(2);
  u16(16);
  f.write("data", 4);
  u32(data);
  for (uint32_t i = 0; i < samples; ++i) u16(0);
}

}  // namespace zq::test
