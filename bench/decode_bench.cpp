// Decoding 1024 x 1024 pictures through the pipeline (DecodeImageFile from memory: the reader
// order, stream, readers and allocation included). Each case runs a reference in the same
// loop and reports pipeline time over reference time ("vs_ref"):
//  - PNG and JPEG against libpng and libjpeg-turbo called directly on the same bytes, with the
//    same blue-first output into a freshly allocated block;
//  - 24-bit BMP and TGA, 32-bit DDS and raw BGRA against a memcpy of the pixel bytes into a
//    buffer already in use.
// The files are made in the set-up: PNG and JPEG by libpng and libjpeg, the others by hand.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/image/image_decode.h"

namespace {

constexpr int kSide = 1024;
using Bytes = std::vector<uint8_t>;

// Red, green, blue bytes of a smooth picture with some noise, so the codecs have real work.
Bytes Picture() {
  Bytes rgb(size_t(kSide) * kSide * 3);
  uint32_t seed = 2024;
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = int(seed >> 28);
      uint8_t* p = &rgb[(size_t(y) * kSide + x) * 3];
      p[0] = uint8_t((x / 4 + noise) & 0xFF);
      p[1] = uint8_t((y / 4 + (x ^ y) / 64) & 0xFF);
      p[2] = uint8_t((255 - (x + y) / 8 + noise / 2) & 0xFF);
    }
  }
  return rgb;
}

// ---- writers ----------------------------------------------------------------------------------

void PngWrite(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void PngFlush(png_structp) {}

Bytes EncodePng(const Bytes& rgb) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::abort();
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, kSide, kSide, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < kSide; ++y) png_write_row(png, &rgb[size_t(y) * kSide * 3]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes EncodeJpeg(const Bytes& rgb) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = kSide;
  c.image_height = kSide;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(&rgb[size_t(c.next_scanline) * kSide * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes out(mem, mem + size);
  std::free(mem);
  return out;
}

void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v);
  Put16(b, v >> 16);
}

// Blue-green-red rows, top first (kSide x 3 is a multiple of 4: no padding).
Bytes BgrRows(const Bytes& rgb, bool bottomUp) {
  Bytes rows(rgb.size());
  for (int y = 0; y < kSide; ++y) {
    const uint8_t* s = &rgb[size_t(y) * kSide * 3];
    uint8_t* d = &rows[size_t(bottomUp ? kSide - 1 - y : y) * kSide * 3];
    for (int x = 0; x < kSide; ++x) {
      d[3 * x] = s[3 * x + 2];
      d[3 * x + 1] = s[3 * x + 1];
      d[3 * x + 2] = s[3 * x];
    }
  }
  return rows;
}

