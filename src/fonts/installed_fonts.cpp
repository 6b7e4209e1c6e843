// The installed-font list: built once from the system's faces, kept until a
// clear or a change of the process's own font files.
#include "fonts/installed_fonts.h"

#include <unicode/uchar.h>

#include <string_view>
#include <unordered_set>

#include "fonts/font_classes.h"
#include "pal/locale.h"
#include "pal/settings_roots.h"
#include "text/nls_process.h"
#include "text/nls_table.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

namespace {

using FontUtils::FontInformation;

constexpr LCID kEnglishUs = 1033;
constexpr LCID kChineseTaiwan = 1028;
constexpr LCID kChineseMacao = 5124;

// Simple Unicode upper-casing, code point by code point, as CharUpperW does.
std::wstring upperCase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(u_toupper(static_cast<UChar32>(c)));
  return text;
}

bool equalIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return upperCase(a) == upperCase(b);
}

bool isVertical(const std::wstring& name) {
  return !name.empty() && name[0] == L'@';
}
std::wstring withoutAt(const std::wstring& name) {
  return isVertical(name) ? name.substr(1) : name;
}

int weightClass(int weight) {
  if (weight < 100) return 0;
  return weight >= 900 ? 9 : weight / 100;
}

std::wstring fileNameOf(const std::wstring& path) {
  const size_t slash = path.rfind(L'/');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Replaces `name` by the family name in 1033 of the face of `file` that has
// `name` as its family name in `language` (for a plain file, its only face).
bool englishNameFromFile(const FontBytes& file, std::wstring& name, LANGID language) {
  std::optional<FontFileFaces> faces = fontFileFaces(file);
  if (!faces) return false;
  const std::wstring prefix = isVertical(name) ? L"@" : L"";
  std::optional<std::wstring> english;
  if (faces->collection) {
    const std::wstring local = withoutAt(name);
    std::uint32_t face = 1;
    for (; face <= faces->count; ++face)
      if (familyName(file, face, language) == local) break;
    if (face > faces->count) return false;
    english = familyName(file, face, kEnglishUs);
  } else {
    english = familyName(file, 0, kEnglishUs);
  }
  if (!english) return false;
  name = prefix + *english;
  return true;
}

// Big5 bytes of the Chinese family names, one byte per code unit: the form a
// localised name takes when it went through the wrong code page.
constexpr std::wstring_view kMingLiuLocal = L"\u00B2\u00D3\u00A9\u00FA\u00C5\u00E9";
constexpr std::wstring_view kPMingLiuLocal = L"\u00B7\u0073\u00B2\u00D3\u00A9\u00FA\u00C5\u00E9";

void replaceIgnoringCase(std::wstring& candidate,
                         std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> map) {
  for (const auto& [from, to] : map)
    if (equalIgnoringCase(candidate, from)) {
      candidate = to;
      return;
    }
}

// Per-build facts of the faces' files: a face's OS/2 data and the character
// set step of collections.
struct FaceFile {
  std::unique_ptr<FontBytes> bytes;
  std::optional<FontFileFaces> faces;

  explicit FaceFile(const std::wstring& path) : bytes(path.empty() ? nullptr : openFontFile(path)) {
    if (bytes) faces = fontFileFaces(*bytes);
  }
};

// The collection rule: the character set of the first language, other than
// English, that a face of the collection names.
std::optional<int> collectionCharset(const FaceFile& file) {
  if (!file.faces || !file.faces->collection) return std::nullopt;
  for (std::uint32_t face = 1; face <= file.faces->count; ++face)
    if (std::optional<std::uint16_t> language = firstLocalLanguage(*file.bytes, face))
      return languageCharset(*language);
  return std::nullopt;
}

FontInformation makeRecord(const SystemFace& face, const NameContext& names) {
  FontInformation font;
  font.faceName = font.localFaceName = face.family;
  font.fullName = face.fullName;
  font.styleName = face.style;
  font.attributes.italic = face.italic;
  font.pitch = face.pitch;
  font.weight = weightClass(face.weight);

  FaceFile own(face.file);
  std::optional<Os2Info> os2;
  if (own.faces) os2 = os2Info(*own.bytes, lookupFace(*own.faces, face.index));
  font.family = os2 ? familyFromOs2(*os2) : FontUtils::DontCare;
  font.charset = os2 ? charsetFromCodePages(os2->codePages) : DEFAULT_CHARSET;

  font.filePath = fontFilePath(alternateFontFileName(face.fullName), face.file);
  font.fileName = font.filePath.empty() ? L"" : fileNameOf(font.filePath);
  const FaceFile other(font.filePath == face.file ? L"" : font.filePath);
  const FaceFile& listed = font.filePath == face.file ? own : other;
  if (std::optional<int> charset = collectionCharset(listed)) font.charset = *charset;

  font.faceName = englishFaceName(font, listed.bytes.get(), names);
  return font;
}

}  // namespace

