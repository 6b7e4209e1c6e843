// Finding the XDG documents folder from the environment, the password
// database and user-dirs.dirs.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/user_account.h"
#include "filesystem/user_dirs.h"

namespace fs = boost::filesystem;

namespace Halvex::Tessaran::PAL::detail {

namespace {

// The quoted value of one `XDG_DOCUMENTS_DIR="..."` line, nothing for any
// other line.
std::optional<std::string> quotedValue(std::string_view line) {
  constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR";
  line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
  if (!line.starts_with(kKey)) return std::nullopt;
  line.remove_prefix(kKey.size());
  if (!line.starts_with("=\"")) return std::nullopt;
  line.remove_prefix(2);
  std::string value;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') return value;
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    value += line[i];
  }
  return std::nullopt;  // no closing quote
}

}  // namespace

std::optional<std::string> documentsDirFromUserDirs(std::string_view text, std::string_view home) {
  constexpr std::string_view kHome = "$HOME";
  std::optional<std::string> result;
  std::istringstream lines{std::string(text)};
  for (std::string line; std::getline(lines, line);) {
    std::optional<std::string> value = quotedValue(line);
    if (!value) continue;
    if (value->starts_with(kHome) && (value->size() == kHome.size() || (*value)[kHome.size()] == '/'))
      result = std::string(home) + value->substr(kHome.size());
    else if (value->starts_with('/'))
      result = std::move(value);
  }
  return result;
}

std::optional<fs::path> documentsFolder() {
  const std::optional<std::string> home = homeFolder();
  if (!home) return std::nullopt;
  fs::path config = fs::path(*home) / ".config";
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') config = xdg;

  std::ifstream in((config / "user-dirs.dirs").string());
  if (in) {
    std::ostringstream text;
    text << in.rdbuf();
    if (std::optional<std::string> dir = documentsDirFromUserDirs(text.str(), *home)) return fs::path(*dir);
  }
  return fs::path(*home) / "Documents";
}

}  // namespace Halvex::Tessaran::PAL::detail
