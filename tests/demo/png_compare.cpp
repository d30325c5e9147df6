// Compares two PNG files pixel for pixel (as 8-bit RGBA). Exit 0 when they are the same size and
// every pixel matches; otherwise prints the difference and exits 1.
#include <png.h>

#include <cstdio>
#include <vector>

namespace {

struct Picture {
  unsigned width = 0;
  unsigned height = 0;
  std::vector<png_byte> rgba;
};

bool ReadPng(const char* path, Picture& p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path)) {
    std::fprintf(stderr, "%s: %s\n", path, image.message);
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  p.width = image.width;
  p.height = image.height;
  p.rgba.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, p.rgba.data(), 0, nullptr)) {
    std::fprintf(stderr, "%s: %s\n", path, image.message);
    png_image_free(&image);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s EXPECTED.png ACTUAL.png\n", argv[0]);
    return 2;
  }
  Picture expected, actual;
  if (!ReadPng(argv[1], expected) || !ReadPng(argv[2], actual)) return 1;
  if (expected.width != actual.width || expected.height != actual.height) {
    std::fprintf(stderr, "size %ux%u, expected %ux%u\n", actual.width, actual.height,
                 expected.width, expected.height);
    return 1;
  }
  size_t differing = 0;
  for (size_t i = 0; i < expected.rgba.size(); i += 4) {
    bool same = true;
    for (size_t c = 0; c < 4; ++c) same = same && expected.rgba[i + c] == actual.rgba[i + c];
    if (same) continue;
    if (differing++ < 10) {
      const size_t pixel = i / 4;
      std::fprintf(stderr, "pixel (%zu, %zu): %02x%02x%02x%02x, expected %02x%02x%02x%02x\n",
                   pixel % expected.width, pixel / expected.width, actual.rgba[i],
                   actual.rgba[i + 1], actual.rgba[i + 2], actual.rgba[i + 3], expected.rgba[i],
                   expected.rgba[i + 1], expected.rgba[i + 2], expected.rgba[i + 3]);
    }
  }
  if (differing != 0) {
    std::fprintf(stderr, "%zu of %u pixels differ\n", differing, expected.width * expected.height);
    return 1;
  }
  std::printf("%ux%u: every pixel matches\n", actual.width, actual.height);
  return 0;
}
