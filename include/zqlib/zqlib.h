/// \file
/// \brief zqlib: the public entry points.
///
/// \mainpage zqlib
///
/// zqlib draws 2D graphics pixel for pixel the same on every machine: graphs (images) loaded from
/// files, drawn plainly, stretched, mirrored, turned or onto four corners, in five blend modes,
/// with boxes, lines, text, a mask and movies, into a 640 x 480 (or any size) 16- or 32-bit
/// screen that is shown in a window or kept headless. Everything a program calls is declared in
/// this header, in namespace zq. The API reference of every entry point is in the namespace zq.
///
/// \section conventions Conventions
///
/// - **Results.** Every entry point returns 0 (or a handle, or a value) on success and -1 on
///   failure. Most failures also write a line to the log "AppLog.txt", which LibraryInit creates
///   anew in the directory the program runs in; an invalid or stale handle is refused with -1
///   and no log line. When AppLog.txt cannot be written the library runs without a log and says
///   so once on standard error.
/// - **Handles.** Graphs and fonts are int handle values, never 0 and never negative; a
///   negative value means none. A handle stays valid until it is deleted, until
///   RunScreenModeChange (which deletes every graph and font) or until LibraryEnd. A handle
///   holds its graph's slot and a check number, 0 to 2047, which goes up by one with every
///   graph made (fonts count apart), and a call refuses with -1 a handle that does not match a
///   living graph. A deleted handle is refused until a new graph takes its slot with the same
///   check number, which can happen once 2048 (or a multiple) further graphs have been made:
///   the old handle then names that graph, and DeleteGraphHandle on it deletes it.
///   RunScreenModeChange and LibraryInit start the count again, so the graphs made after them
///   get, one by one, the handles that the graphs made after the start before got: a handle
///   kept across them names such a new graph (the first one made, for the first handle ever
///   given). Drop every handle there. At most 32768 graphs exist at once: one more ends the
///   program with a log line.
/// - **The running library.** Loading, creating, drawing, presenting, the draw state, fonts,
///   text, masks and movies need the library started: before LibraryInit and after LibraryEnd
///   they return -1 and change nothing (there is no log then to write to). What works at any
///   time: ChangeWindowMode and UseWindowPresenter (meant for before the start), the
///   graph-creation options (SetCreateOptionFlag and its siblings), GetScreenColorValue,
///   SplitScreenColorValue, ClipRectToRect, GetLibraryVersion and TrackedBlockCount.
/// - **Threads.** Every entry point but GetScreenColorValue, SplitScreenColorValue,
///   ClipRectToRect and GetLibraryVersion takes the library's lock, so any thread may call
///   them; the lock is recursive.
/// - **Coordinates** are pixels of the draw screen, x to the right and y downwards from its
///   top-left corner. Rectangles are given as left, top, right, bottom with the **right and
///   bottom edges exclusive**: (10, 20, 14, 22) covers the rows 20 and 21, in each the columns
///   from 10 to 13. Drawing is clipped to the draw area (ApplyDrawArea), which is clipped to the
///   draw screen.
/// - **Colours** of boxes, lines, text and fills of the screen are screen pixel values, made
///   with GetScreenColorValue(red, green, blue) from components 0..255. They depend on the
///   screen's colour depth: make them again after RunScreenModeChange changes the depth.
///   FillGraphColor and SetDrawBrightRGB take components 0..255 instead.
/// - **Transparency.** A graph without an alpha channel is drawn whole with `trans` 0; with
///   `trans` 1 the pixels of its transparent colour, black (0, 0, 0), are skipped. A graph with
///   an alpha channel (a PNG with alpha, or an image with a companion file named with "_a"
///   before its extension, which the companion keeps: "ship_a.png" for "ship.png", "tile_a.jpg"
///   for "tile.jpg", never "tile_a.png") is drawn by its alpha with either `trans`: alpha 0
///   stays invisible, 255 covers, values between blend. The alpha channel is where a program
///   chooses what is transparent.
/// - **Angles** are in radians; a positive angle turns clockwise on the screen (the y axis
///   points down).
/// - **Blend modes** (SetBlendMode) apply to every draw: kBlendNone copies, kBlendAlpha mixes
///   by the parameter (255 opaque), kBlendAdd and kBlendSubtract add or subtract the colour
///   scaled by the parameter, saturating, and kBlendMultiply multiplies the channels. The
///   bright colour (SetDrawBrightRGB) multiplies the drawn colour first.
/// - **Strings** passed for drawing are Shift-JIS bytes, one line; file names are paths of the
///   file system, relative ones from the directory LibraryInit ran in. A string given with a
///   length is read no further than that many bytes and needs no 0 byte, with one exception:
///   when its last byte begins a two-byte character, the byte after it is read too, so that
///   byte must be readable.
///
/// \section screens Screens and presenting
///
/// After LibraryInit the screen is 640 x 480 at 16 bits; RunScreenModeChange sets the size and
/// depth (16 or 32) a program wants. The screen is kept in memory and drawn by the library's
/// software renderer, which gives the same pixels on every machine (ChooseDirect3DGraphs(1)
/// before LibraryInit starts on simulated DirectDraw surfaces with a simulated Direct3D device
/// instead, whose blending and sampling differ slightly). The screen has a front and a back
/// buffer: draw into the back one (SelectDrawScreen(kDrawScreenBack)) and
/// show it with PresentByFlip. Where a presented frame goes is the presenter's choice:
/// headless (kept, for SaveScreenPng only) by default, or an SDL2 window. A program asks for the
/// window with UseWindowPresenter(1), best before LibraryInit; a program that does not choose
/// gets what the environment variable ZQ_PRESENTER says at the first present: "window" or
/// "headless" (also when unset). Without a display the window cannot open: presenting stays
/// headless and standard error says so once. The library does not wait for the vertical blank:
/// a program paces its frames itself.
///
/// \section example A program
///
/// This is the whole of a program: it shows a ship gliding over a ground line for 600 frames
/// (about ten seconds), or for the number of frames given as its argument, then ends. It runs
/// in a window where a display exists and headless elsewhere. The tests build and run it as
/// written.
///
/// \code{.cpp}
/// #include <zqlib/zqlib.h>
///
/// #include <chrono>
/// #include <cstdio>
/// #include <cstdlib>
/// #include <thread>
///
/// int main(int argc, char** argv) {
///   const int frames = argc > 1 ? std::atoi(argv[1]) : 600;
///   zq::UseWindowPresenter(1);  // a window where a display exists; headless otherwise
///   zq::ChangeWindowMode(1);    // in a window, not full screen: before LibraryInit
///   if (zq::LibraryInit() != 0) return 1;
///   if (zq::RunScreenModeChange(640, 480, 32, 60) != 0) {
///     zq::LibraryEnd();
///     return 1;
///   }
///   // A PNG whose alpha channel says what is transparent.
///   const int ship = zq::LoadGraphFromFileStd("ship.png");
///   if (ship < 0) std::puts("ship.png could not be loaded: see AppLog.txt");
///   // Screen colours are made after the screen mode is set.
///   const unsigned ground = zq::GetScreenColorValue(40, 90, 40);
///   const unsigned white = zq::GetScreenColorValue(255, 255, 255);
///   zq::SelectDrawScreen(zq::kDrawScreenBack);
///   // ProcessMessage returns -1 once the window was closed.
///   for (int frame = 0; frame < frames && zq::ProcessMessage() == 0; ++frame) {
///     zq::ClearTargetScreen();
///     zq::DrawFilledBox(0, 400, 640, 480, ground);
///     zq::DrawLine(0, 400, 640, 400, white);
///     zq::DrawGraphAt(frame % 640, 300, ship, 1);
///     zq::PresentByFlip();
///     std::this_thread::sleep_for(std::chrono::milliseconds(16));  // about 60 frames a second
///   }
///   zq::LibraryEnd();  // also deletes every graph
///   return 0;
/// }
/// \endcode
#pragma once

