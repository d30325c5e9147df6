// Opens the library log in a fresh temporary directory and reads it back.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/log.h"

namespace zq::test {

class ScopedLog {
 public:
  ScopedLog() {
    dir_ = std::filesystem::temp_directory_path() /
           ("zqlog-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::create_directories(dir_);
    base::LogOpen(dir_.c_str());
  }
  ~ScopedLog() {
    base::LogClose();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Contents() const {
    std::ifstream in(dir_ / "AppLog.txt", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  const std::filesystem::path& Dir() const { return dir_; }

 private:
  static inline int counter_ = 0;
  std::filesystem::path dir_;
};

}  // namespace zq::test
