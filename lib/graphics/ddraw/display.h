// The DirectDraw display device: the DirectDraw object, display mode, output surfaces, the
// software screen, presentation and the screen's pixel format.
#pragma once

#include <cstdint>

#include "graphics/ddraw/color_data.h"
#include "graphics/ddraw/memimg.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/window.h"

namespace zq::gfx {

struct DirectDrawState {
  platform::DirectDraw* DirectDraw;  // null before the layer starts
  platform::Window* MainWindow;
  platform::DirectDrawClipper* Clipper;
  platform::DirectDrawPalette* Palette;
  platform::DirectDrawSurface* PrimarySurface;  // the displayed surface
  platform::DirectDrawSurface* BackSurface;
  platform::DirectDrawSurface* WorkSurface;        // system-memory intermediate
  platform::DirectDrawSurface* DrawTargetSurface;  // null while the target is a MEMIMG
  platform::DDCaps Caps;
  int32_t SoftwareScreenAtStart;  // the wish, applied when the display is created
  int32_t SoftwareScreenFlag;     // 1: the screen buffers are MEMIMGs
  int32_t ScreenColorBitDepth;    // the display's depth (8 on a palettised screen)
  int32_t ScreenWidth;            // 0 until a mode is set
  int32_t ScreenHeight;
  int32_t RequestedColorBitDepth;  // 0 until a mode is set
  int32_t RefreshRate;
  int32_t EndSceneBeforeDrawFlag;
  int32_t FrontResyncFlag;  // the displayed surface holds a frame the front image has not seen
  int32_t GdiCopyOption;
  int32_t WindowModeApplied;            // the mode the display was last set up for
  platform::PixelFormat DisplayFormat;  // first 32 bytes of the display-mode record
  ColorData ScreenColorData;
  MEMIMG SoftFrontImage;
  MEMIMG SoftBackImage;
  MEMIMG* DrawTargetMemImg;
  MEMIMG* SoftWorkTargetImage;
  MEMIMG* SoftWorkSourceImage;
  uint64_t PresentCount;
  uint64_t PresentCountAtModeSet;  // PresentCount when the screen mode was last set up
  int32_t HasOverlayFormat;        // an overlay format was found at display start
  platform::PixelFormat OverlayFormat;
};

extern DirectDrawState g_DD;

// ---- Layer life ------------------------------------------------------------------------------
void SetDirectDrawMainWindow(platform::Window* window);
int StartDirectDrawLayer();
int EndDirectDrawLayer();
int CreateDirectDrawObject();
int ReleaseDirectDrawObject();
int CreateClipperObject();
int ReleaseClipperObject();
int ApplyDisplayMode();
// The highest refresh rate a screen mode may ask for, in Hz (0 leaves it to the display).
inline constexpr int kMaxRefreshRate = 1000;
// Deletes every graph, sets the mode and brings the graphics manager up again. 0 or -1 (a size,
// depth or refresh rate out of range is refused with a log line before anything changes).
int RunScreenModeChange(int width, int height, int colorBitDepth, int refreshRate);
int CreateOutputSurfaces();
int ReleaseOutputSurfaces();
int RestoreLostSurfaces();
int RecreateScreenPalette();
void SetEndSceneBeforeDrawFlag(int flag);

// ---- Presenting ------------------------------------------------------------------------------
int PresentByFlip();
void CountPresent();
uint64_t GetPresentCount();
// Whether a frame was presented since the screen mode was set up (the start-up's own cleared
// frame does not count).
bool FramePresentedSinceModeSet();
int FlushSoftScreenRect(const platform::RECT* rect);
int SyncSoftScreenFromSurface();
int CopySurfaceRect(platform::DirectDrawSurface* dest, platform::DirectDrawSurface* src, int x,
                    int y, const platform::RECT* srcRect, int mode);

// ---- Software screen -------------------------------------------------------------------------
int SetSoftwareScreenAtStart(int flag);
int GetSoftwareScreenFlag();
// The software screen counts as in use when the flag is set and the screen is not 8-bit.
int IsSoftwareScreenInUse();
int CreateMemImgScreenFormat(MEMIMG* image, int width, int height, int colorType);
// Makes -2, -4 or a drawable graph the DirectDraw path's target. -1 for a graph that does not
// resolve, else 0.
int G_DD_SetDrawTarget(int32_t drawScreen);
int G_DD_ResetViewport(int flag);

// ---- Screen colours --------------------------------------------------------------------------
int GetScreenColorBitDepth();
int GetScreenColorBitDepth2();
// The MEMIMG colour type of the screen's images (and of work images standing in for the
// screen): 5:6:5 at the requested depth 16, else 32-bit.
int ScreenImageColorType();
const ColorData* GetScreenColorData();
int GetScreenColorInfo();
// The format screen pixel values are written in: the software screen's image format, else the
// display's.
const ColorData* ScreenValueFormat();
uint32_t GetScreenColorValue(int red, int green, int blue);
int SplitScreenColorValue(uint32_t value, int* red, int* green, int* blue);
// Width and height of the screen mode (640 x 480 while unset).
int GetScreenWidth();
int GetScreenHeight();

// ---- Accessors -------------------------------------------------------------------------------
platform::DirectDraw* GetDirectDrawObject();
int GetDirectDrawCaps(platform::DDCaps* caps);
platform::DirectDrawSurface* GetPrimaryDDSurface();
platform::DirectDrawSurface* GetWorkSurface();
// The overlay format chosen at display start; null when none was found or the screen is
// narrower than 640 or lower than 400 pixels.
const platform::PixelFormat* GetOverlayFormat();
int IsPrimaryDrawTarget();
const platform::PixelFormat* GetDisplayModeInfo();

}  // namespace zq::gfx
