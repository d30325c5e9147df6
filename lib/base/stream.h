// Data streams: a table of six operations plus a handle, read by the image readers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zq::base {

struct StreamFunctions {
  int64_t (*Tell)(void* handle);
  int (*Seek)(void* handle, int64_t offset, int origin);  // origin 0 start, 1 current, 2 end
  size_t (*Read)(void* buffer, size_t itemSize, size_t count, void* handle);
  int (*Eof)(void* handle);
  int (*Idle)(void* handle);
  int (*Close)(void* handle);
};

struct DataStream {
  StreamFunctions functions;
  void* handle;
};

struct MemoryStreamState {
  const uint8_t* data;
  size_t size;
  size_t position;
  int endFlag;
};

const StreamFunctions* GetFileStreamFunctions();
const StreamFunctions* GetMemoryStreamFunctions();
// A new memory stream over data (not copied; it must outlive the stream), or null.
MemoryStreamState* OpenMemoryStream(const void* data, size_t size);

}  // namespace zq::base
