// The portable part of the settings store: the stored form of strings.
#include "settings/settings_store.h"

#include "base/utf16.h"

namespace Halvex::Tessaran::PAL::detail {

std::vector<unsigned char> stringData(std::wstring_view text) {
  std::u16string units = wideToUtf16(text);
  std::vector<unsigned char> out;
  out.reserve((units.size() + 1) * 2);
  for (char16_t u : units) {
    out.push_back(static_cast<unsigned char>(u & 0xFF));
    out.push_back(static_cast<unsigned char>(u >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::wstring stringFromData(const std::vector<unsigned char>& data) {
  std::u16string units;
  units.reserve(data.size() / 2);
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t u = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (u == 0) break;
    units.push_back(u);
  }
  return utf16ToWide(units);
}

}  // namespace Halvex::Tessaran::PAL::detail
