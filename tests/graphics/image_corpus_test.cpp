// Corpus test: pictures written by ImageMagick and netpbm in BMP (every depth, RLE, bit fields),
// TGA (true-colour, colour-mapped, run-length, with alpha), PNG and JPEG decode through the
// pipeline to the pixels the tools themselves read back. The files are made at test time in a
// temporary directory; without the tools the test is skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/image/graph_image_ops.h"
#include "graphics/image/image_decode.h"
#include "graphics/pipeline_test_util.h"

namespace zq::gfx {
namespace {

// Debian's ImageMagick; /usr/local/bin/convert may be something else.
constexpr const char* kMagick = "/usr/bin/convert";

bool HaveTools() {
  return std::system(
             "test -x /usr/bin/convert && command -v ppmtobmp pamtotga pnmtopng "
             "pamtopng pnmtojpeg jpegtopnm >/dev/null 2>&1") == 0;
}

bool RunTool(const std::string& command) {
  return std::system((command + " 2>/dev/null").c_str()) == 0;
}

// A binary PGM or PPM read back: 8-bit samples, 1 or 3 channels. Header numbers may carry "#"
// comments (ImageMagick puts a TGA's image ID there).
struct Raster {
  int width = 0, height = 0, channels = 0;
  std::vector<uint8_t> samples;
  int At(int x, int y, int c) const { return samples[(size_t(y) * width + x) * channels + c]; }
};

Raster ReadRaster(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Raster r;
  std::string magic;
  in >> magic;
  r.channels = magic == "P5" ? 1 : magic == "P6" ? 3 : 0;
  auto number = [&in] {
    for (std::string comment; (in >> std::ws).peek() == '#';) std::getline(in, comment);
    int v = 0;
    in >> v;
    return v;
  };
  r.width = number();
  r.height = number();
  const int maxval = number();
  in.get();  // the single white-space byte before the samples
  if (maxval != 255 || r.width <= 0 || r.height <= 0 || r.channels == 0) return Raster{};
  r.samples.resize(size_t(r.width) * r.height * r.channels);
  in.read(reinterpret_cast<char*>(r.samples.data()), std::streamsize(r.samples.size()));
  return in ? r : Raster{};
}

// Sources written by the test: colour(x, y) gives 0xAARRGGBB.
template <typename Colour>
void WritePam(const std::string& path, int width, int height, bool alpha, Colour colour) {
  std::ofstream out(path, std::ios::binary);
  out << "P7\nWIDTH " << width << "\nHEIGHT " << height << "\nDEPTH " << (alpha ? 4 : 3)
      << "\nMAXVAL 255\nTUPLTYPE " << (alpha ? "RGB_ALPHA" : "RGB") << "\nENDHDR\n";
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colour(x, y);
      out.put(char(c >> 16)).put(char(c >> 8)).put(char(c));
      if (alpha) out.put(char(c >> 24));
    }
  }
}

struct Case {
  const char* file;     // output name; its extension tells ImageMagick the format
  const char* source;   // "full", "alpha", "sixteen" or "two"
  const char* command;  // %s = source PAM/PPM, %o = output file
  int tolerance;        // largest channel difference allowed (JPEG only)
  uint32_t rgbMask;     // channel bits compared (a 5:6:5 file keeps only the top bits)
  bool alpha;           // compare alpha too
};

