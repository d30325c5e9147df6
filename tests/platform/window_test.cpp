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
  // Kind, a, b and c of each message seen.
  std::vector<std::array<int64_t, 4>> Seen() const {
    std::vector<std::array<int64_t, 4>> out;
    for (const Message& m : seen) out.push_back({int64_t(m.kind), m.a, m.b, int64_t(m.c)});
    return out;
  }

  std::vector<Message> seen;
};

TEST_F(WindowTest, TheDesktopIs1080p32BitUntilTestsChooseAnother) {
  const Desktop d = GetDesktop();
  EXPECT_EQ((std::array{d.width, d.height, int32_t(d.bitsPerPixel)}), (std::array{1920, 1080, 32}));
  EXPECT_EQ((std::array{d.format.redMask, d.format.greenMask, d.format.blueMask,
                        d.format.flags & PF_RGB}),
            (std::array{0xFF0000u, 0xFF00u, 0xFFu, uint32_t(PF_RGB)}));
  ASSERT_TRUE(SetDesktop(1024, 768, PixelFormatRGB555()));
  EXPECT_EQ(GetDesktop().format.redMask, 0x7C00u);
  EXPECT_EQ(AdapterPixelFormat(16).greenMask, 0x03E0u);  // follows the desktop's
  ASSERT_TRUE(SetDesktop(800, 600, PixelFormatPal8()));
  EXPECT_EQ(GetDesktop().bitsPerPixel, 8u);
  ASSERT_TRUE(SetDesktop(800, 600, PixelFormatRGB888()));
  // Unusable requests change nothing.
  PixelFormat bad = PixelFormatRGB565();
  bad.rgbBitCount = 12;
  EXPECT_FALSE(SetDesktop(0, 600, PixelFormatRGB565()));
  EXPECT_FALSE(SetDesktop(65536, 600, PixelFormatRGB565()));
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
  EXPECT_EQ(Seen(), (decltype(Seen()){{int64_t(MessageKind::Destroy), 0, 0, 0}}));
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(FindWindowByClass("ZqLib"), nullptr);
  EXPECT_NE(MakeWindow(), nullptr);
}

TEST_F(WindowTest, PumpHandsOutAtMostFiveMessagesInPostingOrder) {
  ASSERT_NE(MakeWindow(), nullptr);
  decltype(Seen()) want;
  for (int i = 0; i < 12; ++i) {
    PostWindowMessage({MessageKind::Move, i, -i, 0});
    want.push_back({int64_t(MessageKind::Move), i, -i, 0});
  }
  EXPECT_EQ(PendingMessageCount(), 12);
  EXPECT_EQ((std::array{PumpMessages(), PumpMessages(), PumpMessages(), PumpMessages()}),
            (std::array{5, 5, 2, 0}));
  EXPECT_EQ(Seen(), want);
  // Messages posted by the procedure count towards the same pump.
  ResetWindowSystem();
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

TEST_F(WindowTest, DisplayChangesMovesAndResizesArriveThroughTheQueue) {
  Window* w = MakeWindow();
  ASSERT_NE(w, nullptr);
  const uint64_t serial = GetDisplayLossSerial();
  InjectDisplayModeChange(1280, 1024, PixelFormatRGB565());
  InjectDisplayModeChange(-1, 10, PixelFormatRGB565());  // neither applied nor announced
  // The desktop changes at once; the window learns of it when it pumps.
  EXPECT_EQ(GetDesktop().width, 1280);
  EXPECT_EQ(GetDesktop().bitsPerPixel, 16u);
  EXPECT_GT(GetDisplayLossSerial(), serial);
  EXPECT_TRUE(seen.empty());
  // Partly off the desktop is allowed; the client rectangle stays in desktop coordinates.
  InjectMove(-300, 900);
  auto edges = [&] {
    const RECT r = w->GetClientRect();
    return std::array{r.left, r.top, r.right, r.bottom};
  };
  EXPECT_EQ(edges(), (std::array<int32_t, 4>{-300, 900, 340, 1380}));
  InjectResize(800, 600);
  EXPECT_EQ(edges(), (std::array<int32_t, 4>{-300, 900, 500, 1500}));
  w->SetClientRect(RECT{0, 0, 800, 600});  // moved only
  EXPECT_EQ(PumpMessages(), 4);
  const auto k = [](MessageKind m) { return int64_t(m); };
  EXPECT_EQ(Seen(), (decltype(Seen()){{k(MessageKind::DisplayChange), 1280, 1024, 16},
                                      {k(MessageKind::Move), -300, 900, 0},
                                      {k(MessageKind::Resize), 800, 600, 0},
                                      {k(MessageKind::Move), 0, 0, 0}}));
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
