#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/file_access.h"
#include "base/memory.h"
#include "base/stream.h"
#include "base/system.h"

namespace zq::base {
namespace {

struct MemoryStream {
  explicit MemoryStream(const std::string& bytes) : data(bytes) {
    stream.functions = *GetMemoryStreamFunctions();
    stream.handle = OpenMemoryStream(data.data(), data.size());
  }
  ~MemoryStream() { stream.functions.Close(stream.handle); }
  size_t Read(void* buffer, size_t item, size_t count) {
    return stream.functions.Read(buffer, item, count, stream.handle);
  }
  std::string data;
  DataStream stream{};
};

TEST(MemoryStream, ReadsWholeItemsAndZeroFillsPartialOnes) {
  const size_t blocks = TrackedBlockCount();
  {
    MemoryStream s("ABCDEFGHIJ");
    EXPECT_EQ(TrackedBlockCount(), blocks + 1);
    char buf[16];
    EXPECT_EQ(s.Read(buf, 4, 2), 2u);
    EXPECT_EQ(std::string(buf, 8), "ABCDEFGH");
    EXPECT_EQ(s.stream.functions.Tell(s.stream.handle), 8);
    std::memset(buf, 'x', sizeof buf);
    // Two bytes left of twelve asked: one partial item, the rest zeroed.
    EXPECT_EQ(s.Read(buf, 12, 1), 1u);
    EXPECT_EQ(std::string(buf, 12), std::string("IJ") + std::string(10, '\0'));
    EXPECT_EQ(buf[12], 'x');  // nothing written past the request
    EXPECT_EQ(s.stream.functions.Eof(s.stream.handle), 1);
    EXPECT_EQ(s.Read(buf, 1, 1), 0u);  // end of data: nothing delivered
  }
  EXPECT_EQ(TrackedBlockCount(), blocks);  // Close freed the state
  MemoryStream t("0123456");
  char buf[9];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(t.Read(buf, 3, 3), 2u);  // 7 of 9 bytes: two whole items
  EXPECT_EQ(std::string(buf, 9), std::string("0123456") + std::string(2, '\0'));
}

TEST(MemoryStream, SeeksClampAndOverflowingOrEmptyReadsDeliverNothing) {
  MemoryStream s("abcdef");
  auto& f = s.stream.functions;
  void* h = s.stream.handle;
  f.Seek(h, 100, 0);
  EXPECT_EQ(f.Tell(h), 6);
  f.Seek(h, -100, 1);
  EXPECT_EQ(f.Tell(h), 0);
  f.Seek(h, -2, 2);
  EXPECT_EQ(f.Tell(h), 4);
  f.Seek(h, INT64_MAX, 1);  // no overflow
  EXPECT_EQ(f.Tell(h), 6);
  f.Seek(h, INT64_MIN, 2);
  EXPECT_EQ(f.Tell(h), 0);
  char c = 0;
  EXPECT_EQ(s.Read(&c, 1, 1), 1u);
  EXPECT_EQ(c, 'a');
  EXPECT_EQ(s.Read(&c, SIZE_MAX, 2), 0u);  // item size x count overflows: refused
  EXPECT_EQ(f.Tell(h), 1);
  MemoryStream empty("");
  EXPECT_EQ(empty.Read(&c, 1, 1), 0u);
  EXPECT_EQ(c, 'a');
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char saved[4096];
    ASSERT_EQ(FileAccessGetDir(saved, sizeof saved), 0);
    saved_ = saved;
    dir_ = std::filesystem::temp_directory_path() / ("zqfa-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_ / "sub");
    std::ofstream(dir_ / "sub" / "data.bin", std::ios::binary) << "0123456789";
  }
  void TearDown() override {
    FileAccessSetDir(saved_.c_str());
    std::filesystem::remove_all(dir_);
  }
  std::string saved_;
  std::filesystem::path dir_;
};

TEST_F(TempDir, FileAccessAcceptsBothSeparatorsAndRelativePaths) {
  ASSERT_EQ(FileAccessSetDir(dir_.c_str()), 0);
  char dir[4096];
  ASSERT_EQ(FileAccessGetDir(dir, sizeof dir), 0);
  EXPECT_EQ(std::string(dir), dir_.string());
  FileValue f = FileAccessOpen("sub\\data.bin", 0, 1);
  ASSERT_NE(f, 0u);
  char buf[4] = {};
  EXPECT_EQ(FileAccessRead(buf, 1, 4, f), 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(FileAccessSeek(f, -3, 2), 0);
  EXPECT_EQ(FileAccessTell(f), 7);
  EXPECT_EQ(FileAccessRead(buf, 1, 4, f), 3u);
  EXPECT_EQ(FileAccessEof(f), 1);
  EXPECT_EQ(FileAccessClose(f), 0);
  EXPECT_EQ(FileAccessOpen("sub/missing.bin", 0, 1), 0u);
  EXPECT_EQ(FileAccessOpen("sub", 0, 1), 0u);  // a directory is not a file
  EXPECT_EQ(FileAccessSetDir("sub/data.bin"), -1);
  char tiny[4];
  EXPECT_EQ(FileAccessGetDir(tiny, sizeof tiny), -1);
  EXPECT_EQ(tiny[0], '\0');
}

TEST_F(TempDir, FileStreamReadsThroughFileAccess) {
  ASSERT_EQ(FileAccessSetDir(dir_.c_str()), 0);
  DataStream s{*GetFileStreamFunctions(),
               reinterpret_cast<void*>(FileAccessOpen("sub/data.bin", 0, 1))};
  ASSERT_NE(s.handle, nullptr);
  char buf[3];
  s.functions.Seek(s.handle, 5, 0);
  EXPECT_EQ(s.functions.Read(buf, 3, 1, s.handle), 1u);
  EXPECT_EQ(std::string(buf, 3), "567");
  EXPECT_EQ(s.functions.Tell(s.handle), 8);
  s.functions.Close(s.handle);
}

TEST(TempFile, EachCallCreatesANewExclusiveFile) {
  char a[260], b[260];
  intptr_t fa = CreateTempFile(a);
  intptr_t fb = CreateTempFile(b);
  ASSERT_GT(fa, 0);
  ASSERT_GT(fb, 0);
  EXPECT_STRNE(a, b);
  EXPECT_EQ(a[0], '/');
  EXPECT_EQ(std::string(std::filesystem::path(a).filename()).rfind("tmp", 0), 0u);
  struct stat st {};
  ASSERT_EQ(stat(a, &st), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);  // private to the user
  EXPECT_EQ(write(int(fa), "hi", 2), 2);
  close(int(fa));
  close(int(fb));
  unlink(a);
  unlink(b);
  char tooSmall[4];
  EXPECT_EQ(CreateTempFile(tooSmall, sizeof tooSmall), 0);
}

}  // namespace
}  // namespace zq::base
