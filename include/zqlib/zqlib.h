// zqlib: the public entry points.
//
// Each entry point takes the library lock, calls the library's inner function of the same name
// and releases the lock, so any thread may call them; the lock is recursive. GetScreenColorValue,
// SplitScreenColorValue and ClipRectToRect run without it.
//
// Results follow the library's rule: 0 (or a handle, or a value) on success, -1 on failure, with
// a line in the log "AppLog.txt" of the start directory. Graphs are handle values; a negative
// handle means none. Colours of boxes and fills are pixel values of the screen's format, made
// with GetScreenColorValue. Coordinates: right and bottom edges are exclusive.
//
// A program:
//   zq::ChangeWindowMode(1);
//   if (zq::LibraryInit() != 0) return 1;
//   zq::RunScreenModeChange(640, 480, 32, 60);
//   int g = zq::LoadGraphFromFileStd("ship.png");
//   zq::SelectDrawScreen(zq::kDrawScreenBack);
//   while (zq::ProcessMessage() == 0) {
//     zq::ClearTargetScreen();
//     zq::DrawGraphAt(100, 100, g, 1);
//     zq::PresentByFlip();
//   }
//   zq::LibraryEnd();
#pragma once

#include <cstdint>

namespace zq {

// Draw-screen values besides graph handles.
inline constexpr int kDrawScreenBack = -2;
inline constexpr int kDrawScreenFront = -4;

// Blend modes of SetBlendMode.
inline constexpr int kBlendNone = 0;
inline constexpr int kBlendAlpha = 1;
inline constexpr int kBlendAdd = 2;
inline constexpr int kBlendSubtract = 3;
inline constexpr int kBlendMultiply = 4;

// ---- Start and end ---------------------------------------------------------------------------

// Runs in a window (1) or full screen (0); only before LibraryInit.
int ChangeWindowMode(int windowed);
// Starts the library (log, main window, graphics, the front screen as draw screen). 0 or -1.
int LibraryInit();
// Ends the library, logging any unreleased memory blocks, and stops the message thread. 0 or -1.
int LibraryEnd();
// Changes the screen mode: every graph is deleted. 0 or -1.
int RunScreenModeChange(int width, int height, int colorBitDepth, int refreshRate);
// Processes pending window messages. 0, or -1 once the window is gone (the program should end).
int ProcessMessage();
// Starts the library's message thread, which processes window messages every 17 ms while any
// are queued, until the library ends. 0, or -1 before LibraryInit or when it already runs.
int StartMessageThread();
// Shows presented frames in an SDL2 window (1) or keeps presenting headless (0). Returns 1 when
// the window presenter is in use, 0 when it is not (also when no display is available).
int UseWindowPresenter(int window);

// ---- Screen ----------------------------------------------------------------------------------

// Shows the back screen. 0 or -1.
int PresentByFlip();
// kDrawScreenBack, kDrawScreenFront or a graph made drawable (SetCreateOptionFlag(1)). 0 or -1.
int SelectDrawScreen(int drawScreen);
int GetDrawScreenHandle();
// Limits drawing to the rectangle, clipped to the draw screen. 0.
int ApplyDrawArea(int left, int top, int right, int bottom);
// Clears the draw screen to black. 0.
int ClearTargetScreen();
// The screen's width, height and colour depth; any pointer may be null. 0.
int GetScreenSizeAndDepth(int* width, int* height, int* colorBitDepth);
// Screen pixel value of a colour (components 0..255), and back. Run without the lock.
uint32_t GetScreenColorValue(int red, int green, int blue);
int SplitScreenColorValue(uint32_t value, int* red, int* green, int* blue);
// The pixel value at (x, y) of the draw screen, in the screen's format. 0, or -1 outside it.
int GetDrawScreenPixel(int x, int y, uint32_t* value);
// Writes the last presented frame (the window's client area) as an RGB PNG file. 0 or -1.
int SaveScreenPng(const char* path);

// ---- Draw state ------------------------------------------------------------------------------

// One of the kBlend* modes with its parameter 0..255 (clamped). 0.
int SetBlendMode(int mode, int param);
// Texture sampling of Direct3D graphs: 0 nearest pixel, 1 bilinear. 0.
int SetSamplingMode(int mode);
// Multiplies drawn colours by the bright colour (components clamped to 0..255). 0.
int SetDrawBrightRGB(int red, int green, int blue);
// A graph whose pixel values (over borderParam and borderRange, 0..255 each) steer the blend of
// later draws, or -1 for none. 0, or -1 for an invalid graph.
int SelectBlendGraph(int graph, int borderParam, int borderRange);

// ---- Graph-creation options (set, create, set back) ------------------------------------------

// New graphs can be drawn into (1) or not (0). 0.
int SetCreateOptionFlag(int drawValid);
// New graphs get an alpha channel (1) or not (0). 0.
int SetCreateAlphaChannelFlag(int flag);
// New graphs with an alpha channel use alpha testing (1, the default) or not (0). 0.
int SetCreateOptionB(int alphaTest);
// New graphs are kept in system memory (1) or not (0). 0.
int SetCreateOptionD(int systemMemory);
// Colour depth of new graphs: 16, 32, or 0 for the screen's. 0.
int SetCreateColorBitDepth(int depth);
// Whether new graphs may take the Direct3D path (the simulated device on a hardware screen).
// Called before LibraryInit it also chooses the screen: 1 a hardware screen, 0 a software one. 0.
int ChooseDirect3DGraphs(int flag);

// ---- Graphs ----------------------------------------------------------------------------------

// A graph from an image file (BMP, PNG, JPEG, TGA, DDS, raw BGRA), with a "_a" alpha companion
// file when one exists; a file no image reader takes is opened as a movie (whatever FFmpeg's
// libraries decode), shown in a graph of its frame size. The handle or -1.
int LoadGraphFromFileStd(const char* fileName);
// Cuts an image file into total cells of cellWidth x cellHeight, across x down, row by row, into
// handles[0 .. total). 0 or -1.
int LoadDividedGraphFromFileStd(const char* fileName, int total, int across, int down,
                                int cellWidth, int cellHeight, int* handles);
// An empty graph under the current creation options. The handle or -1.
int CreateEmptyGraph(int width, int height);
// A graph showing the rectangle of another graph (sharing its pixels). The handle or -1.
int DeriveGraphRect(int x, int y, int width, int height, int parent);
// 0, or -1 for an invalid handle; logFlag 1 writes a log line.
int DeleteGraphHandle(int graph, int logFlag = 0);
int DeleteAllGraphHandles(int logFlag = 0);
// Width and height of a graph or a draw screen; either pointer may be null. 0 or -1.
int QueryGraphDimensions(int graph, int* width, int* height);

// ---- Movies ----------------------------------------------------------------------------------

// A movie graph starts stopped; drawing it shows its current frame. 0 (also for a graph without
// a movie), or -1 for an invalid handle.
int PlayMovieGraph(int graph);
int PauseMovieGraph(int graph);

// ---- Restore ---------------------------------------------------------------------------------

// When the desktop's display mode changes (in a window) or the program returns to full screen,
// the library makes its graphics again and then calls this function to refill the graphs. Null
// installs the default, which loads every graph that came from a file from that file again;
// graphs made from memory or drawn into come back blank unless the program's own function
// refills them. 0.
int SetGraphRestoreCallback(void (*callback)());

// ---- Drawing (trans 1: the graph's transparent colour is skipped) ----------------------------

int DrawGraphAt(int x, int y, int graph, int trans);
// The whole graph stretched onto (x1, y1)-(x2, y2); mirrored when x2 < x1 or y2 < y1.
int DrawGraphRect(int x1, int y1, int x2, int y2, int graph, int trans);
// Mirrored left to right at (x, y).
int DrawGraphMirrored(int x, int y, int graph, int trans);
// The part (srcX, srcY, width, height) of the graph at (x, y), mirrored in place when mirror is 1.
int DrawGraphInRect(int x, int y, int srcX, int srcY, int width, int height, int graph, int trans,
                    int mirror);
// The part (srcX, srcY, srcWidth, srcHeight) stretched onto (x1, y1)-(x2, y2).
int DrawGraphRectScaled(int x1, int y1, int x2, int y2, int srcX, int srcY, int srcWidth,
                        int srcHeight, int graph, int trans);
// Centred at (x, y), scaled, turned by angle radians; turn 1 mirrors it.
int DrawGraphRotScaledF(float x, float y, double scale, double angle, int graph, int trans,
                        int turn);
int DrawGraphRotScaledAt(int x, int y, double scale, double angle, int graph, int trans, int turn);
// The graph's top-left, top-right, bottom-right and bottom-left corners on the four points.
int DrawGraphFourCorners(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                         float y4, int graph, int trans);
// Fills the graph with a colour (components 0..255). 0 or -1.
int FillGraphColor(int graph, int red, int green, int blue, int alpha);
// Boxes from (x1, y1) to (x2, y2) exclusive in a screen colour, under the blend mode.
int DrawFilledBox(int x1, int y1, int x2, int y2, uint32_t color);
int DrawFrameBox(int x1, int y1, int x2, int y2, uint32_t color);
// Copies the rectangle of the draw screen into the graph's top-left corner.
int CopyDrawScreenToGraph(int x1, int y1, int x2, int y2, int graph, int flag);

// ---- Fonts -----------------------------------------------------------------------------------

// A font of the face (Shift-JIS name; null or "" for the default face) at the character height,
// with thickness 0..10 (GDI weight / 100), type (bit 0 an edge of edgeSize pixels around each
// glyph, bit 1 anti-aliased), charset index (0 default, 1 Shift-JIS, 2 Hangeul); -1 in any number
// asks for its default (16, 6, 0, by the system's code page, no edge). The handle or -1.
int CreateFontToHandle(const char* faceName, int size, int thickness, int type, int charsetIndex,
                       int edgeSize);
// 0, or -1 for an invalid handle.
int DeleteFontHandle(int font);
// Pixels added to every advance of the font. 0 or -1.
int SetFontCharSpacing(int spacing, int font);
// The default font, made at start-up (-1 when none).
int GetDefaultFontHandle();
// Makes the default font again at the size and thickness (-1: 16 and 6). 0 or -1.
int SetDefaultFontSize(int size, int thickness);
// The character height the font was made with, or -1.
int GetFontSize(int font);

// ---- Text ------------------------------------------------------------------------------------

// Draws the string (Shift-JIS, one line) with its top left at (x, y), or downwards from there with
// vertical 1 (each glyph a quarter turn clockwise), in the colour and, for an outlined font, the
// edge colour (screen colours, GetScreenColorValue), under the blend mode, bright and mask.
// 0 (also when nothing was drawn), or -1 for an invalid font.
int DrawStringWithFont(int x, int y, const char* string, uint32_t color, int font,
                       uint32_t edgeColor, int vertical);
// The width (vertical 1: the height) of the first length bytes of the string (-1: all), or -1.
int MeasureStringWidth(const char* string, int length, int font, int vertical);

// ---- Mask ------------------------------------------------------------------------------------

// Makes a screen-sized mask, all zero. 0 or -1.
int CreateMaskScreen();
// Sets the mask bytes of the rectangle (clipped to the mask) to value: drawing leaves the pixels
// under a non-zero byte unchanged while the mask is on. 0, or -1 without a mask.
int FillMaskRect(int left, int top, int right, int bottom, int value);
// Switches the mask on (1) or off (0). 0, or -1 without a mask.
int SetMaskEnabled(int flag);

// ---- Helpers ---------------------------------------------------------------------------------

// Clips *rect (left, top, right, bottom) to *clip. Runs without the lock. 0, or -1 for a null
// pointer.
int ClipRectToRect(int* rect, const int* clip);
// Memory blocks the library holds (0 after LibraryEnd when nothing leaked).
int TrackedBlockCount();

}  // namespace zq
