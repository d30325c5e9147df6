#include "base/file_access.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace zq::base {
namespace {

std::mutex g_dirMutex;
std::string g_currentDir;  // empty until first use: then the process's working directory

std::string CurrentDirLocked() {
  if (g_currentDir.empty()) {
    char buffer[4096];
    g_currentDir = getcwd(buffer, sizeof buffer) ? buffer : ".";
  }
  return g_currentDir;
}

// Accepts '\' and '/' as separators; relative paths start at the file-access directory.
std::string ResolvePath(const char* path) {
  std::string p(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  if (!p.empty() && p[0] == '/') return p;
  std::lock_guard lock(g_dirMutex);
  std::string dir = CurrentDirLocked();
  if (dir.back() != '/') dir += '/';
  return dir + p;
}

FILE* AsFile(FileValue file) {
  return reinterpret_cast<FILE*>(file);
}

FileValue PlainOpen(const char* path, int /*readAheadThread*/, int /*flag*/) {
  if (path == nullptr || *path == '\0') return 0;
  const std::string resolved = ResolvePath(path);
  struct stat st {};
  if (stat(resolved.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return reinterpret_cast<FileValue>(std::fopen(resolved.c_str(), "rb"));
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
  if (path == nullptr) return -1;
  const std::string resolved = ResolvePath(path);
  struct stat st {};
  if (stat(resolved.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
  std::lock_guard lock(g_dirMutex);
  g_currentDir = resolved;
  while (g_currentDir.size() > 1 && g_currentDir.back() == '/') g_currentDir.pop_back();
  return 0;
}

int PlainGetDir(char* buffer, size_t bufferSize) {
  if (buffer == nullptr || bufferSize == 0) return -1;
  std::lock_guard lock(g_dirMutex);
  const std::string dir = CurrentDirLocked();
  if (dir.size() + 1 > bufferSize) {
    buffer[0] = '\0';
    return -1;
  }
  std::memcpy(buffer, dir.c_str(), dir.size() + 1);
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
