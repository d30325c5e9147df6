#include "graphics/ddraw/memimg.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "base/log.h"
#include "base/memory.h"
#include "platform/size_limits.h"

namespace zq::gfx {
namespace {

// Every image carries room for a full palette: 256 four-byte slots.
constexpr int64_t kPaletteBytes = 256 * 4;

// Bytes a pixel of the given layout occupies.
int PixelBytesOf(int colorType, int paletteFlag, int alphaFlag) {
  if (paletteFlag) return 1;
  switch (colorType) {
    case kMemImgRgb565:
      return alphaFlag ? 4 : 2;  // colour word, alpha byte, one spare byte
    case kMemImgXrgb8888:
      return 4;
    case kMemImgByte8:
      return 1;
    default:
      return 2;
  }
}

// The bits of a colour key that a pixel of the layout can hold (a 16-bit pixel with alpha
// is keyed on its colour word).
uint32_t KeyMaskOf(int colorType, bool palettised) {
  if (palettised || colorType == kMemImgByte8) return 0xFF;
  return colorType == kMemImgXrgb8888 ? 0xFFFFFFFFu : 0xFFFFu;
}

int PitchShiftOf(int32_t pitch) {
  if (pitch <= 0 || (pitch & (pitch - 1)) != 0) return -1;
  int shift = 0;
  while ((int32_t(1) << shift) != pitch) ++shift;
  return shift;
}

// Indices into the shared descriptor table.
enum DescriptorIndex {
  kRgb565,
  kRgb565Alpha,
  kXrgb8888,
  kArgb8888,
  kOneChannel8,
  kOneChannel16,
  kPalettised8,
  kDescriptorCount
};

const ColorData* Descriptors() {
  // Built once, on first use; never written afterwards.
  static const auto table = [] {
    struct Table {
      ColorData d[kDescriptorCount];
    } t{};
    SetupColorDataFromMasks(&t.d[kRgb565], 16, 0xF800, 0x07E0, 0x001F, 0);
    SetupColorDataFromMasks(&t.d[kRgb565Alpha], 32, 0xF800, 0x07E0, 0x001F, 0xFF0000);
    SetupColorDataFromMasks(&t.d[kXrgb8888], 32, 0xFF0000, 0xFF00, 0xFF, 0);
    SetupColorDataFromMasks(&t.d[kArgb8888], 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    // The one-channel types hold a single value that the converters fill from a source's
    // red with the colour channels zeroed, so the value lives in the alpha channel.
    SetupColorDataFromMasks(&t.d[kOneChannel8], 8, 0, 0, 0, 0xFF);
    SetupColorDataFromMasks(&t.d[kOneChannel16], 16, 0, 0, 0, 0xFFFF);
    SetupColorDataPal8(&t.d[kPalettised8]);
    return t;
  }();
  return table.d;
}

// An RGB pixel format record; a non-zero alpha mask marks the alpha channel.
constexpr platform::PixelFormat RgbFormat(uint32_t bits, uint32_t red, uint32_t green,
                                          uint32_t blue, uint32_t alpha) {
  return {sizeof(platform::PixelFormat),
          alpha != 0 ? platform::PF_RGB | platform::PF_ALPHAPIXELS : platform::PF_RGB,
          0,
          bits,
          red,
          green,
          blue,
          alpha};
}

constexpr platform::PixelFormat kFormatRgb565 = RgbFormat(16, 0xF800, 0x07E0, 0x001F, 0);
constexpr platform::PixelFormat kFormatRgb565Alpha =
    RgbFormat(32, 0xF800, 0x07E0, 0x001F, 0xFF0000);
constexpr platform::PixelFormat kFormatXrgb8888 = RgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0);
constexpr platform::PixelFormat kFormatArgb8888 = RgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);

}  // namespace

const ColorData* GetMemImgColorData(int colorType, int alphaFlag, int paletteFlag) {
  const ColorData* d = Descriptors();
  if (paletteFlag) return &d[kPalettised8];
  switch (colorType) {
    case kMemImgRgb565:
      return &d[alphaFlag ? kRgb565Alpha : kRgb565];
    case kMemImgXrgb8888:
      return &d[alphaFlag ? kArgb8888 : kXrgb8888];
    case kMemImgByte8:
      return &d[kOneChannel8];
    case kMemImgWord16:
      return &d[kOneChannel16];
    default:
      return nullptr;
  }
}

const platform::PixelFormat* SelectMemImgFormatTable(int colorType, int alphaFlag, int extra) {
  switch (colorType) {
    case kMemImgRgb565:
      return alphaFlag ? &kFormatRgb565Alpha : &kFormatRgb565;
    case kMemImgXrgb8888:
      return alphaFlag ? &kFormatArgb8888 : &kFormatXrgb8888;
    default:
      return nullptr;
  }
}

