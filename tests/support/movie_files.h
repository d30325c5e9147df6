// Small movies written at test time with libavformat and libavcodec, 25 frames a second: lossless
// RGB frames, frame k a pattern that carries k (MoviePixel), and YUV movies in a chosen encoder,
// format and colour description (YuvSample); and the frames of a movie as FFmpeg's own
// conversion gives them (ConvertLikeFfmpeg). The benchmarks use them too.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
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

// Encodes `frames` frames of width x height with `codec` into a `muxer` file at path, 25 a
// second: setup(encoder) chooses the pixel format and the rest, fill(frame, k) draws frame k.
template <class Setup, class Fill>
bool EncodeMovie(const std::string& path, const char* muxer, const AVCodec* codec, int width,
                 int height, int frames, Setup setup, Fill fill) {
  AVFormatContext* out = nullptr;
  if (avformat_alloc_output_context2(&out, nullptr, muxer, path.c_str()) < 0) return false;
  AVStream* stream = avformat_new_stream(out, nullptr);
  AVCodecContext* enc = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  bool ok = codec != nullptr && stream != nullptr && enc != nullptr;
  if (ok) {
    enc->width = width;
    enc->height = height;
    enc->time_base = AVRational{1, 25};
    enc->framerate = AVRational{25, 1};
    setup(*enc);
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
    if (ok) fill(*frame, k);
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

// Writes `frames` frames of width x height to path. True on success.
inline bool WriteMovie(const std::string& path, MovieKind kind, int width, int height, int frames) {
  const auto setup = [&](AVCodecContext& enc) {
    enc.pix_fmt = kind.codec == AV_CODEC_ID_FFV1 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGRA;
  };
  const auto fill = [&](AVFrame& frame, int k) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const uint32_t v = MoviePixel(k, x, y) | 0xFF000000u;
        std::memcpy(frame.data[0] + int64_t(y) * frame.linesize[0] + x * 4, &v, 4);
      }
  };
  return EncodeMovie(path, kind.muxer, avcodec_find_encoder(kind.codec), width, height, frames,
                     setup, fill);
}

// ---- YUV movies with a colour description ----------------------------------------------------

struct YuvMovie {
  const char* muxer;     // "matroska" keeps the colour description in the container
  const char* encoder;   // "ffv1", "mjpeg", "mpeg4", "libx264", ...
  AVPixelFormat format;  // planar YUV, 8 to 16 bits
  int width, height, frames;
  AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
  AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
  int bFrames = 0;
  int texture = 63;  // YuvSample's mask: how much texture lies over the gradients
};

// Frame k's sample of plane p at (x, y), 0..255: gradients over a hashed texture, so that
// neighbouring chroma samples differ and every way of filling in chroma shows.
inline int YuvSample(int k, int p, int x, int y, int mask) {
  const uint32_t texture =
      (uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(k + p) * 83492791u) >> 7 &
      uint32_t(mask);
  return int((uint32_t(x * (3 + p) + y * (5 - p) + k * 9 + p * 60) + texture) & 255);
}

inline bool WriteYuvMovie(const std::string& path, const YuvMovie& m) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(m.format);
  const int depth = desc->comp[0].depth;
  const auto setup = [&](AVCodecContext& enc) {
    enc.pix_fmt = m.format;
    enc.colorspace = m.space;
    enc.color_range = m.range;
    enc.max_b_frames = m.bFrames;
  };
  const auto fill = [&](AVFrame& frame, int k) {
    for (int p = 0; p < 3; ++p) {
      const int w = p == 0 ? m.width : AV_CEIL_RSHIFT(m.width, desc->log2_chroma_w);
      const int h = p == 0 ? m.height : AV_CEIL_RSHIFT(m.height, desc->log2_chroma_h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          // Wider samples carry the 8-bit value in their top bits and texture below it.
          const int v = YuvSample(k, p, x, y, m.texture) << (depth - 8) |
                        ((x + y) & ((1 << (depth - 8)) - 1));
          uint8_t* row = frame.data[p] + int64_t(y) * frame.linesize[p];
          if (depth == 8) {
            row[x] = uint8_t(v);
          } else {
            const uint16_t wide = uint16_t(v);
            std::memcpy(row + x * 2, &wide, 2);
          }
        }
    }
  };
  return EncodeMovie(path, m.muxer, avcodec_find_encoder_by_name(m.encoder), m.width, m.height,
                     m.frames, setup, fill);
}

// Decodes the movie at path with libavcodec (one thread) and converts each frame as FFmpeg's
// scale filter does by default: libswscale's default scaler to 24-bit RGB in FFmpeg's own frame
// buffers, with the matrix of the frame's colour space (BT.601 for those libswscale has none
// for) and the range the frame states, else the one libswscale gives the pixel format. Calls
// each(rgb) with every converted frame; returns the number of frames, -1 when nothing opens.
template <class Each>
int ConvertLikeFfmpeg(const std::string& path, Each each) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return -1;
  avformat_find_stream_info(format, nullptr);
  const AVCodec* decoder = nullptr;
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  bool ok = index >= 0 && codec != nullptr &&
            avcodec_parameters_to_context(codec, format->streams[index]->codecpar) >= 0;
  if (ok) {
    codec->thread_count = 1;
    ok = avcodec_open2(codec, decoder, nullptr) >= 0;
  }
  int frames = ok ? 0 : -1;
  AVPacket* packet = av_packet_alloc();
  AVFrame *in = av_frame_alloc(), *out = av_frame_alloc();
  SwsContext* sws = nullptr;
  const auto receive = [&] {
    while (avcodec_receive_frame(codec, in) == 0) {
      const int w = in->width, h = in->height;
      if (sws == nullptr)
        sws = sws_getContext(w, h, AVPixelFormat(in->format), w, h, AV_PIX_FMT_RGB24, SWS_BICUBIC,
                             nullptr, nullptr, nullptr);
      int space = in->colorspace;
      if (space < AVCOL_SPC_BT709 || space > AVCOL_SPC_BT2020_CL || space == AVCOL_SPC_YCGCO)
        space = AVCOL_SPC_BT470BG;
      int *inverse, *table, full, dstFull, brightness, contrast, saturation;
      sws_getColorspaceDetails(sws, &inverse, &full, &table, &dstFull, &brightness, &contrast,
                               &saturation);
      if (in->color_range != AVCOL_RANGE_UNSPECIFIED) full = in->color_range == AVCOL_RANGE_JPEG;
      sws_setColorspaceDetails(sws, sws_getCoefficients(space), full, sws_getCoefficients(space),
                               dstFull, brightness, contrast, saturation);
      out->format = AV_PIX_FMT_RGB24;
      out->width = w;
      out->height = h;
      av_frame_get_buffer(out, 0);
      sws_scale_frame(sws, out, in);
      each(static_cast<const AVFrame&>(*out));
      av_frame_unref(out);
      ++frames;
    }
  };
  while (frames >= 0 && av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == index) avcodec_send_packet(codec, packet);
    av_packet_unref(packet);
    receive();
  }
  if (frames >= 0) {
    avcodec_send_packet(codec, nullptr);
    receive();
  }
  sws_freeContext(sws);
  av_frame_free(&out);
  av_frame_free(&in);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_close_input(&format);
  return frames;
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
