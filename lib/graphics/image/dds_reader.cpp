// DirectDraw surface (DDS) reader: the top-level image of an RGB format, or of a format named by
// a numeric Direct3D format code.
#include <bit>
#include <cstring>

#include "graphics/image/image_readers.h"
#include "graphics/image/reader_io.h"

namespace zq::gfx {
namespace {

using reader_io::Le32;

constexpr uint32_t kHeaderPitchValid = 0x8;
constexpr uint32_t kPixelFourCC = 0x4;
constexpr uint32_t kPixelRgb = 0x40;
constexpr int64_t kDataOffset = 128;

struct DdsFormat {
  uint32_t code;
  int bits;
  uint32_t red, green, blue, alpha;
};

constexpr DdsFormat kDdsFormats[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},               // R8G8B8
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},      // A8R8G8B8
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},               // X8R8G8B8
    {23, 16, 0xF800, 0x07E0, 0x001F, 0},               // R5G6B5
    {24, 16, 0x7C00, 0x03E0, 0x001F, 0},               // X1R5G5B5
    {25, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},          // A1R5G5B5
    {26, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},          // A4R4G4B4
    {27, 8, 0xE0, 0x1C, 0x03, 0},                      // R3G3B2
    {29, 16, 0xE0, 0x1C, 0x03, 0xFF00},                // A8R3G3B2
    {30, 16, 0x0F00, 0x00F0, 0x000F, 0},               // X4R4G4B4
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},  // A2B10G10R10
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},      // A8B8G8R8
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},               // X8B8G8R8
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},  // A2R10G10B10
};

// A channel of pixel value v widened to 0..255 over its full range (c x 255 / (2^width - 1)), the
// way the pixel conversion widens channels; wider channels keep their top 8 bits.
uint32_t WidenChannel(uint32_t v, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int width = std::countr_one(mask >> shift);
  if (width >= 8) return (v >> (shift + width - 8)) & 0xFF;
  const uint32_t range = (1u << width) - 1;
  return ((v >> shift) & range) * 255 / range;
}

// An 8-bit format with channel masks becomes a palettised image: entry i holds the colour that
// pixel value i stands for.
void SetupMaskedPalette8(ColorData* format, uint32_t red, uint32_t green, uint32_t blue) {
  SetupColorDataPal8(format);
  for (uint32_t i = 0; i < 256; ++i)
    format->Palette[i] =
        WidenChannel(i, red) << 16 | WidenChannel(i, green) << 8 | WidenChannel(i, blue);
}

}  // namespace

int ReadDdsImage(base::DataStream* stream, GraphImage* image) {
  const int64_t fileSize = reader_io::StreamSize(stream);
  uint8_t signature[4];
  uint8_t h[124];
  if (reader_io::ReadBytes(stream, signature, sizeof signature) == 0) return -1;
  if (std::memcmp(signature, "DDS", 3) != 0) return -1;
  if (reader_io::ReadBytes(stream, h, sizeof h) == 0) return -1;
  const uint32_t flags = Le32(h + 4);
  const int64_t height = Le32(h + 8);
  const int64_t width = Le32(h + 12);
  const uint32_t pixelFlags = Le32(h + 76);

  DdsFormat format{};
  if (pixelFlags == kPixelFourCC) {
    const uint32_t code = Le32(h + 80);
    const DdsFormat* found = nullptr;
    for (const DdsFormat& f : kDdsFormats)
      if (f.code == code) found = &f;
    if (found == nullptr) return -1;
    format = *found;
  } else if (pixelFlags & kPixelRgb) {
    format = {0, int(Le32(h + 84)), Le32(h + 88), Le32(h + 92), Le32(h + 96), Le32(h + 100)};
  } else {
    return -1;
  }
  if (format.bits != 8 && format.bits != 16 && format.bits != 24 && format.bits != 32) return -1;
  if (width == 0 || height == 0) return -1;
  const int64_t pixelBytes = format.bits / 8;
  const int64_t pitch = (flags & kHeaderPitchValid) ? int64_t(Le32(h + 16)) : pixelBytes * width;
  if (pitch < pixelBytes * width) return -1;
  if (!reader_io::FitsImageLimits(width, height, pixelBytes * width)) return -1;
  if (!reader_io::FitsRowPadding(width, height, pixelBytes * width, pitch)) return -1;
  if (!reader_io::FitsImageLimits(width, height, pitch)) return -1;
  if (!reader_io::HoldsHalfOf(fileSize - kDataOffset, pitch * height)) return -1;

  reader_io::Block pixels = reader_io::AllocBlock(pitch * height, false);
  if (!pixels) return -1;
  reader_io::SeekTo(stream, kDataOffset);
  if (reader_io::ReadBytes(stream, pixels.get(), size_t(pitch * height)) == 0) return -1;

  GraphImage out{};
  if (format.bits == 8)
    SetupMaskedPalette8(&out.Format, format.red, format.green, format.blue);
  else
    SetupColorDataFromMasks(&out.Format, format.bits, format.red, format.green, format.blue,
                            format.alpha);
  reader_io::SetImagePixels(&out, width, height, pitch, pixels.release());
  *image = out;
  return 0;
}

}  // namespace zq::gfx
