#include "base/log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "platform/os/clock.h"

namespace zq::base {
namespace {

std::recursive_mutex g_mutex;
FILE* g_file = nullptr;
std::string g_path;
uint32_t g_startTime = 0;
int g_indent = 0;
bool g_atLineStart = true;

void WriteLineStart() {
  uint32_t elapsed = platform::MilliSeconds() - g_startTime;
  std::fprintf(g_file, "%u:", elapsed);
  for (int i = 0; i < g_indent; ++i) std::fputc('\t', g_file);
}

}  // namespace

int LogOpen(const char* directory) {
  std::lock_guard lock(g_mutex);
  if (g_file) std::fclose(g_file);
  g_file = nullptr;
  try {
    g_path = directory ? directory : ".";
    if (!g_path.empty() && g_path.back() != '/') g_path += '/';
    g_path += "AppLog.txt";
    g_file = std::fopen(g_path.c_str(), "wb");
  } catch (const std::bad_alloc&) {
    // No memory for the path: the library runs without its log, as for an unwritable one.
  }
  g_startTime = platform::MilliSeconds();
  g_indent = 0;
  g_atLineStart = true;
  if (g_file == nullptr) {
    g_path.clear();
    return -1;
  }
  return 0;
}

void LogClose() {
  std::lock_guard lock(g_mutex);
  if (g_file) std::fclose(g_file);
  g_file = nullptr;
  g_path.clear();
}

int LogAddString(const char* text) {
  std::lock_guard lock(g_mutex);
  if (g_file == nullptr || text == nullptr) return -1;
  for (const char* p = text; *p; ++p) {
    if (g_atLineStart) {
      WriteLineStart();
      g_atLineStart = false;
    }
    if (*p == '\n') {
      std::fputs("\r\n", g_file);
      g_atLineStart = true;
    } else {
      std::fputc(*p, g_file);
    }
  }
  std::fflush(g_file);
  return -1;
}

int LogAddLine(const char* text) {
  std::lock_guard lock(g_mutex);
  if (text == nullptr) return -1;
  LogAddString(text);
  const size_t length = std::strlen(text);
  if (length == 0 || text[length - 1] != '\n') LogAddString("\n");
  return -1;
}

int LogAddFormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length < 0) return -1;
  // The log serves failure paths, memory running out among them: a line too long for the stack
  // buffer that finds no memory either is cut rather than lost.
  char onStack[1024];
  std::unique_ptr<char[]> onHeap;
  char* text = onStack;
  size_t room = sizeof onStack;
  if (size_t(length) + 2 > room) {
    onHeap.reset(new (std::nothrow) char[size_t(length) + 2]);
    if (onHeap) {
      text = onHeap.get();
      room = size_t(length) + 2;
    }
  }
  const size_t used = std::min(size_t(length), room - 2);
  std::vsnprintf(text, used + 1, format, args);
  text[used] = '\n';
  text[used + 1] = '\0';
  return LogAddString(text);
}

int LogAddFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogAddFormatV(format, args);
  va_end(args);
  return -1;
}

void LogIndentIn() {
  std::lock_guard lock(g_mutex);
  ++g_indent;
}

void LogIndentOut() {
  std::lock_guard lock(g_mutex);
  if (g_indent > 0) --g_indent;
}

const char* LogFilePath() {
  return g_path.c_str();
}

}  // namespace zq::base
