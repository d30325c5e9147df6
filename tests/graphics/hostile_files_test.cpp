// Small files that declare far more than they hold, through the whole reader chain: each is
// declined with one log line naming the cause, or decoded, and either way within a bound of
// tracked memory (the readers' blocks and libpng's own) with no block left behind.
#include "hostile_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/memory.h"
#include "graphics/image/image_decode.h"
#include "support/log_capture.h"

namespace zq::gfx {
namespace {

TEST(HostileFiles, DeclinedWithTheirCauseOrDecodedWithinBounds) {
  for (const test::HostileFile& f : test::HostileFiles()) {
    SCOPED_TRACE(std::string(f.kind) + " " + f.name);
    test::ScopedLog log;
    const size_t blocks = base::TrackedBlockCount();
    const size_t inUse = base::TrackedBytesInUse();
    base::ResetTrackedPeak();
    GraphImage image{};
    const int result = DecodeImageFile(nullptr, f.bytes.data(), f.bytes.size(), 1, &image, 0);
    EXPECT_LE(base::TrackedPeakBytes() - inUse, f.maxPeakBytes);
    const std::string text = log.Contents();
    if (f.log != nullptr) {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
      EXPECT_NE(text.find(f.log), std::string::npos) << text;
    } else {
      ASSERT_EQ(result, 0) << text;
      EXPECT_EQ(text, "");
      EXPECT_EQ(image.Width, f.width);
      EXPECT_EQ(image.Height, f.height);
      ReleaseImageBuffers(&image);
    }
    EXPECT_EQ(base::TrackedBlockCount(), blocks);
  }
}

}  // namespace
}  // namespace zq::gfx
