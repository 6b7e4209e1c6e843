// Fuzzes the lexical path functions: normalising twice changes nothing and
// leaves no "." or ".." element; the wide-text functions never fail hard.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/path_text.h"
#include "pal/file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace FS = Halvex::Tessaran::PAL::FileSystem;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const boost::filesystem::path once = FS::normalized(boost::filesystem::path(text));
  if (FS::normalized(once) != once) __builtin_trap();
  for (const boost::filesystem::path& e : once)
    if (e == "." || e == "..") __builtin_trap();

  const std::optional<std::wstring> wide = Halvex::Tessaran::PAL::detail::wideFromPath(text);
  if (!wide) return 0;
  const std::size_t half = wide->find(L'|');
  const std::wstring from = wide->substr(0, half);
  const std::wstring to = half == std::wstring::npos ? std::wstring() : wide->substr(half + 1);
  FS::pathRelativePathTo(from.c_str(), to.c_str());
  FS::isPathDeviceName(wide->c_str());
  FS::isPathUrl(wide->c_str());
  return 0;
}
