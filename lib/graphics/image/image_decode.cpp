#include "graphics/image/image_decode.h"

#include <cstring>

#include "base/file_access.h"
#include "base/memory.h"
#include "graphics/image/convert_pixel_rect.h"
#include "platform/size_limits.h"

namespace zq::gfx {

UserImageReaderList UserImageReaderTable = {};

int AddUserImageReader(ImageReader reader) {
  if (reader == nullptr || UserImageReaderTable.count < 0 ||
      UserImageReaderTable.count >= kUserImageReaderCapacity) {
    return -1;
  }
  UserImageReaderTable.readers[UserImageReaderTable.count++] = reader;
  return 0;
}

void ClearUserImageReaders() {
  UserImageReaderTable = {};
}

namespace {

// Rewinds the stream and gives it to one reader with an empty record, so no reader sees what
// an earlier one read, sought or wrote.
bool TryReader(ImageReader reader, base::DataStream* stream, GraphImage* image) {
  stream->functions.Seek(stream->handle, 0, 0);
  std::memset(image, 0, sizeof *image);
  if (reader(stream, image) == 0) return true;
  // A declining reader never owns a block; the record must not suggest otherwise.
  std::memset(image, 0, sizeof *image);
  return false;
}

// The open source of one decode; closes it exactly once, whichever way the decode ends.
class OpenSource {
 public:
  OpenSource(const char* path, const void* data, size_t size, bool fromMemory) {
    if (fromMemory) {
      if (data == nullptr) return;
      base::MemoryStreamState* state = base::OpenMemoryStream(data, size);
      if (state == nullptr) return;
      stream_ = {*base::GetMemoryStreamFunctions(), state};
    } else {
      if (path == nullptr) return;
      const base::FileValue file = base::FileAccessOpen(path, 0, 1);
      if (file == 0) return;
      stream_ = {*base::GetFileStreamFunctions(), reinterpret_cast<void*>(file)};
    }
    open_ = true;
  }
  ~OpenSource() { Close(); }
  OpenSource(const OpenSource&) = delete;
  OpenSource& operator=(const OpenSource&) = delete;

  bool IsOpen() const { return open_; }
  base::DataStream* Stream() { return &stream_; }
  void Close() {
    if (!open_) return;
    open_ = false;
    stream_.functions.Close(stream_.handle);
  }

