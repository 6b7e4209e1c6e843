// UTF-8 conversion of wide path text through the library's own UTF-8 codec.
#include "base/path_text.h"

#include <cwchar>

#include "base/utf8.h"

namespace Halvex::Tessaran::PAL::detail {

std::optional<boost::filesystem::path> pathFromWide(const wchar_t* text) {
  if (!text) return std::nullopt;
  const std::size_t units = std::wcslen(text);
  std::string name(utf8Capacity(units), '\0');
  const Utf8Result r = utf32ToUtf8(text, units, name.data());
  // A lone surrogate would otherwise name the file called U+FFFD.
  if (r.replaced) return std::nullopt;
  name.resize(r.written);
  return boost::filesystem::path(std::move(name));
}

std::optional<std::wstring> wideFromPath(const boost::filesystem::path& p) {
  const std::string& name = p.native();
  std::wstring text(name.size(), L'\0');
  const Utf8Result r = utf8ToUtf32(name.data(), name.size(), text.data());
  if (r.replaced) return std::nullopt;
  text.resize(r.written);
  return text;
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