int InitMemImg(MEMIMG* image, int width, int height, int pitch, uint32_t transColor, int colorType,
               int paletteFlag, int alphaFlag, int runLength) {
  if (image == nullptr || image->SetupMark == kMemImgSetupMark) return -1;
  if (colorType < kMemImgRgb565 || colorType > kMemImgWord16) {
    return base::LogAddFormat("MEMIMG: unknown colour type %d", colorType);
  }
  if (width < 1 || height < 1 || width > platform::kMaxImageSide ||
      height > platform::kMaxImageSide) {
    return base::LogAddFormat("MEMIMG: size %d x %d refused (1 to 65535 pixels a side)", width,
                              height);
  }
  const bool palettised = paletteFlag != 0;
  // A palettised image never carries alpha; the one-channel types have no separate alpha.
  const bool alpha =
      !palettised && alphaFlag != 0 && (colorType == kMemImgRgb565 || colorType == kMemImgXrgb8888);
  const int pixelBytes = PixelBytesOf(colorType, palettised, alpha);
  const int64_t rowBytes = int64_t(width) * pixelBytes;
  if (pitch == -1) pitch = int(rowBytes);  // rowBytes <= 4 * 65535
  if (pitch < rowBytes) {
    return base::LogAddFormat("MEMIMG: pitch %d is shorter than a row of %lld bytes", pitch,
                              static_cast<long long>(rowBytes));
  }
  // Pixels first, palette slots behind them on a 16-byte boundary.
  const int64_t pixelBlock = int64_t(pitch) * height;
  const int64_t paletteOffset = (pixelBlock + 15) & ~int64_t(15);
  const int64_t blockBytes = paletteOffset + kPaletteBytes;
  const bool wantRunLength = runLength != 0 && colorType != kMemImgByte8;
  const int64_t runLengthBytes = wantRunLength ? (int64_t(width) + 5) * height : 0;
  if (blockBytes > platform::kMaxBlockBytes || runLengthBytes > platform::kMaxBlockBytes) {
    return base::LogAddFormat("MEMIMG: %d x %d image with pitch %d is too large", width, height,
                              pitch);
  }

  auto* block = static_cast<uint8_t*>(ZQ_CALLOC(size_t(blockBytes)));
  if (block == nullptr) {
    return base::LogAddFormat("MEMIMG: no memory for %lld bytes of pixels",
                              static_cast<long long>(blockBytes));
  }
  uint8_t* runLengthBuffer = nullptr;
  if (wantRunLength) {
    runLengthBuffer = static_cast<uint8_t*>(ZQ_ALLOC(size_t(runLengthBytes)));
    if (runLengthBuffer == nullptr) {
      base::TrackedFree(block);
      return base::LogAddFormat("MEMIMG: no memory for a %lld-byte run-length buffer",
                                static_cast<long long>(runLengthBytes));
    }
  }

  std::memset(image, 0, sizeof *image);
  image->SetupMark = kMemImgSetupMark;
  image->ViewFlag = 0;
  image->Width = width;
  image->Height = height;
  image->Pitch = pitch;
  image->PitchShift = PitchShiftOf(pitch);
  image->Format = GetMemImgColorData(colorType, alpha, palettised);
  // The key is compared with raw pixels: keep only the bits a pixel's colour has.
  image->TransColor = transColor & KeyMaskOf(colorType, palettised);
  image->ColorType = colorType;
  image->PaletteFlag = palettised ? 1 : 0;
  image->PaletteCount = 0;
  image->Palette = reinterpret_cast<uint32_t*>(block + paletteOffset);
  image->AlphaFlag = alpha ? 1 : 0;
  image->RunLengthFlag = 0;
  image->RunLength = runLengthBuffer;
  image->Pixels = block;
  return 0;
}

void TermMemImg(MEMIMG* image) {
  if (image == nullptr || image->SetupMark != kMemImgSetupMark) return;
  if (!image->ViewFlag) {
    // The palette slots live in the pixel block, so one free releases both.
    base::TrackedFree(image->Pixels);
    base::TrackedFree(image->RunLength);
  }
  std::memset(image, 0, sizeof *image);
}

int IsMemImgValid(const MEMIMG* image) {
  return image != nullptr && image->SetupMark == kMemImgSetupMark && image->Pixels != nullptr ? 1
                                                                                              : 0;
}

void MakeMemImgView(MEMIMG* view, const MEMIMG* image, int x, int y, int width, int height) {
  if (view == nullptr || image == nullptr) return;
  const MEMIMG src = *image;  // view and image may be the same record
  // Keep the view inside its source, so no drawing through it can leave the pixel block.
  const int32_t srcWidth = std::max(src.Width, 0);
  const int32_t srcHeight = std::max(src.Height, 0);
  x = std::clamp(x, 0, srcWidth);
  y = std::clamp(y, 0, srcHeight);
  width = std::clamp(width, 0, srcWidth - x);
  height = std::clamp(height, 0, srcHeight - y);
  const int pixelBytes = src.Format != nullptr
                             ? src.Format->PixelByte
                             : PixelBytesOf(src.ColorType, src.PaletteFlag, src.AlphaFlag);

  std::memset(view, 0, sizeof *view);
  view->SetupMark = kMemImgSetupMark;
  view->ViewFlag = 1;
  view->Width = width;
  view->Height = height;
  view->Pitch = src.Pitch;
  view->PitchShift = src.PitchShift;
  view->Format = src.Format;
  view->TransColor = src.TransColor;
  view->ColorType = src.ColorType;
  view->PaletteFlag = src.PaletteFlag;
  view->PaletteCount = src.PaletteCount;
  view->Palette = src.Palette;
  view->AlphaFlag = src.AlphaFlag;
  view->RunLengthFlag = 0;
  view->RunLength = nullptr;
  if (src.Pixels != nullptr) {
    view->Pixels = src.Pixels + ptrdiff_t(x) * pixelBytes + ptrdiff_t(y) * src.Pitch;
  }
}

int CreateMemImgOfType(MEMIMG* image, int width, int height) {
  if (image == nullptr) return -1;
  // Zeroing a set-up record would lose its pixels; release them first (a view owns none).
  TermMemImg(image);
  std::memset(image, 0, sizeof *image);
  return InitMemImg(image, width, height, -1, 0, kMemImgWord16, 0, 0, 0);
}

}  // namespace zq::gfx
