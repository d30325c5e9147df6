#include "graphics/handle_table.h"

#include <cstring>

#include "base/memory.h"

namespace zq::gfx {
namespace {

uint32_t CheckWordOf(const void* record) {
  uint32_t word;
  std::memcpy(&word, record, sizeof word);
  return word;
}

}  // namespace

int HandleTable::Init() {
  Term();
  slots_ = static_cast<void**>(ZQ_CALLOC(sizeof(void*) * size_t(slotCount_)));
  if (slots_ == nullptr) return -1;
  if (checkPolicy_ == HandleCheckPolicy::kSlotCounter) {
    slotCounters_ = static_cast<uint16_t*>(ZQ_CALLOC(sizeof(uint16_t) * size_t(slotCount_)));
    if (slotCounters_ == nullptr) {
      Term();
      return -1;
    }
  }
  return 0;
}

void HandleTable::Term() {
  if (slots_ != nullptr) {
    for (int32_t slot = 0; slot < highMark_; ++slot) base::TrackedFree(slots_[slot]);
  }
  base::TrackedFree(slots_);
  base::TrackedFree(slotCounters_);
  slots_ = nullptr;
  slotCounters_ = nullptr;
  count_ = 0;
  highMark_ = 0;
  tableCounter_ = 0;
}

int32_t HandleTable::ChooseSlot() const {
  if (slotPolicy_ == HandleSlotPolicy::kHighMarkThenLowestFree && highMark_ < slotCount_) {
    return highMark_;
  }
  for (int32_t slot = 0; slot < slotCount_; ++slot) {
    if (slots_[slot] == nullptr) return slot;
  }
  return -1;
}

uint32_t HandleTable::TakeCheck(int32_t slot) {
  if (checkPolicy_ == HandleCheckPolicy::kSlotCounter) {
    const uint32_t check = slotCounters_[slot];
    slotCounters_[slot] = uint16_t((check + 1) % kHandleCheckCount);
    return check;
  }
  const uint32_t check = tableCounter_;
  tableCounter_ = (check + 1) % kHandleCheckCount;
  return check;
}

HandleValue HandleTable::Allocate(void** record) {
  return AllocateAt(-1, -1, record);
}

HandleValue HandleTable::AllocateAt(int32_t slot, int32_t check, void** record) {
  if (record != nullptr) *record = nullptr;
  if (slots_ == nullptr || count_ >= slotCount_) return -1;
  if (slot == -1) {
    slot = ChooseSlot();
    if (slot < 0) return -1;
  } else if (slot < 0 || slot >= slotCount_ || slots_[slot] != nullptr) {
    return -1;
  }
  void* block = ZQ_CALLOC(recordSize_);
  if (block == nullptr) return -1;

  const uint32_t word = check == -1 ? TakeCheck(slot) : uint32_t(check) % kHandleCheckCount;
  std::memcpy(block, &word, sizeof word);
  slots_[slot] = block;
  ++count_;
  if (slot >= highMark_) highMark_ = slot + 1;
  if (record != nullptr) *record = block;
  return MakeHandleValue(kind_, slot, word);
}

HandleStatus HandleTable::Check(HandleValue handle) const {
  if (handle < 0) return HandleStatus::kNegative;
  if ((handle & kHandleKindMask) != KindBits()) return HandleStatus::kWrongKind;
  const int32_t slot = HandleSlot(handle);
  if (slot >= slotCount_) return HandleStatus::kSlotOutOfRange;
  if (slots_ == nullptr || slots_[slot] == nullptr) return HandleStatus::kEmptySlot;
  if ((CheckWordOf(slots_[slot]) << kHandleCheckShift) != uint32_t(handle & kHandleCheckMask)) {
    return HandleStatus::kStale;
  }
  return HandleStatus::kValid;
}

void* HandleTable::Lookup(HandleValue handle) const {
  return Check(handle) == HandleStatus::kValid ? slots_[HandleSlot(handle)] : nullptr;
}

int HandleTable::Free(HandleValue handle) {
  if (Check(handle) != HandleStatus::kValid) return -1;
  const int32_t slot = HandleSlot(handle);
  base::TrackedFree(slots_[slot]);
  slots_[slot] = nullptr;
  --count_;
  if (slot == highMark_ - 1) {
    while (highMark_ > 0 && slots_[highMark_ - 1] == nullptr) --highMark_;
  }
  return 0;
}

void* HandleTable::RecordAt(int32_t slot) const {
  if (slots_ == nullptr || slot < 0 || slot >= slotCount_) return nullptr;
  return slots_[slot];
}

HandleValue HandleTable::HandleAt(int32_t slot) const {
  const void* record = RecordAt(slot);
  if (record == nullptr) return -1;
  return MakeHandleValue(kind_, slot, CheckWordOf(record));
}

}  // namespace zq::gfx
