// Font metrics, string extents and coverage over the selected faces, with
// the process-wide coverage, signature and metrics caches.
#include "fonts/font_metrics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_map>

#include "base/case_fold.h"
#include "fonts/font_classes.h"
#include "pal/font_utils.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

int saturatedInt(double whole) {
  if (std::isnan(whole)) return 0;
  constexpr double kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  return static_cast<int>(std::clamp(whole, kMin, kMax));
}

int selectedCharset(const std::vector<int>& faceCharsets, int requested, int systemCharset) {
  int wanted = requested;
  if (wanted == DEFAULT_CHARSET) wanted = systemCharset == -1 ? ANSI_CHARSET : systemCharset;
  auto offers = [&](int charset) {
    return std::find(faceCharsets.begin(), faceCharsets.end(), charset) != faceCharsets.end();
  };
  if (offers(wanted)) return wanted;
  if (offers(ANSI_CHARSET) || faceCharsets.empty()) return ANSI_CHARSET;
  return faceCharsets.front();
}

namespace {

using FontUtils::FontInformation;
using FontUtils::FontMetrics;
using FontUtils::TextExtentsMetrics;

struct GlyphPage {
  std::array<GlyphRecord, 256> records{};
};

// The measuring font of one face and its glyph records, each page of 256
// made when a code unit of it is first measured.
struct GlyphCacheEntry {
  std::unique_ptr<SelectedFont> font;
  TextMetrics metrics;
  std::array<std::unique_ptr<GlyphPage>, 256> pages;

  const GlyphRecord& record(char16_t unit) {
    if (const GlyphPage* page = pages[unit >> 8].get()) {
      const GlyphRecord& r = page->records[unit & 0xFF];
      if (r.flags & kGlyphComputed) return r;
    }
    return computeRecord(unit);
  }

  // Kept out of line: the cached path above is the one that must be short.
  [[gnu::noinline]] const GlyphRecord& computeRecord(char16_t unit) {
    std::unique_ptr<GlyphPage>& page = pages[unit >> 8];
    if (!page) page = std::make_unique<GlyphPage>();
    GlyphRecord& r = page->records[unit & 0xFF];
    r = font ? font->glyph(unit) : GlyphRecord{};
    r.flags |= kGlyphComputed;
    return r;
  }
};

// Face name without regard to letter case, bold, italic.
struct FontKey {
  std::wstring faceName;
  bool bold;
  bool italic;
};

struct FontKeyHash {
  std::size_t operator()(const FontKey& k) const {
    std::size_t h = 1469598103934665603ull;
    for (wchar_t c : k.faceName) h = (h ^ static_cast<std::size_t>(foldCase(c))) * 1099511628211ull;
    return h ^ (k.bold ? 1 : 0) ^ (k.italic ? 2 : 0);
  }
};

struct FontKeyEqual {
  bool operator()(const FontKey& a, const FontKey& b) const {
    return a.bold == b.bold && a.italic == b.italic && equalsIgnoringCase(a.faceName, b.faceName);
  }
};

// A face's ranges, and the same as one bit per code unit for the lookups.
struct Coverage {
  explicit Coverage(std::vector<UnicodeRange> r) : ranges(std::move(r)), units(0x10000 / 64) {
    for (const UnicodeRange& range : ranges)
      for (std::uint32_t u = range.first; u < range.first + range.count && u < 0x10000; ++u)
        units[u / 64] |= std::uint64_t{1} << (u % 64);
  }
  bool contains(std::uint32_t unit) const { return unit < 0x10000 && (units[unit / 64] >> (unit % 64) & 1); }

  std::vector<UnicodeRange> ranges;
  std::vector<std::uint64_t> units;
};

struct Caches {
  std::unordered_map<std::wstring, Coverage> coverage;
  std::unordered_map<std::wstring, FontSignature> signatures;
  std::unordered_map<FontKey, std::shared_ptr<GlyphCacheEntry>, FontKeyHash, FontKeyEqual> metrics;
  // The last lookups, so that repeated questions about one face skip hashing.
  const std::wstring* lastCoverageName = nullptr;
  const Coverage* lastCoverage = nullptr;
  FontKey lastKey{{}, false, false};
  GlyphCacheEntry* lastEntry = nullptr;
};

// Equal texts; memcmp is the one the compiler inlines, wide comparison calls
// into the C library.
bool sameText(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(wchar_t)) == 0;
}

// Never destroyed: its faces belong to the FreeType instance, which closes
// them when the process exits.
Caches& caches() {
  static Caches* c = new Caches;
  return *c;
}

LogicalFont probeFont(const std::wstring& faceName) {
  LogicalFont f;
  f.faceName = faceName;
  f.height = 72;
  return f;
}

const Coverage* coverageOf(const std::wstring& faceName) {
  Caches& c = caches();
  if (c.lastCoverageName && sameText(*c.lastCoverageName, faceName)) return c.lastCoverage;
  auto it = c.coverage.find(faceName);
  if (it == c.coverage.end()) {
    const std::unique_ptr<SelectedFont> probe = SelectedFont::select(probeFont(faceName));
    std::vector<UnicodeRange> ranges = probe ? probe->unicodeRanges() : std::vector<UnicodeRange>{};
    if (ranges.empty()) return nullptr;  // asked again next time
    it = c.coverage.emplace(faceName, Coverage(std::move(ranges))).first;
  }
  c.lastCoverageName = &it->first;
  c.lastCoverage = &it->second;
  return &it->second;
}

