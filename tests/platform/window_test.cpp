// Simulated window, desktop and message queue.
#include "platform/win/window.h"

#include <gtest/gtest.h>

#include <array>
#include <future>
#include <vector>

namespace zq::platform {
namespace {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetWindowSystem(); }
  void TearDown() override { ResetWindowSystem(); }

  Window* MakeWindow(bool windowed = true) {
    WindowDesc d;
    d.className = "ZqLib";
    d.title = "ZORVANTE";
    d.clientRect = RECT{100, 50, 740, 530};
    d.windowed = windowed;
    d.toolbarHeight = 20;
    d.proc = [this](Window&, const Message& m) { seen.push_back(m); };
    return CreateMainWindow(d);
  }

  std::vector<Message> seen;
};

TEST_F(WindowTest, DefaultDesktopIs1080p32Bit) {
  Desktop d = GetDesktop();
  EXPECT_EQ(d.width, 1920);
  EXPECT_EQ(d.height, 1080);
  EXPECT_EQ(d.bitsPerPixel, 32u);
  EXPECT_EQ(d.format.redMask, 0xFF0000u);
  EXPECT_EQ(d.format.greenMask, 0xFF00u);
  EXPECT_EQ(d.format.blueMask, 0xFFu);
  EXPECT_EQ(d.format.flags & PF_RGB, PF_RGB);
}

TEST_F(WindowTest, TestsChooseTheDesktopFormat) {
  ASSERT_TRUE(SetDesktop(1024, 768, PixelFormatRGB555()));
  EXPECT_EQ(GetDesktop().format.redMask, 0x7C00u);
  // The adapter's 16-bit format follows the desktop's.
  EXPECT_EQ(AdapterPixelFormat(16).greenMask, 0x03E0u);
  ASSERT_TRUE(SetDesktop(800, 600, PixelFormatPal8()));
  EXPECT_EQ(GetDesktop().bitsPerPixel, 8u);
  ASSERT_TRUE(SetDesktop(800, 600, PixelFormatRGB888()));
  EXPECT_EQ(GetDesktop().bitsPerPixel, 24u);
  // Unusable requests change nothing.
  EXPECT_FALSE(SetDesktop(0, 600, PixelFormatRGB565()));
  EXPECT_FALSE(SetDesktop(65536, 600, PixelFormatRGB565()));
  PixelFormat bad = PixelFormatRGB565();
  bad.rgbBitCount = 12;
  EXPECT_FALSE(SetDesktop(800, 600, bad));
  EXPECT_EQ(GetDesktop().bitsPerPixel, 24u);
}

TEST_F(WindowTest, SecondMainWindowIsRefused) {
  Window* w = MakeWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(FindWindowByClass("ZqLib"), w);
  EXPECT_EQ(FindWindowByClass("Other"), nullptr);
  EXPECT_EQ(MakeWindow(), nullptr);
  EXPECT_EQ(w->Title(), "ZORVANTE");
  EXPECT_EQ(w->ToolbarHeight(), 20);

  // Destruction completes when the Destroy message is dispatched.
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_FALSE(DestroyWindow(w));
  EXPECT_TRUE(IsWindow(w));
  EXPECT_EQ(PumpMessages(), 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, MessageKind::Destroy);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(FindWindowByClass("ZqLib"), nullptr);
  EXPECT_NE(MakeWindow(), nullptr);
}

TEST_F(WindowTest, PumpHandsOutAtMostFiveMessages) {
  ASSERT_NE(MakeWindow(), nullptr);
  for (int i = 0; i < 12; ++i) PostWindowMessage({MessageKind::Move, i, -i, 0});
  EXPECT_EQ(PendingMessageCount(), 12);
  EXPECT_EQ(PumpMessages(), 5);
  EXPECT_EQ(seen.size(), 5u);
  EXPECT_EQ(PumpMessages(), 5);
  EXPECT_EQ(PumpMessages(), 2);
  EXPECT_EQ(PumpMessages(), 0);
  ASSERT_EQ(seen.size(), 12u);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(seen[size_t(i)].a, i);  // in posting order
    EXPECT_EQ(seen[size_t(i)].b, -i);
  }
}

