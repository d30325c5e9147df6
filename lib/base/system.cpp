#include "base/system.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/log.h"
#include "platform/os/clock.h"
#include "platform/os/cpu.h"

namespace zq::base {
namespace {

std::atomic<FatalErrorHandler> g_fatalHandler{nullptr};
std::atomic<void (*)()> g_libraryEnd{nullptr};

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::string d = (dir && *dir) ? dir : "/tmp";
  char resolved[PATH_MAX];
  if (realpath(d.c_str(), resolved) != nullptr) d = resolved;
  if (d.back() != '/') d += '/';
  return d;
}

}  // namespace

intptr_t CreateTempFile(char* path, size_t pathSize) {
  std::string name = TempDirectory() + "tmpXXXXXX";
  if (path != nullptr && name.size() + 1 > pathSize) return 0;
  // mkstemp creates the file with O_EXCL: no window in which another process can take it.
  int fd = mkstemp(name.data());
  if (fd < 0) return 0;
  if (fd == 0) {  // 0 means failure to callers: move off descriptor 0
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    close(fd);
    if (moved < 0) {
      unlink(name.c_str());
      return 0;
    }
    fd = moved;
  }
  if (path != nullptr) std::memcpy(path, name.c_str(), name.size() + 1);
  return fd;
}

uint32_t GetNowMilliSeconds() {
  return platform::MilliSeconds();
}

int IsMmxUsable() {
  return platform::CpuHasMmx();
}

void SetFatalErrorHandler(FatalErrorHandler handler) {
  g_fatalHandler.store(handler);
}

void SetLibraryEndHook(void (*end)()) {
  g_libraryEnd.store(end);
}

void ExitOnFatalError(const char* message) {
  LogAddString(message ? message : "");
  LogAddString("\n");
  LogAddString("ソフトを終了します\n");
  if (FatalErrorHandler handler = g_fatalHandler.load()) handler(message);
  if (auto end = g_libraryEnd.load()) end();
  std::_Exit(-1);
}

}  // namespace zq::base