const Case kCases[] = {
    // BMP
    {"nb24.bmp", "full", "ppmtobmp -bpp=24 %s > %o", 0, 0xFFFFFF, false},
    {"nb8.bmp", "sixteen", "ppmtobmp -bpp=8 %s > %o", 0, 0xFFFFFF, false},
    {"nb4.bmp", "sixteen", "ppmtobmp -bpp=4 %s > %o", 0, 0xFFFFFF, false},
    {"nb1.bmp", "two", "ppmtobmp -bpp=1 %s > %o", 0, 0xFFFFFF, false},
    {"mb24.bmp", "full", "MAGICK %s BMP3:%o", 0, 0xFFFFFF, false},
    {"mb24v5.bmp", "full", "MAGICK %s -type TrueColor BMP:%o", 0, 0xFFFFFF, false},
    {"mb8.bmp", "sixteen", "MAGICK %s -type Palette BMP3:%o", 0, 0xFFFFFF, false},
    {"mb8rle.bmp", "sixteen", "MAGICK %s -type Palette -compress RLE BMP3:%o", 0, 0xFFFFFF, false},
    {"mb565.bmp", "full", "MAGICK %s -define bmp:subtype=RGB565 BMP:%o", 0, 0xF8FCF8, false},
    {"mb555.bmp", "full", "MAGICK %s -define bmp:subtype=RGB555 BMP:%o", 0, 0xF8F8F8, false},
    {"mb32.bmp", "alpha", "MAGICK %s BMP:%o", 0, 0xFFFFFF, false},
    {"mb1.bmp", "two", "MAGICK %s -type Bilevel BMP3:%o", 0, 0xFFFFFF, false},
    // TGA
    {"nt24.tga", "full", "pamtotga -rgb -norle %s > %o", 0, 0xFFFFFF, false},
    {"nt24rle.tga", "full", "pamtotga -rgb %s > %o", 0, 0xFFFFFF, false},
    {"ntmap.tga", "sixteen", "pamtotga -cmap -norle %s > %o", 0, 0xFFFFFF, false},
    {"ntmaprle.tga", "sixteen", "pamtotga -cmap %s > %o", 0, 0xFFFFFF, false},
    {"nt32.tga", "alpha", "pamtotga %s > %o", 0, 0xFFFFFF, true},
    // ImageMagick marks its rows bottom-up unless told the orientation.
    {"mt24.tga", "full", "MAGICK %s -compress None %o", 0, 0xFFFFFF, false},
    {"mt24top.tga", "full", "MAGICK %s -orient TopLeft -compress None %o", 0, 0xFFFFFF, false},
    {"mt24rle.tga", "full", "MAGICK %s -compress RLE %o", 0, 0xFFFFFF, false},
    {"mt32.tga", "alpha", "MAGICK %s %o", 0, 0xFFFFFF, true},
    {"mtmap.tga", "sixteen", "MAGICK %s -type Palette %o", 0, 0xFFFFFF, false},
    // PNG
    {"np.png", "full", "pamtopng %s > %o", 0, 0xFFFFFF, false},
    {"npa.png", "alpha", "pamtopng %s > %o", 0, 0xFFFFFF, true},
    {"mp.png", "full", "MAGICK %s %o", 0, 0xFFFFFF, false},
    {"mpa.png", "alpha", "MAGICK %s %o", 0, 0xFFFFFF, true},
    {"mp8.png", "sixteen", "MAGICK %s -type Palette PNG8:%o", 0, 0xFFFFFF, false},
    {"mp16.png", "full", "MAGICK %s -depth 16 PNG48:%o", 0, 0xFFFFFF, false},
    // JPEG
    {"nj.jpg", "full", "pnmtojpeg -quality=90 %s > %o", 2, 0xFFFFFF, false},
    {"nj444.jpg", "full", "pnmtojpeg -quality=95 -sample=1x1,1x1,1x1 %s > %o", 2, 0xFFFFFF, false},
    {"njp.jpg", "full", "pnmtojpeg -progressive %s > %o", 2, 0xFFFFFF, false},
    {"mj.jpg", "full", "MAGICK %s -quality 85 %o", 2, 0xFFFFFF, false},
    {"mjg.jpg", "full", "MAGICK %s -colorspace Gray -quality 90 %o", 2, 0xFFFFFF, false},
};

std::string Expand(std::string command, const std::string& src, const std::string& out) {
  auto replace = [&](const std::string& key, const std::string& value) {
    for (size_t at; (at = command.find(key)) != std::string::npos;)
      command.replace(at, key.size(), value);
  };
  replace("MAGICK", kMagick);
  replace("%s", "'" + src + "'");
  replace("%o", "'" + out + "'");
  return command;
}