const CharsetCodePageBit* charsetBit(int charset) {
  for (const auto& entry : kCharsetCodePageBits)
    if (entry.charset == charset) return &entry;
  return nullptr;
}

// A measuring font: the face at cell height 1000 for the metrics, and for an
// outline face the same face at its em square for everything in design units.
struct MeasuringFont {
  std::unique_ptr<SelectedFont> font;  // the one left selected
  TextMetrics cellMetrics;             // of the cell-height-1000 font
  std::optional<OutlineMetrics> outline;
};

std::optional<MeasuringFont> measuringFont(const FontInformation& info) {
  if (info.faceName.empty() || info.faceName.size() >= 32) return std::nullopt;
  LogicalFont request;
  request.faceName = info.faceName;
  request.height = 1000;
  request.weight = info.attributes.bold ? 700 : 400;
  request.italic = info.attributes.italic;
  request.underline = info.attributes.underline;
  request.charset = info.charset & 0xFF;
  request.trueTypeOnly = true;
  MeasuringFont m;
  m.font = SelectedFont::select(request);
  if (!m.font) return std::nullopt;
  m.cellMetrics = m.font->textMetrics();
  m.outline = m.font->outlineMetrics();
  if (m.outline) {
    std::unique_ptr<SelectedFont> em = m.font->withHeight(-m.outline->emSquare);
    if (!em) return std::nullopt;
    m.font = std::move(em);
  }
  return m;
}

double capHeightScaleOf(const MeasuringFont& m) {
  const OutlineMetrics& o = *m.outline;
  const GlyphRecord a = m.font->glyph(u'A');
  if ((a.flags & kGlyphComputed) && a.originY != 0)
    return static_cast<float>(o.emSquare) / static_cast<float>(a.originY);
  const TextMetrics& tm = m.cellMetrics;
  if (o.ascent == 0)
    return static_cast<float>(tm.height - tm.internalLeading) /
           static_cast<float>(tm.ascent - tm.internalLeading);
  if (o.ascent > o.emSquare) return 1.0;
  return static_cast<float>(o.emSquare) / static_cast<float>(o.ascent);
}

double asFloat(int value) {
  return static_cast<float>(value);
}

GlyphCacheEntry* findEntry(const FontInformation& font) {
  Caches& c = caches();
  if (c.lastEntry && c.lastKey.bold == font.attributes.bold && c.lastKey.italic == font.attributes.italic &&
      sameText(c.lastKey.faceName, font.faceName))
    return c.lastEntry;
  auto it = c.metrics.find(FontKey{font.faceName, font.attributes.bold, font.attributes.italic});
  if (it == c.metrics.end()) return nullptr;
  c.lastKey = it->first;
  c.lastKey.faceName = font.faceName;
  c.lastEntry = it->second.get();
  return c.lastEntry;
}

