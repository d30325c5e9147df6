#include "base/lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace zq::base {
namespace {

void WaitForWaiters(int count) {
  while (LibraryLockWaiters() < count) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(LibraryLock, RecursiveForTheOwnerOthersWaitTillTheLastLeave) {
  EXPECT_EQ(LibraryLockDepth(), 0);
  LibraryLockEnter();
  LibraryLockEnter();
  {
    LibraryLockGuard guard;
    EXPECT_EQ(LibraryLockDepth(), 3);
  }
  EXPECT_EQ(LibraryLockDepth(), 2);
  std::atomic<bool> entered{false};
  std::thread other([&] {
    LibraryLockGuard guard;
    entered = true;
  });
  WaitForWaiters(1);
  LibraryLockLeave();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(entered.load());  // still held at depth 1
  LibraryLockLeave();
  other.join();
  EXPECT_TRUE(entered.load());
  EXPECT_EQ(LibraryLockDepth(), 0);
  LibraryLockLeave();  // leaving an unowned lock changes nothing
  EXPECT_EQ(LibraryLockDepth(), 0);
}

TEST(LibraryLock, ServesWaitersInArrivalOrder) {
  constexpr int kThreads = 8;
  std::vector<int> order;
  std::mutex orderMutex;
  std::vector<std::thread> threads;
  LibraryLockEnter();
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      LibraryLockGuard guard;
      std::lock_guard lock(orderMutex);
      order.push_back(i);
    });
    WaitForWaiters(i + 1);  // thread i is queued before thread i + 1 starts
  }
  LibraryLockLeave();
  for (auto& t : threads) t.join();
  std::vector<int> expected;
  for (int i = 0; i < kThreads; ++i) expected.push_back(i);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(LibraryLockWaiters(), 0);
}

TEST(LibraryLock, MutualExclusionUnderContention) {
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        LibraryLockGuard guard;
        LibraryLockGuard nested;
        counter = counter + 1;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 8000);
}

}  // namespace
}  // namespace zq::base
