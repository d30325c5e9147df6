#include "platform/os/event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

namespace zq::platform {

struct Event {
  std::mutex mutex;
  std::condition_variable changed;
  bool set = false;
};

EventHandle CreateManualEvent() {
  return new (std::nothrow) Event();
}

bool SetEvent(EventHandle event) {
  if (event == nullptr) return false;
  {
    std::lock_guard lock(event->mutex);
    event->set = true;
  }
  event->changed.notify_all();
  return true;
}

bool ResetEvent(EventHandle event) {
  if (event == nullptr) return false;
  std::lock_guard lock(event->mutex);
  event->set = false;
  return true;
}

uint32_t WaitForEvent(EventHandle event, uint32_t timeoutMs) {
  if (event == nullptr) return WAIT_FAILED;
  std::unique_lock lock(event->mutex);
  if (timeoutMs == INFINITE) {
    event->changed.wait(lock, [&] { return event->set; });
    return WAIT_OBJECT_0;
  }
  const bool set = event->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [&] { return event->set; });
  return set ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void CloseEvent(EventHandle event) {
  delete event;
}

}  // namespace zq::platform
