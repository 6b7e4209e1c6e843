// Plug-in search along the folders the dynamic loader would use.
#include <glob.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "modules/module_names.h"
#include "modules/plugins/plugin_search.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

namespace fs = std::filesystem;

// Debian's multiarch folders first, as the loader's built-in list has them.
constexpr const char* kStandardFolders[] = {
#if defined(__x86_64__)
    "/lib/x86_64-linux-gnu",
    "/usr/lib/x86_64-linux-gnu",
#elif defined(__aarch64__)
    "/lib/aarch64-linux-gnu",
    "/usr/lib/aarch64-linux-gnu",
#endif
    "/lib64",
    "/usr/lib64",
    "/lib",
    "/usr/lib",
};

// Include files may include others; a cycle stops at this depth.
constexpr int kMaxIncludeDepth = 8;

void readLoaderConfig(const fs::path& file, int depth, std::vector<std::string>& folders) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string word;
    if (!(words >> word)) continue;
    if (word == "include") {
      while (depth < kMaxIncludeDepth && words >> word) {
        fs::path pattern = fs::path(word).is_absolute() ? fs::path(word) : file.parent_path() / word;
        glob_t matches{};
        if (glob(pattern.c_str(), 0, nullptr, &matches) == 0)
          for (size_t i = 0; i < matches.gl_pathc; ++i)
            readLoaderConfig(matches.gl_pathv[i], depth + 1, folders);
        globfree(&matches);
      }
      continue;
    }
    if (word == "hwcap") continue;
    // Folders may also be separated by ':' or ',' on one line.
    for (char& c : line)
      if (c == ':' || c == ',') c = ' ';
    std::istringstream entries(line);
    while (entries >> word)
      if (word[0] == '/') folders.push_back(word);
  }
}

bool hasExtension(std::string_view fileName) {
  std::size_t dot = fileName.rfind('.');
  return dot != std::string_view::npos && dot > 0;
}

}  // namespace

std::vector<std::string> searchList(std::string_view list) {
  std::vector<std::string> folders;
  if (list.empty()) return folders;
  std::size_t start = 0;
  while (true) {
    std::size_t end = list.find(':', start);
    std::string_view entry = list.substr(start, end == std::string_view::npos ? end : end - start);
    folders.emplace_back(entry.empty() ? "." : entry);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return folders;
}

std::string searchFolders(const std::vector<std::string>& folders, std::string_view fileName) {
  if (fileName.empty()) return {};
  std::error_code ec;
  auto found = [&ec](const fs::path& candidate) {
    return fs::is_regular_file(candidate, ec) ? fs::absolute(candidate, ec).lexically_normal().string()
                                              : std::string();
  };
  if (fileName.find('/') != std::string_view::npos && (fileName[0] == '/' || folders.empty()))
    return found(fs::path(fileName));
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    std::string file = found(fs::path(folder) / fileName);
    if (!file.empty()) return file;
  }
  return {};
}

std::vector<std::string> loaderFolders() {
  std::vector<std::string> folders;
  readLoaderConfig("/etc/ld.so.conf", 0, folders);
  folders.insert(folders.end(), std::begin(kStandardFolders), std::end(kStandardFolders));
  return folders;
}

std::string findPluginFile(std::string_view name, bool defaultExtension) {
  if (name.empty()) return {};
  if (name.find('/') != std::string_view::npos) return searchFolders({}, name);
  std::string file(name);
  if (defaultExtension && !hasExtension(file)) file += ".so";
  std::vector<std::string> folders;
  std::string exe = executableFile();
  if (std::size_t slash = exe.rfind('/'); slash != std::string::npos)
    folders.push_back(exe.substr(0, slash + 1));
  if (const char* libraryPath = std::getenv("LD_LIBRARY_PATH")) {
    std::vector<std::string> listed = searchList(libraryPath);
    folders.insert(folders.end(), listed.begin(), listed.end());
  }
  std::vector<std::string> configured = loaderFolders();
  folders.insert(folders.end(), configured.begin(), configured.end());
  return searchFolders(folders, file);
}

}  // namespace Halvex::Tessaran::PAL::detail
