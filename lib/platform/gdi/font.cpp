// GDI font stand-in (see font.h).
#include "platform/gdi/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <iconv.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include "platform/gdi/context.h"
#include "platform/size_limits.h"

namespace zq::platform {

// A glyph in GDI's layout for one format.
struct GlyphBits {
  GLYPHMETRICS metrics{};
  std::vector<uint8_t> bits;  // empty for a glyph without pixels and for GGO_METRICS
};

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

class FontState : public Font {
 public:
  ~FontState() override {
    if (face != nullptr) FT_Done_Face(face);
    if (toUnicode != kNoConverter) iconv_close(toUnicode);
  }
  bool stock = false;
  int selections = 0;  // contexts holding the font
  bool synthetic = false;
  bool embolden = false;
  int32_t syntheticHeight = 16;
  uint32_t charSet = DEFAULT_CHARSET;
  FT_Face face = nullptr;
  iconv_t toUnicode = kNoConverter;  // the character set's codes to UTF-32 (FreeType faces)
  TEXTMETRICA metrics{};
  std::string family;
  // The glyph of the last call, so that a size query and the read after it render once.
  bool lastValid = false;
  uint32_t lastCode = 0;
  uint32_t lastFormat = 0;
  GlyphBits last;
};

FontState* StateOf(Font* font) {
  return static_cast<FontState*>(font);
}

// FreeType, fontconfig and iconv state is shared by every font: one lock guards it.
std::mutex g_mutex;

struct Hooks {
  int failFonts = 0;
  uint32_t oemCodePage = 932;
  bool syntheticDefault = false;
  uint64_t glyphCalls = 0;
  std::vector<uint32_t> glyphCodes;
};
Hooks g_hooks;
constexpr size_t kMaxRecordedCodes = 65536;
constexpr uint32_t kNoCharacter = 0xFFFFFFFFu;

// Made at the first font that needs it; a failure is tried again by the next.
FT_Library Library() {
  static FT_Library library = nullptr;
  if (library == nullptr && FT_Init_FreeType(&library) != 0) library = nullptr;
  return library;
}

// ---- Text conversion -------------------------------------------------------------------------

// A converter closed when it goes out of scope.
struct ScopedConverter {
  explicit ScopedConverter(iconv_t opened) : cd(opened) {}
  ScopedConverter(const ScopedConverter&) = delete;
  ScopedConverter& operator=(const ScopedConverter&) = delete;
  ~ScopedConverter() {
    if (cd != kNoConverter) iconv_close(cd);
  }
  const iconv_t cd;
};

// Converts the whole input into out (capacity bytes): the bytes written, or -1.
int64_t Convert(iconv_t cd, const char* in, size_t inLength, char* out, size_t capacity) {
  if (cd == kNoConverter) return -1;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* inPtr = const_cast<char*>(in);
  char* outPtr = out;
  size_t inLeft = inLength, outLeft = capacity;
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0 ||
      iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == size_t(-1))
    return -1;
  return int64_t(capacity - outLeft);
}

bool FaceNameToUtf8(const char* name, std::string& out) {
  const ScopedConverter cd{iconv_open("UTF-8", "CP932")};
  if (cd.cd == kNoConverter) return false;
  const size_t length = std::strlen(name);
  out.assign(length * 3 + 4, '\0');  // a Shift-JIS character takes at most 3 UTF-8 bytes
  const int64_t written = Convert(cd.cd, name, length, out.data(), out.size());
  out.resize(size_t(std::max<int64_t>(written, 0)));
  return written >= 0;
}