// Calls `f(unit)` for each UTF-16 code unit of the wide text.
template <typename F>
void forEachUnit(const std::wstring& text, F&& f) {
  for (wchar_t ch : text) {
    const auto c = static_cast<std::uint32_t>(ch);
    if (c <= 0xFFFF || c > 0x10FFFF) {
      f(static_cast<char16_t>(c <= 0xFFFF ? c : 0xFFFD));
    } else {
      f(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      f(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
}

void setBox(TextExtentsMetrics& r, double left, double right, double height, double descent) {
  r.bottomLeft = {left, -descent, 0};
  r.bottomRight = {right, -descent, 0};
  r.topRight = {right, height - descent, 0};
  r.topLeft = {left, height - descent, 0};
}

}  // namespace

}  // namespace detail

namespace FontUtils {

using detail::caches;
using detail::GlyphRecord;

bool isWideCharSupportedByFont(wchar_t ch, const std::wstring& faceName) {
  const detail::Coverage* coverage = detail::coverageOf(faceName);
  if (!coverage) return false;
  const auto c = static_cast<std::uint32_t>(ch);
  if (c <= 0xFFFF) return coverage->contains(c);
  if (c > 0x10FFFF) return false;
  return coverage->contains(0xD800 + ((c - 0x10000) >> 10)) &&
         coverage->contains(0xDC00 + ((c - 0x10000) & 0x3FF));
}

bool isMSCharsetSupportedByFont(const std::wstring& faceName, Charset charset) {
  auto& signatures = caches().signatures;
  auto it = signatures.find(faceName);
  if (it == signatures.end()) {
    detail::FontSignature signature;
    if (const auto probe = detail::SelectedFont::select(detail::probeFont(faceName))) {
      signature = probe->signature();
      const int selected = probe->textMetrics().charset;
      const detail::CharsetCodePageBit* bit = detail::charsetBit(selected);
      if (selected != DEFAULT_CHARSET && selected != detail::kSymbolCharset && bit)
        signature.codePages[bit->bit / 32] |= 1u << (bit->bit % 32);
    }
    it = signatures.emplace(faceName, signature).first;
  }
  const detail::CharsetCodePageBit* bit = detail::charsetBit(charset);
  return bit && (it->second.codePages[bit->bit / 32] >> (bit->bit % 32) & 1);
}

FontMetrics getFontMetrics(const FontInformation& font) {
  using detail::asFloat;
  FontMetrics m;
  m.firstChar = m.lastChar = m.defaultChar = m.breakChar = 0;
  std::optional<detail::MeasuringFont> measuring = detail::measuringFont(font);
  const detail::TextMetrics tm = measuring ? measuring->font->textMetrics() : detail::TextMetrics{};
  if (measuring && measuring->outline) {
    const detail::TextMetrics& cell = measuring->cellMetrics;
    m.emHeight = asFloat(measuring->outline->emSquare);
    m.lineSpacing = asFloat(cell.height + cell.externalLeading);
    m.ascent = asFloat(cell.ascent);
    m.descent = asFloat(cell.descent);
    m.capHeightScale = detail::capHeightScaleOf(*measuring);
    m.firstChar = cell.firstChar;
    m.lastChar = cell.lastChar;
    m.defaultChar = cell.defaultChar;
    m.breakChar = cell.breakChar;
  } else {
    m.emHeight = asFloat(tm.height - tm.internalLeading);
    m.lineSpacing = asFloat(tm.height + tm.externalLeading);
    m.capHeightScale = m.emHeight / asFloat(tm.ascent - tm.internalLeading);
    m.ascent = asFloat(tm.ascent);
    m.descent = asFloat(tm.descent);
    m.firstChar = tm.firstChar;
    m.lastChar = tm.lastChar;
    m.defaultChar = tm.defaultChar;
    m.breakChar = tm.breakChar;
  }
  m.diameterChar = 0x2205;
  if (measuring) {
    for (wchar_t c : {L'\u2205', L'\u00D8', L'\u03C6'}) {
      if (measuring->font->hasChar(c)) {
        m.diameterChar = c;
        break;
      }
    }
    m.faceName = measuring->font->faceName();
  }
  m.attributes.bold = tm.weight > 400;
  m.attributes.italic = tm.italic;
  m.attributes.underline = tm.underlined;
  m.attributes.height = tm.height;
  m.charset = tm.charset;
  m.pitchAndFamily = ((tm.pitchAndFamily & 1) ? VariablePitch : FixedPitch) | (tm.pitchAndFamily & 0xF0);

  if (!measuring) return m;
  auto& entries = caches().metrics;
  const detail::FontKey requested{font.faceName, font.attributes.bold, font.attributes.italic};
  if (entries.count(requested)) return m;
  const detail::FontKey measured{m.faceName, m.attributes.bold, m.attributes.italic};
  auto it = entries.find(measured);
  if (it == entries.end()) {
    auto entry = std::make_shared<detail::GlyphCacheEntry>();
    entry->metrics = tm;
    entry->font = std::move(measuring->font);
    it = entries.emplace(measured, std::move(entry)).first;
  }
  // A name the system replaced finds the measurement too.
  entries.emplace(requested, it->second);
  return m;
}

TextExtentsMetrics getExtentsMetrics(const FontInformation& font, const std::wstring& text,
                                     double /*reserved*/, double widthFactor, double spacingScale,
                                     double spacingDivisor, float* advances) {
  TextExtentsMetrics r;
  r.advances = advances;
  detail::GlyphCacheEntry* entry = detail::findEntry(font);
  if (!entry || text.empty()) return r;
  const detail::TextMetrics& tm = entry->metrics;
  // The extra spacing after every character; none on the cached path.
  int extra = 0;
  if (widthFactor != 1.0) {
    const double w = tm.aveCharWidth * spacingScale;
    extra = detail::saturatedInt(std::trunc((w * widthFactor - w) * 1000.0 / spacingDivisor));
  }
  std::int64_t width = 0;
  int above = 0, below = 0;
  std::size_t i = 0;
  const GlyphRecord* first = nullptr;
  const GlyphRecord* last = nullptr;
  detail::forEachUnit(text, [&](char16_t unit) {
    const GlyphRecord& g = entry->record(unit);
    const std::int64_t advance = static_cast<std::int64_t>(g.a) + g.b + g.c + extra;
    width += advance;
    if (advances) advances[i++] = static_cast<float>(advance);
    // Below the baseline: the ink box height less its top, when positive;
    // above it: the rest of the box.
    above = std::max(above, std::min(g.originY, g.height));
    below = std::max(below, g.height - g.originY);
    if (!first) first = &g;
    last = &g;
  });
  const double left = -std::max(0, -first->a);
  const double right = static_cast<double>(width) + std::max(0, -last->c);
  detail::setBox(r, left, right, tm.height, tm.descent);
  r.inkAscent = static_cast<float>(above);
  r.inkDescent = static_cast<float>(below);
  r.firstCharAWidth = first->a;
  r.lastCharCWidth = last->c;
  return r;
}

}  // namespace FontUtils

}  // namespace Halvex::Tessaran::PAL
