#include "graphics/image/jpeg_reader.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

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
// The arithmetic decoder reads zeros once it meets a marker, and an encoder leaves out the zero
// bytes that end its data, so rows decoded past the end of the data are not in themselves a
// fault: flat rows cost almost nothing. A file cut short ahead of a marker looks the same, but
// would be decoded from nothing to its full declared size: the rows decoded from no data and the
// rows still to come when the data ends may hold at most this many pixels for each byte of the
// file read so far.
constexpr uint64_t kMaxPixelsPerByteWithoutData = 1 << 16;
// Images up to this many bytes are decoded straight into their block.
constexpr uint64_t kDirectBlockBytes = 64 << 20;

// How a decode ended; a failure other than kSilent gets its log line.
enum class Failure { kNone, kSilent, kTruncated, kCorrupt, kTooBig };

// Everything one decode owns. libjpeg leaves through longjmp on any error, so nothing in the
// frames it skips may need a destructor: all state lives here, in the caller's frame.
struct JpegState {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errorManager;
  jpeg_source_mgr source;
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  base::DataStream* stream;
  uint64_t bytesRead;
  bool dataEnded;              // an arithmetic scan ran out of data with too many rows to go
  uint64_t pixelsWithoutData;  // decoded while a restart marker waited, over all intervals
  JDIMENSION lastMcuRow;       // the input row of the last progress call
  uint8_t* pixels;
  std::vector<uint8_t> firstRows;
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

// Appends what the stream delivers to the input buffer's first `have` bytes; the new total.
size_t ReadInput(JpegState* s, size_t have) {
  size_t got =
      s->stream->functions.Read(s->input + have, 1, kInputBufferSize - have, s->stream->handle);
  if (got > kInputBufferSize - have) got = kInputBufferSize - have;
  s->bytesRead += got;
  s->source.next_input_byte = s->input;
  s->source.bytes_in_buffer = have + got;
  return have + got;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  // The end of the data before the end of the image is an error, not a grey fill.
  if (ReadInput(StateOf(reinterpret_cast<j_common_ptr>(cinfo)), 0) == 0)
    ERREXIT(cinfo, JERR_INPUT_EOF);
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

// ---- progress monitor: an arithmetic scan whose data ends far too early ----

// Called by libjpeg between rows of every scan. A marker waiting while rows of the scan remain
// means the scan's data has ended (the Huffman decoder warns of that itself; the arithmetic one
// goes on with zeros). Only a restart marker in a file with restart intervals ends no more than
// the current interval; the rows decoded while one waits still came from no data, and they add
// up over the intervals.
void CheckScanData(j_common_ptr common) {
  auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
  JpegState* s = StateOf(common);
  const JDIMENSION row = cinfo->input_iMCU_row;
  const JDIMENSION lastRow = std::exchange(s->lastMcuRow, row);
  const int marker = cinfo->unread_marker;
  if (!cinfo->arith_code || marker == 0 || row == 0 || row >= cinfo->total_iMCU_rows) return;
  const uint64_t pixelsPerMcuRow =
      uint64_t(cinfo->max_v_samp_factor) * DCTSIZE * uint64_t(cinfo->image_width);
  const bool intervalEnd =
      cinfo->restart_interval != 0 && marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7;
  uint64_t withoutData = s->pixelsWithoutData;
  if (intervalEnd)
    withoutData = s->pixelsWithoutData += uint64_t(row - std::min(row, lastRow)) * pixelsPerMcuRow;
  else
    withoutData += uint64_t(cinfo->total_iMCU_rows - row) * pixelsPerMcuRow;
  if (withoutData > kMaxPixelsPerByteWithoutData * s->bytesRead) {
    s->dataEnded = true;
    ErrorExit(common);
  }
}

// Runs the decode: kNone with s.result filled and s.pixels allocated, else why it failed. The
// caller releases everything.
Failure Decode(JpegState& s) {
  j_decompress_ptr cinfo = &s.cinfo;
  if (setjmp(s.jump) != 0) {
    switch (s.errorManager.msg_code) {
      case JERR_INPUT_EOF:
      case JWRN_HIT_MARKER:
      case JWRN_JPEG_EOF:
        return Failure::kTruncated;
      case JERR_IMAGE_TOO_BIG:
        return Failure::kTooBig;
      case JERR_OUT_OF_MEMORY:
        return Failure::kSilent;
      default:
        return s.dataEnded ? Failure::kTruncated : Failure::kCorrupt;
    }
  }

  jpeg_create_decompress(cinfo);
  cinfo->client_data = &s;
  s.source.init_source = InitSource;
  s.source.fill_input_buffer = FillInputBuffer;
  s.source.skip_input_data = SkipInputData;
  s.source.resync_to_restart = jpeg_resync_to_restart;
  s.source.term_source = TermSource;
  cinfo->src = &s.source;
  s.progress.progress_monitor = CheckScanData;
  cinfo->progress = &s.progress;

  // Data that does not start a JPEG is left to the other readers without a word.
  size_t have = 0;
  while (have < 2) {
    const size_t now = ReadInput(&s, have);
    if (now == have) return Failure::kSilent;
    have = now;
  }
  if (s.input[0] != 0xFF || s.input[1] != 0xD8) return Failure::kSilent;

  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return Failure::kCorrupt;

  int components;
  if (cinfo->jpeg_color_space == JCS_GRAYSCALE && cinfo->num_components == 1) {
    cinfo->out_color_space = JCS_GRAYSCALE;
    components = 1;
  } else if ((cinfo->jpeg_color_space == JCS_YCbCr || cinfo->jpeg_color_space == JCS_RGB) &&
             cinfo->num_components == 3) {
    cinfo->out_color_space = JCS_EXT_BGR;  // blue first, as 24-bit pixels are stored
    components = 3;
  } else {
    return Failure::kSilent;  // CMYK, YCCK and anything else
  }

  // Checked before libjpeg sets up its buffers, which scale with the image.
  const uint32_t width = cinfo->image_width;
  const uint32_t height = cinfo->image_height;
  if (width == 0 || height == 0) return Failure::kCorrupt;
  const uint64_t pitch = uint64_t(width) * uint64_t(components);
  if (!reader_io::FitsImageLimits(width, height, int64_t(pitch))) return Failure::kSilent;
  const uint64_t blockSize = pitch * height;

  if (!jpeg_start_decompress(cinfo)) return Failure::kCorrupt;
  if (cinfo->output_width != width || cinfo->output_height != height ||
      cinfo->output_components != components)
    return Failure::kCorrupt;

  // A large image first decodes two rows of MCUs into a scratch buffer, so that a scan whose
  // data ends at once is refused before the image's block is allocated; a smaller one goes
  // straight into its block.
  const uint32_t firstRows =
      blockSize <= kDirectBlockBytes
          ? 0
          : std::min<uint32_t>(height, 2 * uint32_t(cinfo->max_v_samp_factor) * DCTSIZE);
  s.firstRows.resize(size_t(firstRows) * size_t(pitch));
  while (cinfo->output_scanline < firstRows) {
    JSAMPROW row = s.firstRows.data() + size_t(cinfo->output_scanline) * size_t(pitch);
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return Failure::kCorrupt;
  }
  CheckScanData(reinterpret_cast<j_common_ptr>(cinfo));
  s.pixels = static_cast<uint8_t*>(ZQ_ALLOC(size_t(blockSize)));
  if (s.pixels == nullptr) return Failure::kSilent;
  if (!s.firstRows.empty()) std::memcpy(s.pixels, s.firstRows.data(), s.firstRows.size());
  while (cinfo->output_scanline < height) {
    JSAMPROW row = s.pixels + size_t(cinfo->output_scanline) * size_t(pitch);
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return Failure::kCorrupt;
  }
  // Reads on to the end marker, so a file cut after the last row is still refused.
  if (!jpeg_finish_decompress(cinfo)) return Failure::kCorrupt;

  if (components == 1)
    SetupColorDataByte8(&s.result.Format);
  else
    SetupColorDataRGB24(&s.result.Format);
  reader_io::SetImagePixels(&s.result, width, height, int64_t(pitch), s.pixels);
  return Failure::kNone;
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

  const Failure failure = Decode(s);
  if (failure == Failure::kTruncated) reader_io::LogTruncated();
  if (failure == Failure::kCorrupt) reader_io::LogCorrupt();
  if (failure == Failure::kTooBig) reader_io::LogTooBig(s.cinfo.image_width, s.cinfo.image_height);
  jpeg_destroy_decompress(&s.cinfo);  // also safe on a record that was never fully created
  if (failure != Failure::kNone) {
    base::TrackedFree(s.pixels);
    return -1;
  }
  *image = s.result;
  return 0;
}

}  // namespace zq::gfx
