// libFuzzer target: arbitrary byte strings, lengths, positions and clip rectangles drawn through
// the memory road of DrawStringByCache with the synthetic face into a small image of either
// pixel size, at either screen depth, with fonts of every type whose caches hold 20 glyphs (so
// the walk also renders and replaces glyphs).
//
// Input: byte 0 = type (bits 0-1), transparent (bit 2), vertical (bit 3), four-byte pixels
// (bit 4), size (bits 5-6), 32-bit screen (bit 7); then x, y, clip left, top, right, bottom and
// the length as little-endian 16-bit values, the colour and the edge colour as 16-bit values;
// the rest is the string.
#include <sanitizer/lsan_interface.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/memory.h"
#include "graphics/ddraw/display.h"
#include "graphics/font.h"
#include "graphics/library_init.h"
#include "graphics/text.h"
#include "platform/gdi/font.h"

namespace {

using namespace zq;

constexpr int kWidth = 48, kHeight = 32;
constexpr int kSizes[4] = {4, 12, 16, 30};

struct Session {
  int depth = 0;
  gfx::HandleValue fonts[4][4];  // [size][type]
  size_t blocks = 0;             // tracked blocks held between inputs
};

// The fonts' GDI objects are held only by the fonts' records, blocks of a megabyte, through which
// the leak checker of clang's runtime does not see them (it reports them while the fonts live;
// GCC's does not): they are made with the checker looking away. The tracked-block count still
// checks every input.
void MakeFonts(Session& s) {
  __lsan_disable();
  gfx::FontCacheCharCount = 20;
  for (int size = 0; size < 4; ++size)
    for (int type = 0; type < 4; ++type)
      s.fonts[size][type] = gfx::CreateFontToHandle(platform::kSyntheticFaceName, kSizes[size], 5,
                                                    type, -1, (type & 1) ? size + 1 : -1, -1, -1);
  gfx::FontCacheCharCount = 0;
  __lsan_enable();
  s.blocks = base::TrackedBlockCount();
}

Session& Start() {
  static Session session = [] {
    // The log is opened in a directory of its own, which goes once the log is open; the fuzzer
    // reads its corpus from the directory it was started in.
    const std::filesystem::path home = std::filesystem::current_path();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zqlib-text-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    if (chdir(dir.c_str()) != 0) std::abort();
    platform::gditest::UseSyntheticDefaultFace(true);
    gfx::ChangeWindowMode(1);
    __lsan_disable();  // the default font
    if (gfx::LibraryInit() != 0) std::abort();
    __lsan_enable();
    if (chdir(home.c_str()) != 0) std::abort();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    Session s;
    s.depth = 16;
    MakeFonts(s);
    return s;
  }();
  return session;
}

int16_t Word(const uint8_t* p) {
  return int16_t(uint16_t(p[0] | p[1] << 8));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Session& s = Start();
  constexpr size_t kHeader = 1 + 2 * 9;
  if (size < kHeader) return 0;
  const uint8_t flags = data[0];
  const int depth = flags & 0x80 ? 32 : 16;
  if (depth != s.depth) {
    // A screen-mode change makes the fonts again (the default font too).
    __lsan_disable();
    if (gfx::RunScreenModeChange(640, 480, depth, 60) != 0) std::abort();
    __lsan_enable();
    s.depth = depth;
    MakeFonts(s);
  }
  const gfx::HandleValue font = s.fonts[(flags >> 5) & 3][flags & 3];
  const int bytes = flags & 0x10 ? 4 : 2;
  const int32_t x = Word(data + 1), y = Word(data + 3);
  const platform::RECT clip{Word(data + 5), Word(data + 7), Word(data + 9), Word(data + 11)};
  const int32_t length = Word(data + 13);
  const uint32_t color = uint16_t(Word(data + 15)) * 0x10001u & 0xFFFFFF;
  const uint32_t edge = uint16_t(Word(data + 17)) * 0x10001u & 0xFFFFFF;
  const std::string text(reinterpret_cast<const char*>(data + kHeader), size - kHeader);

  // The image's block is exactly its rows, so a write past them shows.
  std::vector<uint8_t> pixels(size_t(kWidth * bytes + 4) * kHeight);
  gfx::MEMIMG image{};
  image.SetupMark = gfx::kMemImgSetupMark;
  image.Width = kWidth;
  image.Height = kHeight;
  image.Pitch = kWidth * bytes + 4;
  image.PitchShift = -1;
  image.Format = gfx::GetMemImgColorData(bytes == 2 ? 0 : 1, 0, 0);
  image.ColorType = bytes == 2 ? 0 : 1;
  image.Pixels = pixels.data();
  int32_t extent[2];
  gfx::DrawStringByCache(1, x, y, 0, 1.0, 1.0, text.c_str(), color, &image, &clip, (flags >> 2) & 1,
                         font, edge, length, (flags >> 3) & 1, extent);
  gfx::MeasureStringWidth(text.c_str(), length, font, (flags >> 3) & 1);
  if (base::TrackedBlockCount() != s.blocks) __builtin_trap();  // a leaked or stray block
  return 0;
}
