// The default trusted folders and the rules that pick them.
#include "pal/code_trust.h"

#include "filesystem/code_trust_internal.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

bool liesUnder(std::wstring_view path, std::wstring_view folder) {
  while (folder.size() > 1 && folder.back() == L'/') folder.remove_suffix(1);
  if (folder.empty() || !path.starts_with(folder)) return false;
  return path.size() == folder.size() || folder.back() == L'/' || path[folder.size()] == L'/';
}

std::vector<std::wstring> trustedPathsFor(const std::wstring& programFiles, const std::wstring& moduleFolder,
                                          const std::wstring& programFilesX86) {
  std::vector<std::wstring> paths{programFiles};
  // An empty module folder would read as a prefix of every path.
  if (!moduleFolder.empty()) {
    if (!liesUnder(moduleFolder, programFiles)) paths.push_back(moduleFolder);
    std::wstring expanded = moduleFolder;
    if (CodeTrust::expandSubstitutedDrive(expanded) && expanded != moduleFolder &&
        !liesUnder(expanded, programFiles))
      paths.push_back(expanded);
  }
  if (!programFilesX86.empty()) paths.push_back(programFilesX86);
  return paths;
}

}  // namespace detail

namespace CodeTrust {

std::vector<std::wstring> getDefaultTrustedPaths() {
  static const std::vector<std::wstring> paths = detail::trustedPathsFor(
      detail::programFilesFolder(), detail::moduleFolder(), detail::programFilesX86Folder());
  return paths;
}

}  // namespace CodeTrust

}  // namespace Halvex::Tessaran::PAL
