#include "base/memory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/log.h"

namespace zq::base {
namespace {

// Headers are padded to 16 bytes so the blocks keep malloc's alignment.
constexpr size_t kHeaderSize = (sizeof(TrackedBlockHeader) + 15) & ~size_t(15);

std::mutex g_mutex;
TrackedBlockHeader* g_first = nullptr;
size_t g_count = 0;
size_t g_bytes = 0;
size_t g_peak = 0;
uint64_t g_calls = 0;
uint64_t g_failAt = 0;  // the call number that fails; 0 none

// Counts the call; true when the test switch makes this one fail.
bool CountCall() {
  std::lock_guard lock(g_mutex);
  ++g_calls;
  return g_failAt != 0 && g_calls == g_failAt;
}

void LogLiveBlocksLocked() {
  for (const TrackedBlockHeader* h = g_first; h != nullptr; h = h->next)
    LogAddFormat("%s(%d): %zu bytes", h->module ? h->module : "?", int(h->line), h->size);
}

void* Allocate(size_t size, const char* module, int line, bool zero) {
  void* raw = nullptr;
  if (!CountCall() && size <= SIZE_MAX - kHeaderSize)
    raw = zero ? std::calloc(1, kHeaderSize + size) : std::malloc(kHeaderSize + size);
  std::lock_guard lock(g_mutex);
  if (raw == nullptr) {
    LogAddFormat("memory exhausted: %zu bytes requested at %s(%d); live blocks:", size,
                 module ? module : "?", line);
    LogIndentIn();
    LogLiveBlocksLocked();
    LogIndentOut();
    return nullptr;
  }
  auto* h = static_cast<TrackedBlockHeader*>(raw);
  h->prev = nullptr;
  h->next = g_first;
  h->module = module;
  h->line = line;
  h->size = size;
  if (g_first) g_first->prev = h;
  g_first = h;
  ++g_count;
  g_bytes += size;
  if (g_bytes > g_peak) g_peak = g_bytes;
  return static_cast<uint8_t*>(raw) + kHeaderSize;
}

}  // namespace

void* TrackedAlloc(size_t size, const char* module, int line) {
  return Allocate(size, module, line, false);
}

void* TrackedCalloc(size_t size, const char* module, int line) {
  return Allocate(size, module, line, true);
}

void TrackedFree(void* block) {
  if (block == nullptr) return;
  auto* h = reinterpret_cast<TrackedBlockHeader*>(static_cast<uint8_t*>(block) - kHeaderSize);
  {
    std::lock_guard lock(g_mutex);
    if (h->prev)
      h->prev->next = h->next;
    else
      g_first = h->next;
    if (h->next) h->next->prev = h->prev;
    --g_count;
    g_bytes -= h->size;
  }
  std::free(h);
}

size_t TrackedBlockCount() {
  std::lock_guard lock(g_mutex);
  return g_count;
}

size_t TrackedBytesInUse() {
  std::lock_guard lock(g_mutex);
  return g_bytes;
}

size_t TrackedPeakBytes() {
  std::lock_guard lock(g_mutex);
  return g_peak;
}

void ResetTrackedPeak() {
  std::lock_guard lock(g_mutex);
  g_peak = g_bytes;
}

size_t TrackedReportLeaks() {
  std::lock_guard lock(g_mutex);
  if (g_count == 0) return 0;
  LogAddFormat("unreleased memory blocks: %zu (%zu bytes)", g_count, g_bytes);
  LogIndentIn();
  LogLiveBlocksLocked();
  LogIndentOut();
  return g_count;
}

void FailTrackedAllocationAt(uint64_t n) {
  std::lock_guard lock(g_mutex);
  g_failAt = n == 0 ? 0 : g_calls + n;
}

uint64_t TrackedAllocationCalls() {
  std::lock_guard lock(g_mutex);
  return g_calls;
}

}  // namespace zq::base
