#include "base/file_access.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace zq::base {
namespace {

// Paths live in fixed buffers: opening a file needs no memory of its own, so a file layer
// that memory ran out under fails the one call, with nothing thrown.
constexpr size_t kPathBytes = 4096;
using PathBuffer = char[kPathBytes];

std::mutex g_dirMutex;
PathBuffer g_currentDir = "";  // empty until first use: then the process's working directory

const char* CurrentDirLocked() {
  if (g_currentDir[0] == '\0' && getcwd(g_currentDir, sizeof g_currentDir) == nullptr)
    std::strcpy(g_currentDir, ".");
  return g_currentDir;
}

// Accepts '\' and '/' as separators; relative paths start at the file-access directory. False
// when the result is longer than a path may be.
bool ResolvePath(const char* path, PathBuffer& out) {
  size_t n = 0;
  if (path[0] != '/' && path[0] != '\\') {
    std::lock_guard lock(g_dirMutex);
    const char* dir = CurrentDirLocked();
    n = std::strlen(dir);
    std::memcpy(out, dir, n);
    if (n == 0 || out[n - 1] != '/') out[n++] = '/';
  }
  const size_t length = std::strlen(path);
  if (length >= kPathBytes - n) return false;
  for (size_t i = 0; i <= length; ++i) out[n + i] = path[i] == '\\' ? '/' : path[i];
  return true;
}

FILE* AsFile(FileValue file) {
  return reinterpret_cast<FILE*>(file);
}

FileValue PlainOpen(const char* path, int /*readAheadThread*/, int /*flag*/) {
  PathBuffer resolved;
  if (path == nullptr || *path == '\0' || !ResolvePath(path, resolved)) return 0;
  struct stat st {};
  if (stat(resolved, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return reinterpret_cast<FileValue>(std::fopen(resolved, "rb"));
}

int PlainClose(FileValue file) {
  return file ? std::fclose(AsFile(file)) : -1;
}

int64_t PlainTell(FileValue file) {
  return file ? int64_t(ftello(AsFile(file))) : -1;
}

int PlainSeek(FileValue file, int64_t offset, int origin) {
  if (!file) return -1;
  const int whence = origin == 2 ? SEEK_END : origin == 1 ? SEEK_CUR : SEEK_SET;
  return fseeko(AsFile(file), off_t(offset), whence) == 0 ? 0 : -1;
}

size_t PlainRead(void* buffer, size_t itemSize, size_t count, FileValue file) {
  if (!file || itemSize == 0) return 0;
  return std::fread(buffer, itemSize, count, AsFile(file));
}

int PlainEof(FileValue file) {
  return file ? (std::feof(AsFile(file)) ? 1 : 0) : 1;
}

int PlainIdle(FileValue) {
  return 0;
}

int PlainSetDir(const char* path) {
  PathBuffer resolved;
  if (path == nullptr || !ResolvePath(path, resolved)) return -1;
  struct stat st {};
  if (stat(resolved, &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
  size_t n = std::strlen(resolved);
  while (n > 1 && resolved[n - 1] == '/') resolved[--n] = '\0';
  std::lock_guard lock(g_dirMutex);
  std::memcpy(g_currentDir, resolved, n + 1);
  return 0;
}

int PlainGetDir(char* buffer, size_t bufferSize) {
  if (buffer == nullptr || bufferSize == 0) return -1;
  std::lock_guard lock(g_dirMutex);
  const char* dir = CurrentDirLocked();
  const size_t n = std::strlen(dir);
  if (n + 1 > bufferSize) {
    buffer[0] = '\0';
    return -1;
  }
  std::memcpy(buffer, dir, n + 1);
  return 0;
}

// No archive format is built: the table opens plain files only.
const FileAccessFunctions kPlainFiles = {PlainOpen, PlainClose, PlainTell,   PlainSeek,  PlainRead,
                                         PlainEof,  PlainIdle,  PlainSetDir, PlainGetDir};

}  // namespace

FileValue FileAccessOpen(const char* path, int readAheadThread, int flag) {
  return kPlainFiles.Open(path, readAheadThread, flag);
}
int FileAccessClose(FileValue file) {
  return kPlainFiles.Close(file);
}
size_t FileAccessRead(void* buffer, size_t itemSize, size_t count, FileValue file) {
  return kPlainFiles.Read(buffer, itemSize, count, file);
}
int FileAccessSeek(FileValue file, int64_t offset, int origin) {
  return kPlainFiles.Seek(file, offset, origin);
}
int64_t FileAccessTell(FileValue file) {
  return kPlainFiles.Tell(file);
}
int FileAccessEof(FileValue file) {
  return kPlainFiles.Eof(file);
}
int FileAccessGetDir(char* buffer, size_t bufferSize) {
  return kPlainFiles.GetDir(buffer, bufferSize);
}
int FileAccessSetDir(const char* path) {
  return kPlainFiles.SetDir(path);
}

}  // namespace zq::base
