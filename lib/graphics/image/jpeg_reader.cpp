#include "graphics/image/jpeg_reader.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// jpeglib.h needs size_t and FILE declared first; jerror.h needs jpeglib.h's configuration.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "base/memory.h"
#include "graphics/image/reader_io.h"
#include "platform/size_limits.h"

#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo with the JCS_EXT_* colour spaces is required"
#endif

namespace zq::gfx {
namespace {

constexpr size_t kInputBufferSize = 4096;

// Everything one decode owns. libjpeg leaves through longjmp on any error, so nothing in the
// frames it skips may need a destructor: all state lives here, in the caller's frame.
struct JpegState {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errorManager;
  jpeg_source_mgr source;
  std::jmp_buf jump;
  base::DataStream* stream;
  uint8_t* pixels;
  GraphImage result;
  JOCTET input[kInputBufferSize];
};

JpegState* StateOf(j_common_ptr cinfo) {
  return static_cast<JpegState*>(cinfo->client_data);
}

// ---- error manager: never print, never exit ----

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  std::longjmp(StateOf(cinfo)->jump, 1);
}

void OutputMessage(j_common_ptr) {}

// Warnings that mean the data is damaged or cut short end the decode; libjpeg would otherwise
// fill the missing part with grey and report success.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  switch (cinfo->err->msg_code) {
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_TOO_MUCH_DATA:
      ErrorExit(cinfo);
    default:
      break;  // unknown JFIF revision, Adobe transform code, ICC marker: harmless
  }
}

// ---- source manager over the data stream ----

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  JpegState* s = StateOf(reinterpret_cast<j_common_ptr>(cinfo));
  size_t got = s->stream->functions.Read(s->input, 1, kInputBufferSize, s->stream->handle);
  if (got > kInputBufferSize) got = kInputBufferSize;
  // The end of the data before the end of the image is an error, not a grey fill.
  if (got == 0) ERREXIT(cinfo, JERR_INPUT_EOF);
  s->source.next_input_byte = s->input;
  s->source.bytes_in_buffer = got;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* src = cinfo->src;
  if (count <= 0) return;
  auto remaining = static_cast<unsigned long>(count);
  while (remaining > src->bytes_in_buffer) {
    remaining -= src->bytes_in_buffer;
    src->bytes_in_buffer = 0;
    FillInputBuffer(cinfo);
  }
  src->next_input_byte += remaining;
  src->bytes_in_buffer -= remaining;
}

// Runs the decode; 0 with s.result filled and s.pixels allocated, -1 otherwise. The caller
// releases everything.
int Decode(JpegState& s) {
  j_decompress_ptr cinfo = &s.cinfo;
  if (setjmp(s.jump) != 0) return -1;

  jpeg_create_decompress(cinfo);
  cinfo->client_data = &s;
  s.source.init_source = InitSource;
  s.source.fill_input_buffer = FillInputBuffer;
  s.source.skip_input_data = SkipInputData;
  s.source.resync_to_restart = jpeg_resync_to_restart;
  s.source.term_source = TermSource;
  s.source.next_input_byte = nullptr;
  s.source.bytes_in_buffer = 0;
  cinfo->src = &s.source;

  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return -1;

  int components;
  if (cinfo->jpeg_color_space == JCS_GRAYSCALE && cinfo->num_components == 1) {
    cinfo->out_color_space = JCS_GRAYSCALE;
    components = 1;
  } else if ((cinfo->jpeg_color_space == JCS_YCbCr || cinfo->jpeg_color_space == JCS_RGB) &&
             cinfo->num_components == 3) {
    cinfo->out_color_space = JCS_EXT_BGR;  // blue first, as 24-bit pixels are stored
    components = 3;
  } else {
    return -1;  // CMYK, YCCK and anything else
  }

  // Checked before libjpeg sets up its buffers, which scale with the image.
  const uint32_t width = cinfo->image_width;
  const uint32_t height = cinfo->image_height;
  if (width == 0 || height == 0 || width > uint32_t(platform::kMaxImageSide) ||
      height > uint32_t(platform::kMaxImageSide))
    return -1;
  const uint64_t pitch = uint64_t(width) * uint64_t(components);
  const uint64_t blockSize = pitch * height;
  if (blockSize > uint64_t(platform::kMaxBlockBytes)) return -1;

  if (!jpeg_start_decompress(cinfo)) return -1;
  if (cinfo->output_width != width || cinfo->output_height != height ||
      cinfo->output_components != components)
    return -1;

  s.pixels = static_cast<uint8_t*>(ZQ_ALLOC(size_t(blockSize)));
  if (s.pixels == nullptr) return -1;
  while (cinfo->output_scanline < height) {
    JSAMPROW row = s.pixels + size_t(cinfo->output_scanline) * size_t(pitch);
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return -1;
  }
  // Reads on to the end marker, so a file cut after the last row is still refused.
  if (!jpeg_finish_decompress(cinfo)) return -1;

  if (components == 1)
    SetupColorDataByte8(&s.result.Format);
  else
    SetupColorDataRGB24(&s.result.Format);
  reader_io::SetImagePixels(&s.result, width, height, int64_t(pitch), s.pixels);
  return 0;
}

}  // namespace

int LoadJpegImage(base::DataStream* stream, GraphImage* image) {
  if (stream == nullptr || image == nullptr || stream->functions.Read == nullptr) return -1;

  JpegState s{};
  s.stream = stream;
  s.cinfo.err = jpeg_std_error(&s.errorManager);
  s.errorManager.error_exit = ErrorExit;
  s.errorManager.output_message = OutputMessage;
  s.errorManager.emit_message = EmitMessage;
  // The error handlers find the state through client_data, which jpeg_create_decompress keeps.
  s.cinfo.client_data = &s;

  const int result = Decode(s);
  jpeg_destroy_decompress(&s.cinfo);  // also safe on a record that was never fully created
  if (result != 0) {
    base::TrackedFree(s.pixels);
    return -1;
  }
  *image = s.result;
  return 0;
}

}  // namespace zq::gfx
