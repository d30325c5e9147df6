// Tracked allocator: every library record sits behind a header naming its
// source module and line, so the report at shutdown can list what leaked.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zq::base {

struct TrackedBlockHeader {
  TrackedBlockHeader* prev;
  TrackedBlockHeader* next;
  const char* module;  // source-module name given by the caller
  int32_t line;
  size_t size;  // bytes requested
};

// An uninitialised block, or null when memory is exhausted (the live blocks are then logged).
void* TrackedAlloc(size_t size, const char* module, int line);
// The same, filled with zeros.
void* TrackedCalloc(size_t size, const char* module, int line);
// Unlinks and frees a block; null does nothing.
void TrackedFree(void* block);

// Number of live blocks and their total size.
size_t TrackedBlockCount();
size_t TrackedBytesInUse();
// The most bytes in use at once since the last ResetTrackedPeak (which starts it at the bytes in
// use now): what decoding one file cost at its worst.
size_t TrackedPeakBytes();
void ResetTrackedPeak();
// Writes the list of live blocks to the log; returns their count.
size_t TrackedReportLeaks();

// For tests of running out of memory: the nth tracked allocation from now (1 the next) fails as
// if memory were exhausted; 0 fails none. Only that one fails.
void FailTrackedAllocationAt(uint64_t n);
// The tracked allocations asked for since the process started.
uint64_t TrackedAllocationCalls();

}  // namespace zq::base

// __FILE__ names the source from the top of the repository: the build adds
// -fmacro-prefix-map, so no path of the build machine reaches the log.
#define ZQ_ALLOC(size) ::zq::base::TrackedAlloc((size), __FILE__, __LINE__)
#define ZQ_CALLOC(size) ::zq::base::TrackedCalloc((size), __FILE__, __LINE__)
