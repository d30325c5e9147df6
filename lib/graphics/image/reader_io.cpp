#include "graphics/image/reader_io.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"

namespace zq::gfx::reader_io {

Block AllocBlock(int64_t size, bool zeroed) {
  if (size <= 0 || size > kMaxBlockBytes) return nullptr;
  void* p = zeroed ? ZQ_CALLOC(size_t(size)) : ZQ_ALLOC(size_t(size));
  return Block(static_cast<uint8_t*>(p));
}

size_t ReadBytes(base::DataStream* stream, void* buffer, size_t size) {
  if (size == 0) return 0;
  size_t delivered = stream->functions.Read(buffer, 1, size, stream->handle);
  if (delivered > size) delivered = size;
  std::memset(static_cast<uint8_t*>(buffer) + delivered, 0, size - delivered);
  return delivered;
}

void SeekTo(base::DataStream* stream, int64_t offset) {
  stream->functions.Seek(stream->handle, offset, 0);
}

int64_t StreamSize(base::DataStream* stream) {
  if (stream->functions.Seek(stream->handle, 0, 2) != 0) return -1;
  const int64_t size = stream->functions.Tell(stream->handle);
  SeekTo(stream, 0);
  return size;
}

bool FitsImageLimits(int64_t width, int64_t height, int64_t rowBytes) {
  // The sides first, so that the product below stays far inside 64 bits.
  if (width > kMaxImageSide || height > kMaxImageSide) {
    LogTooBig(width, height);
    return false;
  }
  if (rowBytes * height > kMaxBlockBytes) {
    base::LogAddFormat("画像のサイズが大きすぎます( %lld x %lld : %lld バイト )",
                       static_cast<long long>(width), static_cast<long long>(height),
                       static_cast<long long>(rowBytes * height));
    return false;
  }
  return true;
}

bool FitsRowPadding(int64_t width, int64_t height, int64_t rowBytes, int64_t pitch) {
  if (pitch <= rowBytes + kMaxRowPadding) return true;
  base::LogAddFormat("画像のサイズが大きすぎます( %lld x %lld : ピッチ %lld バイト )",
                     static_cast<long long>(width), static_cast<long long>(height),
                     static_cast<long long>(pitch));
  return false;
}

bool HoldsHalfOf(int64_t held, int64_t declared) {
  if (held >= 0 && 2 * held >= declared) return true;
  base::LogAddFormat("画像ファイルが途中で切れています( %lld / %lld バイト )",
                     static_cast<long long>(std::max<int64_t>(held, 0)),
                     static_cast<long long>(declared));
  return false;
}

void LogTooBig(int64_t width, int64_t height) {
  base::LogAddFormat("画像のサイズが大きすぎます( %lld x %lld )", static_cast<long long>(width),
                     static_cast<long long>(height));
}

void LogTruncated() {
  base::LogAddFormat("画像ファイルが途中で切れています");
}

void LogCorrupt() {
  base::LogAddFormat("画像ファイルのデータが壊れています");
}

void ReverseRows(uint8_t* pixels, int64_t pitch, int height) {
  // Swapped through a stack buffer, a piece at a time: nothing to allocate, nothing to fail.
  uint8_t scratch[4096];
  for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = pixels + top * pitch;
    uint8_t* b = pixels + bottom * pitch;
    for (int64_t done = 0; done < pitch; done += int64_t(sizeof scratch)) {
      const size_t n = size_t(std::min<int64_t>(int64_t(sizeof scratch), pitch - done));
      std::memcpy(scratch, a + done, n);
      std::memcpy(a + done, b + done, n);
      std::memcpy(b + done, scratch, n);
    }
  }
}

}  // namespace zq::gfx::reader_io
