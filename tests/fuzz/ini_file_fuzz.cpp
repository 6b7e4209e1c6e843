// Feeds arbitrary bytes to the initialisation-file reader: a value always
// fits its buffer, holds no line break, and a larger buffer only lengthens it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/ini_file.h"

using namespace Halvex::Tessaran::PAL::detail;

namespace {

size_t utf16Units(const std::wstring& s) {
  size_t n = 0;
  for (wchar_t c : s) n += c > 0xFFFF ? 2 : 1;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the buffer size, the rest is the file.
  const size_t buffer = data[0] + 1u;
  const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);
  for (const wchar_t* key : {L"ProductVersionKey", L"IsConfigurable"}) {
    const std::wstring value = profileStringFromBytes(file, L"ProductIdentity", key, buffer);
    const std::wstring longer = profileStringFromBytes(file, L"ProductIdentity", key, buffer + 300);
    if (utf16Units(value) >= buffer) std::abort();
    if (value.find_first_of(L"\r\n") != std::wstring::npos) std::abort();
    if (longer.compare(0, value.size(), value) != 0) std::abort();
  }
  return 0;
}