std::uint32_t lookupFace(const FontFileFaces& faces, std::uint32_t index) {
  // fontconfig puts a variable font's named instance in the upper 16 bits.
  return faces.collection ? (index & 0xFFFF) + 1 : 0;
}

int languageCharset(LCID language) {
  // The national-language table answers both Windows queries; the locale
  // model's charset cache is not used because it preloads the library's own
  // Indic character sets, which no Windows query gives.
  const NlsLocale* locale = nlsFindLocale(language);
  if (!locale) return -1;
  return locale->ansiCodePage == 0 ? DEFAULT_CHARSET : locale->charset;
}

AltFamilyNames buildAltFamilyNames(const std::vector<SystemFace>& faces, LANGID language) {
  AltFamilyNames table;
  std::unordered_set<std::wstring> visited;
  for (const SystemFace& face : faces) {
    if (!visited.insert(face.file).second) continue;
    std::unique_ptr<FontBytes> file = openFontFile(face.file);
    std::uint8_t head[4];
    if (!file || !file->read(0, head, sizeof head) || isSkippedFontFile(head)) continue;
    const FontFileFaces inFile = *fontFileFaces(*file);
    const std::uint32_t first = inFile.collection ? 1 : 0;
    const std::uint32_t last = inFile.collection ? inFile.count : 0;
    for (std::uint32_t i = first; i <= last; ++i) {
      std::optional<std::wstring> local = familyName(*file, i, language);
      if (!local) continue;
      if (std::optional<std::wstring> english = familyName(*file, i, static_cast<LANGID>(kEnglishUs)))
        table.emplace(std::move(*local), std::move(*english));  // the first pair found wins
    }
  }
  return table;
}

std::wstring englishFaceName(const FontInformation& font, const FontBytes* file, const NameContext& context) {
  std::wstring candidate = font.faceName;
  const LCID lcid = context.systemLcid;
  if (lcid != kEnglishUs) {
    const LANGID language = static_cast<LANGID>(lcid);
    if (!(file && englishNameFromFile(*file, candidate, language)) && context.systemCharset == font.charset) {
      auto alt = context.altNames.find(withoutAt(candidate));
      if (alt != context.altNames.end()) {
        candidate = (isVertical(candidate) ? L"@" : L"") + alt->second;
      } else if (lcid == kChineseTaiwan || lcid == kChineseMacao) {
        const std::wstring local = withoutAt(font.localFaceName);
        const std::wstring prefix = isVertical(font.localFaceName) ? L"@" : L"";
        if (local == kMingLiuLocal)
          candidate = prefix + L"MingLiU";
        else if (local == kPMingLiuLocal)
          candidate = prefix + L"PMingLiU";
      }
    }
    if (lcid == kChineseTaiwan)
      replaceIgnoringCase(candidate, {{L"MingLi", L"MingLiU"},
                                      {L"PMingLi", L"PMingLiU"},
                                      {L"Kai", L"DFKai-SB"},
                                      {L"@MingLi", L"@MingLiU"},
                                      {L"@PMingLi", L"@PMingLiU"},
                                      {L"@Kai", L"@DFKai-SB"}});
  }
  replaceIgnoringCase(candidate, {{L"DFKaiShu-SB", L"DFKai-SB"}, {L"@DFKaiShu-SB", L"@DFKai-SB"}});
  return candidate;
}

