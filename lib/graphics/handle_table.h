// Handle values and the tables of records they name.
//
// A HandleValue is a signed 32-bit integer:
//   bits 0-15   slot in the kind's table
//   bits 16-26  check counter: a copy of the record's check word (0..2047)
//   bits 27-30  kind
//   bit 31      set only in invalid values (every negative value means none)
// A stale handle (its slot reused by a newer record) differs in the check counter and is
// refused, until the counter comes round again after 2048 further records.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zq::gfx {

using HandleValue = int32_t;

inline constexpr int32_t kHandleSlotMask = 0x0000FFFF;
inline constexpr int32_t kHandleCheckMask = 0x07FF0000;
inline constexpr int32_t kHandleKindMask = 0x78000000;
inline constexpr int kHandleCheckShift = 16;
inline constexpr int kHandleKindShift = 27;
inline constexpr uint32_t kHandleCheckCount = 2048;  // counter values 0..2047

enum class HandleKind : int32_t {
  kGraph = 1,
  kSound = 2,
  kMovie = 3,
  kFont = 4,
  kSurface2D = 5,
  kSurface3D = 6,
  kSurfaceData = 7,
  kMask = 8,
  kSocket = 9,
  kTextInput = 10,
  kMusic = 11,
};

// The kind bits (27-30) of a kind.
constexpr int32_t HandleKindBits(HandleKind kind) {
  return int32_t(kind) << kHandleKindShift;
}

// Number of slots in each kind's table.
constexpr int32_t HandleKindSlotCount(HandleKind kind) {
  switch (kind) {
    case HandleKind::kGraph:
      return 32768;
    case HandleKind::kSound:
      return 4096;
    case HandleKind::kMovie:
      return 100;
    case HandleKind::kFont:
      return 40;
    case HandleKind::kSurface2D:
      return 32768;
    case HandleKind::kSurface3D:
      return 65536;
    case HandleKind::kSurfaceData:
      return 65536;
    case HandleKind::kMask:
      return 512;
    case HandleKind::kSocket:
      return 4096;
    case HandleKind::kTextInput:
      return 20;
    case HandleKind::kMusic:
      return 256;
  }
  return 0;
}

inline constexpr int32_t kGraphHandleKind = HandleKindBits(HandleKind::kGraph);  // 0x08000000
inline constexpr int32_t kSoundHandleKind = HandleKindBits(HandleKind::kSound);  // 0x10000000
inline constexpr int32_t kMovieHandleKind = HandleKindBits(HandleKind::kMovie);  // 0x18000000
inline constexpr int32_t kFontHandleKind = HandleKindBits(HandleKind::kFont);    // 0x20000000
inline constexpr int32_t kSurface2DHandleKind = HandleKindBits(HandleKind::kSurface2D);
inline constexpr int32_t kSurface3DHandleKind = HandleKindBits(HandleKind::kSurface3D);
inline constexpr int32_t kSurfaceDataHandleKind = HandleKindBits(HandleKind::kSurfaceData);
inline constexpr int32_t kMaskHandleKind = HandleKindBits(HandleKind::kMask);  // 0x40000000
inline constexpr int32_t kSocketHandleKind = HandleKindBits(HandleKind::kSocket);
inline constexpr int32_t kTextInputHandleKind = HandleKindBits(HandleKind::kTextInput);
inline constexpr int32_t kMusicHandleKind = HandleKindBits(HandleKind::kMusic);  // 0x58000000

inline constexpr int32_t kGraphHandleSlots = HandleKindSlotCount(HandleKind::kGraph);
inline constexpr int32_t kSoundHandleSlots = HandleKindSlotCount(HandleKind::kSound);
inline constexpr int32_t kMovieHandleSlots = HandleKindSlotCount(HandleKind::kMovie);
inline constexpr int32_t kFontHandleSlots = HandleKindSlotCount(HandleKind::kFont);
inline constexpr int32_t kSurface2DHandleSlots = HandleKindSlotCount(HandleKind::kSurface2D);
inline constexpr int32_t kSurface3DHandleSlots = HandleKindSlotCount(HandleKind::kSurface3D);
inline constexpr int32_t kSurfaceDataHandleSlots = HandleKindSlotCount(HandleKind::kSurfaceData);
inline constexpr int32_t kMaskHandleSlots = HandleKindSlotCount(HandleKind::kMask);
inline constexpr int32_t kSocketHandleSlots = HandleKindSlotCount(HandleKind::kSocket);
inline constexpr int32_t kTextInputHandleSlots = HandleKindSlotCount(HandleKind::kTextInput);
inline constexpr int32_t kMusicHandleSlots = HandleKindSlotCount(HandleKind::kMusic);

// Builds a handle from its parts (slot and check counter are cut to their bits).
constexpr HandleValue MakeHandleValue(HandleKind kind, int32_t slot, uint32_t check) {
  return HandleKindBits(kind) | int32_t((check % kHandleCheckCount) << kHandleCheckShift) |
         (slot & kHandleSlotMask);
}
constexpr int32_t HandleSlot(HandleValue handle) {
  return handle & kHandleSlotMask;
}
constexpr uint32_t HandleCheck(HandleValue handle) {
  return uint32_t(handle & kHandleCheckMask) >> kHandleCheckShift;
}

