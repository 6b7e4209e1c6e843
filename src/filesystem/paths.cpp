// The lexical path utilities: separators, normalisation, relative paths and
// the URL and reserved-device tests.
#include <algorithm>
#include <array>
#include <boost/filesystem/operations.hpp>
#include <climits>
#include <optional>
#include <string_view>
#include <vector>

#include "base/path_text.h"
#include "pal/file_system.h"

namespace fs = boost::filesystem;

namespace Halvex::Tessaran::PAL::FileSystem {

wchar_t path_separator() {
  return static_cast<wchar_t>(fs::path::preferred_separator);
}

bool is_dir_separator(wchar_t c) {
  return c == L'/' || c == L'\\';
}

bool is_drive_separator(wchar_t c) {
  return c == L':';
}

fs::path temp_directory_path(boost::system::error_code& ec) {
  ec.assign(0, boost::system::system_category());
  fs::path dir = fs::temp_directory_path(ec);
  // Boost hands back a $TMPDIR that is not a folder together with the error.
  if (ec) dir.clear();
  return dir;
}

fs::path normalized(const fs::path& p) {
  const fs::path root = p.root_path();
  fs::path working;
  for (const fs::path& element : p) {
    if (element == ".") continue;
    if (element == "..") {
      if (working != root) working.remove_filename();
      continue;
    }
    working /= element;
  }
  // By offset rather than relative_path(), which stops at an embedded NUL.
  // Boost reports a root directory after a root name such as "//." even when
  // none is written, so the root can be longer than the working path.
  const std::string& text = working.native();
  fs::path result = root;
  result += text.substr(std::min(working.root_path().native().size(), text.size()));
  return result;
}

namespace {

// A path read as a file: the elements of its folder (without "." ones, so
// "a/./b" compares like "a/b") and its file name. A path that ends in a
// separator (or ".") names a folder and has no file name.
struct FileElements {
  std::vector<fs::path> folder;
  std::optional<fs::path> name;
  bool endsInFolder = false;
};

FileElements fileElementsOf(const fs::path& p) {
  FileElements out;
  for (const fs::path& e : p) {
    out.endsInFolder = e == ".";
    if (!out.endsInFolder) out.folder.push_back(e);
  }
  if (!out.endsInFolder && !out.folder.empty() && !out.folder.back().has_root_path()) {
    out.name = out.folder.back();
    out.folder.pop_back();
  }
  return out;
}

}  // namespace

std::wstring pathRelativePathTo(const wchar_t* from, const wchar_t* to) {
  const auto fromPath = detail::pathFromWide(from);
  const auto toPath = detail::pathFromWide(to);
  if (!fromPath || !toPath || fromPath->native().size() > PATH_MAX || toPath->native().size() > PATH_MAX)
    return {};

  // Both are files: the way leads from `from`'s folder up to the folder the
  // two share, then down `to`'s folder to its file name ("/a/f" to "/a" is
  // "../a"). A folder named with a trailing separator keeps it ("./b/").
  const std::vector<fs::path> fromDir = fileElementsOf(*fromPath).folder;
  const FileElements target = fileElementsOf(*toPath);

  std::size_t common = 0;
  while (common < fromDir.size() && common < target.folder.size() && fromDir[common] == target.folder[common])
    ++common;
  if (common == 0) return {};

  std::string rel;
  for (std::size_t i = common; i < fromDir.size(); ++i) rel += rel.empty() ? ".." : "/..";
  if (rel.empty()) rel = ".";
  for (std::size_t i = common; i < target.folder.size(); ++i) rel += "/" + target.folder[i].string();
  if (target.name)
    rel += "/" + target.name->string();
  else if (target.endsInFolder)
    rel += "/";
  return detail::wideFromPath(rel).value_or(std::wstring());
}

bool isPathUrl(const wchar_t* s) {
  if (!s) return false;
  auto isAlpha = [](wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); };
  auto isSchemeChar = [&](wchar_t c) {
    return isAlpha(c) || (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
  };
  if (!isAlpha(s[0])) return false;
  std::size_t n = 1;
  while (isSchemeChar(s[n])) ++n;
  // A one-letter scheme is a drive letter, never a URL.
  return n >= 2 && s[n] == L':';
}

namespace {

// Ordered by length: the lookup stops at the first entry longer than the
// component.
constexpr std::array<std::wstring_view, 17> kReservedNames = {
    L"CON",  L"PRN",  L"NUL",    L"AUX",    L"LPT1",     L"LPT2",     L"LPT3",     L"COM1",     L"COM2",
    L"COM3", L"COM4", L"CLOCK$", L"MACWD$", L"EMMXXXX0", L"PROTMAN$", L"SETVERXX", L"XMSXXXX0",
};

}  // namespace

bool isPathDeviceName(const wchar_t* s) {
  if (!s) return false;
  std::wstring_view name(s);
  std::size_t cut = name.rfind(L'\\');
  if (cut == std::wstring_view::npos) cut = name.rfind(L':');
  if (cut != std::wstring_view::npos) name.remove_prefix(cut + 1);
  if (std::size_t dot = name.rfind(L'.'); dot != std::wstring_view::npos) name = name.substr(0, dot);

  std::wstring upper(name);
  for (wchar_t& c : upper)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  for (std::wstring_view reserved : kReservedNames) {
    if (reserved.size() > upper.size()) break;
    if (reserved == upper) return true;
  }
  // A redirected printer port would also count, but no port is redirected
  // to the network on this platform.
  return false;
}

}  // namespace Halvex::Tessaran::PAL::FileSystem
