// Path utilities answered by POSIX: long names and the documents folder.
#include <algorithm>
#include <boost/filesystem/operations.hpp>

#include "base/path_text.h"
#include "filesystem/user_dirs.h"
#include "pal/file_system.h"

namespace fs = boost::filesystem;

namespace Halvex::Tessaran::PAL::FileSystem {

// POSIX file systems keep no 8.3 short names, so every path is already long.
fs::path long_path(const fs::path& p) {
  return p;
}

std::wstring getMyDocumentsPath(bool create) {
  // Callers read up to the first NUL of a fixed 260-character buffer.
  constexpr std::size_t kBufferLength = 260;
  std::wstring result(kBufferLength, L'\0');

  const std::optional<fs::path> folder = detail::documentsFolder();
  if (!folder) return result;
  boost::system::error_code ec;
  if (create) fs::create_directories(*folder, ec);
  if (!fs::is_directory(*folder, ec)) return result;

  const std::optional<std::wstring> text = detail::wideFromPath(normalized(*folder));
  if (!text) return result;
  result = *text;
  result.resize(std::max(kBufferLength, text->size() + 1), L'\0');
  return result;
}

}  // namespace Halvex::Tessaran::PAL::FileSystem