std::wstring alternateFontFileName(const std::wstring& fullName) {
  const std::wstring value = withoutAt(fullName) + L" (TrueType)";
  std::wstring file;
  Settings::read().getProductSettings(
      L"AltFontNames",
      [&](const Settings::Container& settings) {
        // exists() means a value with data; the first such value ends the
        // lookup even when it reads as no name (an empty string, a number).
        if (!settings.good() || !settings.exists(value.c_str())) return true;
        file = settings.getString(value.c_str(), L"");
        return false;
      },
      true);
  return file;
}

std::wstring fontFilePath(const std::wstring& alternate, const std::wstring& systemFile) {
  if (alternate.empty()) return systemFile;
  std::wstring path = alternate;
  if (path.size() >= 4 && equalIgnoringCase(path.substr(path.size() - 4), L".FOT"))
    path.replace(path.size() - 4, 4, L".TTF");
  if (path[0] != L'/') {
    const size_t slash = systemFile.rfind(L'/');
    if (slash != std::wstring::npos) path.insert(0, systemFile, 0, slash + 1);
  }
  return path;
}

std::vector<FontInformation> buildInstalledFonts(const std::vector<SystemFace>& faces, LCID systemLcid) {
  // First pass: the TrueType families in the order they first appear.
  std::unordered_set<std::wstring> allFamilies, listed;
  std::vector<std::wstring> families;
  for (const SystemFace& face : faces) {
    allFamilies.insert(face.family);
    if (face.trueType && face.family != L"Marlett" && listed.insert(face.family).second)
      families.push_back(face.family);
  }
  AltFamilyNames altNames;
  if (systemLcid != kEnglishUs && !allFamilies.empty())
    altNames = buildAltFamilyNames(faces, static_cast<LANGID>(systemLcid));
  const NameContext names{systemLcid, languageCharset(systemLcid), altNames};

  // Second pass: each family's styles, in the system's order.
  std::unordered_map<std::wstring, std::vector<const SystemFace*>> styles;
  for (const SystemFace& face : faces)
    if (face.trueType) styles[face.family].push_back(&face);
  std::unordered_set<std::wstring> seen;
  std::vector<FontInformation> list;
  for (const std::wstring& family : families)
    for (const SystemFace* face : styles[family])
      if (seen.insert(upperCase(face->family + face->style)).second) list.push_back(makeRecord(*face, names));
  return list;
}

}  // namespace detail

namespace FontUtils {

namespace {

std::vector<FontInformation>& installedFonts() {
  static std::vector<FontInformation> list;
  return list;
}

}  // namespace

const std::vector<FontInformation>& getAllInstalledFonts() {
  std::vector<FontInformation>& list = installedFonts();
  if (list.empty()) {
    const LCID lcid = detail::systemDefaultLcid();
    list = detail::buildInstalledFonts(detail::listSystemFaces(lcid), lcid);
  }
  return list;
}

void clearCachedInstallFonts() {
  installedFonts().clear();
}

bool addExternalFont(const std::wstring& path) {
  if (!detail::registerProcessFont(path)) return false;
  clearCachedInstallFonts();
  return true;
}

bool removeExternalFont(const std::wstring& path) {
  if (!detail::unregisterProcessFont(path)) return false;
  clearCachedInstallFonts();
  return true;
}

}  // namespace FontUtils

IFontProvider::~IFontProvider() = default;

FontProvider::~FontProvider() = default;

const FontProvider* FontProvider::get() {
  static const FontProvider provider;
  return &provider;
}

const std::vector<FontUtils::FontInformation>& FontProvider::getAllInstalledFonts() const {
  return FontUtils::getAllInstalledFonts();
}

void FontProvider::clearCachedInstallFonts() const {
  FontUtils::clearCachedInstallFonts();
}

}  // namespace Halvex::Tessaran::PAL
