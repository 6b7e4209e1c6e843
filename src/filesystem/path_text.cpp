// UTF-8 conversion of wide path text through Boost.Filesystem's own facet.
#include "filesystem/path_text.h"

#include <boost/filesystem/detail/utf8_codecvt_facet.hpp>

namespace Halvex::Tessaran::PAL::detail {

namespace {
// Reference count 1 keeps the facet out of any locale's lifetime management.
const boost::filesystem::detail::utf8_codecvt_facet& utf8Facet() {
  static const boost::filesystem::detail::utf8_codecvt_facet facet(1);
  return facet;
}
}  // namespace

std::optional<boost::filesystem::path> pathFromWide(const wchar_t* text) {
  if (!text) return std::nullopt;
  try {
    return boost::filesystem::path(text, utf8Facet());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::wstring> wideFromPath(const boost::filesystem::path& p) {
  try {
    return p.wstring(utf8Facet());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::size_t utf16Length(std::string_view utf8) {
  std::size_t n = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++n;  // every byte but a continuation starts a character
    if (c >= 0xF0) ++n;           // four-byte sequences need a surrogate pair
  }
  return n;
}

}  // namespace Halvex::Tessaran::PAL::detail
