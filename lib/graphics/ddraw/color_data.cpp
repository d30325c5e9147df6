#include "graphics/ddraw/color_data.h"

#include <algorithm>
#include <bit>

namespace zq::gfx {
namespace {

// Shift = lowest set bit; width = the run of set bits starting there. A mask with holes
// therefore describes only its lowest run, which is what the packers can address.
void DeriveChannel(uint32_t mask, uint8_t* width, uint8_t* shift) {
  if (mask == 0) {
    *width = 0;
    *shift = 0;
    return;
  }
  const int low = std::countr_zero(mask);
  *shift = uint8_t(low);
  *width = uint8_t(std::countr_one(mask >> low));
}

// All bits of a pixel of the given depth; depths beyond 32 bits are capped.
constexpr uint32_t DepthMask(unsigned depth) {
  return depth >= 32 ? 0xFFFFFFFFu : (uint32_t(1) << depth) - 1;
}

// One 0..255 component placed into a channel: narrowed by dropping low bits, widened
// by shifting up, so no shift count is ever negative. Hand-filled descriptors with
// impossible widths or shifts cannot shift past the word.
uint32_t PlaceChannel(int value, unsigned width, unsigned shift) {
  if (width == 0 || shift >= 32) return 0;
  uint64_t v = uint32_t(std::clamp(value, 0, 255));
  if (width < 8)
    v >>= 8 - width;
  else
    v <<= std::min(width, 32u) - 8;
  return uint32_t(v << shift);
}

}  // namespace

int ColorDataFromPixelFormat(const platform::PixelFormat* format, ColorData* data) {
  if (format == nullptr || data == nullptr) return -1;
  return SetupColorDataFromMasks(data, int(format->rgbBitCount), format->redMask, format->greenMask,
                                 format->blueMask, format->alphaMask);
}

int CompleteColorData(ColorData* data) {
  if (data == nullptr) return -1;
  const unsigned widths = unsigned(data->RW) + data->GW + data->BW + data->AW;
  if (widths == data->ColorBitDepth) {
    data->NM = 0;
  } else {
    const uint32_t used = data->RM | data->GM | data->BM | data->AM;
    data->NM = DepthMask(data->ColorBitDepth) & ~used;
  }
  return 0;
}

int IsSameColorData(const ColorData* a, const ColorData* b) {
  if (a == nullptr || b == nullptr) return 0;
  return a->ColorBitDepth == b->ColorBitDepth && a->RM == b->RM && a->GM == b->GM &&
                 a->BM == b->BM && a->AM == b->AM
             ? 1
             : 0;
}

uint32_t PackColorByData(const ColorData* data, int red, int green, int blue, int alpha) {
  if (data == nullptr) return 0;
  uint32_t pixel = PlaceChannel(red, data->RW, data->RL) + PlaceChannel(green, data->GW, data->GL) +
                   PlaceChannel(blue, data->BW, data->BL) + data->NM;
  if (data->AW != 0) pixel += PlaceChannel(alpha, data->AW, data->AL);
  return pixel;
}

int SetupColorDataFromMasks(ColorData* data, int bitDepth, uint32_t redMask, uint32_t greenMask,
                            uint32_t blueMask, uint32_t alphaMask) {
  if (data == nullptr || bitDepth < 0 || bitDepth > 32) return -1;
  data->ColorBitDepth = uint16_t(bitDepth);
  data->PixelByte = uint16_t(bitDepth / 8);
  data->RM = redMask;
  data->GM = greenMask;
  data->BM = blueMask;
  data->AM = alphaMask;
  DeriveChannel(redMask, &data->RW, &data->RL);
  DeriveChannel(greenMask, &data->GW, &data->GL);
  DeriveChannel(blueMask, &data->BW, &data->BL);
  DeriveChannel(alphaMask, &data->AW, &data->AL);
  return CompleteColorData(data);
}

namespace {

// Both 8-bit presets and the 24-bit one describe 0x00RRGGBB colours without alpha.
void SetRgb888Channels(ColorData* data, uint16_t bitDepth, uint16_t pixelByte, uint32_t nm) {
  data->ColorBitDepth = bitDepth;
  data->PixelByte = pixelByte;
  data->RW = data->GW = data->BW = 8;
  data->AW = 0;
  data->RL = 16;
  data->GL = 8;
  data->BL = 0;
  data->AL = 0;
  data->RM = 0xFF0000;
  data->GM = 0xFF00;
  data->BM = 0xFF;
  data->AM = 0;
  data->NM = nm;
}

}  // namespace

int SetupColorDataPal8(ColorData* data) {
  if (data == nullptr) return -1;
  // The palette entries are 0x00RRGGBB; the channel fields describe them, not the index.
  SetRgb888Channels(data, 8, 1, 0xFF000000);
  return 0;
}

int SetupColorDataByte8(ColorData* data) {
  if (SetupColorDataPal8(data) != 0) return -1;
  for (uint32_t i = 0; i < 256; ++i) data->Palette[i] = i << 16 | i << 8 | i;
  return 0;
}

int SetupColorDataRGB24(ColorData* data) {
  if (data == nullptr) return -1;
  SetRgb888Channels(data, 24, 3, 0);
  return 0;
}

}  // namespace zq::gfx
