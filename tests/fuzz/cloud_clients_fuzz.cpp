// Fuzzes the readers of the cloud synchronisation clients' files: the Dropbox
// account file, a text file's first line and multi-string setting data.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "filesystem/cloud/cloud_clients.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace detail = Halvex::Tessaran::PAL::detail;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto accounts = detail::parseDropboxInfo(bytes)) {
    for (const detail::DropboxAccount& a : *accounts)
      if (!a.wellFormed && (!a.path.empty() || !a.subscriptionType.empty())) __builtin_trap();
  }
  const detail::FirstLine line = detail::firstLineOf(bytes);
  if (line.text.size() > 259 || line.text.find(L'\n') != std::wstring::npos) __builtin_trap();
  for (const std::wstring& s : detail::multiStrings(std::vector<unsigned char>(data, data + size)))
    if (s.empty() || s.size() > size / 2) __builtin_trap();
  return 0;
}
