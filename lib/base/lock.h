// LibraryLock: the recursive, first-come-first-served lock taken by every public entry point
// and by the message thread.
#pragma once

#include <cstdint>

namespace zq::base {

// Blocks until the calling thread owns the lock; re-entry by the owner only deepens it.
// Waiters are served in the order they arrived.
void LibraryLockEnter();
// Lowers the depth; at zero the lock passes to the longest waiter.
void LibraryLockLeave();
// Depth held by the calling thread (0 when it does not own the lock).
int LibraryLockDepth();
// Threads queued behind the current owner.
int LibraryLockWaiters();

class LibraryLockGuard {
 public:
  LibraryLockGuard() { LibraryLockEnter(); }
  ~LibraryLockGuard() { LibraryLockLeave(); }
  LibraryLockGuard(const LibraryLockGuard&) = delete;
  LibraryLockGuard& operator=(const LibraryLockGuard&) = delete;
};

}  // namespace zq::base