TEST_F(WindowTest, MessagesPostedByTheProcedureCountTowardsTheSamePump) {
  WindowDesc d;
  d.className = "ZqLib";
  int calls = 0;
  d.proc = [&](Window&, const Message& m) {
    ++calls;
    if (m.kind == MessageKind::Close) PostWindowMessage({MessageKind::Destroy});
  };
  ASSERT_NE(CreateMainWindow(d), nullptr);
  InjectClose();
  EXPECT_EQ(PumpMessages(), 2);  // the close, then the destroy it posted
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(FindWindowByClass("ZqLib"), nullptr);
}

TEST_F(WindowTest, DisplayModeChangeArrivesThroughTheQueue) {
  ASSERT_NE(MakeWindow(), nullptr);
  const uint64_t serial = GetDisplayLossSerial();
  InjectDisplayModeChange(1280, 1024, PixelFormatRGB565());
  // The desktop changes at once; the window learns of it when it pumps.
  EXPECT_EQ(GetDesktop().width, 1280);
  EXPECT_EQ(GetDesktop().bitsPerPixel, 16u);
  EXPECT_GT(GetDisplayLossSerial(), serial);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(PumpMessages(), 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, MessageKind::DisplayChange);
  EXPECT_EQ(seen[0].a, 1280);
  EXPECT_EQ(seen[0].b, 1024);
  EXPECT_EQ(seen[0].c, 16u);
  // A bad mode is neither applied nor announced.
  InjectDisplayModeChange(-1, 10, PixelFormatRGB565());
  EXPECT_EQ(PendingMessageCount(), 0);
}

TEST_F(WindowTest, MoveAndResizeKeepTheClientRectangleInDesktopCoordinates) {
  Window* w = MakeWindow();
  ASSERT_NE(w, nullptr);
  InjectMove(-300, 900);  // partly off the desktop is allowed
  auto edges = [&] {
    const RECT r = w->GetClientRect();
    return std::array{r.left, r.top, r.right, r.bottom};
  };
  EXPECT_EQ(edges(), (std::array<int32_t, 4>{-300, 900, 340, 1380}));
  InjectResize(800, 600);
  EXPECT_EQ(edges(), (std::array<int32_t, 4>{-300, 900, 500, 1500}));
  w->SetClientRect(RECT{0, 0, 800, 600});  // moved only
  EXPECT_EQ(PumpMessages(), 3);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].kind, MessageKind::Move);
  EXPECT_EQ(seen[1].kind, MessageKind::Resize);
  EXPECT_EQ(seen[1].a, 800);
  EXPECT_EQ(seen[2].kind, MessageKind::Move);
  EXPECT_EQ(seen[2].a, 0);
}

TEST_F(WindowTest, DeactivationLosesVideoMemoryOnlyInFullScreen) {
  Window* w = MakeWindow(true);
  ASSERT_NE(w, nullptr);
  uint64_t serial = GetDisplayLossSerial();
  InjectDeactivate();
  EXPECT_FALSE(w->IsActive());
  EXPECT_EQ(GetDisplayLossSerial(), serial);
  InjectActivate();
  EXPECT_TRUE(w->IsActive());
  w->SetWindowed(false);
  InjectDeactivate();
  EXPECT_GT(GetDisplayLossSerial(), serial);
  EXPECT_EQ(PumpMessages(), 3);
  EXPECT_EQ(seen[0].kind, MessageKind::Deactivate);
  EXPECT_EQ(seen[1].kind, MessageKind::Activate);
}

TEST_F(WindowTest, MessageThreadDispatchesForPrograms) {
  std::promise<void> closed;
  WindowDesc d;
  d.className = "ZqLib";
  d.proc = [&](Window&, const Message& m) {
    if (m.kind == MessageKind::Close) closed.set_value();
  };
  ASSERT_NE(CreateMainWindow(d), nullptr);
  ASSERT_TRUE(StartMessageThread([] { PumpMessages(); }));
  EXPECT_FALSE(StartMessageThread(nullptr));
  InjectClose();
  EXPECT_EQ(closed.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  StopMessageThread();
  StopMessageThread();  // harmless twice
}

}  // namespace
}  // namespace zq::platform
