// The system's font faces, the face a logical font selects and the process's
// own font files, through fontconfig's current configuration and its
// application font set.
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cwctype>

#include "base/case_fold.h"
#include "fonts/font_metrics.h"
#include "fonts/installed_fonts.h"
#include "pal/locale.h"
#include "pal/unicode_convert.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

std::wstring wide(const FcChar8* text) {
  std::wstring out;
  if (text) UnicodeConvert::utf8ToWideChar(reinterpret_cast<const char*>(text), out);
  return out;
}

std::string narrow(const std::wstring& text) {
  std::string out;
  UnicodeConvert::wideCharToUtf8(text.c_str(), out);
  return out;
}

// fontconfig's language tags for the system locale: "ja-jp" and "ja".
struct LanguageTags {
  std::string full;
  std::string language;
};

LanguageTags tagsFor(LCID lcid) {
  const KvLocale locale = KvLocaleService::createLocaleFromWinLCID(static_cast<int>(lcid));
  auto lower = [](const wchar_t* s) {
    std::string out;
    for (; s && *s; ++s) out += static_cast<char>(lowerCase(*s));
    return out;
  };
  LanguageTags tags{lower(locale.iso2LangName()), lower(locale.iso2LangName())};
  if (const std::string country = lower(locale.iso2CountryName()); !country.empty())
    tags.full += "-" + country;
  return tags;
}

// One of a face's names in the preferred language: the system's (with or
// without a territory, "ja" serving "ja-jp"), else English, else the
// language of the first name. fontconfig lists the typographic names before
// the legacy ones of the same language, so the last name of that language
// is the legacy one, the name a Windows enumeration reports.
std::wstring pickName(FcPattern* pattern, const char* object, const char* langObject,
                      const LanguageTags& tags) {
  std::vector<std::pair<std::wstring, std::string>> names;
  FcChar8* value;
  for (int i = 0; FcPatternGetString(pattern, object, i, &value) == FcResultMatch; ++i) {
    FcChar8* lang;
    std::string tag = FcPatternGetString(pattern, langObject, i, &lang) == FcResultMatch
                          ? reinterpret_cast<const char*>(lang)
                          : "";
    names.emplace_back(wide(value), std::move(tag));
  }
  if (names.empty()) return {};
  auto score = [&](const std::string& tag) {
    if (tag == tags.full) return 3;
    if (tag == tags.language) return 2;
    return tag == "en" ? 1 : 0;
  };
  std::string best = names.front().second;
  for (const auto& name : names)
    if (score(name.second) > score(best)) best = name.second;
  auto last = std::find_if(names.rbegin(), names.rend(), [&](const auto& n) { return n.second == best; });
  return last->first;
}

bool isTrueType(FcPattern* pattern) {
  FcChar8* format;
  FcBool outline = FcFalse, variable = FcFalse;
  if (FcPatternGetString(pattern, FC_FONTFORMAT, 0, &format) != FcResultMatch) return false;
  const std::string f = reinterpret_cast<const char*>(format);
  FcPatternGetBool(pattern, FC_OUTLINE, 0, &outline);
  // The variable entry stands for a whole design space; its named instances
  // are listed as faces of their own.
  FcPatternGetBool(pattern, FC_VARIABLE, 0, &variable);
  return (f == "TrueType" || f == "CFF") && outline && !variable;
}

SystemFace faceOf(FcPattern* pattern, const LanguageTags& tags) {
  SystemFace face;
  face.family = pickName(pattern, FC_FAMILY, FC_FAMILYLANG, tags);
  face.style = pickName(pattern, FC_STYLE, FC_STYLELANG, tags);
  face.fullName = pickName(pattern, FC_FULLNAME, FC_FULLNAMELANG, tags);
  if (face.fullName.empty()) face.fullName = face.family + L" " + face.style;
  face.trueType = isTrueType(pattern);
  int slant = FC_SLANT_ROMAN, spacing = FC_PROPORTIONAL, index = 0;
  FcPatternGetInteger(pattern, FC_SLANT, 0, &slant);
  face.italic = slant != FC_SLANT_ROMAN;
  double weight;
  if (FcPatternGetDouble(pattern, FC_WEIGHT, 0, &weight) == FcResultMatch)
    face.weight = std::max(0, static_cast<int>(std::lround(FcWeightToOpenTypeDouble(weight))));
  FcPatternGetInteger(pattern, FC_SPACING, 0, &spacing);
  face.pitch =
      spacing == FC_MONO || spacing == FC_CHARCELL ? FontUtils::FixedPitch : FontUtils::VariablePitch;
  FcChar8* file;
  if (FcPatternGetString(pattern, FC_FILE, 0, &file) == FcResultMatch) face.file = wide(file);
  FcPatternGetInteger(pattern, FC_INDEX, 0, &index);
  face.index = static_cast<std::uint32_t>(index);
  return face;
}

