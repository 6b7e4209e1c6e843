// kvpal fonts: the installed-font list as the library builds it, every field
// of every record.
#include <iomanip>
#include <iostream>

#include "base/case_fold.h"
#include "base/utf8.h"
#include "command.h"
#include "options.h"
#include "pal/font_utils.h"
#include "pal/unicode_convert.h"

namespace {

using namespace Halvex::Tessaran::PAL;
using FontUtils::FontInformation;

const char* pitchName(FontUtils::FontPitch pitch) {
  switch (pitch) {
    case FontUtils::FixedPitch:
      return "fixed";
    case FontUtils::VariablePitch:
      return "variable";
    default:
      return "default";
  }
}

const char* familyName(FontUtils::FontFamily family) {
  switch (family) {
    case FontUtils::Roman:
      return "Roman";
    case FontUtils::Swiss:
      return "Swiss";
    case FontUtils::Modern:
      return "Modern";
    case FontUtils::Script:
      return "Script";
    case FontUtils::Decorative:
      return "Decorative";
    default:
      return "DontCare";
  }
}

void print(const FontInformation& f) {
  auto field = [](const char* label) -> std::ostream& {
    return std::cout << "  " << std::left << std::setw(17) << label;
  };
  auto yesNo = [](bool b) { return b ? "yes" : "no"; };
  std::cout << detail::wideToUtf8(f.faceName) << "\n";
  field("local face name") << detail::wideToUtf8(f.localFaceName) << "\n";
  field("full name") << detail::wideToUtf8(f.fullName) << "\n";
  field("style name") << detail::wideToUtf8(f.styleName) << "\n";
  field("file name") << detail::wideToUtf8(f.fileName) << "\n";
  field("file path") << detail::wideToUtf8(f.filePath) << "\n";
  field("pitch") << pitchName(f.pitch) << " (" << f.pitch << ")\n";
  field("family") << familyName(f.family) << " (" << f.family << ")\n";
  field("weight") << f.weight << "\n";
  field("charset") << f.charset << "\n";
  field("attributes") << "bold " << yesNo(f.attributes.bold) << ", italic " << yesNo(f.attributes.italic)
                      << ", underline " << yesNo(f.attributes.underline) << ", height " << f.attributes.height
                      << "\n";
}

int runFonts(const kvpal::Args& args) {
  kvpal::Options o;
  if (int rc = kvpal::parseOptionsOnly("fonts", args, 0, {{"--family"}, {}}, o)) return rc;
  std::wstring family;
  const bool filtered = o.has("--family");
  if (filtered && !UnicodeConvert::utf8ToWideChar(o.value("--family").c_str(), family))
    return kvpal::usageError("fonts", "the family name is not UTF-8");
  const std::vector<FontInformation>& fonts = FontUtils::getAllInstalledFonts();
  if (fonts.empty()) return kvpal::failure("fonts", "fontconfig lists no TrueType or OpenType faces");
  int shown = 0;
  for (const FontInformation& f : fonts) {
    if (filtered && !detail::equalsIgnoringCase(f.faceName, family) &&
        !detail::equalsIgnoringCase(f.localFaceName, family))
      continue;
    if (shown++) std::cout << "\n";
    print(f);
  }
  if (shown == 0) return kvpal::failure("fonts", "no installed face of the family '" + args.back() + "'");
  return kvpal::kOk;
}

}  // namespace

KVPAL_COMMAND("fonts", "list the installed font faces with their records",
              "usage: kvpal fonts [--family NAME]\n\n"
              "Lists the TrueType and OpenType faces of this machine (fontconfig's\n"
              "configuration) as the library's installed-font list holds them: face and\n"
              "local names, full and style names, file, pitch, family, weight class,\n"
              "character set and attributes. With --family, only the faces whose face\n"
              "name or local face name is NAME (letter case ignored).\n",
              runFonts);
