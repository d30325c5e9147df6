#include "base/lock.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace zq::base {
namespace {

// A ticket lock: each arriving thread draws the next ticket and waits until it is served,
// which gives strict arrival order without a bounded waiter table.
std::mutex g_mutex;
std::condition_variable g_turn;
uint64_t g_nextTicket = 0;
uint64_t g_serving = 0;
std::thread::id g_owner;
int g_depth = 0;

}  // namespace

void LibraryLockEnter() {
  std::unique_lock lock(g_mutex);
  const auto self = std::this_thread::get_id();
  if (g_depth > 0 && g_owner == self) {
    ++g_depth;
    return;
  }
  const uint64_t ticket = g_nextTicket++;
  g_turn.wait(lock, [&] { return g_serving == ticket && g_depth == 0; });
  g_owner = self;
  g_depth = 1;
}

void LibraryLockLeave() {
  std::unique_lock lock(g_mutex);
  if (g_depth == 0 || g_owner != std::this_thread::get_id()) return;
  if (--g_depth > 0) return;
  g_owner = std::thread::id();
  ++g_serving;
  lock.unlock();
  g_turn.notify_all();
}

int LibraryLockDepth() {
  std::lock_guard lock(g_mutex);
  return g_owner == std::this_thread::get_id() ? g_depth : 0;
}

int LibraryLockWaiters() {
  std::lock_guard lock(g_mutex);
  const uint64_t queued = g_nextTicket - g_serving;
  return int(g_depth > 0 && queued > 0 ? queued - 1 : queued);
}

}  // namespace zq::base