// Where a new record goes when the caller names no slot.
enum class HandleSlotPolicy {
  // The slot at the high mark while it is below the slot count; once the table has been
  // filled to the top, the lowest free slot. Graphs, surface pieces, surface data.
  kHighMarkThenLowestFree,
  // Always the lowest free slot. Movies, fonts.
  kLowestFree,
};

// Where a new record's check word comes from when the caller names none.
enum class HandleCheckPolicy {
  // One counter for the whole table, advanced by every new record (2047 wraps to 0).
  kTableCounter,
  // One counter per slot, advanced each time that slot takes a record, so a slot's
  // handles repeat only after 2048 reuses of that very slot.
  kSlotCounter,
};

// Which of the five validity tests a handle failed (kValid when none).
enum class HandleStatus {
  kValid,
  kNegative,        // the sign bit is set
  kWrongKind,       // bits 27-30 are not the table's kind
  kSlotOutOfRange,  // slot at or beyond the slot count
  kEmptySlot,       // no record in the slot
  kStale,           // the record's check word differs from bits 16-26
};

// A table of records of one kind. Each record is a zero-filled tracked block whose first
// 32-bit word is its check word; the table writes that word and the caller owns the rest.
// The table is not locked: every caller already holds the library lock.
class HandleTable {
 public:
  constexpr HandleTable(HandleKind kind, size_t recordSize,
                        HandleSlotPolicy slotPolicy = HandleSlotPolicy::kHighMarkThenLowestFree,
                        HandleCheckPolicy checkPolicy = HandleCheckPolicy::kTableCounter)
      : kind_(kind),
        slotCount_(HandleKindSlotCount(kind)),
        recordSize_(recordSize < sizeof(uint32_t) ? sizeof(uint32_t) : recordSize),
        slotPolicy_(slotPolicy),
        checkPolicy_(checkPolicy) {}
  ~HandleTable() { Term(); }
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  // Makes the table empty: count, high mark and counters 0. Records still held are freed.
  // 0, or -1 when the slot array cannot be allocated.
  int Init();
  // Frees every record still held and the slot array. Safe to call twice.
  void Term();
  bool IsInitialised() const { return slots_ != nullptr; }

  // A new zero-filled record in the slot the policy chooses, its check word from the
  // policy. Returns its handle and stores the record through `record` (when not null);
  // -1 when the table is full, not initialised, or memory runs out (the caller reports).
  HandleValue Allocate(void** record = nullptr);
  // The same in a slot the caller chooses (-1 = by policy) with a check word the caller
  // chooses (-1 = by policy; other values are cut to 0..2047). -1 for a slot out of range
  // or already occupied.
  HandleValue AllocateAt(int32_t slot, int32_t check, void** record = nullptr);

  // The five tests, in order: sign, kind, slot range, occupied slot, check word.
  HandleStatus Check(HandleValue handle) const;
  bool IsValid(HandleValue handle) const { return Check(handle) == HandleStatus::kValid; }
  // The record a valid handle names, or null.
  void* Lookup(HandleValue handle) const;
  template <class Record>
  Record* Lookup(HandleValue handle) const {
    return static_cast<Record*>(Lookup(handle));
  }

  // Frees the record of a valid handle and empties its slot; the high mark drops past the
  // free slots below it when the slot was the highest in use. 0, or -1 for an invalid handle.
  int Free(HandleValue handle);

  // The record in a slot (null when empty or out of range) and the handle rebuilt from it
  // (-1 when empty).
  void* RecordAt(int32_t slot) const;
  HandleValue HandleAt(int32_t slot) const;

  // Calls fn(handle, record) for every occupied slot from 0 up to the high mark, which is
  // read afresh after each call, so fn may free the record it is given.
  template <class Fn>
  void ForEach(Fn&& fn) const {
    for (int32_t slot = 0; slot < highMark_; ++slot) {
      if (void* record = RecordAt(slot)) fn(HandleAt(slot), record);
    }
  }

  HandleKind Kind() const { return kind_; }
  int32_t KindBits() const { return HandleKindBits(kind_); }
  int32_t SlotCount() const { return slotCount_; }
  int32_t Count() const { return count_; }
  // One past the highest slot in use (0 when empty).
  int32_t HighMark() const { return highMark_; }
  // The check word the next record takes under the table-counter policy.
  uint32_t NextCheck() const { return tableCounter_; }
  // Moves the table counter on by one (2047 wraps to 0), for a record that was given
  // NextCheck() explicitly and has turned out to stay.
  void AdvanceCheck() { tableCounter_ = (tableCounter_ + 1) % kHandleCheckCount; }

 private:
  int32_t ChooseSlot() const;
  uint32_t TakeCheck(int32_t slot);

  HandleKind kind_;
  int32_t slotCount_;
  size_t recordSize_;
  HandleSlotPolicy slotPolicy_;
  HandleCheckPolicy checkPolicy_;
  void** slots_ = nullptr;            // slotCount_ record pointers, null = free
  uint16_t* slotCounters_ = nullptr;  // per-slot counters (slot-counter policy only)
  int32_t count_ = 0;
  int32_t highMark_ = 0;
  uint32_t tableCounter_ = 0;
};

}  // namespace zq::gfx