// fontconfig lists typographic and Macintosh names beside the legacy Windows
// ones, and two families sharing a typographic name would become one: the
// names come from the face's own name table where it has Windows names. A
// variable font's named instance keeps fontconfig's names, which tell the
// instances apart.
void takeLegacyNames(SystemFace& face, LANGID language) {
  if (face.index >> 16) return;
  const std::unique_ptr<FontBytes> file = openFontFile(face.file);
  const std::optional<FontFileFaces> faces = file ? fontFileFaces(*file) : std::nullopt;
  if (!faces) return;
  LegacyNames names = legacyNames(*file, lookupFace(*faces, face.index), language);
  if (!names.family) return;
  face.family = std::move(*names.family);
  if (names.style) face.style = std::move(*names.style);
  face.fullName = names.fullName ? std::move(*names.fullName) : face.family + L" " + face.style;
}

int applicationFaceCount() {
  FcFontSet* set = FcConfigGetFonts(nullptr, FcSetApplication);
  return set ? set->nfont : 0;
}

// The files registered by this process, once per registration.
std::vector<std::string>& processFonts() {
  static std::vector<std::string> files;
  return files;
}

}  // namespace

std::vector<SystemFace> listSystemFaces(LCID systemLcid) {
  std::vector<SystemFace> faces;
  FcPattern* all = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, FC_STYLE, FC_STYLELANG, FC_FULLNAME,
                                          FC_FULLNAMELANG, FC_SLANT, FC_WEIGHT, FC_SPACING, FC_FILE, FC_INDEX,
                                          FC_FONTFORMAT, FC_OUTLINE, FC_VARIABLE, nullptr);
  FcFontSet* set = all && objects ? FcFontList(nullptr, all, objects) : nullptr;
  const LanguageTags tags = tagsFor(systemLcid);
  for (int i = 0; set && i < set->nfont; ++i) {
    faces.push_back(faceOf(set->fonts[i], tags));
    takeLegacyNames(faces.back(), static_cast<LANGID>(systemLcid & 0xFFFF));
  }
  if (set) FcFontSetDestroy(set);
  if (objects) FcObjectSetDestroy(objects);
  if (all) FcPatternDestroy(all);
  return faces;
}

std::optional<FaceLocation> matchFace(const LogicalFont& request) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return std::nullopt;
  if (!request.faceName.empty())
    FcPatternAddString(pattern, FC_FAMILY,
                       reinterpret_cast<const FcChar8*>(narrow(request.faceName).c_str()));
  FcPatternAddDouble(pattern, FC_WEIGHT, FcWeightFromOpenTypeDouble(request.weight));
  FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  // Every face in order of preference: the best outline face may come after
  // a better bitmap one.
  FcFontSet* sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
  FcPatternDestroy(pattern);
  std::optional<FaceLocation> best, bestOutline;
  for (int i = 0; sorted && i < sorted->nfont && !bestOutline; ++i) {
    FcPattern* font = sorted->fonts[i];
    FcChar8* file;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
    FaceLocation location{wide(file), 0};
    FcPatternGetInteger(font, FC_INDEX, 0, &location.index);
    FcBool outline = FcFalse;
    FcPatternGetBool(font, FC_OUTLINE, 0, &outline);
    if (!best) best = location;
    if (outline) bestOutline = location;
    if (!request.trueTypeOnly) break;
  }
  if (sorted) FcFontSetDestroy(sorted);
  return request.trueTypeOnly && bestOutline ? bestOutline : best;
}

bool registerProcessFont(const std::wstring& path) {
  const std::string file = narrow(path);
  struct stat st;
  // fontconfig would take a folder and add every font in it.
  if (file.empty() || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const int before = applicationFaceCount();
  if (!FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(file.c_str()))) return false;
  // A file fontconfig read but found no face in adds nothing: not a font.
  if (applicationFaceCount() == before) return false;
  processFonts().push_back(file);
  return true;
}

bool unregisterProcessFont(const std::wstring& path) {
  std::vector<std::string>& files = processFonts();
  auto it = std::find(files.begin(), files.end(), narrow(path));
  if (it == files.end()) return false;
  files.erase(it);
  FcConfigAppFontClear(nullptr);
  // A file that went away since it was registered cannot be added again.
  std::erase_if(files, [](const std::string& file) {
    return !FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(file.c_str()));
  });
  return true;
}

}  // namespace Halvex::Tessaran::PAL::detail