// The Unicode character of a GDI code (its byte, or first byte x 256 + second byte), or
// kNoCharacter when the code page has none.
uint32_t CodeToUnicode(uint32_t code, iconv_t toUnicode) {
  if (code > 0xFFFF) return kNoCharacter;
  char bytes[2];
  size_t length = 1;
  if (code > 0xFF) {
    bytes[0] = char(code >> 8);
    bytes[1] = char(code & 0xFF);
    length = 2;
  } else {
    bytes[0] = char(code);
  }
  char out[8];
  if (Convert(toUnicode, bytes, length, out, sizeof out) != 4) return kNoCharacter;
  const auto* u = reinterpret_cast<const uint8_t*>(out);
  return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

bool EqualsIgnoringAsciiCase(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// ---- Faces -----------------------------------------------------------------------------------

struct FaceLocation {
  std::string file;
  int index = 0;
};

// What a lookup found: a face, no such family (both remembered), or a failure of fontconfig
// itself (out of memory), which the next lookup tries again.
enum class Lookup { kFound, kMissing, kFailed };

struct PatternFree {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct LangSetFree {
  void operator()(FcLangSet* l) const { FcLangSetDestroy(l); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternFree>;
using LangSetPtr = std::unique_ptr<FcLangSet, LangSetFree>;

// Asks fontconfig for the face of a family (empty: the best "monospace" face for the language).
Lookup AskFontconfig(const std::string& family, const char* lang, bool bold, FaceLocation& out) {
  const PatternPtr pattern(FcPatternCreate());
  const LangSetPtr langs(FcLangSetCreate());
  if (pattern == nullptr || langs == nullptr) return Lookup::kFailed;
  const std::string wanted = family.empty() ? "monospace" : family;
  const bool built =
      FcPatternAddString(pattern.get(), FC_FAMILY,
                         reinterpret_cast<const FcChar8*>(wanted.c_str())) &&
      FcLangSetAdd(langs.get(), reinterpret_cast<const FcChar8*>(lang)) &&
      FcPatternAddLangSet(pattern.get(), FC_LANG, langs.get()) &&
      FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR) &&
      FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  if (!built) return Lookup::kFailed;
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  // No match at all is fontconfig failing too: it offers its nearest face for any pattern.
  const PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
  if (match == nullptr) return Lookup::kFailed;
  bool named = family.empty();
  FcChar8* value = nullptr;
  for (int i = 0; !named && FcPatternGetString(match.get(), FC_FAMILY, i, &value) == FcResultMatch;
       ++i)
    named = EqualsIgnoringAsciiCase(family, reinterpret_cast<const char*>(value));
  if (!named || FcPatternGetString(match.get(), FC_FILE, 0, &value) != FcResultMatch)
    return Lookup::kMissing;
  int index = 0;
  if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &index) != FcResultMatch) index = 0;
  out = FaceLocation{reinterpret_cast<const char*>(value), index};
  return Lookup::kFound;
}

// The file of a family, or none when the family is not installed or fontconfig failed. Each
// answer but a failure is remembered for the life of the process.
std::optional<FaceLocation> LocateFace(const std::string& family, const char* lang, bool bold) {
  static std::map<std::string, std::optional<FaceLocation>> known;
  // Fontconfig keeps its configuration until FcFini; the process gives it back at exit.
  static const struct FontconfigEnd {
    ~FontconfigEnd() { FcFini(); }
  } end;
  const std::string key = family + '\n' + lang + (bold ? "\nb" : "\nr");
  if (auto it = known.find(key); it != known.end()) return it->second;
  FaceLocation location;
  const Lookup found = AskFontconfig(family, lang, bold, location);
  if (found == Lookup::kFailed) return std::nullopt;
  std::optional<FaceLocation> answer;
  if (found == Lookup::kFound) answer = std::move(location);
  known.emplace(key, answer);
  return answer;
}

int32_t WholePixels(FT_Pos value) {
  return int32_t((value + 32) >> 6);
}

void SetupSynthetic(FontState& font, int32_t height, int32_t weight) {
  const int64_t h = height == 0 ? 16 : height < 0 ? -int64_t(height) : height;
  const int32_t side = int32_t(std::min<int64_t>(h, kMaxImageSide));
  font.synthetic = true;
  font.embolden = weight >= 600;
  font.syntheticHeight = side;
  font.family = kSyntheticFaceName;
  font.metrics = TEXTMETRICA{side, side - side / 4, side / 4, side / 2, side, weight};
}

// A FreeType face at the height; false when it cannot be sized.
bool SetupFreeType(FontState& font, FT_Face face, int32_t height, int32_t weight) {
  font.face = face;
  FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  const int64_t magnitude = height == 0 ? 16 : height < 0 ? -int64_t(height) : height;
  if (magnitude > 0xFFFF) return false;
  FT_Size_RequestRec request{};
  request.type = height < 0 ? FT_SIZE_REQUEST_TYPE_NOMINAL : FT_SIZE_REQUEST_TYPE_CELL;
  request.height = FT_Long(magnitude << 6);
  if (FT_Request_Size(face, &request) != 0) return false;
  font.embolden = weight >= 600 && (face->style_flags & FT_STYLE_FLAG_BOLD) == 0;
  const FT_Size_Metrics& m = face->size->metrics;
  const int32_t extra = font.embolden ? 1 : 0;
  TEXTMETRICA& t = font.metrics;
  t.tmAscent = WholePixels(m.ascender);
  t.tmDescent = -WholePixels(m.descender);
  t.tmHeight = t.tmAscent + t.tmDescent;
  t.tmMaxCharWidth = WholePixels(m.max_advance) + extra;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  t.tmAveCharWidth = (os2 != nullptr && os2->xAvgCharWidth > 0
                          ? WholePixels(FT_MulFix(os2->xAvgCharWidth, m.x_scale))
                          : t.tmMaxCharWidth / 2) +
                     extra;
  t.tmWeight = weight;
  font.family = face->family_name != nullptr ? face->family_name : "";
  return true;
}

// ---- Glyphs ----------------------------------------------------------------------------------

// Fills the bits of a w x rows box in the format's layout from bit(x, y) or level(x, y).
template <class Bit, class Level>
bool Lay(uint32_t format, int64_t w, int64_t rows, Bit bit, Level level, GlyphBits& out) {
  out.metrics.gmBlackBoxX = uint32_t(w);
  out.metrics.gmBlackBoxY = uint32_t(rows);
  if (format == GGO_METRICS) return true;
  const int64_t pitch = format == GGO_BITMAP ? (w + 31) / 32 * 4 : (w + 3) / 4 * 4;
  if (pitch * rows > kMaxBlockBytes) return false;
  out.bits.assign(size_t(pitch * rows), 0);
  for (int64_t y = 0; y < rows; ++y) {
    uint8_t* row = out.bits.data() + y * pitch;
    for (int64_t x = 0; x < w; ++x) {
      if (format == GGO_BITMAP) {
        if (bit(x, y)) row[x / 8] |= uint8_t(0x80 >> (x % 8));
      } else {
        row[x] = level(x, y);
      }
    }
  }
  return true;
}

void NoPixels(GlyphBits& out) {
  out.metrics.gmBlackBoxX = 1;
  out.metrics.gmBlackBoxY = 1;
}

bool RenderSynthetic(const FontState& font, uint32_t code, uint32_t format, GlyphBits& out) {
  const uint64_t c = code;
  const int64_t h = font.syntheticHeight, ascent = h - h / 4;
  const int64_t increment = c > 0xFF ? h : h / 2;
  GLYPHMETRICS& m = out.metrics;
  m.gmCellIncX = int16_t(std::min<int64_t>(increment, INT16_MAX));
  m.gmptGlyphOrigin.x = code == 0x5F ? -1 : int32_t(c % 2);
  m.gmptGlyphOrigin.y = int32_t(ascent - int64_t(c % 3));
  if (code == 0x20 || code == 0x8140 || code == 0x7F) {
    NoPixels(out);
    return true;
  }
  const int64_t w = std::max<int64_t>(1, increment - 2 - int64_t(c % 3));
  int64_t rows = std::max<int64_t>(1, h - 3 - int64_t(c % 4));
  if (code == 0x7C) {
    rows = h + 4;
    m.gmptGlyphOrigin.y = int32_t(ascent + 2);
  }
  auto set = [&](int64_t x, int64_t y) {
    return x >= 0 && x < w && (uint64_t(x) + 2 * uint64_t(y) + c) % 3 != 0;
  };
  auto level = [&](int64_t x, int64_t y) {
    return set(x, y) ? uint8_t((3 * uint64_t(x) + 5 * uint64_t(y) + c) % 17) : uint8_t(0);
  };
  if (!font.embolden) return Lay(format, w, rows, set, level, out);
  return Lay(
      format, w + 1, rows, [&](int64_t x, int64_t y) { return set(x, y) || set(x - 1, y); },
      [&](int64_t x, int64_t y) { return std::max(level(x, y), level(x - 1, y)); }, out);
}

bool RenderFreeType(const FontState& font, uint32_t code, uint32_t format, GlyphBits& out) {
  FT_Face face = font.face;
  const uint32_t character = CodeToUnicode(code, font.toUnicode);
  const FT_UInt index = character == kNoCharacter ? 0 : FT_Get_Char_Index(face, character);
  const bool mono = format == GGO_BITMAP;
  const FT_Int32 flags = FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_DEFAULT);
  if (FT_Load_Glyph(face, index, flags) != 0) return false;
  FT_GlyphSlot slot = face->glyph;
  FT_Pos advance = slot->advance.x;
  if (font.embolden && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    FT_Outline_EmboldenXY(&slot->outline, 64, 0);
    advance += 64;
  }
  // FreeType gives an empty outline a 1 x 1 bitmap in monochrome mode: no pixels either way.
  const bool emptyOutline = slot->format == FT_GLYPH_FORMAT_OUTLINE && slot->outline.n_points == 0;
  if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return false;
  const FT_Bitmap& bm = slot->bitmap;
  GLYPHMETRICS& m = out.metrics;
  m.gmCellIncX = int16_t(std::clamp<int64_t>(WholePixels(advance), INT16_MIN, INT16_MAX));
  m.gmptGlyphOrigin = POINT{slot->bitmap_left, slot->bitmap_top};
  if (bm.width == 0 || bm.rows == 0 || emptyOutline) {
    NoPixels(out);
    return true;
  }
  const bool monoBits = bm.pixel_mode == FT_PIXEL_MODE_MONO;
  if (!monoBits && bm.pixel_mode != FT_PIXEL_MODE_GRAY) return false;
  const int64_t stride = bm.pitch < 0 ? -int64_t(bm.pitch) : bm.pitch;
  auto rowOf = [&](int64_t y) {
    return bm.buffer + (bm.pitch < 0 ? int64_t(bm.rows) - 1 - y : y) * stride;
  };
  auto coverage = [&](int64_t x, int64_t y) -> uint32_t {
    const uint8_t* row = rowOf(y);
    if (monoBits) return (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
    return row[x];
  };
  return Lay(
      format, bm.width, bm.rows, [&](int64_t x, int64_t y) { return coverage(x, y) >= 128; },
      [&](int64_t x, int64_t y) { return uint8_t((coverage(x, y) * 16 + 127) / 255); }, out);
}

bool IsIdentity(const MAT2* m) {
  return m != nullptr && m->eM11.value == 1 && m->eM11.fract == 0 && m->eM12.value == 0 &&
         m->eM12.fract == 0 && m->eM21.value == 0 && m->eM21.fract == 0 && m->eM22.value == 1 &&
         m->eM22.fract == 0;
}

}  // namespace

// ---- Fonts -----------------------------------------------------------------------------------

namespace {

HFONT MakeFont(int32_t height, int32_t weight, uint32_t charSet, const char* faceName) {
  std::string name;
  if (faceName != nullptr && faceName[0] != '\0' && !FaceNameToUtf8(faceName, name)) return nullptr;
  auto font = std::unique_ptr<FontState>(new (std::nothrow) FontState());
  if (!font) return nullptr;
  font->charSet = charSet;
  if (name.empty() ? g_hooks.syntheticDefault : EqualsIgnoringAsciiCase(name, kSyntheticFaceName)) {
    SetupSynthetic(*font, height, weight);
    return font.release();
  }
  const std::optional<FaceLocation> location =
      LocateFace(name, charSet == HANGEUL_CHARSET ? "ko" : "ja", weight >= 600);
  if (!location || Library() == nullptr) return nullptr;
  font->toUnicode = iconv_open("UTF-32LE", charSet == HANGEUL_CHARSET ? "CP949" : "CP932");
  if (font->toUnicode == kNoConverter) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(Library(), location->file.c_str(), location->index, &face) != 0) return nullptr;
  if (!SetupFreeType(*font, face, height, weight)) return nullptr;
  const uint32_t test = charSet == SHIFTJIS_CHARSET  ? 0x3042
                        : charSet == HANGEUL_CHARSET ? 0xAC00
                                                     : 0;
  if (!name.empty() && test != 0 && FT_Get_Char_Index(face, test) == 0) return nullptr;
  return font.release();
}

}  // namespace