#include <zqlib/version.h>

#include <cstddef>
#include <cstdint>

/// Everything zqlib declares.
namespace zq {

/// \name Draw-screen values
/// The two screen buffers, for SelectDrawScreen; a drawable graph's handle is the third kind.
///@{

/// The back buffer: drawn into unseen, shown by PresentByFlip.
inline constexpr int kDrawScreenBack = -2;
/// The front buffer: what PresentByFlip showed last. The draw screen after LibraryInit and
/// after every RunScreenModeChange.
inline constexpr int kDrawScreenFront = -4;
///@}

/// \name Blend modes
/// The modes of SetBlendMode.
///@{

/// Copy: the drawn pixels replace the screen's; the parameter is not read.
inline constexpr int kBlendNone = 0;
/// Alpha blend: screen + (drawn - screen) x parameter / 255 (about); 255 copies, 0 draws
/// nothing. Per-pixel alpha multiplies in.
inline constexpr int kBlendAlpha = 1;
/// Additive: the drawn colour x parameter / 255 added to the screen, each channel saturating
/// at its maximum; parameter 0 draws nothing.
inline constexpr int kBlendAdd = 2;
/// Subtractive: the drawn colour x parameter / 255 subtracted from the screen, each channel
/// stopping at 0; parameter 0 draws nothing.
inline constexpr int kBlendSubtract = 3;
/// Multiplicative: each screen channel times the drawn one, over the channel's range (about
/// screen x drawn / 256 at 32 bits); the parameter is not read.
inline constexpr int kBlendMultiply = 4;
///@}

// ---- Start and end ---------------------------------------------------------------------------

/// \name Start and end
///@{

/// Chooses between a window and full screen for the next LibraryInit.
/// \param windowed 1 in a window (the default), 0 full screen.
/// \return 0; -1 while the library runs (the mode is chosen before the start).
int ChangeWindowMode(int windowed);

/// Starts the library: the log AppLog.txt in the current directory, the main window, the
/// graphics and a 640 x 480 16-bit screen, with the front buffer as the draw screen.
/// \return 0; -1 when the library already runs; -1 with a log line when the desktop is 24-bit
/// in window mode, or when the window or the graphics cannot start (the library is then ended
/// again).
int LibraryInit();

/// Ends the library: deletes every graph, font, mask and movie, closes the window, stops the
/// message thread, writes the blocks of memory still held to the log ("unreleased memory
/// blocks") and closes the log. Call it from a thread that does not hold the library's lock
/// (the message thread may be waiting for it).
/// \return 0; -1 when the library does not run.
int LibraryEnd();

/// Sets the screen's size and colour depth. Every graph, every font and the mask are deleted
/// (the default font is made again, under a new handle), the draw state and the graph-creation
/// options go back to their defaults, and the front buffer becomes the draw screen. Screen
/// colours made before must be made again when the depth changed.
/// \param width width in pixels, 1..65535.
/// \param height height in pixels, 1..65535.
/// \param colorBitDepth 16 (5:6:5 pixels) or 32 (8 bits a channel).
/// \param refreshRate refresh rate in Hz, 0 .. 1000; 0 leaves it to the display. Stored, but
/// the library does not wait for the display.
/// \return 0; -1 with a log line for a size, depth or refresh rate out of its range (nothing
/// changes), in window mode for a screen wider or taller than the desktop, or for a mode the
/// display cannot take (the screen mode before stays); -1 when the library does not run.
int RunScreenModeChange(int width, int height, int colorBitDepth, int refreshRate);

/// Processes up to five pending window messages (activation, moves, display changes, closing).
/// Call it once a frame, or let StartMessageThread do it.
/// \return 0; -1 once the window is gone (the program should end) or when the library does not
/// run.
int ProcessMessage();

/// Starts a thread of the library that processes the window messages every 17 ms while any are
/// queued, until LibraryEnd.
/// \return 0; -1 when the library does not run or the thread already runs.
int StartMessageThread();

/// Chooses where presented frames go: an SDL2 window of the screen's size (1), or nowhere but
/// the kept frame that SaveScreenPng writes (0, headless). Best called before LibraryInit, from
/// the thread that presents (SDL reads the window's events there); it may be called at any
/// time and overrides the environment variable ZQ_PRESENTER ("window" or "headless"), which
/// chooses for a program that has not called it. The window opens at the next present; closing
/// it makes ProcessMessage return -1.
/// \param window 1 for the window, 0 for headless.
/// \return 1 when the window presenter is in use, 0 when it is not: asked for headless, or no
/// display is available (standard error then says so once).
int UseWindowPresenter(int window);

/// The version of the library linked in, as ZQLIB_VERSION makes it from the version of the
/// headers: major * 10000 + minor * 100 + patch. Works at any time, without the lock.
/// \return the version number.
int GetLibraryVersion();

///@}

// ---- Screen ----------------------------------------------------------------------------------

/// \name The screen
///@{

/// Shows the back buffer: it becomes the front buffer's content and goes to the presenter (the
/// window, or the kept frame of SaveScreenPng). The back buffer keeps its pixels. Does not wait
/// for the vertical blank.
/// \return 0; -1 when the screen cannot be presented or the library does not run.
int PresentByFlip();

/// Chooses where drawing goes. The draw area becomes the whole new draw screen, unless the new
/// one has the size of the previous one, in which case the draw area stays.
/// \param drawScreen kDrawScreenBack, kDrawScreenFront, or the handle of a graph made drawable
/// (SetCreateOptionFlag(1) before creating it).
/// \return 0 when the screen is selected. 0 also when the value is none of those three (a
/// deleted, stale or foreign handle, a graph not made drawable such as a loaded image or a
/// movie, any other number):
/// the previous draw screen is then selected again, its pixels and draw area unchanged, so
/// compare GetDrawScreenHandle when in doubt. -1, before anything else, for a number from 0 to
/// 32767 whose slot in the graph table is empty (no handle is ever such a number; one whose
/// slot holds a graph is refused as above, with 0); -1 when the library does not run.
int SelectDrawScreen(int drawScreen);

/// The current draw screen.
/// \return kDrawScreenBack, kDrawScreenFront or a graph handle; -1 when the library does not
/// run.
int GetDrawScreenHandle();

/// Limits drawing to a rectangle of the draw screen until the next call or draw-screen change.
/// The corners may come in any order; the rectangle is clipped to the draw screen. An empty
/// area makes every draw do nothing (and return 0).
/// \param left left edge in pixels.
/// \param top top edge in pixels.
/// \param right right edge in pixels, exclusive.
/// \param bottom bottom edge in pixels, exclusive.
/// \return 0; -1 when the library does not run.
int ApplyDrawArea(int left, int top, int right, int bottom);

/// Fills the draw screen with black, within the draw area. On the software path the fill goes
/// under the blend mode and bright colour in force, so set kBlendNone first for a plain clear.
/// \return 0; -1 when the library does not run.
int ClearTargetScreen();

/// The screen's size and colour depth.
/// \param width receives the width in pixels; may be null.
/// \param height receives the height in pixels; may be null.
/// \param colorBitDepth receives 16 or 32; may be null.
/// \return 0; -1 when the library does not run.
int GetScreenSizeAndDepth(int* width, int* height, int* colorBitDepth);

/// The screen pixel value of a colour, for boxes, lines, text and pixel comparisons: each
/// channel cut to the screen format's width (5:6:5 at 16 bits) and put in place. Runs without
/// the lock; its value means something only while the library runs. Make colours again after
/// RunScreenModeChange changes the depth.
/// \param red red 0..255 (clamped).
/// \param green green 0..255 (clamped).
/// \param blue blue 0..255 (clamped).
/// \return the pixel value.
uint32_t GetScreenColorValue(int red, int green, int blue);

/// The components of a screen pixel value, each widened to 0..255 (channel x 255 / its
/// maximum). Runs without the lock.
/// \param value a pixel value of the screen's format.
/// \param red receives red 0..255; may be null.
/// \param green receives green 0..255; may be null.
/// \param blue receives blue 0..255; may be null.
/// \return 0.
int SplitScreenColorValue(uint32_t value, int* red, int* green, int* blue);

/// Reads one pixel of the draw screen.
/// \param x column, 0 .. draw-screen width - 1.
/// \param y row, 0 .. draw-screen height - 1.
/// \param value receives the pixel value in the draw screen's format (the screen's, or the
/// graph's).
/// \return 0; -1 outside the draw screen, for a null value, when the screen cannot be read or
/// the library does not run.
int GetDrawScreenPixel(int x, int y, uint32_t* value);

/// Writes the last presented frame as an 8-bit RGB PNG file: the part under the window's client
/// area in a window (the screen's size at most), the whole frame in full screen.
/// \param path the file to write; an existing file is replaced.
/// \return 0; -1 with a log line for a null path, before the program's first PresentByFlip
/// since the screen mode was set, when the window lies wholly off the desktop or the file
/// cannot be written; -1 when the library does not run.
int SaveScreenPng(const char* path);

///@}

// ---- Draw state ------------------------------------------------------------------------------

/// \name Draw state
/// Read by every later draw. RunScreenModeChange sets it back to its defaults: kBlendNone,
/// bright (255, 255, 255), no blend graph.
///@{

/// Sets how drawn pixels combine with the screen (see the kBlend* constants).
/// \param mode kBlendNone, kBlendAlpha, kBlendAdd, kBlendSubtract or kBlendMultiply.
/// \param param the strength 0..255 (values outside are clamped).
/// \return 0; -1 with a log line for an unknown mode (the mode in force stays); -1 when the
/// library does not run.
int SetBlendMode(int mode, int param);

/// How Direct3D graphs are sampled when they are stretched or turned (graphs on the software
/// path always take the nearest pixel).
/// \param mode 0 the nearest pixel (the default), 1 bilinear.
/// \return 0; -1 with a log line for another mode; -1 when the library does not run.
int SetSamplingMode(int mode);

/// Multiplies every drawn colour by a colour, channel by channel: about drawn x bright / 255
/// (boxes and lines: / 256, so 255 lowers a channel a little). (255, 255, 255), the default,
/// switches it off: colours are drawn unchanged.
/// \param red red 0..255 (clamped).
/// \param green green 0..255 (clamped).
/// \param blue blue 0..255 (clamped).
/// \return 0; -1 when the library does not run.
int SetDrawBrightRGB(int red, int green, int blue);

/// Selects a graph whose pixels steer the blend of later graph draws, pixel by pixel (a wipe):
/// the blend graph is read one byte per drawn pixel, at the drawn pixel's place in the drawn
/// graph, and a table made from the two parameters turns that byte into the pixel's blend
/// amount. Make it from a greyscale image (which loads with one byte a pixel, its grey level).
/// It must be at least as large as every graph drawn while it is selected (a draw of a larger
/// graph is refused with -1).
/// \param graph the blend graph, or -1 for none.
/// \param borderParam where the border of the wipe lies, 0..255 (clamped): at 0 the whole
/// graph is drawn; raising it takes away first the pixels over the darkest bytes, until
/// (near 255) nothing is drawn.
/// \param borderRange how soft the border is, 0..255 (clamped): 0 hard, 255 the softest (with
/// borderParam 128 the bytes themselves are the blend amounts).
/// \return 0; -1 for an invalid graph handle (nothing changes) or when the library does not
/// run. Deleting the blend graph selects none (its parameters stay).
int SelectBlendGraph(int graph, int borderParam, int borderRange);

///@}

// ---- Graph-creation options (set, create, set back) ------------------------------------------

/// \name Graph-creation options
/// Options that apply to the graphs created after them: set one, create, set it back. They
/// work at any time, but LibraryInit and RunScreenModeChange set every one back to its
/// default, so set them after those.
///@{

/// New graphs can be drawn into, as draw screens (SelectDrawScreen).
/// \param drawValid 1 drawable, 0 not (the default). Drawable graphs have no alpha channel.
/// \return 0.
int SetCreateOptionFlag(int drawValid);

/// New empty graphs (CreateEmptyGraph) get an alpha channel.
/// \param flag 1 with an alpha channel, 0 without (the default).
/// \return 0.
int SetCreateAlphaChannelFlag(int flag);

/// New graphs with an alpha channel use alpha testing on the Direct3D path.
/// \param alphaTest 1 (the default) or 0.
/// \return 0.
int SetCreateOptionB(int alphaTest);

/// New graphs keep their pixels in system memory.
/// \param systemMemory 1 or 0 (the default).
/// \return 0.
int SetCreateOptionD(int systemMemory);

/// The colour depth of new graphs.
/// \param depth 16, 32, or 0 for the screen's (the default).
/// \return 0; -1 for any other depth (with a log line while the library runs).
int SetCreateColorBitDepth(int depth);

/// Whether new graphs may take the Direct3D path. Called before LibraryInit it also chooses the
/// screen: 0 (and the default) a software screen, 1 a screen of simulated DirectDraw surfaces
/// with the simulated Direct3D device when one is available.
/// \param flag 1 or 0.
/// \return 0.
int ChooseDirect3DGraphs(int flag);

///@}

// ---- Graphs ----------------------------------------------------------------------------------

/// \name Graphs
///@{

/// Loads an image file into a new graph of its size: BMP, PNG, JPEG, TGA, DDS or the raw BGRA
/// format, recognised by their content. A file named like the image with "_a" before the
/// extension ("ship_a.png" for "ship.png"), when it exists, gives the graph's alpha channel. A
/// file that no image reader takes is opened as a movie (whatever FFmpeg's libraries decode),
/// shown in a graph of its frame size; see PlayMovieGraph. The graph remembers its file and is
/// loaded again from it after a display change.
/// \param fileName the file's path.
/// \return the graph handle; -1 with a log line when the file is missing or cannot be decoded,
/// or when the library does not run.
int LoadGraphFromFileStd(const char* fileName);

/// Loads an image file and cuts it into a grid of graphs of one size (a sprite sheet): cells
/// are numbered row by row from the top left, across cells a row. The cells share the image's
/// pixels; a cell reaching past the image's right or bottom edge is cut there.
/// \param fileName the file's path.
/// \param total number of cells to make, 0 .. across x down.
/// \param across cells in a row, 1 or more.
/// \param down rows of cells, 1 or more.
/// \param cellWidth width of a cell in pixels, 1 or more.
/// \param cellHeight height of a cell in pixels, 1 or more.
/// \param handles receives the total cell handles.
/// \return 0; -1 with a log line for a total below 0 or above across x down, a missing or
/// undecodable file, or a cell that lies outside the image; -1 when the library does not run.
/// On -1 no cell is kept and every one of the total slots of handles holds -1.
int LoadDividedGraphFromFileStd(const char* fileName, int total, int across, int down,
                                int cellWidth, int cellHeight, int* handles);

/// Creates an empty graph under the graph-creation options (drawable, alpha channel, depth).
/// \param width width in pixels, 1..65535.
/// \param height height in pixels, 1..65535.
/// \return the graph handle; -1 with a log line for a size outside those bounds or when the
/// pixels cannot be made; -1 when the library does not run.
int CreateEmptyGraph(int width, int height);

/// Creates a graph that shows a rectangle of another graph, sharing its pixels (drawing into
/// one shows in the other). A rectangle reaching past the parent's right or bottom edge is cut
/// there.
/// \param x left edge in the parent, 0 .. parent width - 1.
/// \param y top edge in the parent, 0 .. parent height - 1.
/// \param width width in pixels, 1 or more.
/// \param height height in pixels, 1 or more.
/// \param parent the graph shown.
/// \return the graph handle; -1 for an invalid parent, a rectangle that starts outside it or
/// has no size, or when the library does not run.
int DeriveGraphRect(int x, int y, int width, int height, int parent);

/// Deletes a graph. Pixels shared with derived graphs stay while one of them lives. A graph that
/// is the draw screen is replaced there by the front buffer first; one that is the blend graph
/// is deselected (SelectBlendGraph(-1) with the parameters in force).
/// \param graph the graph.
/// \param logFlag 1 writes a log line with the graph's file name, 0 does not.
/// \return 0; -1 for an invalid handle or when the library does not run.
int DeleteGraphHandle(int graph, int logFlag = 0);

/// Deletes every graph, as DeleteGraphHandle does one.
/// \param logFlag 1 writes a log line for each, 0 does not.
/// \return 0; -1 when the library does not run.
int DeleteAllGraphHandles(int logFlag = 0);

/// The size of a graph or of a screen buffer.
/// \param graph a graph, kDrawScreenBack or kDrawScreenFront.
/// \param width receives the width in pixels; may be null.
/// \param height receives the height in pixels; may be null.
/// \return 0; -1 for an invalid handle or when the library does not run.
int QueryGraphDimensions(int graph, int* width, int* height);

///@}

// ---- Movies ----------------------------------------------------------------------------------

/// \name Movies
/// A movie file loaded with LoadGraphFromFileStd plays into its graph without sound. The graph
/// starts stopped; each draw of it shows the movie's current frame.
///@{

/// Starts or resumes the movie of a graph at the pace of its own clock.
/// \param graph a graph loaded from a movie file, or one derived from it.
/// \return 0 (also for a graph without a movie); -1 for an invalid handle or when the library
/// does not run.
int PlayMovieGraph(int graph);

/// Stops the movie of a graph where it is; PlayMovieGraph goes on from there.
/// \param graph a graph loaded from a movie file, or one derived from it.
/// \return 0 (also for a graph without a movie); -1 for an invalid handle or when the library
/// does not run.
int PauseMovieGraph(int graph);

///@}

// ---- Restore ---------------------------------------------------------------------------------

/// \name Restore
///@{

/// Chooses what refills the graphs after the display was rebuilt: when the desktop's display
/// mode changes (in a window) or the program returns to full screen, the library makes its
/// graphics again, fonts and movies included, and then calls this function. LibraryInit
/// installs the default, which loads every graph that came from a file from that file again;
/// graphs made from memory or drawn into come back blank unless the program's function refills
/// them.
/// \param callback the function, called under the library's lock on the thread that processes
/// the messages; null installs the default.
/// \return 0; -1 when the library does not run.
int SetGraphRestoreCallback(void (*callback)());

///@}

// ---- Drawing ---------------------------------------------------------------------------------

/// \name Drawing graphs
/// Each draw clips to the draw area and works under the blend mode, the bright colour, the
/// blend graph and the mask. Each returns 0 (also when the draw area is empty or the graph lies
/// outside it) and -1 for an invalid graph handle, for a selected blend graph smaller than the
/// graph or when the library does not run. `trans` 1 skips transparent pixels (see the
/// conventions), 0 draws every pixel.
///
/// The draws that take floating-point values (DrawGraphRotScaledF, DrawGraphRotScaledAt,
/// DrawGraphFourCorners) give one answer whichever path the graph takes: -1, with nothing drawn,
/// when a value is not a number or infinite, or when the centre or a corner of the drawn graph
/// lies more than 65536 pixels from the draw screen's top-left corner (beyond every screen:
/// a scale of 1e9, say). A scale of 0 draws nothing and returns 0. An empty draw area answers
/// 0 before these values are looked at.
///@{

/// Draws a graph with its top-left corner at (x, y).
/// \param x left edge in pixels.
/// \param y top edge in pixels.
/// \param graph the graph.
/// \param trans 1 skips transparent pixels, 0 draws them.
/// \return 0, or -1 as described above.
int DrawGraphAt(int x, int y, int graph, int trans);

/// Draws the whole graph stretched onto a rectangle; mirrored left to right when x2 < x1 and
/// upside down when y2 < y1.
/// \param x1 edge of the graph's left side in pixels.
/// \param y1 edge of the graph's top side in pixels.
/// \param x2 edge of the graph's right side in pixels, exclusive.
/// \param y2 edge of the graph's bottom side in pixels, exclusive.
/// \param graph the graph.
/// \param trans 1 skips transparent pixels, 0 draws them.
/// \return 0, or -1 as described above.
int DrawGraphRect(int x1, int y1, int x2, int y2, int graph, int trans);

/// Draws a graph mirrored left to right with its top-left corner at (x, y).
/// \param x left edge in pixels.
/// \param y top edge in pixels.
/// \param graph the graph.
/// \param trans 1 skips transparent pixels, 0 draws them.
/// \return 0, or -1 as described above.
int DrawGraphMirrored(int x, int y, int graph, int trans);

/// Draws a part of a graph at (x, y), optionally mirrored left to right in place.
/// \param x left edge of the part on the screen, in pixels.
/// \param y top edge of the part on the screen, in pixels.
/// \param srcX left edge of the part in the graph.
/// \param srcY top edge of the part in the graph.
/// \param width width of the part in pixels.
/// \param height height of the part in pixels.
/// \param graph the graph.
/// \param trans 1 skips transparent pixels, 0 draws them.
/// \param mirror 1 mirrors the part within its own rectangle, 0 does not.
/// \return 0, or -1 as described above.
int DrawGraphInRect(int x, int y, int srcX, int srcY, int width, int height, int graph, int trans,
                    int mirror);

/// Draws a part of a graph stretched onto a rectangle (mirrored on an axis given in reverse).
/// \param x1 left edge on the screen, in pixels.
/// \param y1 top edge on the screen, in pixels.
/// \param x2 right edge on the screen, exclusive.
/// \param y2 bottom edge on the screen, exclusive.
/// \param srcX left edge of the part in the graph.
/// \param srcY top edge of the part in the graph.
/// \param srcWidth width of the part in pixels, 1 or more.
/// \param srcHeight height of the part in pixels, 1 or more.
/// \param graph the graph.
/// \param trans 1 skips transparent pixels, 0 draws them.
/// \return 0, or -1 as described above and for a part width or height below 1.
int DrawGraphRectScaled(int x1, int y1, int x2, int y2, int srcX, int srcY, int srcWidth,
                        int srcHeight, int graph, int trans);

/// Draws a graph centred at (x, y), scaled and turned.
/// \param x centre column in pixels (cut to a whole pixel).
/// \param y centre row in pixels (cut to a whole pixel).
/// \param scale size factor: 1 the graph's own size, 2 twice as large, negative a half turn
/// more; 0 draws nothing.
/// \param angle turn in radians, clockwise on the screen.
/// \param graph the graph.
/// \param trans 1 skips transparent pixels, 0 draws them.
/// \param turn 1 mirrors the graph left to right before it is turned, 0 does not.
/// \return 0; -1 as described above, and for a value that is not finite or a corner beyond
/// 65536 pixels.
int DrawGraphRotScaledF(float x, float y, double scale, double angle, int graph, int trans,
                        int turn);

/// DrawGraphRotScaledF with a centre in whole pixels.
/// \param x centre column in pixels.
/// \param y centre row in pixels.
/// \param scale size factor: 1 the graph's own size.
/// \param angle turn in radians, clockwise on the screen.
/// \param graph the graph.
/// \param trans 1 skips transparent pixels, 0 draws them.
/// \param turn 1 mirrors the graph left to right before it is turned, 0 does not.
/// \return 0; -1 as described above, and for a scale or angle that is not finite or a corner
/// beyond 65536 pixels.
int DrawGraphRotScaledAt(int x, int y, double scale, double angle, int graph, int trans, int turn);

/// Draws a graph with its four corners on four points (cut to whole pixels), as two triangles.
/// \param x1 column of the graph's top-left corner.
/// \param y1 row of the graph's top-left corner.
/// \param x2 column of the top-right corner.
/// \param y2 row of the top-right corner.
/// \param x3 column of the bottom-right corner.
/// \param y3 row of the bottom-right corner.
/// \param x4 column of the bottom-left corner.
/// \param y4 row of the bottom-left corner.
/// \param graph the graph.
/// \param trans 1 skips transparent pixels, 0 draws them.
/// \return 0; -1 as described above, and for a coordinate that is not finite or lies beyond
/// 65536 pixels.
int DrawGraphFourCorners(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                         float y4, int graph, int trans);

///@}

/// \name Drawing shapes and filling
/// Boxes and lines take a screen colour (GetScreenColorValue), clip to the draw area and work
/// under the blend mode, the bright colour and the mask. Each returns 0 (also when nothing lies
/// in the draw area) and -1 when the library does not run.
///@{

/// Fills every pixel of a graph with one colour, ignoring the draw state.
/// \param graph the graph.
/// \param red red 0..255.
/// \param green green 0..255.
/// \param blue blue 0..255.
/// \param alpha alpha 0..255, stored in graphs with an alpha channel.
/// \return 0; -1 for an invalid handle or when the library does not run.
int FillGraphColor(int graph, int red, int green, int blue, int alpha);

/// Fills a box; its corners may come in any order.
/// \param x1 left edge in pixels.
/// \param y1 top edge in pixels.
/// \param x2 right edge in pixels, exclusive.
/// \param y2 bottom edge in pixels, exclusive.
/// \param color a screen colour.
/// \return 0; -1 when the library does not run.
int DrawFilledBox(int x1, int y1, int x2, int y2, uint32_t color);

/// Draws the outline of a box, one pixel wide: the columns x1 .. x2 - 1 of the rows y1 and
/// y2 - 1, and the rows between of the columns x1 and x2 - 1, each pixel once.
/// \param x1 left edge in pixels.
/// \param y1 top edge in pixels.
/// \param x2 right edge in pixels, exclusive.
/// \param y2 bottom edge in pixels, exclusive.
/// \param color a screen colour.
/// \return 0; -1 when the library does not run.
int DrawFrameBox(int x1, int y1, int x2, int y2, uint32_t color);

/// Draws a line one pixel wide from (x1, y1), which is drawn, towards (x2, y2), which is not:
/// one pixel for each step along the longer axis, the other coordinate stepping once its
/// share of the way is whole (so (0, 0) to (4, 1) covers (0, 0) .. (3, 0)). A line whose two
/// ends are the same pixel draws nothing. Both ends may lie anywhere: the line is clipped to
/// the draw area.
/// \param x1 column of the first end, in pixels.
/// \param y1 row of the first end.
/// \param x2 column of the second end.
/// \param y2 row of the second end.
/// \param color a screen colour.
/// \return 0; -1 when the library does not run.
int DrawLine(int x1, int y1, int x2, int y2, uint32_t color);

/// Copies a rectangle of the draw screen into a graph, to the graph's top-left corner: as much
/// as fits in the graph, cut to the draw screen, converted to the graph's pixel format.
/// \param x1 left edge in pixels.
/// \param y1 top edge in pixels.
/// \param x2 right edge in pixels, exclusive.
/// \param y2 bottom edge in pixels, exclusive.
/// \param graph the graph written; not the draw screen itself.
/// \param flag not read; pass 0.
/// \return 0; -1 for an invalid handle, for the draw screen's own graph, when the screen cannot
/// be read or the library does not run.
int CopyDrawScreenToGraph(int x1, int y1, int x2, int y2, int graph, int flag);

///@}

// ---- Fonts -----------------------------------------------------------------------------------

/// \name Fonts
/// Fonts come from the system's fonts (fontconfig and FreeType); glyphs are rendered once into
/// a cache and drawn from it. LibraryInit makes a default font.
///@{

/// Makes a font.
/// \param faceName the face's name (Shift-JIS bytes), or null or "" for the default face.
/// \param size the character height in pixels, as GDI takes it: above 0 the height of the
/// character cell (ascent and descent), 0 the face's default (16), below -1 the em height of
/// -size pixels; -1 for 16. GetFontSize gives back the value as given (16 for -1). A size whose
/// glyph cache cannot be made (cells wider than 65535 pixels) is refused.
/// \param thickness the weight 0..10 (a GDI weight / 100; 4 regular, 7 bold); -1 for 6.
/// \param type bit 0: an edge of edgeSize pixels around each glyph, drawn in the edge colour;
/// bit 1: anti-aliased; -1 for 0.
/// \param charsetIndex 0 the default character set, 1 Shift-JIS, 2 Hangeul; -1 by the
/// system's code page.
/// \param edgeSize width of the edge in pixels, for type bit 0; -1 for the default.
/// \return the font handle; -1 with a log line when the font cannot be made (also for a size or
/// edge too large for its cache); -1 for an unknown charsetIndex or when the library does not
/// run.
int CreateFontToHandle(const char* faceName, int size, int thickness, int type, int charsetIndex,
                       int edgeSize);

/// Deletes a font and its glyph cache. Deleting the default font leaves none:
/// GetDefaultFontHandle then says -1 until SetDefaultFontSize or RunScreenModeChange makes one.
/// \param font the font.
/// \return 0; -1 for an invalid handle or when the library does not run.
int DeleteFontHandle(int font);

/// Adds space after every character of a font.
/// \param spacing pixels added to every advance (may be negative; widths are held to the int
/// range, see MeasureStringWidth).
/// \param font the font.
/// \return 0; -1 for an invalid handle or when the library does not run.
int SetFontCharSpacing(int spacing, int font);

/// The default font, made by LibraryInit at 16 pixels and thickness 6.
/// \return its handle; -1 when there is none (it was deleted) or the library does not run.
int GetDefaultFontHandle();

/// Makes the default font again at another size and thickness (or makes one when there is
/// none). Its handle changes: ask GetDefaultFontHandle again.
/// \param size character height in pixels, as for CreateFontToHandle; -1 for 16.
/// \param thickness weight 0..10; -1 for 6.
/// \return 0; -1 with a log line when that font cannot be made: the default font before stays,
/// under its handle; -1 when the library does not run.
int SetDefaultFontSize(int size, int thickness);

/// The character height a font was made with.
/// \param font the font.
/// \return the height in pixels; -1 for an invalid handle or when the library does not run.
int GetFontSize(int font);

///@}

// ---- Text ------------------------------------------------------------------------------------

/// \name Text
///@{

/// Draws a one-line string with its top left at (x, y), or downwards from there (each glyph a
/// quarter turn clockwise), under the blend mode, bright colour and mask.
/// \param x left edge in pixels.
/// \param y top edge in pixels.
/// \param string the text, Shift-JIS bytes ending with a 0 byte.
/// \param color the glyphs' screen colour.
/// \param font the font.
/// \param edgeColor the edge's screen colour, for a font made with an edge.
/// \param vertical 1 downwards, 0 across.
/// \return 0 (also for a null or empty string or when nothing lies in the draw area); -1 with a
/// log line for an invalid font; -1 when the library does not run.
int DrawStringWithFont(int x, int y, const char* string, uint32_t color, int font,
                       uint32_t edgeColor, int vertical);

/// The width a string takes when drawn across (or its height when drawn downwards): the sum of
/// its characters' advances and the font's spacing.
/// \param string the text, Shift-JIS bytes.
/// \param length the number of bytes measured, which need not end with a 0 byte (the string
/// ends at a 0 byte before it, and the byte after a last lead byte is read, see the
/// conventions); -1 for the whole string up to its 0 byte; 0 (or below -1) measures nothing.
/// \param font the font.
/// \param vertical 1 measures downwards, 0 across.
/// \return the size in pixels, 0 .. 2147483647: a larger sum is held at the top, and a
/// negative spacing that takes the end before the start gives 0; -1 for an invalid font or when
/// the library does not run.
int MeasureStringWidth(const char* string, int length, int font, int vertical);

///@}

// ---- Mask ------------------------------------------------------------------------------------

/// \name Mask
/// A screen-sized byte pattern that protects pixels: while the mask is on, graph, box, line and
/// text draws leave every pixel under a non-zero byte as it was. RunScreenModeChange deletes the
/// mask.
///@{

/// Makes the mask, all zero. It is on from then (SetMaskEnabled switches it).
/// \return 0; -1 with a log line when it cannot be made; -1 when the library does not run.
int CreateMaskScreen();

/// Sets the mask bytes of a rectangle, clipped to the mask (a reversed rectangle sets nothing).
/// \param left left edge in pixels.
/// \param top top edge in pixels.
/// \param right right edge in pixels, exclusive.
/// \param bottom bottom edge in pixels, exclusive.
/// \param value the byte: non-zero protects, 0 lets drawing through (its low 8 bits are used).
/// \return 0; -1 without a mask or when the library does not run.
int FillMaskRect(int left, int top, int right, int bottom, int value);

/// Switches the mask on or off.
/// \param flag 1 on, 0 off.
/// \return 0; -1 without a mask or when the library does not run.
int SetMaskEnabled(int flag);

///@}

// ---- Helpers ---------------------------------------------------------------------------------

/// \name Helpers
///@{

/// Clips a rectangle to another, in place. A reversed rectangle is first collapsed to its left
/// and top edges; rectangles that do not overlap leave an empty one on the clip's border. Runs
/// without the lock, at any time.
/// \param rect the rectangle to clip: left, top, right, bottom (right and bottom exclusive).
/// \param clip the clip rectangle, in the same order.
/// \return 0; -1 for a null pointer.
int ClipRectToRect(int* rect, const int* clip);

/// The number of memory blocks the library holds: 0 after LibraryEnd when nothing leaked.
/// Works at any time.
/// \return the number of blocks.
int TrackedBlockCount();

///@}

// ---- Reading the options back -----------------------------------------------------------------

/// \name Reading the options back
/// The graph-creation options and the sampling mode as they stand, so that a program can save
/// one, set its own, create its graphs and set the saved value back:
/// \code{.cpp}
/// const int savedDepth = zq::GetCreateColorBitDepth();
/// zq::SetCreateColorBitDepth(32);
/// const int wipe = zq::LoadGraphFromFileStd("wipe.png");
/// zq::SetCreateColorBitDepth(savedDepth);
/// \endcode
///@{

/// The alpha-test option of new graphs (SetCreateOptionB). Works at any time, as its setter does.
/// \return the value set last: 1 (the default, after LibraryInit and RunScreenModeChange) or 0.
int GetCreateOptionB();

/// The system-memory option of new graphs (SetCreateOptionD). Works at any time.
/// \return the value set last: 0 (the default, after LibraryInit and RunScreenModeChange) or 1.
int GetCreateOptionD();

/// The colour depth of new graphs (SetCreateColorBitDepth). Works at any time.
/// \return 16, 32, or 0 for the screen's depth (the default, after LibraryInit and
/// RunScreenModeChange).
int GetCreateColorBitDepth();

/// Whether new empty graphs get an alpha channel (SetCreateAlphaChannelFlag). Works at any time.
/// \return the value set last: 0 (the default, after LibraryInit and RunScreenModeChange) or 1.
int GetCreateAlphaChannelFlag();

/// How Direct3D graphs are sampled (SetSamplingMode).
/// \return 0 the nearest pixel (after LibraryInit and RunScreenModeChange), 1 bilinear; -1 when
/// the library does not run.
int GetSamplingMode();

///@}

// ---- Loading mirrored or off the Direct3D path -------------------------------------------------

/// \name Loading mirrored or off the Direct3D path
/// The file loaders with two more choices; LoadGraphFromFileStd and LoadDividedGraphFromFileStd
/// are these with direct3D 1 and mirror 0.
///@{

/// Loads an image file into a new graph, as LoadGraphFromFileStd does, mirrored left to right
/// when asked. A mirrored graph is loaded mirrored again after a display change; a movie file
/// plays unmirrored.
/// \param fileName the file's path.
/// \param direct3D 1 lets the graph take the Direct3D path when the library runs with Direct3D
/// (ChooseDirect3DGraphs(1) before LibraryInit), 0 keeps it on the DirectDraw path (where, for
/// one, SetSamplingMode does not reach).
/// \param mirror 1 mirrors the picture (and its alpha companion) left to right, 0 does not.
/// \return the graph handle; -1 with a log line when the file is missing or cannot be decoded,
/// or when the library does not run.
int LoadGraphFromFile(const char* fileName, int direct3D, int mirror);

/// Loads an image file and cuts it into a grid of graphs, as LoadDividedGraphFromFileStd does,
/// from a picture mirrored left to right when asked. Mirrored, the cells keep their numbers: when
/// across cells fill the picture's width, cell 0 still shows the top-left cell of the picture,
/// itself mirrored.
/// \param fileName the file's path.
/// \param total number of cells to make, 0 .. across x down.
/// \param across cells in a row, 1 or more.
/// \param down rows of cells, 1 or more.
/// \param cellWidth width of a cell in pixels, 1 or more.
/// \param cellHeight height of a cell in pixels, 1 or more.
/// \param handles receives the total cell handles.
/// \param direct3D 1 lets the cells take the Direct3D path, 0 keeps them on the DirectDraw path
/// (see LoadGraphFromFile).
/// \param mirror 1 mirrors the picture left to right, 0 does not.
/// \return 0; -1 as LoadDividedGraphFromFileStd; on -1 every one of the total slots of handles
/// holds -1.
int LoadDividedGraphFromFile(const char* fileName, int total, int across, int down, int cellWidth,
                             int cellHeight, int* handles, int direct3D, int mirror);

///@}

// ---- Graphs from memory ------------------------------------------------------------------------

/// \name Graphs from memory
/// An image file the program holds in memory (read from an archive, downloaded, built in) loads
/// as a file does, in any format LoadGraphFromFileStd reads, but not as a movie. The bytes are
/// read where they are, while the call runs, and never past the size given; the library keeps
/// no pointer to them. Such a graph has no file: after a display change it comes back blank,
/// and the program refills it from its restore function (SetGraphRestoreCallback).
///@{

/// Loads an image file held in memory into a new graph of its size.
/// \param data the file's bytes.
/// \param size the number of bytes at data, 1 or more.
/// \param alphaData an image file in memory whose pixels give the graph's alpha channel, as an
/// "_a" companion file does (a greyscale picture of the same size, 255 opaque); null for none.
/// When it cannot be decoded the graph is made without it.
/// \param alphaSize the number of bytes at alphaData, 1 or more when alphaData is given.
/// \return the graph handle; -1 with a log line for a null data, a size of 0 (or an alphaData
/// with a size of 0), bytes that no image reader takes, or when the graph cannot be made; -1
/// when the library does not run.
int LoadGraphFromMemory(const void* data, size_t size, const void* alphaData = nullptr,
                        size_t alphaSize = 0);

/// Loads an image file held in memory and cuts it into a grid of graphs, as
/// LoadDividedGraphFromFileStd cuts a file.
/// \param data the file's bytes.
/// \param size the number of bytes at data, 1 or more.
/// \param total number of cells to make, 0 .. across x down.
/// \param across cells in a row, 1 or more.
/// \param down rows of cells, 1 or more.
/// \param cellWidth width of a cell in pixels, 1 or more.
/// \param cellHeight height of a cell in pixels, 1 or more.
/// \param handles receives the total cell handles.
/// \param alphaData an image file in memory giving the alpha channel (see LoadGraphFromMemory);
/// null for none.
/// \param alphaSize the number of bytes at alphaData, 1 or more when alphaData is given.
/// \return 0; -1 with a log line as LoadGraphFromMemory and LoadDividedGraphFromFileStd; on -1
/// every one of the total slots of handles holds -1.
int LoadDividedGraphFromMemory(const void* data, size_t size, int total, int across, int down,
                               int cellWidth, int cellHeight, int* handles,
                               const void* alphaData = nullptr, size_t alphaSize = 0);

///@}

// ---- Graphs from a program's own pixels ---------------------------------------------------------

/// \name Pixel formats of a PixelBuffer
/// How the pixels of a PixelBuffer are laid out: each pixel little-endian, channels named from
/// the highest bit down.
///@{

/// One byte a pixel, an index into the buffer's palette of 256 colours.
inline constexpr int kPixelIndexed8 = 1;
/// Two bytes a pixel: red in bits 11-15, green in bits 5-10, blue in bits 0-4.
inline constexpr int kPixelRgb565 = 2;
/// Two bytes a pixel: red in bits 10-14, green in bits 5-9, blue in bits 0-4; bit 15 not read.
inline constexpr int kPixelXrgb1555 = 3;
/// Three bytes a pixel: blue, green, red.
inline constexpr int kPixelRgb888 = 4;
/// Four bytes a pixel: blue, green, red, and a byte not read (0x00RRGGBB as a 32-bit value).
inline constexpr int kPixelXrgb8888 = 5;
/// Four bytes a pixel: blue, green, red, alpha (0xAARRGGBB as a 32-bit value); alpha 0 is
/// transparent, 255 opaque. The graph gets an alpha channel.
inline constexpr int kPixelArgb8888 = 6;
///@}

/// A picture in the program's own memory, described for CreateGraphFromImage,
/// CreateDivGraphFromGraphImage and SetGraphImage. The pixels are read where they are, while the
/// call runs; the library keeps no pointer to them. Rows go from the top of the picture down.
struct PixelBuffer {
  /// Pixels in a row, 1..65535.
  int width = 0;
  /// Rows, 1..65535.
  int height = 0;
  /// Bytes from the start of one row to the start of the next: at least width x the format's
  /// bytes a pixel, and pitch x height at most 2^31 - 1. Any such pitch, odd ones included.
  int pitch = 0;
  /// One of the kPixel* formats.
  int format = 0;
  /// The first byte of the top row: height rows of pitch bytes (the last row needs only its
  /// pixels).
  const void* pixels = nullptr;
  /// For kPixelIndexed8: 256 colours 0x00RRGGBB (the top byte is not read). Not read for the
  /// other formats.
  const uint32_t* palette = nullptr;
  /// A separate alpha channel: one byte a pixel, 0 transparent .. 255 opaque, at the same place
  /// as its pixel; the graph then gets an alpha channel. Null for none.
  const uint8_t* alpha = nullptr;
  /// Bytes from one row of alpha to the next: at least width, and alphaPitch x height at most
  /// 2^31 - 1. Not read without alpha.
  int alphaPitch = 0;
};

/// \name Graphs from a program's own pixels
/// Graphs made from, or written with, pixels the program computed. Like graphs from memory they
/// have no file: after a display change they come back blank, and the program refills them from
/// its restore function (SetGraphRestoreCallback). A PixelBuffer that is not what it says is
/// refused before anything is made or written: a null buffer or pixels, a size outside
/// 1..65535, an unknown format, kPixelIndexed8 without a palette, a pitch (or alpha pitch)
/// shorter than a row, or rows beyond 2^31 - 1 bytes.
///@{

/// Creates a graph of the buffer's size holding its pixels, under the graph-creation options
/// (the colour depth, system memory; an alpha channel when the buffer has alpha).
/// \param image the pixels.
/// \return the graph handle; -1 with a log line for a buffer refused as above or when the graph
/// cannot be made; -1 when the library does not run.
int CreateGraphFromImage(const PixelBuffer* image);

/// Cuts the buffer's picture into a grid of graphs, as LoadDividedGraphFromFileStd cuts a file.
/// \param image the pixels.
/// \param total number of cells to make, 0 .. across x down.
/// \param across cells in a row, 1 or more.
/// \param down rows of cells, 1 or more.
/// \param cellWidth width of a cell in pixels, 1 or more.
/// \param cellHeight height of a cell in pixels, 1 or more.
/// \param handles receives the total cell handles.
/// \return 0; -1 with a log line for a buffer refused as above, a total below 0 or above
/// across x down, or a cell that lies outside the picture; -1 when the library does not run.
/// On -1 no cell is kept and every one of the total slots of handles holds -1.
int CreateDivGraphFromGraphImage(const PixelBuffer* image, int total, int across, int down,
                                 int cellWidth, int cellHeight, int* handles);

/// Writes new pixels into a graph of the same size, converted to its pixel format; the graph's
/// alpha channel, when it has one, takes the buffer's alpha. Graphs that share the pixels
/// (DeriveGraphRect) show the change. A graph loaded from a file no longer comes back from it
/// after a display change.
/// \param image the pixels, as wide and as high as the graph.
/// \param graph the graph written.
/// \return 0; -1 with a log line for a buffer refused as above or of another size than the
/// graph; -1 for an invalid handle or when the library does not run.
int SetGraphImage(const PixelBuffer* image, int graph);

///@}

}  // namespace zq
