#include "graphics/image/png_reader.h"

#include <png.h>

#include <csetjmp>
#include <cstddef>
#include <cstdint>

#include "base/memory.h"
#include "graphics/image/reader_io.h"
#include "platform/size_limits.h"

namespace zq::gfx {
namespace {

// Bounds what any one chunk may make libpng allocate, before or after decompression.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
constexpr size_t kSignatureSize = 8;

// Everything one decode owns. libpng leaves through longjmp on any error, so nothing in the
// frames it skips may need a destructor: all state lives here, in the caller's frame.
struct PngState {
  std::jmp_buf jump;
  base::DataStream* stream = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  uint8_t* pixels = nullptr;
  png_bytep* rows = nullptr;  // tracked too: no exception may pass libpng's frames
  GraphImage result{};
  bool truncated = false;    // the data ended early
  bool codecFailed = false;  // libpng refused the data
  bool outOfMemory = false;  // an allocation of libpng failed (the allocator logged it)
};

size_t ReadStream(base::DataStream* stream, void* buffer, size_t size) {
  const size_t got = stream->functions.Read(buffer, 1, size, stream->handle);
  return got > size ? size : got;
}

// ---- libpng callbacks: never print, never exit ----

[[noreturn]] void PngError(png_structp png, png_const_charp) {
  std::longjmp(static_cast<PngState*>(png_get_error_ptr(png))->jump, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep data, size_t length) {
  auto* s = static_cast<PngState*>(png_get_io_ptr(png));
  if (ReadStream(s->stream, data, length) != length) {
    s->truncated = true;
    png_error(png, "truncated");
  }
}

// libpng's memory comes from the tracked allocator, so what a file makes it allocate counts in
// the tracked totals and a leak shows in the report.
png_voidp PngAlloc(png_structp png, png_alloc_size_t size) {
  void* block = ZQ_ALLOC(size);
  if (block == nullptr) static_cast<PngState*>(png_get_mem_ptr(png))->outOfMemory = true;
  return block;
}

void PngFree(png_structp, png_voidp block) {
  base::TrackedFree(block);
}

// The pixel formats this reader delivers.
enum class Output { kPalette, kGrey, kGreyAlpha, kRgb, kArgb };

int BytesPerPixel(Output output) {
  switch (output) {
    case Output::kPalette:
    case Output::kGrey:
      return 1;
    case Output::kGreyAlpha:
      return 2;
    case Output::kRgb:
      return 3;
    case Output::kArgb:
      return 4;
  }
  return 0;
}

void SetupFormat(Output output, png_structp png, png_infop info, ColorData* format) {
  switch (output) {
    case Output::kPalette: {
      SetupColorDataPal8(format);
      png_colorp palette = nullptr;
      int count = 0;
      if (png_get_PLTE(png, info, &palette, &count) == 0) count = 0;
      // Entries the file leaves out stay black, so any index reads a defined colour.
      for (int i = 0; i < 256; ++i) {
        format->Palette[i] = i < count
                                 ? (uint32_t(palette[i].red) << 16) |
                                       (uint32_t(palette[i].green) << 8) | uint32_t(palette[i].blue)
                                 : 0;
      }
      break;
    }
    case Output::kGrey:
      SetupColorDataByte8(format);
      break;
    case Output::kGreyAlpha:
      // Two bytes a pixel: the grey value serves as red, green and blue, alpha above it.
      SetupColorDataFromMasks(format, 16, 0x00FF, 0x00FF, 0x00FF, 0xFF00);
      break;
    case Output::kRgb:
      SetupColorDataRGB24(format);
      break;
    case Output::kArgb:
      SetupColorDataFromMasks(format, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
      break;
  }
}

// Runs the decode; 0 with s.result filled and s.pixels allocated, -1 otherwise. The caller
// releases everything.
int Decode(PngState& s) {
  if (setjmp(s.jump) != 0) {
    s.codecFailed = true;
    return -1;
  }

  png_structp png = s.png;
  png_infop info = s.info;
  png_set_read_fn(png, &s, PngRead);
  png_set_sig_bytes(png, int(kSignatureSize));
  // The sides are checked below, against the library's limits, with a log line.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  // Only IHDR, PLTE, tRNS, IDAT and IEND are used: every other chunk (text, suggested palettes,
  // profiles) is skipped unread, whatever length it claims.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
#ifdef ZQ_FUZZ_IGNORE_PNG_CRC
  // The fuzz build only: mutated chunks reach the decoder instead of failing their checksums.
  png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif

  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0;
  if (!png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr))
    return -1;
  const bool transparent = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

  Output output;
  switch (colorType) {
    case PNG_COLOR_TYPE_PALETTE:
      output = transparent ? Output::kArgb : Output::kPalette;
      break;
    case PNG_COLOR_TYPE_GRAY:
      output = Output::kGrey;  // a transparent grey level is not kept
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      output = Output::kGreyAlpha;
      break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      output = Output::kArgb;
      break;
    case PNG_COLOR_TYPE_RGB:
      output = Output::kRgb;  // a transparent colour is not kept
      break;
    default:
      return -1;
  }

  const int pixelBytes = BytesPerPixel(output);
  if (!reader_io::FitsImageLimits(width, height, int64_t(width) * pixelBytes)) return -1;

  if (depth == 16) png_set_strip_16(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    if (transparent) {
      png_set_palette_to_rgb(png);
      png_set_tRNS_to_alpha(png);
    } else if (depth < 8) {
      png_set_packing(png);  // one index a byte
    }
  }
  if (output == Output::kRgb || output == Output::kArgb) png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  const size_t rowBytes = png_get_rowbytes(png, info);
  if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != pixelBytes ||
      rowBytes < size_t(width) * size_t(pixelBytes) || rowBytes > size_t(INT32_MAX))
    return -1;
  const uint64_t blockSize = uint64_t(rowBytes) * uint64_t(height);
  if (blockSize > uint64_t(platform::kMaxBlockBytes)) return -1;

  s.pixels = static_cast<uint8_t*>(ZQ_ALLOC(size_t(blockSize)));
  if (s.pixels == nullptr) return -1;
  s.rows = static_cast<png_bytep*>(ZQ_ALLOC(sizeof(png_bytep) * height));
  if (s.rows == nullptr) return -1;
  for (png_uint_32 y = 0; y < height; ++y) s.rows[y] = s.pixels + size_t(y) * rowBytes;
  png_read_image(png, s.rows);
  // Reads on to the end chunk, so a file cut after the image data is still refused.
  png_read_end(png, nullptr);

  SetupFormat(output, png, info, &s.result.Format);
  reader_io::SetImagePixels(&s.result, width, height, int64_t(rowBytes), s.pixels);
  return 0;
}

}  // namespace

int LoadPngImage(base::DataStream* stream, GraphImage* image) {
  if (stream == nullptr || image == nullptr || stream->functions.Read == nullptr) return -1;

  // Anything without the signature is declined before libpng is set up.
  png_byte signature[kSignatureSize];
  if (ReadStream(stream, signature, kSignatureSize) != kSignatureSize ||
      png_sig_cmp(signature, 0, kSignatureSize) != 0)
    return -1;

  PngState s;
  s.stream = stream;
  s.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &s, PngError, PngWarning, &s, PngAlloc,
                                   PngFree);
  if (s.png == nullptr) return -1;
  s.info = png_create_info_struct(s.png);
  int result = -1;
  if (s.info != nullptr) result = Decode(s);
  png_destroy_read_struct(&s.png, s.info != nullptr ? &s.info : nullptr, nullptr);
  base::TrackedFree(s.rows);
  if (result != 0) {
    base::TrackedFree(s.pixels);
    // The refusals of the reader itself (size, memory) have logged already.
    if (s.truncated)
      reader_io::LogTruncated();
    else if (s.codecFailed && !s.outOfMemory)
      reader_io::LogCorrupt();
    return -1;
  }
  *image = s.result;
  return 0;
}

}  // namespace zq::gfx