HFONT CreateFontA(int32_t height, int32_t, int32_t, int32_t, int32_t weight, uint32_t, uint32_t,
                  uint32_t, uint32_t charSet, uint32_t, uint32_t, uint32_t, uint32_t,
                  const char* faceName) {
  std::lock_guard lock(g_mutex);
  if (g_hooks.failFonts > 0) {
    --g_hooks.failFonts;
    return nullptr;
  }
  try {
    return MakeFont(height, weight, charSet, faceName);
  } catch (const std::bad_alloc&) {
    return nullptr;  // as GDI says it: no font
  }
}

bool GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  if (dc == nullptr || dc->font == nullptr || metrics == nullptr) return false;
  *metrics = StateOf(dc->font)->metrics;
  return true;
}

namespace {

uint32_t GlyphOutline(HDC dc, uint32_t code, uint32_t format, GLYPHMETRICS* metrics,
                      uint32_t bufferSize, void* buffer, const MAT2* matrix) {
  if (dc == nullptr || dc->font == nullptr || metrics == nullptr || !IsIdentity(matrix) ||
      (format != GGO_METRICS && format != GGO_BITMAP && format != GGO_GRAY4_BITMAP))
    return GDI_ERROR;
  FontState& font = *StateOf(dc->font);
  if (!font.lastValid || font.lastCode != code || font.lastFormat != format) {
    font.lastValid = false;
    font.last = GlyphBits{};
    const bool ok = font.synthetic ? RenderSynthetic(font, code, format, font.last)
                                   : RenderFreeType(font, code, format, font.last);
    if (!ok) return GDI_ERROR;
    font.lastValid = true;
    font.lastCode = code;
    font.lastFormat = format;
  }
  *metrics = font.last.metrics;
  const uint32_t size = uint32_t(font.last.bits.size());
  if (buffer != nullptr && bufferSize != 0) {
    if (bufferSize < size) return GDI_ERROR;
    if (size != 0) std::memcpy(buffer, font.last.bits.data(), size);
  }
  return size;
}

}  // namespace

