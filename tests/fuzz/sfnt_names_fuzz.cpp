// Fuzzes the font-file reader behind the installed-font list: every lookup
// over every face a file claims, and the English-name step of a Japanese
// system over the same bytes.
#include <cstddef>
#include <cstdint>

#include "fonts/installed_fonts.h"
#include "fonts/sfnt_names.h"
#include "pal/locale.h"

using namespace Halvex::Tessaran::PAL;
using namespace Halvex::Tessaran::PAL::detail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const MemoryFontBytes file({data, size});
  const std::optional<FontFileFaces> faces = fontFileFaces(file);
  if (!faces) return 0;
  std::uint8_t head[4];
  if (file.read(0, head, sizeof head)) isSkippedFontFile(head);
  const std::uint32_t first = faces->collection ? 1 : 0;
  const std::uint32_t last = faces->collection ? faces->count : 0;
  std::wstring local = L"x";
  for (std::uint32_t face = first; face <= last; ++face) {
    if (auto name = familyName(file, face, 0x0411); name && face == last) local = *name;
    familyName(file, face, 0x0409);
    familyName(file, face, 0x0404);  // encoding 4 records convert through the system code page
    firstLocalLanguage(file, face);
    os2Info(file, face);
  }
  FontUtils::FontInformation font;
  font.faceName = font.localFaceName = local;
  font.charset = SHIFTJIS_CHARSET;
  const AltFamilyNames none;
  englishFaceName(font, &file, NameContext{1041, SHIFTJIS_CHARSET, none});
  font.faceName = L"@" + local;
  englishFaceName(font, &file, NameContext{1028, CHINESEBIG5_CHARSET, none});
  return 0;
}
