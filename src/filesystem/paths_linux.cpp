// Path utilities answered by Linux: final names through /proc/self/fd, the
// executable search and the network tests over the mount table.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/path_text.h"
#include "filesystem/mount_table.h"
#include "pal/file_system.h"
#include "platform/posix_util.h"

namespace fs = boost::filesystem;

namespace Halvex::Tessaran::PAL::FileSystem {

namespace {

// The longest final name the Windows call's 260-character buffer holds.
constexpr std::size_t kMaxFinalNameLength = 259;

// `p` made absolute against the current directory and normalised, without
// touching the file system beyond asking for the current directory.
// Nothing for a name no system call would accept (longer than PATH_MAX).
std::optional<std::string> lexicalAbsolute(const fs::path& p) {
  if (p.empty()) return std::nullopt;
  fs::path absolute = p;
  if (!p.is_absolute()) {
    boost::system::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    if (ec) return std::nullopt;
    absolute = cwd / p;
  }
  std::string text = normalized(absolute).native();
  if (text.size() >= PATH_MAX) return std::nullopt;
  return text;
}

std::optional<std::string> remoteNameOf(const wchar_t* localPath) {
  const std::optional<fs::path> path = detail::pathFromWide(localPath);
  const std::optional<std::string> absolute = path ? lexicalAbsolute(*path) : std::nullopt;
  if (!absolute) return std::nullopt;
  return detail::remoteNameIn(detail::currentMounts(), *absolute);
}

}  // namespace

fs::path resolve_path(const fs::path& p) {
  const std::string& name = p.native();
  if (name.empty() || name.find('\0') != std::string::npos) return {};

  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    detail::setLastErrorFromErrno();
    return {};
  }
  struct stat st {};
  std::string finalName(PATH_MAX, '\0');
  ssize_t length = -1;
  if (::fstat(fd, &st) != 0) {
    detail::setLastErrorFromErrno();
  } else if (S_ISDIR(st.st_mode)) {
    // Windows opens a folder only with backup semantics, which this open
    // never asks for.
    detail::setLastError(detail::ERROR_ACCESS_DENIED);
  } else {
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    length = ::readlink(link.c_str(), finalName.data(), finalName.size());
    if (length < 0) detail::setLastErrorFromErrno();
  }
  ::close(fd);

  if (length <= 0 || static_cast<std::size_t>(length) >= finalName.size() || finalName[0] != '/') return {};
  finalName.resize(static_cast<std::size_t>(length));
  if (detail::utf16Length(finalName) > kMaxFinalNameLength) return {};
  return fs::path(finalName);
}

std::wstring getNetworkPathForFile(const wchar_t* localPath) {
  const std::optional<std::string> remote = remoteNameOf(localPath);
  if (!remote) return {};
  return detail::wideFromPath(*remote).value_or(std::wstring());
}

std::wstring searchPath(const wchar_t* fileName) {
  const std::optional<fs::path> name = detail::pathFromWide(fileName);
  if (!name || name->empty()) return {};

  boost::system::error_code ec;
  std::vector<fs::path> folders;
  if (name->is_absolute()) {
    folders.emplace_back();
  } else {
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) folders.push_back(exe.parent_path());
    const fs::path cwd = fs::current_path(ec);
    if (!ec) folders.push_back(cwd);
    if (const char* list = std::getenv("PATH")) {
      std::string_view rest(list);
      while (true) {
        const std::size_t colon = rest.find(':');
        const fs::path entry(std::string(rest.substr(0, colon)));
        // An empty or relative entry names a folder below the current one.
        if (entry.is_absolute())
          folders.push_back(entry);
        else if (!cwd.empty())
          folders.push_back(cwd / entry);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
      }
    }
  }

  for (const fs::path& folder : folders) {
    const fs::path candidate = normalized(folder / *name);
    if (fs::is_regular_file(candidate, ec)) return detail::wideFromPath(candidate).value_or(std::wstring());
  }
  detail::setLastError(detail::ERROR_FILE_NOT_FOUND);
  return {};
}

bool isPathNetworkPath(const wchar_t* s) {
  if (!s) return false;
  if (is_dir_separator(s[0]) && is_dir_separator(s[1])) return true;
  return remoteNameOf(s).has_value();
}

}  // namespace Halvex::Tessaran::PAL::FileSystem