uint32_t GetGlyphOutlineA(HDC dc, uint32_t code, uint32_t format, GLYPHMETRICS* metrics,
                          uint32_t bufferSize, void* buffer, const MAT2* matrix) {
  std::lock_guard lock(g_mutex);
  ++g_hooks.glyphCalls;
  try {
    if (g_hooks.glyphCodes.size() < kMaxRecordedCodes) g_hooks.glyphCodes.push_back(code);
    return GlyphOutline(dc, code, format, metrics, bufferSize, buffer, matrix);
  } catch (const std::bad_alloc&) {
    return GDI_ERROR;  // no memory for the glyph's bits
  }
}

int32_t GetTextFaceA(HDC dc, int32_t count, char* name) {
  if (dc == nullptr || dc->font == nullptr || name == nullptr || count < 1) return 0;
  const std::string& family = StateOf(dc->font)->family;
  const size_t n = std::min(family.size(), size_t(count) - 1);
  std::memcpy(name, family.data(), n);
  name[n] = '\0';
  return int32_t(n);
}

uint32_t GetOEMCP() {
  std::lock_guard lock(g_mutex);
  return g_hooks.oemCodePage;
}

// ---- Contexts and objects --------------------------------------------------------------------

Font* gdi_detail::StockFont() {
  static Font* stock = [] {
    auto* font = new FontState();
    font->stock = true;
    SetupSynthetic(*font, 16, 400);
    return font;
  }();
  return stock;
}

