#include "graphics/ddraw/display.h"

#include <cstring>

#include "base/log.h"
#include "base/system.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/graph.h"
#include "graphics/library_init.h"
#include "graphics/surface_data.h"
#include "graphics/surface_piece.h"
#include "platform/gdi/bitmap.h"
#include "platform/size_limits.h"

namespace zq::gfx {

using namespace platform;

namespace {

DirectDrawState Fresh(int softwareAtStart) {
  DirectDrawState s{};
  s.SoftwareScreenAtStart = softwareAtStart;
  return s;
}

// A surface in the display's format: in video memory unless the screen is a software one,
// falling back to system memory.
HRESULT CreatePlainSurface(int width, int height, bool systemOnly, DirectDrawSurface** out) {
  SurfaceDesc desc;
  desc.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.width = uint32_t(width);
  desc.height = uint32_t(height);
  desc.caps.caps = DDSCAPS_OFFSCREENPLAIN |
                   (systemOnly ? DDSCAPS_SYSTEMMEMORY : DDSCAPS_VIDEOMEMORY | DDSCAPS_3DDEVICE);
  HRESULT hr = g_DD.DirectDraw->CreateSurface(desc, out);
  if (Failed(hr) && !systemOnly) {
    desc.caps.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    hr = g_DD.DirectDraw->CreateSurface(desc, out);
  }
  return hr;
}

// The first format of the fixed list in which the driver makes an overlay surface.
void ChooseOverlayFormat() {
  g_DD.HasOverlayFormat = 0;
  if (!(g_DD.Caps.caps & DDCAPS_OVERLAY)) return;
  const PixelFormat list[] = {
      {sizeof(PixelFormat), PF_FOURCC, MakeFourCC('U', 'Y', 'V', 'Y'), 0, 0, 0, 0, 0},
      {sizeof(PixelFormat), PF_FOURCC, MakeFourCC('Y', 'U', 'Y', '2'), 0, 0, 0, 0, 0},
      {sizeof(PixelFormat), PF_RGB, 0, 16, 0x7C00, 0x03E0, 0x001F, 0},
      {sizeof(PixelFormat), PF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0},
  };
  for (const PixelFormat& format : list) {
    SurfaceDesc desc;
    desc.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.width = desc.height = 16;
    desc.caps.caps = DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY;
    desc.pixelFormat = format;
    DirectDrawSurface* probe = nullptr;
    if (Succeeded(g_DD.DirectDraw->CreateSurface(desc, &probe))) {
      probe->Release();
      g_DD.OverlayFormat = format;
      g_DD.HasOverlayFormat = 1;
      return;
    }
  }
}

// The display's pixel format as it is now (in a window the desktop's, which may have changed
// since the mode was applied).
void ReadDisplayFormat() {
  if (g_DD.DirectDraw == nullptr) return;
  SurfaceDesc mode;
  g_DD.DirectDraw->GetDisplayMode(&mode);
  g_DD.DisplayFormat = mode.pixelFormat;
  g_DD.ScreenColorBitDepth = int32_t(mode.pixelFormat.rgbBitCount);
}

int ClearScreenBuffers() {
  if (IsSoftwareScreenInUse()) {
    for (MEMIMG* image : {&g_DD.SoftBackImage, &g_DD.SoftFrontImage}) {
      if (!IsMemImgValid(image)) continue;
      for (int y = 0; y < image->Height; ++y)
        std::memset(image->Pixels + int64_t(y) * image->Pitch, 0,
                    size_t(image->Width) * image->Format->PixelByte);
      image->RunLengthFlag = 0;
    }
    return 0;
  }
  if (g_DD.BackSurface == nullptr) return -1;
  BltFx fx;
  fx.fillColor = 0;
  g_DD.BackSurface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
  return 0;
}

}  // namespace

DirectDrawState g_DD = Fresh(1);

// ---- Layer life ----------------------------------------------------------------------------

void SetDirectDrawMainWindow(Window* window) {
  g_DD.MainWindow = window;
}

void SetEndSceneBeforeDrawFlag(int flag) {
  g_DD.EndSceneBeforeDrawFlag = flag;
}

int StartDirectDrawLayer() {
  // SoftBlendTable64, SoftMulTable256 and SoftDiffMulTable256 are built at compile time
  // (softrender/soft_tables.h), so they exist before any drawing without a step here.
  base::LogAddString("ＤｉｒｅｃｔＤｒａｗの初期化を行います\n");
  base::LogIndentIn();
  g_DD.SoftwareScreenFlag = g_DD.SoftwareScreenAtStart;
  CreateDirectDrawObject();
  SetEndSceneBeforeDrawFlag(1);
  if (RunScreenModeChange(640, 480, 16, 60) != 0) {
    base::LogIndentOut();
    return base::LogAddString("画面モードの設定に失敗しました\n");
  }
  ClearScreenBuffers();
  PresentByFlip();
  g_DD.PresentCountAtModeSet = g_DD.PresentCount;
  base::LogIndentOut();
  base::LogAddString("ＤｉｒｅｃｔＤｒａｗの初期化は正常に終了しました\n");
  return 0;
}

int EndDirectDrawLayer() {
  EndGraphicsManager();
  TermSurface2DTable();
  TermSurface3DTable();
  ReleaseDirect3DObject();
  ReleaseOutputSurfaces();
  if (g_DD.DirectDraw != nullptr) {
    g_DD.DirectDraw->RestoreDisplayMode();
    if (g_DD.MainWindow != nullptr && IsWindow(g_DD.MainWindow))
      g_DD.DirectDraw->SetCooperativeLevel(g_DD.MainWindow, DDSCL_NORMAL);
  }
  ReleaseDirectDrawObject();
  TermSurfaceDataTable();
  g_DD = Fresh(g_DD.SoftwareScreenAtStart);
  return 0;
}

int CreateDirectDrawObject() {
  if (g_DD.DirectDraw == nullptr) {
    DirectDraw* dd = nullptr;
    if (Failed(DirectDrawCreateEx(&dd)) || dd == nullptr)
      base::ExitOnFatalError("DirectDraw オブジェクトの作成処理時にエラーが発生しました");
    g_DD.DirectDraw = dd;
    dd->GetCaps(&g_DD.Caps, nullptr);
    ChooseOverlayFormat();
  }
  ApplyDisplayMode();
  RecreateSurface2DObjects();
  CreateClipperObject();
  return 0;
}

int ReleaseDirectDrawObject() {
  base::LogAddString("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
  if (g_DD.DirectDraw == nullptr) {
    base::LogAddString("既に解放されています\n");
    return 0;
  }
  ReleaseSurface2DObjects();
  ReleaseInterface(g_DD.Palette);
  ReleaseClipperObject();
  ReleaseInterface(g_DD.DirectDraw);
  base::LogAddString("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n");
  return 0;
}

int CreateClipperObject() {
  // One clipper serves the window for the life of the DirectDraw object.
  if (g_DD.Clipper != nullptr) return 0;
  DirectDrawClipper* clipper = nullptr;
  if (g_DD.DirectDraw == nullptr || Failed(g_DD.DirectDraw->CreateClipper(0, &clipper)) ||
      Failed(clipper->SetHWnd(0, g_DD.MainWindow)))
    base::ExitOnFatalError("クリッパーオブジェクトの作成失敗しました");
  g_DD.Clipper = clipper;
  return 0;
}

int ReleaseClipperObject() {
  ReleaseInterface(g_DD.Clipper);
  return 0;
}

int ApplyDisplayMode() {
  if (g_DD.DirectDraw == nullptr || g_DD.MainWindow == nullptr) return -1;
  const int windowed = IsWindowedMode();
  if (windowed) {
    if (Failed(g_DD.DirectDraw->SetCooperativeLevel(g_DD.MainWindow, DDSCL_NORMAL)))
      return base::LogAddString("協調レベルの設定に失敗しました\n");
  } else {
    if (Failed(g_DD.DirectDraw->SetCooperativeLevel(g_DD.MainWindow,
                                                    DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)))
      return base::LogAddString("協調レベルの設定に失敗しました\n");
    if (Failed(g_DD.DirectDraw->SetDisplayMode(GetScreenWidth(), GetScreenHeight(),
                                               uint32_t(GetScreenColorBitDepth()),
                                               uint32_t(g_DD.RefreshRate), 0)))
      return base::LogAddString("画面モードの変更に失敗しました\n");
  }
  g_DD.WindowModeApplied = windowed;
  ReadDisplayFormat();
  return 0;
}

int CreateOutputSurfaces() {
  if (g_DD.DirectDraw == nullptr) return -1;
  const int w = GetScreenWidth(), h = GetScreenHeight();
  const bool software = g_DD.SoftwareScreenFlag == 1;
  SurfaceDesc desc;
  desc.flags = DDSD_CAPS;
  bool chained = false;
  if (!IsWindowedMode()) {
    desc.flags |= DDSD_BACKBUFFERCOUNT;
    desc.backBufferCount = 1;
    desc.caps.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    if (Succeeded(g_DD.DirectDraw->CreateSurface(desc, &g_DD.PrimarySurface))) {
      SurfaceCaps back;
      back.caps = DDSCAPS_BACKBUFFER;
      chained = Succeeded(g_DD.PrimarySurface->GetAttachedSurface(back, &g_DD.BackSurface));
      if (!chained) ReleaseInterface(g_DD.PrimarySurface);
    }
    desc = SurfaceDesc{};
    desc.flags = DDSD_CAPS;
  }
  if (g_DD.PrimarySurface == nullptr) {
    // Direct3D draws into the front buffer of a window, the default draw screen.
    desc.caps.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE;
    if (Failed(g_DD.DirectDraw->CreateSurface(desc, &g_DD.PrimarySurface))) {
      g_DD.PrimarySurface = nullptr;
      return base::LogAddString("プライマリサーフェスの作成に失敗しました\n");
    }
  }
  if (IsWindowedMode() && g_DD.Clipper != nullptr) g_DD.PrimarySurface->SetClipper(g_DD.Clipper);
  if (!chained && Failed(CreatePlainSurface(w, h, software, &g_DD.BackSurface))) {
    g_DD.BackSurface = nullptr;
    ReleaseOutputSurfaces();
    return base::LogAddString("バックサーフェスの作成に失敗しました\n");
  }
  if (Failed(CreatePlainSurface(w, h, true, &g_DD.WorkSurface))) {
    g_DD.WorkSurface = nullptr;
    ReleaseOutputSurfaces();
    return base::LogAddString("作業用サーフェスの作成に失敗しました\n");
  }
  if (software) {
    if (CreateMemImgScreenFormat(&g_DD.SoftFrontImage, w, h, -1) < 0 ||
        CreateMemImgScreenFormat(&g_DD.SoftBackImage, w, h, -1) < 0) {
      ReleaseOutputSurfaces();
      return base::LogAddString("メモリイメージの作成に失敗しました\n");
    }
  }
  return 0;
}

int ReleaseOutputSurfaces() {
  if (g_DD.PrimarySurface == nullptr && g_DD.BackSurface == nullptr &&
      g_DD.WorkSurface == nullptr && !IsMemImgValid(&g_DD.SoftFrontImage) &&
      !IsMemImgValid(&g_DD.SoftBackImage))
    return 0;
  base::LogAddString("メインサーフェスを破棄をします... ");
  g_DD.DrawTargetMemImg = nullptr;
  g_DD.DrawTargetSurface = nullptr;
  TermMemImg(&g_DD.SoftFrontImage);
  TermMemImg(&g_DD.SoftBackImage);
  ReleaseInterface(g_DD.WorkSurface);
  if (g_DD.BackSurface != nullptr) {
    SurfaceCaps zcaps;
    zcaps.caps = DDSCAPS_ZBUFFER;
    DirectDrawSurface* z = nullptr;
    if (Succeeded(g_DD.BackSurface->GetAttachedSurface(zcaps, &z)) && z != nullptr) {
      g_DD.BackSurface->DeleteAttachedSurface(0, z);
      z->Release();
    }
  }
  ReleaseInterface(g_DD.BackSurface);
  ReleaseInterface(g_DD.PrimarySurface);
  g_DD.FrontResyncFlag = 0;
  base::LogAddString("完了しました\n");
  return 0;
}

int RunScreenModeChange(int width, int height, int colorBitDepth, int refreshRate) {
  if (g_DD.DirectDraw == nullptr) return -1;
  // The screen images are 16- or 32-bit MEMIMGs; other depths (24 above all) are refused.
  if ((colorBitDepth != 16 && colorBitDepth != 32) || width < 1 || height < 1 ||
      width > platform::kMaxImageSide || height > platform::kMaxImageSide)
    return base::LogAddFormat("対応していない画面モードです %dx%d %dbit", width, height,
                              colorBitDepth);
  // 0 leaves the rate to the display.
  if (refreshRate < 0 || refreshRate > kMaxRefreshRate)
    return base::LogAddFormat("対応していないリフレッシュレートです %dHz", refreshRate);
  // A window shows the screen on the desktop: a larger screen would be cut off there.
  const DesktopScreenInfo& desktop = GetDesktopScreenInfo();
  if (IsWindowedMode() && (width > desktop.Width || height > desktop.Height))
    return base::LogAddFormat(
        "ウインドウモードではデスクトップ %dx%d より大きい画面 %dx%d は使えません", desktop.Width,
        desktop.Height, width, height);
  const uint32_t transColor = g_DrawState.TransColor;
  // The default font comes back at the size and thickness it had.
  char fontFace[kFontFaceNameBytes] = "";
  int32_t fontSize = -1, fontThickness = -1;
  const bool keepFont = IsFontHandleValid(GetDefaultFontHandle()) == 1;
  if (keepFont) GetFontInfo(fontFace, &fontSize, &fontThickness, GetDefaultFontHandle());
  DeleteAllGraphHandles(0);
  EndGraphicsManager();
  ReleaseDirect3DObject();
  ReleaseOutputSurfaces();
  const DirectDrawState before = g_DD;
  g_DD.ScreenWidth = width;
  g_DD.ScreenHeight = height;
  g_DD.RequestedColorBitDepth = colorBitDepth;
  g_DD.RefreshRate = refreshRate;
  int result = 0;
  if (ApplyDisplayMode() != 0 || CreateOutputSurfaces() != 0) {
    // Back to the mode that stood before, so the library keeps a screen.
    result = base::LogAddString("画面モードの変更に失敗しました\n");
    ReleaseDirect3DObject();
    ReleaseOutputSurfaces();
    g_DD.ScreenWidth = before.ScreenWidth;
    g_DD.ScreenHeight = before.ScreenHeight;
    g_DD.RequestedColorBitDepth = before.RequestedColorBitDepth;
    g_DD.RefreshRate = before.RefreshRate;
    if (before.ScreenWidth == 0 || ApplyDisplayMode() != 0 || CreateOutputSurfaces() != 0)
      return -1;
  }
  GetScreenColorInfo();
  // Without Direct3D the library goes on: every graph takes the DirectDraw path.
  if (g_DD.SoftwareScreenFlag == 0) StartDirect3DLayer();
  InitGraphicsManager();
  g_DrawState.TransColor = transColor;
  if (keepFont) SetDefaultFontSize(fontFace, fontSize, fontThickness);
  g_DD.PresentCountAtModeSet = g_DD.PresentCount;
  return result;
}

int RestoreLostSurfaces() {
  if (g_DD.DirectDraw == nullptr) return -1;
  for (DirectDrawSurface* s : {g_DD.PrimarySurface, g_DD.BackSurface}) {
    if (s != nullptr && s->IsLost() == DDERR_SURFACELOST) s->Restore();
  }
  if (g_DD.BackSurface != nullptr) {
    SurfaceCaps zcaps;
    zcaps.caps = DDSCAPS_ZBUFFER;
    DirectDrawSurface* z = nullptr;
    if (Succeeded(g_DD.BackSurface->GetAttachedSurface(zcaps, &z)) && z != nullptr) {
      if (z->IsLost() == DDERR_SURFACELOST) z->Restore();
      z->Release();
    }
  }
  return 0;
}

int RecreateScreenPalette() {
  if (g_DD.DirectDraw == nullptr || g_DD.ScreenColorBitDepth != 8 || g_DD.Palette == nullptr)
    return 0;
  PaletteEntry entries[256];
  g_DD.Palette->GetEntries(0, 0, 256, entries);
  DirectDrawPalette* palette = nullptr;
  if (Failed(g_DD.DirectDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette)))
    return -1;
  ReleaseInterface(g_DD.Palette);
  g_DD.Palette = palette;
  if (g_DD.PrimarySurface != nullptr) g_DD.PrimarySurface->SetPalette(palette);
  return 0;
}

// ---- Presenting helpers --------------------------------------------------------------------

void CountPresent() {
  ++g_DD.PresentCount;
}
uint64_t GetPresentCount() {
  return g_DD.PresentCount;
}
bool FramePresentedSinceModeSet() {
  return g_DD.PresentCount != g_DD.PresentCountAtModeSet;
}

int CopySurfaceRect(DirectDrawSurface* dest, DirectDrawSurface* src, int x, int y,
                    const RECT* srcRect, int mode) {
  if (dest == nullptr || src == nullptr || srcRect == nullptr) return -1;
  if (mode == -1) mode = g_DD.GdiCopyOption ? 1 : 0;
  if (mode == 0)
    return Succeeded(dest->BltFast(x, y, src, srcRect, DDBLTFAST_NOCOLORKEY | DDBLTFAST_WAIT)) ? 0
                                                                                               : -1;
  HDC destDc = nullptr, srcDc = nullptr;
  if (Failed(dest->GetDC(&destDc))) return -1;
  if (Failed(src->GetDC(&srcDc))) {
    dest->ReleaseDC(destDc);
    return -1;
  }
  const bool ok =
      BitBlt(destDc, x, y, srcRect->right - srcRect->left, srcRect->bottom - srcRect->top, srcDc,
             srcRect->left, srcRect->top, SRCCOPY);
  src->ReleaseDC(srcDc);
  dest->ReleaseDC(destDc);
  GdiFlush();
  return ok ? 0 : -1;
}

// ---- Software screen -----------------------------------------------------------------------

int SetSoftwareScreenAtStart(int flag) {
  g_DD.SoftwareScreenAtStart = flag ? 1 : 0;
  return 0;
}

int GetSoftwareScreenFlag() {
  return g_DD.SoftwareScreenFlag;
}

int IsSoftwareScreenInUse() {
  return g_DD.SoftwareScreenFlag == 1 && g_DD.ScreenColorBitDepth != 8 ? 1 : 0;
}

int CreateMemImgScreenFormat(MEMIMG* image, int width, int height, int colorType) {
  if (image == nullptr) return -1;
  std::memset(image, 0, sizeof *image);
  if (colorType < 0) colorType = ScreenImageColorType();
  return InitMemImg(image, width, height, -1, 0, colorType, 0, 0, 0);
}

int G_DD_SetDrawTarget(int32_t drawScreen) {
  MEMIMG* image = nullptr;
  DirectDrawSurface* surface = nullptr;
  const bool software = IsSoftwareScreenInUse() == 1;
  if (drawScreen == kDrawScreenBack) {
    if (software)
      image = &g_DD.SoftBackImage;
    else
      surface = g_DD.BackSurface;
  } else if (drawScreen == kDrawScreenFront) {
    if (software) {
      SyncSoftScreenFromSurface();
      image = &g_DD.SoftFrontImage;
    } else {
      surface = g_DD.PrimarySurface;
    }
  } else {
    // Only a graph made drawable is a draw target: a loaded or movie graph is refused.
    const GraphRecord* graph = GetGraphRecord(drawScreen);
    if (graph == nullptr || graph->Options.DrawValid != 1 || graph->PieceCount < 1) return -1;
    // A Direct3D graph is drawn into through its texture, which must be the whole graph.
    if (graph->Options.TextureFlag == 1 && graph->PieceCount != 1) return -1;
    SurfaceDataRecord* data = GetSurfaceDataRecord(GetPieceStore(graph->Pieces[0]));
    if (data == nullptr) return -1;
    if (data->SoftwareFlag)
      image = &data->Image;
    else
      surface = data->Surface;
  }
  g_DD.DrawTargetMemImg = image;
  g_DD.DrawTargetSurface = surface;
  return 0;
}

int G_DD_ResetViewport(int) {
  return 0;
}

// ---- Screen colours ------------------------------------------------------------------------

int GetScreenWidth() {
  return g_DD.ScreenWidth != 0 ? g_DD.ScreenWidth : 640;
}
int GetScreenHeight() {
  return g_DD.ScreenHeight != 0 ? g_DD.ScreenHeight : 480;
}

int GetScreenColorBitDepth() {
  return g_DD.RequestedColorBitDepth != 0 ? g_DD.RequestedColorBitDepth : 16;
}
int ScreenImageColorType() {
  return GetScreenColorBitDepth() == 16 ? kMemImgRgb565 : kMemImgXrgb8888;
}
// The depth of the display's surfaces, which a window shares with the desktop whatever depth
// the screen mode asked for.
int GetScreenColorBitDepth2() {
  return g_DD.ScreenColorBitDepth != 0 ? g_DD.ScreenColorBitDepth : 16;
}

const ColorData* GetScreenColorData() {
  return &g_DD.ScreenColorData;
}

int GetScreenColorInfo() {
  ReadDisplayFormat();
  ColorDataFromPixelFormat(&g_DD.DisplayFormat, &g_DD.ScreenColorData);
  const ColorData& c = g_DD.ScreenColorData;
  base::LogAddFormat("画面のピクセルフォーマット %dbit  R:0x%08X G:0x%08X B:0x%08X A:0x%08X",
                     int(c.ColorBitDepth), c.RM, c.GM, c.BM, c.AM);
  return 0;
}

const ColorData* ScreenValueFormat() {
  if (IsSoftwareScreenInUse()) return GetMemImgColorData(ScreenImageColorType(), 0, 0);
  return GetScreenColorData();
}

uint32_t GetScreenColorValue(int red, int green, int blue) {
  auto byte = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
  red = byte(red);
  green = byte(green);
  blue = byte(blue);
  if (!IsSoftwareScreenInUse() && g_DD.ScreenColorBitDepth == 8) {
    // The nearest palette entry by squared distance; the first of equal ones.
    if (g_DD.Palette == nullptr) return 0;
    PaletteEntry entries[256];
    g_DD.Palette->GetEntries(0, 0, 256, entries);
    uint32_t best = 0;
    int64_t bestDistance = INT64_MAX;
    for (uint32_t i = 0; i < 256; ++i) {
      const int64_t dr = entries[i].red - red, dg = entries[i].green - green,
                    db = entries[i].blue - blue;
      const int64_t d = dr * dr + dg * dg + db * db;
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    return best;
  }
  const ColorData* f = ScreenValueFormat();
  return ((uint32_t(red) >> (8 - f->RW)) << f->RL) + ((uint32_t(green) >> (8 - f->GW)) << f->GL) +
         ((uint32_t(blue) >> (8 - f->BW)) << f->BL) + f->NM;
}

int SplitScreenColorValue(uint32_t value, int* red, int* green, int* blue) {
  int r = 0, g = 0, b = 0;
  if (!IsSoftwareScreenInUse() && g_DD.ScreenColorBitDepth == 8) {
    if (g_DD.Palette != nullptr) {
      PaletteEntry e;
      g_DD.Palette->GetEntries(0, value & 0xFF, 1, &e);
      r = e.red;
      g = e.green;
      b = e.blue;
    }
  } else {
    const ColorData* f = ScreenValueFormat();
    auto channel = [value](uint32_t mask, int shift, int width) {
      if (width == 0) return 0;
      const uint32_t max = (uint32_t(1) << width) - 1;
      return int(((value & mask) >> shift) * 255 / max);
    };
    r = channel(f->RM, f->RL, f->RW);
    g = channel(f->GM, f->GL, f->GW);
    b = channel(f->BM, f->BL, f->BW);
  }
  if (red != nullptr) *red = r;
  if (green != nullptr) *green = g;
  if (blue != nullptr) *blue = b;
  return 0;
}

// ---- Accessors -----------------------------------------------------------------------------

DirectDraw* GetDirectDrawObject() {
  return g_DD.DirectDraw;
}

int GetDirectDrawCaps(DDCaps* caps) {
  if (caps == nullptr) return -1;
  *caps = g_DD.Caps;
  return 0;
}

DirectDrawSurface* GetPrimaryDDSurface() {
  return g_DD.PrimarySurface;
}
DirectDrawSurface* GetWorkSurface() {
  return g_DD.WorkSurface;
}
const PixelFormat* GetOverlayFormat() {
  if (!g_DD.HasOverlayFormat || GetScreenWidth() < 640 || GetScreenHeight() < 400) return nullptr;
  return &g_DD.OverlayFormat;
}

int IsPrimaryDrawTarget() {
  return IsWindowedMode() && g_DD.PrimarySurface != nullptr &&
                 g_DD.DrawTargetSurface == g_DD.PrimarySurface
             ? 1
             : 0;
}

const PixelFormat* GetDisplayModeInfo() {
  return &g_DD.DisplayFormat;
}

}  // namespace zq::gfx
