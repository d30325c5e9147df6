// Scaffolding of the font and text benchmarks: the first kanji of Shift-JIS as three-byte
// characters and as Unicode, the library started headless for one run, and IPAGothic opened
// with FreeType directly at the cell height the GDI stand-in asks for.
#pragma once

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include FT_FREETYPE_H

#include "graphics/ddraw/display.h"
#include "graphics/library_init.h"

namespace zq::bench {

// The first `count` two-byte Shift-JIS codes from 0x889F (kanji), as three-byte characters and
// as Unicode characters.
struct Kanji {
  std::vector<uint8_t> chars;
  std::vector<uint32_t> unicode;
  explicit Kanji(int count) {
    iconv_t cd = iconv_open("UTF-32LE", "CP932");
    for (uint32_t code = 0x889F; int(unicode.size()) < count; ++code) {
      const uint8_t lead = uint8_t(code >> 8), trail = uint8_t(code);
      if (trail < 0x40 || trail == 0x7F || trail > 0xFC) continue;
      char in[2] = {char(lead), char(trail)};
      uint32_t out = 0;
      char *inPtr = in, *outPtr = reinterpret_cast<char*>(&out);
      size_t inLeft = 2, outLeft = 4;
      if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || outLeft != 0) continue;
      chars.insert(chars.end(), {lead, trail, 0});
      unicode.push_back(out);
    }
    iconv_close(cd);
  }
  // The characters as a zero-terminated Shift-JIS string.
  std::string String() const {
    std::string s;
    for (size_t i = 0; i < chars.size(); i += 3) s += {char(chars[i]), char(chars[i + 1])};
    return s;
  }
};

// The library started headless in a temporary directory for one benchmark run, at the colour
// depth asked for.
class Started {
 public:
  explicit Started(int bits = 16) {
    dir_ = std::filesystem::temp_directory_path() / ("zqlib-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    if (chdir(dir_.c_str()) != 0) return;
    gfx::ChangeWindowMode(1);
    ok_ = gfx::LibraryInit() == 0 &&
          (bits == 16 || gfx::RunScreenModeChange(640, 480, bits, 60) == 0);
  }
  ~Started() {
    gfx::LibraryEnd();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;
  bool ok() const { return ok_; }

 private:
  std::filesystem::path dir_;
  bool ok_ = false;
};

// IPAGothic through fontconfig and FreeType at a cell height of 16 pixels; face() is null when
// the font is not installed.
class IpaGothic {
 public:
  IpaGothic() {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("IPAGothic"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcChar8* file = nullptr;
    FT_Init_FreeType(&library_);
    if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
        FT_New_Face(library_, reinterpret_cast<const char*>(file), 0, &face_) == 0) {
      FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_CELL, 0, 16 << 6, 0, 0};
      FT_Request_Size(face_, &request);
    }
    if (match != nullptr) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
  }
  ~IpaGothic() {
    if (face_ != nullptr) FT_Done_Face(face_);
    FT_Done_FreeType(library_);
  }
  IpaGothic(const IpaGothic&) = delete;
  IpaGothic& operator=(const IpaGothic&) = delete;
  FT_Face face() const { return face_; }

 private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
};

}  // namespace zq::bench