 private:
  base::DataStream stream_{};
  bool open_ = false;
};

// Replaces the image's pixel block by a copy with every row reversed left to right.
bool MirrorImage(GraphImage* image) {
  const int64_t bytes = int64_t(image->Height) * image->Pitch;
  if (image->Width <= 0 || image->Height <= 0 || image->Pitch <= 0 ||
      bytes > platform::kMaxBlockBytes) {
    return false;
  }
  void* mirrored = ZQ_ALLOC(size_t(bytes));
  if (mirrored == nullptr) return false;
  const platform::RECT whole{0, 0, image->Width, image->Height};
  if (ConvertPixelRect(mirrored, image->Pitch, &image->Format, image->Pixels, image->Pitch,
                       &image->Format, nullptr, 0, nullptr, 0, 0, &whole, 1, 0, 0, kDitherNone, 0,
                       0, 0) == -1) {
    base::TrackedFree(mirrored);
    return false;
  }
  base::TrackedFree(image->Pixels);
  image->Pixels = mirrored;
  return true;
}

}  // namespace

int DecodeImageByReaders(base::DataStream* stream, GraphImage* image) {
  if (stream == nullptr || image == nullptr) return -1;
  // A copy, so a reader registering another one cannot shift the list under us.
  const UserImageReaderList user = UserImageReaderTable;
  const int userCount = user.count < 0                          ? 0
                        : user.count > kUserImageReaderCapacity ? kUserImageReaderCapacity
                                                                : user.count;
  for (int i = 0; i < userCount; ++i) {
    if (user.readers[i] != nullptr && TryReader(user.readers[i], stream, image)) return 0;
  }
  for (const ImageReader* reader = ImageReaderTable; *reader != nullptr; ++reader) {
    if (TryReader(*reader, stream, image)) return 0;
  }
  return -1;
}

int DecodeImageSource(const char* path, const void* data, size_t size, int fromMemory,
                      int bitmapMode, int mirror, GraphImage* image, platform::BITMAPINFO** header,
                      void** rows) {
  if (bitmapMode != 0 ? header == nullptr || rows == nullptr : image == nullptr) return -1;
  OpenSource source(path, data, size, fromMemory != 0);
  if (!source.IsOpen()) return -1;

  GraphImage decoded{};
  if (DecodeImageByReaders(source.Stream(), &decoded) != 0) return -1;
  // The memory stream is done with; a file stays open until the end, as its caller expects
  // while the image is prepared.
  if (fromMemory != 0) source.Close();

  if (mirror != 0 && !MirrorImage(&decoded)) {
    ReleaseImageBuffers(&decoded);
    return -1;
  }

  if (bitmapMode != 0) {
    auto* block = static_cast<platform::BITMAPINFO*>(ZQ_ALLOC(sizeof(platform::BITMAPINFO)));
    if (block == nullptr) {
      ReleaseImageBuffers(&decoded);
      return -1;
    }
    void* converted = nullptr;
    const int result = ConvertImageFormat(&decoded, block, &converted, 0, 0);
    if (result == -1) {
      ReleaseImageBuffers(&decoded);
      base::TrackedFree(block);
      return -1;
    }
    // Result 1: the rows are a copy and the image's block goes; result 0: the rows are that
    // block, now the caller's.
    if (result == 1) base::TrackedFree(decoded.Pixels);
    *header = block;
    *rows = converted;
  } else {
    *image = decoded;
  }
  return 0;
}

int DecodeImageFile(const char* path, const void* data, size_t size, int fromMemory,
                    GraphImage* image, int mirror) {
  return DecodeImageSource(path, data, size, fromMemory, 0, mirror, image, nullptr, nullptr);
}

int BuildAlphaCompanionName(const char* path, char* out, size_t outSize) {
  if (out != nullptr && outSize > 0) out[0] = '\0';
  if (path == nullptr || out == nullptr) return -1;
  const size_t length = std::strlen(path);
  const char* lastDot = std::strrchr(path, '.');
  const size_t d = lastDot != nullptr ? size_t(lastDot - path) : length;
  // Skipped rather than cut short: a shortened name could open an unrelated file.
  if (length + 3 > outSize) return -1;
  std::memcpy(out, path, d);
  out[d] = '_';
  out[d + 1] = 'a';
  std::memcpy(out + d + 2, path + d, length - d + 1);
  return 0;
}

int LoadImageFile(const char* path, const void* data, size_t size, int fromMemory,
                  const void* alphaData, size_t alphaSize, int alphaFromMemory, GraphImage* image,
                  GraphImage* alphaImage, int mirror) {
  if (DecodeImageFile(path, data, size, fromMemory, image, mirror) != 0) return -1;

  const bool alphaFromFile = alphaFromMemory == 0;
  if (!alphaFromFile && !(alphaFromMemory == 1 && alphaData != nullptr)) return 1;
  if (alphaImage == nullptr) return 1;

  char name[kCompanionNameSize];
  const char* companion = nullptr;
  if (path != nullptr && BuildAlphaCompanionName(path, name, sizeof name) == 0) companion = name;
  // A companion file needs a name; without a path (or with one too long) there is none to try.
  if (alphaFromFile && companion == nullptr) return 1;

  GraphImage alpha{};
  if (DecodeImageFile(companion, alphaData, alphaSize, alphaFromMemory, &alpha, mirror) != 0) {
    return 1;
  }
  *alphaImage = alpha;
  return 0;
}

}  // namespace zq::gfx