TEST(ImageCorpus, ToolWrittenFilesDecodeToTheToolsPixels) {
  if (!HaveTools()) GTEST_SKIP() << "ImageMagick or netpbm not installed";
  test::TempDir dir;
  ASSERT_TRUE(dir.Ok());
  test::NoLeakScope noLeaks;

  // 37 x 23: odd widths exercise every row padding. Gradients plus a little noise.
  const int w = 37, h = 23;
  auto full = [](int x, int y) {
    return 0xFF000000u | uint32_t((x * 7 + y * 3) & 0xFF) << 16 |
           uint32_t((y * 11 + (x ^ y) * 2) & 0xFF) << 8 | uint32_t((255 - x * 5 + y) & 0xFF);
  };
  // Smooth enough for JPEG: a tolerance of 2 must hold against the tool's own decode anyway.
  const uint32_t sixteen[16] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456,
                                0x808080, 0xFEDCBA, 0x0F0F0F, 0xF0F0F0, 0x336699, 0x996633,
                                0x00FFFF, 0xFF00FF, 0xFFFF00, 0x7F3F1F};
  WritePam(dir.Path("full.pam"), w, h, false, full);
  WritePam(dir.Path("alpha.pam"), w, h, true, [&](int x, int y) {
    return (full(x, y) & 0xFFFFFF) | uint32_t((x * 13 + y * 29) & 0xFF) << 24;
  });
  WritePam(dir.Path("sixteen.pam"), w, h, false,
           [&](int x, int y) { return sixteen[(x / 3 + y * 5) % 16]; });
  WritePam(dir.Path("two.pam"), w, h, false,
           [](int x, int y) { return ((x + y / 2) % 3 == 0) ? 0x000000u : 0xFFFFFFu; });
  // netpbm's BMP writer wants a PPM, not a PAM.
  for (std::string s : {"full", "sixteen", "two"})
    ASSERT_TRUE(
        RunTool("pamtopnm '" + dir.Path(s + ".pam") + "' > '" + dir.Path(s + ".ppm") + "'"));

  int decoded = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    const bool netpbmBmp = std::string(c.command).rfind("ppmtobmp", 0) == 0;
    const std::string src = dir.Path(std::string(c.source) + (netpbmBmp ? ".ppm" : ".pam"));
    const std::string file = dir.Path(c.file);
    ASSERT_TRUE(RunTool(Expand(c.command, src, file))) << Expand(c.command, src, file);
    // What the tools read back: netpbm's decoders for JPEG (the same libjpeg) and TGA (ImageMagick
    // leaves a bottom-up TGA's rows upside down and only notes the orientation), ImageMagick
    // for the others.
    const std::string ref = file + ".ref.ppm";
    const std::string ext = file.substr(file.size() - 3);
    const bool tga = ext == "tga";
    const std::string readBack =
        ext == "jpg" ? "jpegtopnm '" + file + "' > '" + ref + "'"
        : tga        ? "tgatoppm -alphaout='" + ref + ".a' '" + file + "' > '" + ref + "'"
                     : Expand("MAGICK %s -alpha off -depth 8 ppm:%o", file, ref);
    ASSERT_TRUE(RunTool(readBack));
    const Raster want = ReadRaster(ref);  // a greyscale JPEG is read back as PGM
    ASSERT_NE(want.channels, 0) << "no picture read back from the tool";
    Raster wantAlpha;
    if (c.alpha) {
      ASSERT_TRUE(tga ||
                  RunTool(Expand("MAGICK %s -alpha extract -depth 8 pgm:%o", file, ref + ".a")));
      wantAlpha = ReadRaster(ref + ".a");
      ASSERT_EQ(wantAlpha.channels, 1);
    }

    test::NoLeakScope perFile;
    GraphImage image{};
    ASSERT_EQ(DecodeImageFile(file.c_str(), nullptr, 0, 0, &image, 0), 0);
    ++decoded;
    EXPECT_EQ(image.Width, want.width);
    EXPECT_EQ(image.Height, want.height);
    int worst = 0, alphaMismatches = 0;
    for (int y = 0; y < want.height && y < image.Height; ++y) {
      for (int x = 0; x < want.width && x < image.Width; ++x) {
        const uint32_t got = GetGraphImagePixel(&image, x, y);
        for (int ch = 0; ch < 3; ++ch) {
          const int shift = 16 - 8 * ch;
          const int m = int(c.rgbMask >> shift & 0xFF);
          const int diff =
              std::abs(int(got >> shift & m) - (want.At(x, y, ch % want.channels) & m));
          worst = std::max(worst, diff);
        }
        if (c.alpha && int(got >> 24) != wantAlpha.At(x, y, 0)) ++alphaMismatches;
      }
    }
    EXPECT_LE(worst, c.tolerance);
    EXPECT_EQ(alphaMismatches, 0);
    ReleaseImageBuffers(&image);
  }
  EXPECT_EQ(decoded, int(std::size(kCases)));
}

}  // namespace
}  // namespace zq::gfx
