// Attribute, current-folder and last-write queries that give up at once on a
// network path where the same query recently failed slowly.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <climits>
#include <cstring>
#include <optional>
#include <string_view>

#include "base/path_text.h"
#include "filesystem/unreachable_paths.h"
#include "pal/file_system.h"
#include "pal/file_system_volumes.h"
#include "platform/posix_util.h"

namespace fs = boost::filesystem;

namespace Halvex::Tessaran::PAL::FileSystem {

using namespace detail;

namespace {

constexpr std::wstring_view kAttributesOperation = L"GetFileAttributes";
constexpr std::wstring_view kFileSystemOperation = L"GetFileSystem";
constexpr std::wstring_view kChangeDirOperation = L"_tchdir";
constexpr std::wstring_view kFindOperation = L"FindFirstFile";

constexpr std::int64_t kSlowSeconds = 3;
constexpr std::uint64_t kSlowMs = 3000;

void* const kInvalidHandle = reinterpret_cast<void*>(~std::uintptr_t{0});

// What a find handle of ours holds.
struct FindHandle {
  DIR* dir;
};

FileAttributes attributesOf(const std::optional<fs::path>& p) {
  if (!p) {
    setLastError(ERROR_INVALID_NAME);
    return {};
  }
  struct stat st {};
  if (const int err = injectedFailure("GetFileAttributes")) {
    setLastErrorFromErrno(err);
    return {};
  }
  if (::stat(p->c_str(), &st) != 0) {
    setLastErrorFromErrno();
    return {};
  }
  const std::string name = normalized(*p).filename().native();
  const bool hidden = name.size() > 1 && name[0] == '.' && name != "..";
  return {true, S_ISDIR(st.st_mode), hidden};
}

bool changeDir(const wchar_t* path) {
  if (const int err = injectedFailure("_tchdir")) {
    setLastErrorFromErrno(err);
    return false;
  }
  const std::optional<fs::path> p = pathFromWide(path);
  if (!p || p->empty()) {
    setLastError(p ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME);
    return false;
  }
  if (::chdir(p->c_str()) != 0) {
    setLastErrorFromErrno();
    return false;
  }
  return true;
}

// '*' matches any run of characters, '?' any one.
bool matchesPattern(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t starAt = std::string_view::npos, resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starAt = p++;
      resumeAt = n;
    } else if (starAt != std::string_view::npos) {
      p = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Opens the folder of `path` and finds the first entry its last component
// matches; the entry's last-write time goes to `written`.
FindHandle* findFirst(const wchar_t* path, struct timespec& written) {
  if (const int err = injectedFailure("FindFirstFile")) {
    setLastErrorFromErrno(err);
    return nullptr;
  }
  const std::optional<fs::path> p = pathFromWide(path);
  if (!p) {
    setLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  const std::string& text = p->native();
  const std::size_t slash = text.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".")
                             : slash == 0               ? std::string("/")
                                                        : text.substr(0, slash);
  const std::string pattern = slash == std::string::npos ? text : text.substr(slash + 1);
  if (pattern.empty()) {
    setLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) {
    setLastErrorFromErrno();
    return nullptr;
  }
  while (const dirent* entry = ::readdir(dir)) {
    struct stat st {};
    // The entry's own times, as a folder listing shows them.
    if (!matchesPattern(pattern, entry->d_name) ||
        ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    written = st.st_mtim;
    return new FindHandle{dir};
  }
  ::closedir(dir);
  setLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

}  // namespace

FileAttributes networkAwareGetAttributes(const wchar_t* path, const wchar_t* baseDir) {
  if (baseDir && *baseDir) {
    const std::optional<fs::path> base = pathFromWide(baseDir);
    std::optional<fs::path> target = base;
    if (base && path && *path) {
      const std::optional<fs::path> p = pathFromWide(path);
      target = !p ? p : p->is_absolute() ? *p : *base / *p;
    }
    if (target) {
      boost::system::error_code ec;
      const fs::path completed = fs::system_complete(*target, ec);
      if (!ec) target = completed;
    }
    return attributesOf(target);
  }
  if (!path) return {};

  const bool tablePath = isTablePath(path);
  if (tablePath && isMarked(kAttributesOperation, path)) return {};
  const std::int64_t start = wallSeconds();
  const FileAttributes attributes = attributesOf(pathFromWide(path));
  if (!attributes.exists && tablePath && wallSeconds() - start > kSlowSeconds)
    mark(kAttributesOperation, path);
  return attributes;
}

FS_TYPE networkAwareGetFileSystem(const wchar_t* path, FS_TYPE fallback) {
  if (isTablePath(path) && isMarked(kFileSystemOperation, path)) return FS_TYPE_UNKNOWN;
  return fallback;
}

std::wstring networkAwareChangeDir(const wchar_t* path, bool noChange) {
  const bool tablePath = isTablePath(path);
  const bool marked = tablePath && isMarked(kChangeDirOperation, path);
  const std::uint64_t start = tickMs();
  if (!marked) {
    if (noChange || changeDir(path)) return {};
    if (tablePath && tickMs() - start > kSlowMs) mark(kChangeDirOperation, path);
  }

  // A caller's 259-character buffer holds at most 258 characters and the NUL.
  constexpr std::size_t kMaxDirectoryLength = 258;
  std::string cwd(PATH_MAX, '\0');
  if (!::getcwd(cwd.data(), cwd.size())) {
    setLastErrorFromErrno();
    return {};
  }
  cwd.resize(std::strlen(cwd.c_str()));
  const std::optional<std::wstring> wide = wideFromPath(cwd);
  if (utf16Length(cwd) > kMaxDirectoryLength || !wide) return {};
  if (::chdir(cwd.c_str()) != 0) setLastErrorFromErrno();
  return *wide;
}

void* networkAwareLastWriteTime(const wchar_t* path, unsigned int& lowTime, unsigned int& highTime) {
  const bool tablePath = isTablePath(path);
  if (tablePath && isMarked(kFindOperation, path)) return kInvalidHandle;
  const std::uint64_t start = tickMs();
  struct timespec written {};
  FindHandle* handle = path ? findFirst(path, written) : nullptr;
  if (!handle) {
    if (tablePath && tickMs() - start > kSlowMs) mark(kFindOperation, path);
    return kInvalidHandle;
  }
  // 100-ns steps since 1601-01-01.
  constexpr std::uint64_t kEpochTicks = 116444736000000000ULL;
  const std::uint64_t ticks = static_cast<std::uint64_t>(written.tv_sec) * 10000000ULL +
                              static_cast<std::uint64_t>(written.tv_nsec) / 100 + kEpochTicks;
  lowTime = static_cast<unsigned>(ticks & 0xFFFFFFFFu);
  highTime = static_cast<unsigned>(ticks >> 32);
  return handle;
}

bool findClose(void* handle) {
  if (!handle || handle == kInvalidHandle) {
    setLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  FindHandle* find = static_cast<FindHandle*>(handle);
  ::closedir(find->dir);
  delete find;
  return true;
}

}  // namespace Halvex::Tessaran::PAL::FileSystem
