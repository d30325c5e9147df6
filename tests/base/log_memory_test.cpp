#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "base/log.h"
#include "base/memory.h"
#include "base/system.h"
#include "platform/os/clock.h"
#include "support/log_capture.h"

namespace zq::base {
namespace {

class FixedClock {
 public:
  FixedClock() {
    platform::SetMilliSecondsOverride([this] { return now; });
  }
  ~FixedClock() { platform::SetMilliSecondsOverride({}); }
  uint32_t now = 1000;
};

TEST(Log, TimeStampIndentAndCrLf) {
  FixedClock clock;
  test::ScopedLog log;
  clock.now = 1012;
  EXPECT_EQ(LogAddString("first\n"), -1);
  LogIndentIn();
  LogIndentIn();
  clock.now = 1345;
  LogAddString("a");
  LogAddString("b\nc");  // continues the line, then starts a new one without a line end
  LogIndentOut();
  clock.now = 1400;
  EXPECT_EQ(LogAddFormat("n=%d %s", 42, "x"), -1);
  LogIndentOut();
  LogIndentOut();  // below zero stays at zero
  LogAddString("end");
  EXPECT_EQ(log.Contents(),
            "12:first\r\n345:\t\tab\r\n345:\t\tc"
            "n=42 x\r\n400:end");
}

TEST(Log, LongFormattedLineIsNotTruncatedAndNoOpenLogFailsQuietly) {
  {
    test::ScopedLog log;
    const std::string big(10000, 'q');
    LogAddFormat("<%s>", big.c_str());
    EXPECT_NE(log.Contents().find("<" + big + ">\r\n"), std::string::npos);
  }
  LogClose();
  EXPECT_EQ(LogAddString("lost"), -1);
  EXPECT_STREQ(LogFilePath(), "");
}

TEST(TrackedMemory, CountsAndZeroFill) {
  const size_t blocks = TrackedBlockCount();
  const size_t bytes = TrackedBytesInUse();
  auto* a = static_cast<uint8_t*>(ZQ_ALLOC(100));
  auto* b = static_cast<uint8_t*>(ZQ_CALLOC(64));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(b[i], 0);
  std::memset(a, 0xAB, 100);
  EXPECT_EQ(TrackedBlockCount(), blocks + 2);
  EXPECT_EQ(TrackedBytesInUse(), bytes + 164);
  TrackedFree(a);
  TrackedFree(nullptr);
  TrackedFree(b);
  EXPECT_EQ(TrackedBlockCount(), blocks);
  EXPECT_EQ(TrackedBytesInUse(), bytes);
}

TEST(TrackedMemory, OverflowingSizesFailCleanlyAndTheLineNamesTheSource) {
  test::ScopedLog log;
  const size_t blocks = TrackedBlockCount();
  EXPECT_EQ(TrackedAlloc(SIZE_MAX - 4, "huge.cpp", 7), nullptr);
  EXPECT_EQ(TrackedCalloc(SIZE_MAX, "huge.cpp", 8), nullptr);
  EXPECT_EQ(ZQ_ALLOC(SIZE_MAX), nullptr);
  EXPECT_EQ(TrackedBlockCount(), blocks);
  const std::string text = log.Contents();
  EXPECT_NE(text.find("huge.cpp(7)"), std::string::npos) << text;
  // The source named from the repository top.
  EXPECT_NE(text.find(" at tests/base/log_memory_test.cpp("), std::string::npos) << text;
}

TEST(TrackedMemory, PeakIsTheMostInUseSinceItsReset) {
  void* a = ZQ_ALLOC(1000);
  ResetTrackedPeak();
  const size_t start = TrackedBytesInUse();
  EXPECT_EQ(TrackedPeakBytes(), start);
  void* b = ZQ_ALLOC(500);
  TrackedFree(a);
  void* c = ZQ_ALLOC(700);
  EXPECT_EQ(TrackedPeakBytes(), start + 500);
  TrackedFree(b);
  TrackedFree(c);
  EXPECT_EQ(TrackedPeakBytes(), start + 500);
}

TEST(TrackedMemory, LeakReportListsModuleAndLine) {
  test::ScopedLog log;
  const size_t before = TrackedBlockCount();
  void* leaked = TrackedAlloc(33, "ZqGraphics", 1234);
  EXPECT_EQ(TrackedReportLeaks(), before + 1);
  const std::string text = log.Contents();
  EXPECT_NE(text.find("ZqGraphics(1234): 33 bytes\r\n"), std::string::npos) << text;
  TrackedFree(leaked);
}

struct FatalStop : std::runtime_error {
  using std::runtime_error::runtime_error;
};

TEST(ExitOnFatalError, LogsTheMessageAndAClosingLineBeforeStopping) {
  test::ScopedLog log;
  SetFatalErrorHandler([](const char* message) { throw FatalStop(message); });
  try {
    ExitOnFatalError("boom");
    FAIL() << "returned";
  } catch (const FatalStop& stop) {
    EXPECT_STREQ(stop.what(), "boom");
  }
  SetFatalErrorHandler(nullptr);
  const std::string text = log.Contents();
  const size_t at = text.find("boom\r\n");
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_NE(text.find("\r\n", at + 6), std::string::npos);  // the closing line follows
}

TEST(ExitOnFatalError, EndsTheProcessWithExitCodeMinusOne) {
  EXPECT_EXIT(ExitOnFatalError("fatal"), ::testing::ExitedWithCode(255), "");
}

}  // namespace
}  // namespace zq::base
