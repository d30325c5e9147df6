#include "base/stream.h"

#include <cstring>

#include "base/file_access.h"
#include "base/memory.h"

namespace zq::base {
namespace {

// ---- file streams: the handle is a FileAccessOpen value ----

FileValue AsFile(void* handle) {
  return reinterpret_cast<FileValue>(handle);
}

int64_t FileTell(void* h) {
  return FileAccessTell(AsFile(h));
}
int FileSeek(void* h, int64_t offset, int origin) {
  return FileAccessSeek(AsFile(h), offset, origin);
}
size_t FileRead(void* buffer, size_t itemSize, size_t count, void* h) {
  return FileAccessRead(buffer, itemSize, count, AsFile(h));
}
int FileEof(void* h) {
  return FileAccessEof(AsFile(h));
}
int FileIdle(void*) {
  return 0;
}
int FileClose(void* h) {
  return FileAccessClose(AsFile(h));
}

constexpr StreamFunctions kFileStream = {FileTell, FileSeek, FileRead,
                                         FileEof,  FileIdle, FileClose};

// ---- memory streams: the handle is a MemoryStreamState ----

MemoryStreamState* AsMemory(void* h) {
  return static_cast<MemoryStreamState*>(h);
}

int64_t MemoryTell(void* h) {
  return int64_t(AsMemory(h)->position);
}

// Positions outside the data are clamped to its ends.
int MemorySeek(void* h, int64_t offset, int origin) {
  MemoryStreamState* s = AsMemory(h);
  const int64_t size = int64_t(s->size);
  int64_t base = origin == 2 ? size : origin == 1 ? int64_t(s->position) : 0;
  int64_t target;
  if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? 0 : size;
  if (target < 0) target = 0;
  if (target > size) target = size;
  s->position = size_t(target);
  s->endFlag = 0;
  return 0;
}

// Never reads past the data. What a partial read does not deliver is zeroed in the
// caller's buffer; the result counts whole items, or 1 when a single item came in part.
size_t MemoryRead(void* buffer, size_t itemSize, size_t count, void* h) {
  MemoryStreamState* s = AsMemory(h);
  if (itemSize == 0 || count == 0) return 0;
  size_t wanted;
  if (__builtin_mul_overflow(itemSize, count, &wanted)) return 0;
  const size_t available = s->size - s->position;
  if (available == 0) {
    s->endFlag = 1;
    return 0;
  }
  const size_t delivered = wanted < available ? wanted : available;
  std::memcpy(buffer, s->data + s->position, delivered);
  s->position += delivered;
  if (delivered == wanted) return count;
  s->endFlag = 1;
  std::memset(static_cast<uint8_t*>(buffer) + delivered, 0, wanted - delivered);
  const size_t whole = delivered / itemSize;
  return whole == 0 ? 1 : whole;
}

int MemoryEof(void* h) {
  return AsMemory(h)->position >= AsMemory(h)->size ? 1 : 0;
}
int MemoryIdle(void*) {
  return 0;
}
int MemoryClose(void* h) {
  TrackedFree(h);
  return 0;
}

constexpr StreamFunctions kMemoryStream = {MemoryTell, MemorySeek, MemoryRead,
                                           MemoryEof,  MemoryIdle, MemoryClose};

}  // namespace

const StreamFunctions* GetFileStreamFunctions() {
  return &kFileStream;
}
const StreamFunctions* GetMemoryStreamFunctions() {
  return &kMemoryStream;
}

MemoryStreamState* OpenMemoryStream(const void* data, size_t size) {
  auto* s = static_cast<MemoryStreamState*>(ZQ_CALLOC(sizeof(MemoryStreamState)));
  if (s == nullptr) return nullptr;
  s->data = static_cast<const uint8_t*>(data);
  s->size = data ? size : 0;
  return s;
}

}  // namespace zq::base
