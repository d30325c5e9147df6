#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "base/system.h"
#include "support/log_capture.h"

namespace zq::base {
namespace {

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
