// The initialisation-file reader.
#include "settings/ini_file.h"

#include <cstdio>
#include <optional>

#include "filesystem/path_text.h"
#include "platform/posix_util.h"
#include "platform/utf16.h"
#include "settings/settings_store.h"
#include "text/utf8.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// The reader's blanks include Ctrl-Z, the old end-of-file mark.
bool isBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\v' || c == L'\f' || c == L'\r' || c == 0x1A;
}

std::wstring_view trim(std::wstring_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::wstring decode(std::string_view bytes) {
  auto utf16 = [&](bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]);
      units.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0)));
    }
    return utf16ToWide(units);
  };
  if (bytes.starts_with("\xFF\xFE")) return utf16(false);
  if (bytes.starts_with("\xFE\xFF")) return utf16(true);
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  return utf8ToWide(bytes);
}

// The value as the reader hands it out: quotes removed, then cut to the
// buffer. A NUL ends the text, as it would in the caller's buffer.
std::wstring finish(std::wstring_view value, size_t bufferChars) {
  value = value.substr(0, value.find(L'\0'));
  if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  const size_t room = bufferChars ? bufferChars - 1 : 0;
  size_t units = 0, keep = 0;
  for (; keep < value.size(); ++keep) {
    units += value[keep] > 0xFFFF ? 2 : 1;
    if (units > room) break;
  }
  return std::wstring(value.substr(0, keep));
}

}  // namespace

std::wstring profileStringFromBytes(std::string_view fileBytes, std::wstring_view section,
                                    std::wstring_view key, size_t bufferChars) {
  const std::wstring text = decode(fileBytes);
  const std::wstring_view all(text);
  enum { Before, Inside, Past } where = Before;
  size_t start = 0;
  while (start < all.size() && where != Past) {
    size_t end = all.find_first_of(L"\r\n", start);
    if (end == std::wstring_view::npos) end = all.size();
    const std::wstring_view line = trim(all.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == L';') continue;
    if (line.front() == L'[') {
      const size_t close = line.rfind(L']');
      if (close != std::wstring_view::npos) {
        const bool match = namesEqual(trim(line.substr(1, close - 1)), section);
        // Only the first section of the name is searched.
        if (where == Inside)
          where = Past;
        else if (match)
          where = Inside;
        continue;
      }
    }
    if (where != Inside) continue;
    const size_t eq = line.find(L'=');
    if (eq == std::wstring_view::npos) continue;
    if (namesEqual(trim(line.substr(0, eq)), key)) return finish(trim(line.substr(eq + 1)), bufferChars);
  }
  return {};
}

std::wstring readProfileString(const std::wstring& file, std::wstring_view section, std::wstring_view key,
                               size_t bufferChars) {
  const std::optional<boost::filesystem::path> p = pathFromWide(file.c_str());
  if (!p) return {};
  std::string bytes;
  if (!readRegularFile(p->c_str(), bytes)) return {};
  return profileStringFromBytes(bytes, section, key, bufferChars);
}

}  // namespace Halvex::Tessaran::PAL::detail