Font* gdi_detail::AsFont(HGDIOBJ object) {
  return dynamic_cast<FontState*>(object);
}

HGDIOBJ gdi_detail::SelectFont(HDC dc, Font* font) {
  if (dc == nullptr || dc->surface) return nullptr;
  FontState* previous = StateOf(dc->font);
  if (previous != nullptr && !previous->stock) --previous->selections;
  dc->font = font;
  if (!StateOf(font)->stock) ++StateOf(font)->selections;
  return previous;
}

bool gdi_detail::DeleteFont(Font* font) {
  FontState* state = StateOf(font);
  if (state->stock) return true;
  if (state->selections > 0) return false;
  std::lock_guard lock(g_mutex);
  delete state;
  return true;
}

void gdi_detail::ReleaseContextFont(HDC dc) {
  FontState* font = StateOf(dc->font);
  if (font != nullptr && !font->stock) --font->selections;
  dc->font = nullptr;
}

// ---- Test hooks ------------------------------------------------------------------------------

namespace gditest {

void FailNextCreateFonts(int count) {
  std::lock_guard lock(g_mutex);
  g_hooks.failFonts = count;
}
void SetOEMCP(uint32_t codePage) {
  std::lock_guard lock(g_mutex);
  g_hooks.oemCodePage = codePage;
}
void UseSyntheticDefaultFace(bool on) {
  std::lock_guard lock(g_mutex);
  g_hooks.syntheticDefault = on;
}
uint64_t GlyphOutlineCallCount() {
  std::lock_guard lock(g_mutex);
  return g_hooks.glyphCalls;
}
std::vector<uint32_t> GlyphOutlineCodes() {
  std::lock_guard lock(g_mutex);
  return g_hooks.glyphCodes;
}
void Reset() {
  {
    std::lock_guard lock(g_mutex);
    g_hooks = Hooks{};
  }
  gdi_detail::ResetBitmapHooks();
}

}  // namespace gditest

}  // namespace zq::platform
