// Shared by the decoding-pipeline tests: a private temporary directory and files written in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/memory.h"

namespace zq::test {

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zqpipeXXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool Ok() const { return !path_.empty(); }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }

  // Writes a file (creating its directories) and returns its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string path = Path(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
    return path;
  }

 private:
  std::string path_;
};

// Fails the test when the scope ends with more or fewer tracked blocks than it began with.
class NoLeakScope {
 public:
  NoLeakScope() : blocks_(base::TrackedBlockCount()) {}
  ~NoLeakScope() { EXPECT_EQ(base::TrackedBlockCount(), blocks_) << "tracked blocks leaked"; }
  NoLeakScope(const NoLeakScope&) = delete;
  NoLeakScope& operator=(const NoLeakScope&) = delete;

 private:
  size_t blocks_;
};

}  // namespace zq::test
