// The library's message thread: it processes queued window messages under the library lock
// while the program draws, and drops what is queued once the window is gone.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/lock.h"
#include "graphics/library_init.h"
#include "platform/win/window.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using namespace std::chrono_literals;

// Waits up to two seconds for the condition, read under the library lock: the message thread
// writes what it reads under that lock.
template <typename Cond>
bool WaitFor(Cond cond) {
  auto held = [&] {
    base::LibraryLockGuard lock;
    return cond();
  };
  for (int i = 0; i < 400; ++i) {
    if (held()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return held();
}

TEST(MessageThread, ProcessesMessagesUnderTheLock) {
  test::ResetPlatform();
  EXPECT_EQ(StartMessageThread(), -1);  // before the start
  test::LibrarySession lib;
  ASSERT_TRUE(lib.Started());
  ASSERT_EQ(StartMessageThread(), 0);
  EXPECT_EQ(StartMessageThread(), -1);  // one at a time
  {
    // While the program holds the lock, the thread cannot process: the message stays queued.
    base::LibraryLockGuard held;
    platform::InjectDeactivate();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(platform::PendingMessageCount(), 1);
  }
  EXPECT_TRUE(WaitFor([] { return platform::PendingMessageCount() == 0; }));
  EXPECT_TRUE(WaitFor([] { return IsApplicationActive() == 0; }));
  platform::InjectActivate();
  EXPECT_TRUE(WaitFor([] { return IsApplicationActive() == 1; }));
  // A close request destroys the window from the thread; the program then sees it gone.
  platform::InjectClose();
  EXPECT_TRUE(
      WaitFor([] { return GetMainHwnd() == nullptr || !platform::IsWindow(GetMainHwnd()); }));
  EXPECT_EQ(ProcessMessage(), -1);
  StopMessageThread();
  StopMessageThread();  // nothing runs: nothing to do
  EXPECT_EQ(StartMessageThread(), 0);
  StopMessageThread();
}

TEST(MessageThread, DropsMessagesOnceTheWindowIsGone) {
  test::LibrarySession lib;
  ASSERT_TRUE(lib.Started());
  ASSERT_EQ(StartMessageThread(), 0);
  lib.End();
  platform::PostWindowMessage(platform::Message{platform::MessageKind::Move, 5, 5});
  platform::PostWindowMessage(platform::Message{platform::MessageKind::Resize, 9, 9});
  EXPECT_TRUE(WaitFor([] { return platform::PendingMessageCount() == 0; }));
  StopMessageThread();
}

}  // namespace
}  // namespace zq::gfx
