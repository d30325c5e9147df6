// Compares two PNG files pixel for pixel (as 8-bit RGBA). Exit 0 when they are the same size and
// every pixel matches; otherwise prints the difference and exits 1.
#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool ReadPng(const char* path, png_image& image, std::vector<png_byte>& rgba) {
  image = png_image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path)) {
    image.format = PNG_FORMAT_RGBA;
    rgba.assign(PNG_IMAGE_SIZE(image), 0);
    if (png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return true;
  }
  std::fprintf(stderr, "%s: %s\n", path, image.message);
  png_image_free(&image);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s EXPECTED.png ACTUAL.png\n", argv[0]);
    return 2;
  }
  png_image expected, actual;
  std::vector<png_byte> e, a;
  if (!ReadPng(argv[1], expected, e) || !ReadPng(argv[2], actual, a)) return 1;
  if (expected.width != actual.width || expected.height != actual.height) {
    std::fprintf(stderr, "size %ux%u, expected %ux%u\n", actual.width, actual.height,
                 expected.width, expected.height);
    return 1;
  }
  size_t differing = 0;
  for (size_t i = 0; i < e.size(); i += 4) {
    if (std::memcmp(&e[i], &a[i], 4) == 0) continue;
    if (differing++ < 10)
      std::fprintf(stderr, "pixel (%zu, %zu): %02x%02x%02x%02x, expected %02x%02x%02x%02x\n",
                   i / 4 % expected.width, i / 4 / expected.width, a[i], a[i + 1], a[i + 2],
                   a[i + 3], e[i], e[i + 1], e[i + 2], e[i + 3]);
  }
  if (differing != 0) {
    std::fprintf(stderr, "%zu of %u pixels differ\n", differing, expected.width * expected.height);
    return 1;
  }
  std::printf("%ux%u: every pixel matches\n", actual.width, actual.height);
  return 0;
}
