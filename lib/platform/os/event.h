// Manual-reset events: made not signalled, set and reset by anyone, waited on with a time-out.
// Safe to use from several threads; a wait that sees the event set also sees everything the
// setter wrote before setting it.
#pragma once

#include <cstdint>

namespace zq::platform {

struct Event;
using EventHandle = Event*;

inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_TIMEOUT = 0x102;
inline constexpr uint32_t WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr uint32_t INFINITE = 0xFFFFFFFFu;

// A manual-reset event, not signalled; null when memory runs out.
EventHandle CreateManualEvent();
// Both return false for a null handle.
bool SetEvent(EventHandle event);
bool ResetEvent(EventHandle event);
// WAIT_OBJECT_0 once the event is set, WAIT_TIMEOUT after timeoutMs milliseconds of real time
// (0 polls, INFINITE waits for good), WAIT_FAILED for a null handle.
uint32_t WaitForEvent(EventHandle event, uint32_t timeoutMs);
// Frees the event; nobody may wait on it any longer. Null does nothing.
void CloseEvent(EventHandle event);

}  // namespace zq::platform
