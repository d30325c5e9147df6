// Small movies written at test time with libavformat and libavcodec (MoviePixel's RGB frames or
// YUV ones), and their frames as FFmpeg converts them. The benchmarks use them too.
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

// A movie of `frames` frames, 25 a second, from an encoder in a pixel format. Packed RGB
// formats (bgr0, bgra) get MoviePixel's frames; planar YUV ones gradients over a hashed texture,
// so that neighbouring chroma samples differ and every way of filling in chroma shows.
struct YuvMovie {
  const char* muxer;     // "matroska" keeps the colour description in the container
  const char* encoder;   // "ffv1", "rawvideo", "mjpeg", "mpeg4", "libx264", ...
  AVPixelFormat format;  // bgr0, bgra, or planar YUV of 8 to 16 bits
  int width, height, frames;
  AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
  AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
  int bFrames = 0;
  int texture = 63;  // the mask of the texture's bits
};

// Writes the movie to path. True on success.
inline bool WriteYuvMovie(const std::string& path, const YuvMovie& m) {
  AVFormatContext* out = nullptr;
  if (avformat_alloc_output_context2(&out, nullptr, m.muxer, path.c_str()) < 0) return false;
  const AVCodec* codec = avcodec_find_encoder_by_name(m.encoder);
  AVStream* stream = avformat_new_stream(out, nullptr);
  AVCodecContext* enc = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  bool ok = codec != nullptr && stream != nullptr && enc != nullptr;
  if (ok) {
    enc->width = m.width;
    enc->height = m.height;
    enc->pix_fmt = m.format;
    enc->colorspace = m.space;
    enc->color_range = m.range;
    enc->max_b_frames = m.bFrames;
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
  frame->format = m.format;
  frame->width = m.width;
  frame->height = m.height;
  ok = ok && av_frame_get_buffer(frame, 0) >= 0;
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(m.format);
  const bool rgb = desc->flags & AV_PIX_FMT_FLAG_RGB;
  const int low = desc->comp[0].depth - 8, bytes = rgb ? 4 : low > 0 ? 2 : 1;
  for (int k = 0; ok && k < m.frames; ++k) {
    ok = av_frame_make_writable(frame) >= 0;
    for (int p = 0; ok && p < (rgb ? 1 : 3); ++p)
      for (int y = 0; y < (p ? AV_CEIL_RSHIFT(m.height, desc->log2_chroma_h) : m.height); ++y)
        for (int x = 0; x < (p ? AV_CEIL_RSHIFT(m.width, desc->log2_chroma_w) : m.width); ++x) {
          const uint32_t hash = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u;
          const uint32_t texture = (hash ^ uint32_t(k + p) * 83492791u) >> 7 & uint32_t(m.texture);
          const uint32_t v = (uint32_t(x * (3 + p) + y * (5 - p) + k * 9 + p * 60) + texture) % 256;
          // Little-endian samples; wider ones carry the 8-bit value in their top bits.
          const uint32_t c =
              rgb ? MoviePixel(k, x, y) | 0xFF000000u : v << low | uint32_t(x + y) % (1u << low);
          std::memcpy(frame->data[p] + int64_t(y) * frame->linesize[p] + x * bytes, &c, bytes);
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

// Writes `frames` frames of width x height to path. True on success.
inline bool WriteMovie(const std::string& path, MovieKind kind, int width, int height, int frames) {
  return WriteYuvMovie(path, {kind.muxer, avcodec_get_name(kind.codec),
                              kind.codec == AV_CODEC_ID_FFV1 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGRA,
                              width, height, frames});
}

// Decodes the movie at path and converts each frame as FFmpeg's scale filter does by default:
// libswscale's default scaler to RGB24 in FFmpeg's own frame buffers, with the frame's matrix and
// its stated range, else the one libswscale gives its format. Calls each(rgb) with every frame;
// returns their number, -1 when the movie does not open.
template <class Each>
int ConvertLikeFfmpeg(const std::string& path, Each each) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return -1;
  avformat_find_stream_info(format, nullptr);
  const AVCodec* decoder = nullptr;
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  AVPacket* packet = av_packet_alloc();
  AVFrame *in = av_frame_alloc(), *out = av_frame_alloc();
  SwsContext* sws = nullptr;
  int frames = -1;
  const auto receive = [&] {
    while (avcodec_receive_frame(codec, in) == 0) {
      if (sws == nullptr)
        sws = sws_getContext(in->width, in->height, AVPixelFormat(in->format), in->width,
                             in->height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
      int *inverse, *table, full, dstFull, brightness, contrast, saturation;
      sws_getColorspaceDetails(sws, &inverse, &full, &table, &dstFull, &brightness, &contrast,
                               &saturation);
      if (in->color_range != AVCOL_RANGE_UNSPECIFIED) full = in->color_range == AVCOL_RANGE_JPEG;
      const int* matrix = sws_getCoefficients(in->colorspace);
      sws_setColorspaceDetails(sws, matrix, full, matrix, dstFull, brightness, contrast,
                               saturation);
      sws_scale_frame(sws, out, in);  // into a new buffer of FFmpeg's own
      each(static_cast<const AVFrame&>(*out));
      av_frame_unref(out);
      ++frames;
    }
  };
  if (index >= 0 && avcodec_parameters_to_context(codec, format->streams[index]->codecpar) >= 0 &&
      avcodec_open2(codec, decoder, nullptr) >= 0) {
    frames = 0;
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == index) avcodec_send_packet(codec, packet);
      av_packet_unref(packet);
      receive();
    }
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