// The common 24-bit BMP: bottom-up rows.
Bytes EncodeBmp(const Bytes& rgb) {
  Bytes b = {'B', 'M'};
  const Bytes rows = BgrRows(rgb, true);
  Put32(b, uint32_t(54 + rows.size()));
  Put32(b, 0);
  Put32(b, 54);
  Put32(b, 40);
  Put32(b, kSide);
  Put32(b, kSide);
  Put16(b, 1);
  Put16(b, 24);
  for (int i = 0; i < 6; ++i) Put32(b, 0);
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

// Uncompressed true-colour TGA, bottom-up (descriptor 0, the usual) or top-down (0x20).
Bytes EncodeTga(const Bytes& rgb, bool topDown) {
  Bytes b = {0, 0, 2, 0, 0, 0, 0, 0};
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, kSide);
  Put16(b, kSide);
  b.push_back(24);
  b.push_back(topDown ? 0x20 : 0);
  const Bytes rows = BgrRows(rgb, !topDown);
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

// Blue-green-red-alpha rows, top first, alpha from the position.
Bytes BgraRows(const Bytes& rgb) {
  const Bytes bgr = BgrRows(rgb, false);
  Bytes rows;
  rows.reserve(size_t(kSide) * kSide * 4);
  for (size_t i = 0; i < bgr.size(); i += 3) {
    rows.insert(rows.end(), bgr.begin() + ptrdiff_t(i), bgr.begin() + ptrdiff_t(i + 3));
    rows.push_back(uint8_t(i / 3));
  }
  return rows;
}

// The library's raw format with 8-bit channels.
Bytes EncodeBgra(const Bytes& rgb) {
  Bytes b = {'B', 'G', 'R', 'A'};
  Put32(b, 0x08080808);
  Put32(b, kSide);
  Put32(b, kSide);
  const Bytes rows = BgraRows(rgb);
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

// A8R8G8B8 DDS with its pitch given in the header.
Bytes EncodeDds(const Bytes& rgb) {
  Bytes b = {'D', 'D', 'S', ' '};
  Put32(b, 124);
  Put32(b, 0x100F);  // caps, height, width, pitch, pixel format
  Put32(b, kSide);
  Put32(b, kSide);
  Put32(b, kSide * 4);
  b.resize(b.size() + 8 + 44);  // depth, mipmap count, reserved
  Put32(b, 32);
  Put32(b, 0x41);  // RGB with alpha
  Put32(b, 0);
  Put32(b, 32);
  for (uint32_t mask : {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}) Put32(b, mask);
  b.resize(b.size() + 20);  // caps, reserved
  const Bytes rows = BgraRows(rgb);
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

struct Files {
  Bytes png, jpeg, bmp, tga, tgaTop, bgra, dds;
};
const Files& TheFiles() {
  static const Files files = [] {
    const Bytes rgb = Picture();
    return Files{EncodePng(rgb),       EncodeJpeg(rgb), EncodeBmp(rgb), EncodeTga(rgb, false),
                 EncodeTga(rgb, true), EncodeBgra(rgb), EncodeDds(rgb)};
  }();
  return files;
}

// ---- direct decodes ----------------------------------------------------------------------------

struct PngSource {
  const Bytes* data;
  size_t at;
};
void PngRead(png_structp png, png_bytep out, size_t length) {
  auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
  if (s->at + length > s->data->size()) png_error(png, "short");
  std::memcpy(out, s->data->data() + s->at, length);
  s->at += length;
}

void DirectPng(const Bytes& file) {
  PngSource source{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::abort();
  png_set_read_fn(png, &source, PngRead);
  png_read_info(png, info);
  png_set_bgr(png);
  png_read_update_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  auto* pixels = static_cast<uint8_t*>(std::malloc(rowBytes * height));
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels + y * rowBytes;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  benchmark::DoNotOptimize(pixels);
  std::free(pixels);
}

void DirectJpeg(const Bytes& file) {
  jpeg_decompress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, file.data(), file.size());
  jpeg_read_header(&c, TRUE);
  c.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&c);
  const size_t pitch = size_t(c.output_width) * 3;
  auto* pixels = static_cast<uint8_t*>(std::malloc(pitch * c.output_height));
  while (c.output_scanline < c.output_height) {
    JSAMPROW row = pixels + c.output_scanline * pitch;
    jpeg_read_scanlines(&c, &row, 1);
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  benchmark::DoNotOptimize(pixels);
  std::free(pixels);
}

// ---- benchmarks ------------------------------------------------------------------------------

enum Kind { kPng, kJpeg, kBmp, kTga, kTgaTopDown, kBgra, kDds };

void BM_Decode(benchmark::State& state) {
  const Files& files = TheFiles();
  const Kind kind = Kind(state.range(0));
  const Bytes& file = kind == kPng    ? files.png
                      : kind == kJpeg ? files.jpeg
                      : kind == kBmp  ? files.bmp
                      : kind == kTga  ? files.tga
                      : kind == kBgra ? files.bgra
                      : kind == kDds  ? files.dds
                                      : files.tgaTop;
  const size_t pixelBytes = size_t(kSide) * kSide * (kind == kBgra || kind == kDds ? 4 : 3);
  // The pixel bytes sit at the end of the BMP, TGA, BGRA and DDS files.
  Bytes copy(pixelBytes);
  const Bytes copySource = file.size() >= pixelBytes
                               ? Bytes(file.end() - ptrdiff_t(pixelBytes), file.end())
                               : Bytes(pixelBytes);

  using Clock = std::chrono::steady_clock;
  Clock::duration ours{}, reference{};
  for (auto _ : state) {
    const auto t0 = Clock::now();
    zq::gfx::GraphImage image{};
    if (zq::gfx::DecodeImageFile(nullptr, file.data(), file.size(), 1, &image, 0) != 0) {
      state.SkipWithError("the pipeline refused the file");
      return;
    }
    benchmark::DoNotOptimize(image.Pixels);
    zq::gfx::ReleaseImageBuffers(&image);
    const auto t1 = Clock::now();
    if (kind == kPng) {
      DirectPng(file);
    } else if (kind == kJpeg) {
      DirectJpeg(file);
    } else {
      std::memcpy(copy.data(), copySource.data(), pixelBytes);
      benchmark::ClobberMemory();
    }
    const auto t2 = Clock::now();
    ours += t1 - t0;
    reference += t2 - t1;
  }
  const double oursSeconds = std::chrono::duration<double>(ours).count();
  state.counters["ms_ours"] = oursSeconds * 1e3 / double(state.iterations());
  state.counters["ms_ref"] =
      std::chrono::duration<double>(reference).count() * 1e3 / double(state.iterations());
  state.counters["vs_ref"] = oursSeconds / std::chrono::duration<double>(reference).count();
  // Our decoding time alone, each picture kSide x kSide pixels.
  state.counters["pixels/s"] =
      double(kSide) * kSide * double(state.iterations()) / std::max(oursSeconds, 1e-12);
  state.SetLabel(kind == kPng    ? "png vs libpng"
                 : kind == kJpeg ? "jpeg vs libjpeg-turbo"
                 : kind == kBmp  ? "bmp24 bottom-up vs memcpy"
                 : kind == kTga  ? "tga24 bottom-up vs memcpy"
                 : kind == kBgra ? "bgra8 vs memcpy"
                 : kind == kDds  ? "dds argb32 vs memcpy"
                                 : "tga24 top-down vs memcpy");
}

BENCHMARK(BM_Decode)
    ->ArgName("kind")
    ->DenseRange(kPng, kDds)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
