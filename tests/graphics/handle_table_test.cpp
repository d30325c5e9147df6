#include "graphics/handle_table.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "base/memory.h"

namespace zq::gfx {
namespace {

struct TestRecord {
  uint32_t check;  // first word: the check word
  int32_t payload[5];
};

class HandleTableTest : public ::testing::Test {
 protected:
  void SetUp() override { startBlocks_ = base::TrackedBlockCount(); }
  void TearDown() override { EXPECT_EQ(base::TrackedBlockCount(), startBlocks_); }

 private:
  size_t startBlocks_ = 0;
};

TEST(HandleKinds, BitsSlotCountsAndValueLayout) {
  // Graph, sound, movie, font, 2D surface, 3D surface, surface data, mask, socket, text input
  // and music are kinds 1 to 11 in bits 27..30.
  const int32_t kinds[] = {kGraphHandleKind,       kSoundHandleKind,     kMovieHandleKind,
                           kFontHandleKind,        kSurface2DHandleKind, kSurface3DHandleKind,
                           kSurfaceDataHandleKind, kMaskHandleKind,      kSocketHandleKind,
                           kTextInputHandleKind,   kMusicHandleKind};
  const int32_t slots[] = {kGraphHandleSlots,       kSoundHandleSlots,     kMovieHandleSlots,
                           kFontHandleSlots,        kSurface2DHandleSlots, kSurface3DHandleSlots,
                           kSurfaceDataHandleSlots, kMaskHandleSlots,      kSocketHandleSlots,
                           kTextInputHandleSlots,   kMusicHandleSlots};
  const int32_t wantSlots[] = {32768, 4096, 100, 40, 32768, 65536, 65536, 512, 4096, 20, 256};
  for (int i = 0; i < 11; ++i)
    EXPECT_EQ(std::pair(kinds[i], slots[i]), std::pair((i + 1) * 0x08000000, wantSlots[i])) << i;
  EXPECT_EQ(MakeHandleValue(HandleKind::kGraph, 1, 1), 0x08010001);
  EXPECT_EQ(MakeHandleValue(HandleKind::kSurfaceData, 0xFFFF, 2047), 0x3FFFFFFF);
  EXPECT_EQ(MakeHandleValue(HandleKind::kMusic, 3, 2048), 0x58000003);  // counter cut to 11 bits
  EXPECT_EQ(HandleSlot(0x3A5B1234), 0x1234);
  EXPECT_EQ(HandleCheck(0x3A5B1234), 0x25Bu);
}

TEST_F(HandleTableTest, FirstHandlesStaleHandlesAndTheCounterWrap) {
  HandleTable t(HandleKind::kGraph, sizeof(TestRecord));
  ASSERT_EQ(t.Init(), 0);
  void* rec = nullptr;
  const HandleValue old = t.Allocate(&rec);
  EXPECT_EQ(old, 0x08000000);
  EXPECT_EQ(static_cast<TestRecord*>(rec)->payload[4], 0);  // zero-filled
  EXPECT_EQ(t.Allocate(&rec), 0x08010001);
  EXPECT_EQ(static_cast<TestRecord*>(rec)->check, 1u);
  EXPECT_EQ(t.Lookup<TestRecord>(0x08010001), rec);
  EXPECT_EQ(std::tuple(t.Count(), t.HighMark(), t.NextCheck()), std::tuple(2, 2, 2u));
  ASSERT_EQ(t.Free(0x08010001), 0);
  ASSERT_EQ(t.Free(old), 0);
  EXPECT_EQ(t.Check(old), HandleStatus::kEmptySlot);
  const HandleValue now = t.Allocate();
  EXPECT_EQ(now, 0x08020000);  // the same slot, the next check word
  EXPECT_EQ(t.Check(old), HandleStatus::kStale);
  EXPECT_EQ(t.Lookup(old), nullptr);
  EXPECT_EQ(t.Free(old), -1);
  EXPECT_EQ(t.Count(), 1);
  // Always slot 0 (freed at the high mark); after 2048 records the old check word comes round.
  ASSERT_EQ(t.Free(now), 0);
  for (int32_t i = 3; i < 2048; ++i) {
    const HandleValue h = t.Allocate();
    ASSERT_EQ(h, 0x08000000 | (i << 16)) << i;
    ASSERT_EQ(t.Free(h), 0);
    ASSERT_EQ(t.HighMark(), 0);
  }
  EXPECT_EQ(t.NextCheck(), 0u);
  EXPECT_EQ(t.Allocate(), old);
  t.Term();
}

TEST_F(HandleTableTest, FiveValidityTestsInOrder) {
  HandleTable t(HandleKind::kFont, sizeof(TestRecord), HandleSlotPolicy::kLowestFree);
  ASSERT_EQ(t.Init(), 0);
  const HandleValue h = t.Allocate();
  ASSERT_EQ(h, 0x20000000);
  // 0xA0000000: right kind, sign set; slot 40 is past the font table, 39 is empty.
  const struct {
    HandleValue handle;
    HandleStatus status;
  } cases[] = {{h, HandleStatus::kValid},
               {-1, HandleStatus::kNegative},
               {int32_t(0xA0000000u), HandleStatus::kNegative},
               {0x08000000, HandleStatus::kWrongKind},
               {0x28000000, HandleStatus::kWrongKind},
               {0x20000028, HandleStatus::kSlotOutOfRange},
               {0x2000FFFF, HandleStatus::kSlotOutOfRange},
               {0x20000027, HandleStatus::kEmptySlot},
               {0x20010000, HandleStatus::kStale}};
  for (const auto& [handle, status] : cases)
    EXPECT_EQ(t.Check(handle), status) << std::hex << handle;
  EXPECT_EQ(t.Lookup(0x20010000), nullptr);
  // The slot test comes before the table is read, so a huge slot never indexes it.
  HandleTable g(HandleKind::kGraph, sizeof(TestRecord));
  ASSERT_EQ(g.Init(), 0);
  EXPECT_EQ(g.Check(0x08008000), HandleStatus::kSlotOutOfRange);  // slot 32768
  EXPECT_EQ(g.Check(0x08007FFF), HandleStatus::kEmptySlot);
  g.Term();
  t.Term();
}

TEST_F(HandleTableTest, HighMarkDropsPastFreeSlotsAndLowerSlotsWaitUntilTheTableIsFull) {
  HandleTable t(HandleKind::kSurfaceData, sizeof(TestRecord));
  ASSERT_EQ(t.Init(), 0);
  std::vector<HandleValue> h;
  for (int i = 0; i < 6; ++i) h.push_back(t.Allocate());
  // Freed slot, high mark after it.
  for (const auto& [slot, mark] : {std::pair{2, 6}, {5, 5}, {3, 5}, {4, 2}}) {
    ASSERT_EQ(t.Free(h[size_t(slot)]), 0);
    EXPECT_EQ(t.HighMark(), mark) << slot;
  }
  EXPECT_EQ(t.Count(), 2);
  EXPECT_EQ(HandleSlot(t.Allocate()), 2);
  EXPECT_EQ(HandleSlot(t.Allocate()), 3);
  // A freed slot below the mark waits while the table has room on top.
  ASSERT_EQ(t.Free(h[0]), 0);
  EXPECT_EQ(HandleSlot(t.Allocate()), 4);
  t.Term();

  HandleTable full(HandleKind::kTextInput, sizeof(TestRecord));
  ASSERT_EQ(full.Init(), 0);
  h.clear();
  for (int i = 0; i < 20; ++i) h.push_back(full.Allocate());
  EXPECT_EQ(full.Allocate(), -1);
  ASSERT_EQ(full.Free(h[12]), 0);
  ASSERT_EQ(full.Free(h[3]), 0);
  EXPECT_EQ(full.HighMark(), 20);
  const HandleValue a = full.Allocate();  // the lowest free slot once full
  EXPECT_EQ(HandleSlot(a), 3);
  EXPECT_EQ(HandleCheck(a), 20u);  // the table counter went on
  EXPECT_EQ(HandleSlot(full.Allocate()), 12);
  full.Term();
}

TEST_F(HandleTableTest, LowestFreeCallerChosenAndSlotCounterPolicies) {
  HandleTable t(HandleKind::kMovie, sizeof(TestRecord), HandleSlotPolicy::kLowestFree);
  ASSERT_EQ(t.Init(), 0);
  const HandleValue a = t.Allocate();
  const HandleValue b = t.Allocate();
  EXPECT_EQ(t.Allocate(), 0x18020002);
  ASSERT_EQ(t.Free(b), 0);
  EXPECT_EQ(t.Allocate(), 0x18030001);  // slot 1, counter 3
  ASSERT_EQ(t.Free(a), 0);
  EXPECT_EQ(t.Allocate(), 0x18040000);
  for (int i = 3; i < 100; ++i) ASSERT_NE(t.Allocate(), -1);
  EXPECT_EQ(t.Allocate(), -1);
  t.Term();

  HandleTable f(HandleKind::kFont, sizeof(TestRecord), HandleSlotPolicy::kLowestFree);
  ASSERT_EQ(f.Init(), 0);
  void* rec = nullptr;
  EXPECT_EQ(f.AllocateAt(5, 77, &rec), 0x204D0005);
  EXPECT_EQ(static_cast<TestRecord*>(rec)->check, 77u);
  EXPECT_EQ(f.NextCheck(), 0u);  // a given check word leaves the counter
  EXPECT_EQ(f.HighMark(), 6);
  EXPECT_EQ(f.AllocateAt(5, -1, &rec), -1);  // occupied
  EXPECT_EQ(rec, nullptr);
  EXPECT_EQ(f.AllocateAt(40, -1), -1);
  EXPECT_EQ(f.AllocateAt(-2, -1), -1);
  EXPECT_EQ(f.AllocateAt(-1, -1), 0x20000000);    // lowest free, counter
  EXPECT_EQ(f.AllocateAt(-1, 2049), 0x20010001);  // check cut to 11 bits
  EXPECT_EQ(f.Count(), 3);
  f.Term();

  HandleTable m(HandleKind::kMask, sizeof(TestRecord), HandleSlotPolicy::kLowestFree,
                HandleCheckPolicy::kSlotCounter);
  ASSERT_EQ(m.Init(), 0);
  const HandleValue m0 = m.Allocate();
  EXPECT_EQ(m.Allocate(), 0x40000001);  // each slot starts at 0
  ASSERT_EQ(m.Free(m0), 0);
  const HandleValue again = m.Allocate();
  EXPECT_EQ(again, 0x40010000);
  EXPECT_EQ(m.Check(m0), HandleStatus::kStale);
  EXPECT_EQ(m.Allocate(), 0x40000002);
  // A slot's own counter wraps after 2048 reuses.
  ASSERT_EQ(m.Free(again), 0);
  for (int i = 2; i < 2048; ++i) ASSERT_EQ(m.Free(m.Allocate()), 0);
  EXPECT_EQ(m.Allocate(), 0x40000000);
  m.Term();
}

TEST_F(HandleTableTest, ForEachHandleAtAndTheLifeCycle) {
  HandleTable t(HandleKind::kSurface2D, sizeof(TestRecord));
  EXPECT_FALSE(t.IsInitialised());
  EXPECT_EQ(t.Allocate(), -1);  // not initialised
  EXPECT_EQ(t.Check(0x28000000), HandleStatus::kEmptySlot);
  ASSERT_EQ(t.Init(), 0);
  std::vector<HandleValue> h;
  for (int i = 0; i < 5; ++i) h.push_back(t.Allocate());
  EXPECT_EQ(t.HandleAt(1), 0x28010001);
  EXPECT_EQ(t.RecordAt(1), t.Lookup(h[1]));
  ASSERT_EQ(t.Free(h[1]), 0);
  std::vector<HandleValue> seen;
  t.ForEach([&](HandleValue handle, void* record) {
    seen.push_back(handle);
    EXPECT_EQ(t.Lookup(handle), record);
    EXPECT_EQ(t.Free(handle), 0);
  });
  EXPECT_EQ(seen, (std::vector<HandleValue>{h[0], h[2], h[3], h[4]}));
  EXPECT_EQ(std::tuple(t.Count(), t.HighMark(), t.HandleAt(0)), std::tuple(0, 0, -1));
  EXPECT_EQ(t.RecordAt(-1), nullptr);
  EXPECT_EQ(t.RecordAt(40000), nullptr);
  for (int i = 0; i < 10; ++i) t.Allocate();
  // Init again empties the table and restarts the counter, freeing what it held.
  ASSERT_EQ(t.Init(), 0);
  EXPECT_EQ(t.Count(), 0);
  EXPECT_EQ(t.Allocate(), 0x28000000);
  t.Term();  // frees the records still held
  t.Term();
  EXPECT_EQ(t.Count(), 0);
  // The destructor also gives everything back; a tiny record still holds the check word.
  HandleTable tiny(HandleKind::kMusic, 1);
  ASSERT_EQ(tiny.Init(), 0);
  tiny.Allocate();
  EXPECT_EQ(tiny.Allocate(), 0x58010001);
  EXPECT_TRUE(tiny.IsValid(0x58010001));
}

}  // namespace
}  // namespace zq::gfx
