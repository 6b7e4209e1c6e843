// Building the installed-font list from the system's face enumeration: the
// two passes, the de-duplication, the records and the English names.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "fonts/sfnt_names.h"
#include "pal/font_utils.h"
#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::detail {

// One face as the system's enumeration reports it.
struct SystemFace {
  std::wstring family;
  std::wstring style;
  std::wstring fullName;
  bool trueType = false;  // a scalable TrueType or OpenType face
  bool italic = false;
  int weight = 0;  // 1 to 1000 on the OpenType scale; 0 when unknown
  FontUtils::FontPitch pitch = FontUtils::VariablePitch;
  std::wstring file;
  std::uint32_t index = 0;  // face inside a collection file, from 0
};

// The system's faces in enumeration order, with the names in the language
// of `systemLcid` where the face has them.
std::vector<SystemFace> listSystemFaces(LCID systemLcid);

// The face number the name lookups use for the system's face index.
std::uint32_t lookupFace(const FontFileFaces& faces, std::uint32_t index);

// Register and unregister a font file for this process only.
bool registerProcessFont(const std::wstring& path);
bool unregisterProcessFont(const std::wstring& path);

std::vector<FontUtils::FontInformation> buildInstalledFonts(const std::vector<SystemFace>& faces,
                                                            LCID systemLcid);

// Local family name to English family name, from every file of `faces`.
using AltFamilyNames = std::unordered_map<std::wstring, std::wstring>;
AltFamilyNames buildAltFamilyNames(const std::vector<SystemFace>& faces, LANGID language);

struct NameContext {
  LCID systemLcid;
  int systemCharset;
  const AltFamilyNames& altNames;
};

// The face name to list for `font` (its localFaceName, filePath and
// charset are filled in): the English name from the font file or the
// alternate table on a system that is not en-US, and the fixed
// replacements. `file` is the opened filePath, null when it did not open.
std::wstring englishFaceName(const FontUtils::FontInformation& font, const FontBytes* file,
                             const NameContext& context);

// The product setting "AltFontNames" value "<fullName without @> (TrueType)"
// from the first root holding it with data, read as a string; empty when no
// root has it or that value is no string.
std::wstring alternateFontFileName(const std::wstring& fullName);

// The file of a face: the alternate file name when there is one (".FOT"
// becomes ".TTF", a bare name is taken from the folder of the system's
// file), else the system's file.
std::wstring fontFilePath(const std::wstring& alternate, const std::wstring& systemFile);

// The character set Windows gives a language's locale: DEFAULT_CHARSET when
// it has no ANSI code page, -1 when the language is unknown.
int languageCharset(LCID language);

}  // namespace Halvex::Tessaran::PAL::detail
