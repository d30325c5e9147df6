// libFuzzer target: one image reader over arbitrary bytes through a memory stream.
// Built once per reader with ZQ_FUZZ_READER naming it (see fuzz/CMakeLists.txt).
#include <cstddef>
#include <cstdint>

#include "base/memory.h"
#include "base/stream.h"
#include "graphics/image/graph_image.h"
#include "graphics/image/image_readers.h"
#include "graphics/image/jpeg_reader.h"
#include "graphics/image/png_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zq;
  base::DataStream stream{*base::GetMemoryStreamFunctions(), base::OpenMemoryStream(data, size)};
  if (stream.handle == nullptr) return 0;
  gfx::GraphImage image{};
  if (gfx::ZQ_FUZZ_READER(&stream, &image) == 0) {
    // Touch the first byte of every row and the block's last, so a block shorter than its pitch
    // and height shows; touching every byte of a legitimately huge image (a tiny run-length file
    // may declare one) would only count against the memory limit.
    volatile uint8_t sink = 0;
    const auto* pixels = static_cast<const uint8_t*>(image.Pixels);
    const size_t pitch = size_t(image.Pitch);
    for (size_t y = 0; y < size_t(image.Height); ++y) sink = sink ^ pixels[y * pitch];
    sink = sink ^ pixels[pitch * size_t(image.Height) - 1];
    gfx::ReleaseImageBuffers(&image);
  }
  stream.functions.Close(stream.handle);
  if (base::TrackedBlockCount() != 0) __builtin_trap();  // a leaked or stray block
  return 0;
}
