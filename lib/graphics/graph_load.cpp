#include "graphics/graph_load.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/file_access.h"
#include "base/log.h"
#include "base/memory.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_graph.h"
#include "graphics/ddraw/dd_graph_image.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/graph_image_ops.h"
#include "graphics/image/image_decode.h"
#include "graphics/library_init.h"
#include "graphics/movie.h"

namespace zq::gfx {

using platform::BITMAPINFO;
using platform::HBITMAP;

namespace {

// Log lines name the file; a missing name is logged as empty text.
const char* Printable(const char* name) {
  return name != nullptr ? name : "";
}

// Where an image comes from: a file with its "_a" companion, or memory with an optional alpha
// image in memory (data not null).
struct ImageSource {
  const char* fileName;
  const void* data;
  size_t size;
  const void* alphaData;
  size_t alphaSize;
};

ImageSource FileSource(const char* fileName) {
  return {fileName, nullptr, 0, nullptr, 0};
}

// Decodes the image and its alpha image, mirrored when asked. -1, or 0 with *hasAlpha set.
int DecodeForGraph(const ImageSource& source, int mirror, GraphImage* image, GraphImage* alpha,
                   bool* hasAlpha) {
  *image = GraphImage{};
  *alpha = GraphImage{};
  const int fromMemory = source.data != nullptr ? 1 : 0;
  const int decoded =
      LoadImageFile(source.fileName, source.data, source.size, fromMemory, source.alphaData,
                    source.alphaSize, fromMemory, image, alpha, 0);
  if (decoded == -1) return -1;
  *hasAlpha = decoded == 0;
  if (mirror == 1) {
    ReverseGraphImageX(image);
    if (*hasAlpha) ReverseGraphImageX(alpha);
  }
  return 0;
}

// The load flags a reload needs: the mirror flag the image was decoded with.
void RecordMirror(HandleValue handle, int mirror) {
  if (GraphRecord* graph = GetGraphRecord(handle))
    graph->LoadFlags = mirror == 1 ? kLoadFlagMirror : 0;
}

// The movie fallback of LoadGraphFromFile for a file no image reader accepts.
HandleValue LoadMovieGraph(const char* fileName, int wantDirect3D, int movieSurfaceMode) {
  const int savedAlpha = GetCreateAlphaChannelFlag();
  const int savedDepth = GetCreateColorBitDepth();
  const int savedSystemMem = GetCreateOptionD();
  // The stored option, not whether 3D is in use: putting back the latter would switch the
  // option off for good on every screen without Direct3D.
  const int savedDirect3D = GetChooseDirect3DGraphs();

  const base::FileValue file = fileName != nullptr ? base::FileAccessOpen(fileName, 0, 1) : 0;
  if (file == 0)
    return base::LogAddFormat("グラフィックファイル %s がありません", Printable(fileName));
  base::FileAccessClose(file);

  int width = 0, height = 0;
  const HandleValue movie = OpenMovieToGraph(fileName, &width, &height, movieSurfaceMode);
  if (movie < 0)
    // LogAddFormat ends the line itself.
    return base::LogAddFormat("右記のグラフィックファイルのロードに失敗しました：%s ",
                              Printable(fileName));

  if (GetMovieSurfaceMode(movie) != 0) ChooseDirect3DGraphs(0);
  SetCreateColorBitDepth(GetScreenColorBitDepth());
  SetCreateAlphaChannelFlag(0);
  SetCreateOptionD(1);
  const HandleValue handle = CreateGraphWithOptions(width, height, wantDirect3D, 0, 0);
  if (handle == -1)
    base::LogAddFormat("右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s",
                       fileName);
  SetCreateColorBitDepth(savedDepth);
  SetCreateAlphaChannelFlag(savedAlpha);
  SetCreateOptionD(savedSystemMem);
  ChooseDirect3DGraphs(savedDirect3D);

  if (handle == -1) {
    // Nothing would ever close a movie that no graph holds.
    CloseMovieHandle(movie);
    return -1;
  }
  GetGraphRecord(handle)->Movie = movie;
  return handle;
}

}  // namespace

// ---- Loading files ---------------------------------------------------------------------------

HandleValue LoadGraphFromFile(const char* fileName, int wantDirect3D, int mirror,
                              int movieSurfaceMode) {
  EndCurrentScene();
  WaitWhileInactive();
  GraphImage image, alpha;
  bool hasAlpha = false;
  if (DecodeForGraph(FileSource(fileName), mirror, &image, &alpha, &hasAlpha) != 0)
    return LoadMovieGraph(fileName, wantDirect3D, movieSurfaceMode);

  const HandleValue handle =
      CreateGraphFromImage(&image, hasAlpha ? &alpha : nullptr, wantDirect3D, mirror, 0);
  if (handle != -1) {
    SetGraphSourcePath(handle, fileName);
    RecordMirror(handle, mirror);
  }
  ReleaseImageBuffers(&image);
  ReleaseImageBuffers(&alpha);
  return handle;
}

HandleValue LoadGraphFromFileStd(const char* fileName) {
  return LoadGraphFromFile(fileName, 1, 0, 0);
}

int LoadDividedGraphFromFile(const char* fileName, int total, int across, int down, int cellWidth,
                             int cellHeight, HandleValue* handles, int wantDirect3D, int mirror) {
  WaitWhileInactive();
  GraphImage image, alpha;
  bool hasAlpha = false;
  if (DecodeForGraph(FileSource(fileName), mirror, &image, &alpha, &hasAlpha) != 0)
    return base::LogAddFormat("右記のグラフィックファイルのロードに失敗しました：%s",
                              Printable(fileName));

  const int result =
      CreateDivGraphFromGraphImage(&image, hasAlpha ? &alpha : nullptr, total, across, down,
                                   cellWidth, cellHeight, handles, wantDirect3D, mirror, 0);
  if (result == 0 && total > 0 && across > 0 && down > 0) {
    // Only the cells made carry the name: the rest of the array may hold unrelated graphs.
    const int64_t made = std::min<int64_t>(total, int64_t(across) * down);
    for (int64_t i = 0; i < made; ++i) {
      SetGraphSourcePath(handles[i], fileName);
      RecordMirror(handles[i], mirror);
    }
  }
  ReleaseImageBuffers(&image);
  ReleaseImageBuffers(&alpha);
  return result;
}

int LoadDividedGraphFromFileStd(const char* fileName, int total, int across, int down,
                                int cellWidth, int cellHeight, HandleValue* handles) {
  return LoadDividedGraphFromFile(fileName, total, across, down, cellWidth, cellHeight, handles, 1,
                                  0);
}

// ---- Loading from memory ---------------------------------------------------------------------

namespace {

// Decodes an image file held in memory, with its alpha image when alphaData is given, read in
// place and never past the sizes. -1 after a log line naming the caller, or 0.
int DecodeMemoryForGraph(const void* data, size_t size, const void* alphaData, size_t alphaSize,
                         const char* caller, GraphImage* image, GraphImage* alpha, bool* hasAlpha) {
  // Past PTRDIFF_MAX no block can reach, and the stream's positions would turn negative.
  auto unusable = [](const void* p, size_t n) {
    return p == nullptr || n == 0 || n > size_t(PTRDIFF_MAX);
  };
  if (unusable(data, size) || (alphaData != nullptr && unusable(alphaData, alphaSize)))
    return base::LogAddFormat("メモリ上の画像データの指定が不正です in %s", caller);
  if (DecodeForGraph({nullptr, data, size, alphaData, alphaSize}, 0, image, alpha, hasAlpha) != 0)
    return base::LogAddFormat("メモリ上の画像データを読み込めませんでした in %s", caller);
  return 0;
}

}  // namespace

HandleValue LoadGraphFromMemory(const void* data, size_t size, const void* alphaData,
                                size_t alphaSize) {
  EndCurrentScene();
  WaitWhileInactive();
  GraphImage image, alpha;
  bool hasAlpha = false;
  if (DecodeMemoryForGraph(data, size, alphaData, alphaSize, "LoadGraphFromMemory", &image, &alpha,
                           &hasAlpha) != 0)
    return -1;
  // No file name is recorded: the restore has nothing to load such a graph from.
  const HandleValue handle = CreateGraphFromImage(&image, hasAlpha ? &alpha : nullptr, 1, 0, 0);
  ReleaseImageBuffers(&image);
  ReleaseImageBuffers(&alpha);
  return handle;
}

int LoadDividedGraphFromMemory(const void* data, size_t size, int total, int across, int down,
                               int cellWidth, int cellHeight, HandleValue* handles,
                               const void* alphaData, size_t alphaSize) {
  WaitWhileInactive();
  GraphImage image, alpha;
  bool hasAlpha = false;
  if (DecodeMemoryForGraph(data, size, alphaData, alphaSize, "LoadDividedGraphFromMemory", &image,
                           &alpha, &hasAlpha) != 0)
    return -1;
  const int result =
      CreateDivGraphFromGraphImage(&image, hasAlpha ? &alpha : nullptr, total, across, down,
                                   cellWidth, cellHeight, handles, 1, 0, 0);
  ReleaseImageBuffers(&image);
  ReleaseImageBuffers(&alpha);
  return result;
}

// ---- Graphs from decoded images --------------------------------------------------------------

HandleValue CreateGraphForImage(const GraphImage* image, const GraphImage* alpha,
                                int wantDirect3D) {
  EndCurrentScene();
  WaitWhileInactive();
  if (image == nullptr) return -1;
  if (alpha != nullptr && (alpha->Width != image->Width || alpha->Height != image->Height))
    return -1;
  const bool sourceAlpha = image->Format.AW != 0;
  const int alphaChannel = sourceAlpha || alpha != nullptr ? 1 : 0;
  const int palette = image->Format.PixelByte == 1 && !sourceAlpha && alpha == nullptr ? 1 : 0;
  return CreateGraphWithOptions(image->Width, image->Height, wantDirect3D, alphaChannel, palette);
}

HandleValue CreateGraphFromImage(GraphImage* image, GraphImage* alpha, int wantDirect3D, int mirror,
                                 int mirrorHere) {
  if (image == nullptr) return -1;
  CompleteColorData(&image->Format);
  if (alpha != nullptr) CompleteColorData(&alpha->Format);
  EndCurrentScene();
  const bool mirrored = mirror == 1 && mirrorHere == 1;
  if (mirrored) {
    ReverseGraphImageX(image);
    if (alpha != nullptr) ReverseGraphImageX(alpha);
  }
  HandleValue handle = CreateGraphForImage(image, alpha, wantDirect3D);
  if (handle != -1 &&
      SetGraphImage(nullptr, nullptr, nullptr, nullptr, 0, image, alpha, 0, 0, handle, 0) != 0) {
    // A graph whose pixels could not be written is not handed out as a success.
    DeleteGraphHandle(handle, 0);
    handle = -1;
  }
  if (mirrored) {
    ReverseGraphImageX(image);
    if (alpha != nullptr) ReverseGraphImageX(alpha);
  }
  return handle;
}

int CreateDivGraphFromGraphImage(GraphImage* image, GraphImage* alpha, int total, int across,
                                 int down, int cellWidth, int cellHeight, HandleValue* handles,
                                 int wantDirect3D, int mirror, int mirrorHere) {
  const HandleValue base = CreateGraphFromImage(image, alpha, wantDirect3D, mirror, mirrorHere);
  // Without a base graph there is nothing to cut, whatever the counts say.
  if (base == -1 && (total <= 0 || across <= 0 || down <= 0)) return -1;

  int made = 0;
  auto fail = [&] {
    base::LogAddString("グラフィックの分割に失敗しました in CreateDivGraphFromGraphImage\n");
    for (int i = 0; i < made; ++i) DeleteGraphHandle(handles[i], 0);
    DeleteGraphHandle(base, 0);
    return -1;
  };
  if (total > 0 && across > 0 && down > 0 && handles == nullptr) return fail();
  // Positions beyond the int range cannot start inside any graph.
  auto position = [](int64_t v) { return v > INT_MAX ? INT_MAX : int(v); };
  for (int row = 0; row < down && made < total; ++row) {
    const int y = position(int64_t(row) * cellHeight);
    for (int col = 0; col < across && made < total; ++col) {
      const int64_t column = mirror == 1 ? across - 1 - col : col;
      const HandleValue cell =
          DeriveGraphRect(position(column * cellWidth), y, cellWidth, cellHeight, base);
      if (cell == -1) return fail();
      handles[made++] = cell;
    }
  }
  DeleteGraphHandle(base, 0);
  return 0;
}

// ---- Writing into graphs ---------------------------------------------------------------------

int SetGraphImage(const ColorData* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                  const char* fileName, int sourceForm, const GraphImage* image,
                  const GraphImage* alpha, int srcX, int srcY, HandleValue handle,
                  uint32_t loadFlags) {
  GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return -1;
  SetGraphSourcePath(handle, fileName);
  graph->SrcX = srcX;
  graph->SrcY = srcY;
  graph->LoadFlags = loadFlags;
  if (graph->Options.TextureFlag == 1)
    return G_D3D_SetGraphImage(bitmapFormat, bitmap, alphaBitmap, srcX, srcY, graph, sourceForm,
                               image, alpha);
  return G_DD_SetGraphImage(bitmapFormat, bitmap, alphaBitmap, srcX, srcY, graph, sourceForm, image,
                            alpha);
}

int SetGraphImageDIB(const ColorData* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                     const char* fileName, int sourceForm, const GraphImage* image,
                     const GraphImage* alpha, int32_t srcLeft, int32_t srcTop, int32_t srcRight,
                     int32_t srcBottom, int dstX, int dstY, HandleValue handle,
                     uint32_t loadFlags) {
  GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return -1;
  SetGraphSourcePath(handle, fileName);
  graph->SrcX = int32_t(uint16_t(srcLeft));
  graph->SrcY = int32_t(uint16_t(srcTop));
  graph->LoadFlags = loadFlags;
  const platform::RECT rect{srcLeft, srcTop, srcRight, srcBottom};
  if (graph->Options.TextureFlag == 1)
    return G_D3D_SetGraphImageDIB(bitmapFormat, bitmap, alphaBitmap, &rect, dstX, dstY, graph,
                                  sourceForm, image, alpha);
  return G_DD_SetGraphImageDIB(bitmapFormat, bitmap, alphaBitmap, &rect, dstX, dstY, graph,
                               sourceForm, image, alpha);
}

int SetGraphSourcePath(HandleValue handle, const char* fileName) {
  GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return -1;
  const char* name = fileName != nullptr ? fileName : "";
  const size_t length = strnlen(name, sizeof graph->FileName);
  // A cut name or directory would name another file: record none, so no reload is tried.
  if (base::FileAccessGetDir(graph->Directory, sizeof graph->Directory) != 0 ||
      length >= sizeof graph->FileName) {
    graph->Directory[0] = '\0';
    graph->FileName[0] = '\0';
    return 0;
  }
  std::memcpy(graph->FileName, name, length + 1);
  return 0;
}

// ---- Platform bitmaps from image files -------------------------------------------------------

HBITMAP CreateDIBGraph(const char* fileName, const void* data, size_t size, int fromMemory,
                       int mirror, ColorData* target) {
  BITMAPINFO* decoded = nullptr;
  void* rows = nullptr;
  if (DecodeImageSource(fileName, data, size, fromMemory, 1, 0, nullptr, &decoded, &rows) != 0)
    return nullptr;
  auto freeDecoded = [&] {
    base::TrackedFree(rows);
    base::TrackedFree(decoded);
  };
  const platform::BITMAPINFOHEADER& dh = decoded->bmiHeader;
  const int width = dh.biWidth;
  const int height = dh.biHeight < 0 ? -dh.biHeight : dh.biHeight;
  const bool rows24 = dh.biBitCount == 24;

  // A palettised section has no colours to take 24-bit rows: refuse rather than make one with
  // an undefined colour table.
  if (target != nullptr && target->ColorBitDepth <= 8 && rows24) {
    freeDecoded();
    base::LogAddString("ＤＩＢの作成に失敗しました3\n");
    return nullptr;
  }
  platform::HDC dc = platform::CreateCompatibleDC(nullptr);
  const bool masks =
      target != nullptr && (target->ColorBitDepth == 16 || (target->ColorBitDepth > 24 && !rows24));
  const size_t colorBytes = masks ? 12 : dh.biBitCount <= 8 ? size_t(4) << dh.biBitCount : 0;
  auto* header =
      static_cast<BITMAPINFO*>(ZQ_ALLOC(sizeof(platform::BITMAPINFOHEADER) + colorBytes));
  if (header == nullptr) {
    base::LogAddString("メモリの確保に失敗しました in CreateDIBGraph \n");
    freeDecoded();
    platform::DeleteDC(dc);
    return nullptr;
  }
  std::memset(header, 0, sizeof(platform::BITMAPINFOHEADER) + colorBytes);
  platform::BITMAPINFOHEADER& h = header->bmiHeader;
  h.biSize = 40;
  h.biWidth = width;
  h.biHeight = -height;
  h.biPlanes = 1;
  auto writeMasks = [&] {
    const uint32_t m[3] = {target->RM, target->GM, target->BM};
    std::memcpy(header->bmiColors, m, sizeof m);
    h.biCompression = platform::BI_BITFIELDS;
  };
  if (target != nullptr) {
    if (masks) {
      h.biBitCount = target->ColorBitDepth;
      writeMasks();
    } else {
      if (target->ColorBitDepth == 32) SetupColorDataRGB24(target);
      h.biBitCount = target->ColorBitDepth;
      h.biCompression = platform::BI_RGB;
    }
  } else if (dh.biBitCount == 8) {
    h.biBitCount = 8;
    h.biCompression = dh.biCompression;
  } else {
    h.biBitCount = 24;
    h.biCompression = platform::BI_RGB;
  }
  // An 8-bit section takes the decoded colours, with or without a target.
  if (h.biBitCount == 8 && dh.biBitCount == 8)
    std::memcpy(header->bmiColors, decoded->bmiColors, 256 * sizeof(platform::RGBQUAD));

  void* bits = nullptr;
  HBITMAP bitmap = platform::CreateDIBSection(dc, header, platform::DIB_RGB_COLORS, &bits);
  base::TrackedFree(header);
  if (bitmap == nullptr) {
    base::LogAddString("ＤＩＢの作成に失敗しました3\n");
    freeDecoded();
    platform::DeleteDC(dc);
    return nullptr;
  }
  platform::BITMAP description{};
  platform::GetObjectA(bitmap, sizeof description, &description);
  if (description.bmBits == nullptr) {
    base::LogAddString("ＤＩＢの作成に失敗しました2\n");
    platform::DeleteObject(bitmap);
    freeDecoded();
    platform::DeleteDC(dc);
    return nullptr;
  }
  platform::HGDIOBJ previous = platform::SelectObject(dc, bitmap);
  if (mirror != 0) {
    platform::StretchDIBits(dc, 0, 0, width, height, width - 1, 0, -width, height, rows, decoded,
                            platform::DIB_RGB_COLORS, platform::SRCCOPY);
  } else {
    platform::SetDIBitsToDevice(dc, 0, 0, uint32_t(width), uint32_t(height), 0, 0, 0,
                                uint32_t(height), rows, decoded, platform::DIB_RGB_COLORS);
  }
  platform::SelectObject(dc, previous);
  platform::DeleteDC(dc);
  freeDecoded();
  return bitmap;
}

HBITMAP CreateDIBFromImageFile(const char* fileName, int mirror, ColorData* target) {
  return CreateDIBGraph(fileName, nullptr, 0, 0, mirror, target);
}

}  // namespace zq::gfx
