// The decoding pipeline: offers a file or a block of memory to the image readers in a fixed
// order, optionally mirrors the result, loads an image's alpha companion, and turns decoded
// images into device-independent-bitmap rows and platform bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/stream.h"
#include "graphics/ddraw/color_data.h"
#include "graphics/image/graph_image.h"
#include "graphics/image/image_readers.h"
#include "graphics/image/jpeg_reader.h"
#include "graphics/image/png_reader.h"
#include "platform/gdi/bitmap.h"

namespace zq::gfx {

// ---- Reader tables ---------------------------------------------------------------------------

// The built-in readers in the order they are tried, ended by a null entry.
inline constexpr ImageReader ImageReaderTable[] = {
    ReadBmpImage, LoadJpegImage, LoadPngImage, ReadBgraImage, ReadTgaImage, ReadDdsImage, nullptr,
};

// Further readers registered at run time, tried before the built-in ones.
inline constexpr int kUserImageReaderCapacity = 16;
struct UserImageReaderList {
  ImageReader readers[kUserImageReaderCapacity];
  int count;
};
extern UserImageReaderList UserImageReaderTable;

// Appends a reader to the user table: 0, or -1 for a null reader or a full table.
int AddUserImageReader(ImageReader reader);
// Empties the user table.
void ClearUserImageReaders();

// ---- Decoding --------------------------------------------------------------------------------

// Offers the stream to each user reader, then to each built-in reader, each time rewound to
// offset 0 and with the record cleared. 0 when a reader took the data, -1 when none did (the
// record is then empty).
int DecodeImageByReaders(base::DataStream* stream, GraphImage* image);

// Decodes a file (fromMemory 0: path) or a block of memory (fromMemory non-zero: data, size),
// mirrored left to right when asked. With bitmapMode 0 the image goes to *image; with bitmapMode
// non-zero *header receives a new tracked block holding a BITMAPINFO (header and 256 colour-table
// entries) and *rows the pixel rows (see ConvertImageFormat), both owned by the caller, and
// *image is not written. 0 on success, -1 on failure with nothing allocated and the source closed.
int DecodeImageSource(const char* path, const void* data, size_t size, int fromMemory,
                      int bitmapMode, int mirror, GraphImage* image, platform::BITMAPINFO** header,
                      void** rows);

// DecodeImageSource with the bitmap mode off.
int DecodeImageFile(const char* path, const void* data, size_t size, int fromMemory,
                    GraphImage* image, int mirror);

// Size of the buffer the alpha companion's name is built in, terminating zero included.
inline constexpr size_t kCompanionNameSize = 264;

// Writes the alpha companion's name of path into out: "_a" inserted before the last "." of the
// whole path (directories included), or appended when there is none. 0, or -1 when path is null
// or the name and its terminating zero do not fit into outSize bytes (out is then left empty
// when outSize allows).
int BuildAlphaCompanionName(const char* path, char* out, size_t outSize);

// Decodes the image, then its alpha companion: from memory (alphaFromMemory 1 with alphaData
// non-null) or from the companion file of path (alphaFromMemory 0). -1 the image was not
// decoded; 0 both were decoded; 1 the image alone (no companion looked for, none found or none
// decodable; *alphaImage is then left as it was). No companion file is looked for without a
// path, without an alpha record, or when its name would not fit kCompanionNameSize.
int LoadImageFile(const char* path, const void* data, size_t size, int fromMemory,
                  const void* alphaData, size_t alphaSize, int alphaFromMemory, GraphImage* image,
                  GraphImage* alphaImage, int mirror);

// ---- Device-independent bitmaps --------------------------------------------------------------

// Writes a top-down BITMAPINFOHEADER for the image into header (zeroed first; the colour table
// follows for 8-bit rows) and gives its pixel rows in *rows: 8-bit palettised images keep 8 bits
// (unless force24 is 1), everything else becomes 24-bit blue-green-red, rows padded to 4 bytes.
// 0: *rows is the image's own pixel block; 1: *rows is a new tracked block the caller frees;
// -1: out of memory, an empty image or a format that cannot be converted (*rows untouched).
int ConvertImageFormat(const GraphImage* image, platform::BITMAPINFO* header, void** rows,
                       int forceCopy, int force24);

// A new top-down DIB section holding the rows that header describes, mirrored left to right
// when asked. Its format: 24-bit without a target; with a target the target's depth (16 bits, or
// 32 bits from a non-24-bit source, with the target's masks as bit fields). A 32-bit target with
// a 24-bit source is changed to the 24-bit RGB preset and a 24-bit section is made. Null when the
// section cannot be made or the rows cannot be transferred.
platform::HBITMAP ConvertImageToDIB(const platform::BITMAPINFO* header, const void* rows,
                                    int mirror, ColorData* target);

}  // namespace zq::gfx
