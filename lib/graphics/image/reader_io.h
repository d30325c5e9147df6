// Helpers shared by the image readers: bounded stream reads, size limits, owned blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/memory.h"
#include "base/stream.h"
#include "graphics/image/graph_image.h"
#include "platform/size_limits.h"

namespace zq::gfx::reader_io {

// A decoded image is at most kMaxImageSide pixels a side, and its blocks at most
// kMaxBlockBytes.
using platform::kMaxBlockBytes;
using platform::kMaxImageSide;

struct TrackedDeleter {
  void operator()(uint8_t* block) const { base::TrackedFree(block); }
};
// A tracked block the reader owns until it hands it to the image with release().
using Block = std::unique_ptr<uint8_t, TrackedDeleter>;

// A new block of size bytes (zero-filled when asked), or null when size is outside
// 1..kMaxBlockBytes or memory is exhausted.
Block AllocBlock(int64_t size, bool zeroed);

// Reads up to size bytes; whatever the stream does not deliver is zeroed. Returns the number of
// bytes delivered; 0 means nothing came.
size_t ReadBytes(base::DataStream* stream, void* buffer, size_t size);
// Moves to an absolute offset.
void SeekTo(base::DataStream* stream, int64_t offset);
// The stream's length (it is left at offset 0), or -1 when the stream cannot say.
int64_t StreamSize(base::DataStream* stream);

inline uint16_t Le16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A reader that declines a file of its own format that is too big, cut short or damaged says
// which in one log line; a file of another format is declined without a word.

// True when width and height (each 0..2^32) fit the side limit and a block of height rows of
// rowBytes (0..2^34) the block limit; otherwise logs the refused size and returns false.
bool FitsImageLimits(int64_t width, int64_t height, int64_t rowBytes);
// A pitch beyond the bytes a row needs by more than this pads every row with data that is never
// read: such a pitch is refused (logged with the size).
inline constexpr int64_t kMaxRowPadding = 64;
bool FitsRowPadding(int64_t width, int64_t height, int64_t rowBytes, int64_t pitch);
// True when the file holds at least half of the bytes its uncompressed pixel data is declared to
// take (the rest then reads as zeros); otherwise logs the cut and returns false. Checked before
// the block is allocated, so what a file costs stays in proportion to what it holds.
bool HoldsHalfOf(int64_t held, int64_t declared);
// The log lines of a file too big to decode, of one cut short and of damaged data.
void LogTooBig(int64_t width, int64_t height);
void LogTruncated();
void LogCorrupt();

// Gives the image its pixel block: height rows of pitch bytes, width pixels each (sizes already
// checked against the limits). The image owns the block from then on.
inline void SetImagePixels(GraphImage* image, int64_t width, int64_t height, int64_t pitch,
                           uint8_t* pixels) {
  image->Width = int32_t(width);
  image->Height = int32_t(height);
  image->Pitch = int32_t(pitch);
  image->Pixels = pixels;
}

// Reverses the order of height rows of pitch bytes, in place.
void ReverseRows(uint8_t* pixels, int64_t pitch, int height);

}  // namespace zq::gfx::reader_io
