// File access through a table of nine operations. Plain files only; the archive hook stays empty.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zq::base {

using FileValue = uintptr_t;  // 0 means failure

struct FileAccessFunctions {
  FileValue (*Open)(const char* path, int readAheadThread, int flag);
  int (*Close)(FileValue file);
  int64_t (*Tell)(FileValue file);
  int (*Seek)(FileValue file, int64_t offset, int origin);
  size_t (*Read)(void* buffer, size_t itemSize, size_t count, FileValue file);
  int (*Eof)(FileValue file);
  int (*Idle)(FileValue file);
  int (*SetDir)(const char* path);
  int (*GetDir)(char* buffer, size_t bufferSize);
};

FileValue FileAccessOpen(const char* path, int readAheadThread, int flag);
int FileAccessClose(FileValue file);
size_t FileAccessRead(void* buffer, size_t itemSize, size_t count, FileValue file);
int FileAccessSeek(FileValue file, int64_t offset, int origin);
int64_t FileAccessTell(FileValue file);
int FileAccessEof(FileValue file);
int FileAccessGetDir(char* buffer, size_t bufferSize);
int FileAccessSetDir(const char* path);

}  // namespace zq::base
