// Matching the host's Windows-style module names against Linux file names.
#include "modules/module_names.h"

#include <cctype>

#include "base/case_fold.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

enum class Kind { Library, Executable, Literal };

struct ModuleName {
  std::string_view stem;
  Kind kind;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (foldCase(static_cast<unsigned char>(a[i])) != foldCase(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string_view baseName(std::string_view name) {
  size_t slash = name.find_last_of("/\\");
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

ModuleName parse(std::string_view name) {
  name = baseName(name);
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {name, Kind::Library};
  std::string_view ext = name.substr(dot);
  if (equalsIgnoringCase(ext, ".dll")) return {name.substr(0, dot), Kind::Library};
  if (equalsIgnoringCase(ext, ".exe")) return {name.substr(0, dot), Kind::Executable};
  return {name, Kind::Literal};
}

// "" or ".1", ".1.2", ...: what the loader's versioned names append.
bool isVersionSuffix(std::string_view rest) {
  while (!rest.empty()) {
    if (rest[0] != '.' || rest.size() < 2) return false;
    size_t i = 1;
    while (i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i]))) ++i;
    if (i == 1) return false;
    rest.remove_prefix(i);
  }
  return true;
}

}  // namespace

bool moduleFileNameMatches(std::string_view moduleName, std::string_view fileName) {
  ModuleName m = parse(moduleName);
  if (m.stem.empty()) return false;
  if (m.kind != Kind::Library) return fileName == m.stem;
  for (const std::string& base : moduleFileNames(moduleName))
    if (fileName.starts_with(base) && isVersionSuffix(fileName.substr(base.size()))) return true;
  return false;
}

bool executableFileNameMatches(std::string_view name, std::string_view fileName) {
  ModuleName m = parse(name);
  return !m.stem.empty() && fileName == (m.kind == Kind::Executable ? m.stem : baseName(name));
}

std::vector<std::string> moduleFileNames(std::string_view moduleName) {
  ModuleName m = parse(moduleName);
  if (m.stem.empty()) return {};
  std::string stem(m.stem);
  if (m.kind != Kind::Library) return {stem};
  return {"lib" + stem + ".so", stem + ".so"};
}

}  // namespace Halvex::Tessaran::PAL::detail
